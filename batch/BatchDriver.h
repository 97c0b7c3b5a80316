#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/BatchHost.h"
#include "batch/MovieEncoder.h"
#include "platform/Files.h"

class V02Decode;

// Converts every path of FileList, in order, into one AVI file each, driving
// one decoder and one encoder through a whole batch and reporting through its
// host. The hosts set the list, the folder and the options before a batch;
// what happens during it reaches them only as values through BatchHost (the
// window's designed fields FileList, SaveDir, Busy and AbortRequested stay
// shared with it, as designed).
class BatchDriver {
 public:
  explicit BatchDriver(BatchHost& host);
  virtual ~BatchDriver();
  BatchDriver(const BatchDriver&) = delete;
  BatchDriver& operator=(const BatchDriver&) = delete;

  // Input paths in order; duplicates allowed. May be replaced during a batch
  // (from BatchHost::Pump): the loop reads its length and entry anew per file.
  std::vector<std::string> FileList;
  // Output folder; empty means next to each input.
  std::string SaveDir;
  int Busy = 0;            // 1 while a batch runs
  int AbortRequested = 0;  // 1 once the user confirmed an abort

  // Makes the encoder of each batch; unset, the batch writes AVI files.
  using EncoderFactory = std::function<std::unique_ptr<MovieEncoder>()>;
  void SetEncoderFactory(EncoderFactory factory) { encoderFactory_ = std::move(factory); }

  // Runs after each file whose output was completed and closed (not after an
  // abort), before it gets its final name: fileToRead is the finished file
  // under its temporary name, outputPath the name it will have. A non-empty
  // answer is the problem found: the file counts as failed, is removed, and
  // an earlier output of that name stays.
  using FileDoneHook = std::function<std::string(
      const std::string& inputPath, const std::string& fileToRead, const std::string& outputPath)>;
  void SetFileDoneHook(FileDoneHook hook) { fileDoneHook_ = std::move(hook); }

  // Idle: converts FileList as one batch and returns when it has ended.
  // Busy (called again from within Pump): asks the abort question.
  void BtnStartClick();

  // The abort question; Yes sets AbortRequested. Returns the answer.
  bool AskAbort();

  // After an error, go on with the next file instead of stopping the
  // batch (the command line's --keep-going). Off, as designed.
  void SetKeepGoing(bool keepGoing) { keepGoing_ = keepGoing; }

  // Per entry of FileList, an output folder that takes the place of SaveDir
  // for it (a mirrored tree); entries beyond its end, or empty ones, use
  // SaveDir.
  std::vector<std::string> OutputFolders;

  // Asks the running batch to stop as a confirmed abort does, but at once:
  // the decoder gives up the chunk in hand within a fraction of a second,
  // the file is completed with the frames written before, and the batch
  // ends as aborted. It only stores into a lock-free atomic, so it is
  // async-signal-safe: a SIGINT or SIGTERM handler may call it. A request
  // made while no batch runs holds for the next one.
  void RequestAbort() noexcept { abortNow_.store(true, std::memory_order_relaxed); }

  // How the last batch ended, as it was given to the host.
  const BatchSummary& LastSummary() const { return summary_; }

  // The progress bar's position after a chunk: the file's share in percent
  // (rounded down) plus 100 per file before it. The share is formed in 64
  // bits, since (frames written × 100) passes 32 bits for movies of more than
  // about 42 million frames; the sum stays unsigned 32-bit like the bar.
  static uint32_t ProgressPosition(uint32_t frameCount, uint32_t framesWritten,
                                   uint32_t fileIndex);

 private:
  enum class FileEnd { kNext, kStop };
  enum class Existing { kFree, kReplace, kSkip, kAbort, kRefuse };
  FileEnd ConvertFile(V02Decode& decoder, MovieEncoder& encoder, const std::string& inputPath);
  // What may be done with the output's final name: free, or taken by a file
  // that is replaced, skipped or refused (another name of an input, a link,
  // something not a regular file).
  Existing DecideOnOutputName(const std::string& outputPath, bool ask, BatchFailure& refusal);
  // The cause when outputPath names a movie of FileList or a sound file of
  // one, nullptr when it is a file of its own.
  const char* OutputAliasesInput(const std::string& outputPath);
  std::string NextTemporaryPath(const std::string& outputPath);
  // A conversion cut short: its file, when the encoder left one, goes under
  // the partial name. Returns the name it is left under, empty when none.
  std::string KeepCutShort(const std::string& temporaryPath, const std::string& outputPath,
                           const char* extension);
  // Whether path is the output of an entry of FileList.
  bool IsOutputOfTheBatch(const std::string& path, const char* extension) const;
  // Takes the frames the encoder says the closed file holds.
  void TakeFramesKept(const MovieEncoder& encoder);
  FileEnd Fail(BatchFailure failure);
  // AbortRequested (set by the abort question) or RequestAbort.
  bool AbortPending() const;
  BatchProgress Progress() const;
  void EndBatch();

  BatchHost& host_;
  EncoderFactory encoderFactory_;
  FileDoneHook fileDoneHook_;
  bool overwriteAll_ = false;
  bool keepGoing_ = false;
  // Read by the decoder inside long frames, on its worker too.
  std::atomic<bool> abortNow_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
  BatchSummary summary_;
  // The file in hand.
  std::string inputPath_;
  size_t fileIndex_ = 0;
  uint32_t fileFrameCount_ = 0;
  uint32_t fileFramesWritten_ = 0;
  // Every file the batch reads (the movies of FileList and each name their
  // sound files may have), by identity, and the list they were taken from.
  struct InputIdentity {
    platform::FileIdentity identity;
    bool companion = false;
  };
  std::vector<InputIdentity> inputIdentities_;
  std::vector<std::string> identitiesTakenFrom_;
  bool identitiesTaken_ = false;
  uint64_t tagState_ = 0;
};

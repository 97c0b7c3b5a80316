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

class V02Decode;

// Converts every path of FileList, in order, into one AVI file each, driving
// one decoder and one encoder through a whole batch and reporting through its
// host. The window and the command line share this state with it.
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
  // abort). False stops the batch as an error; the hook has told the user why.
  using FileDoneHook = std::function<bool(const std::string& inputPath, const std::string& outputPath)>;
  void SetFileDoneHook(FileDoneHook hook) { fileDoneHook_ = std::move(hook); }

  // Idle: converts FileList as one batch and returns when it has ended.
  // Busy (called again from within Pump): asks the abort question.
  void BtnStartClick();

  // The abort question; Yes sets AbortRequested. Returns the answer.
  bool AskAbort();

  // Asks the running batch to stop as a confirmed abort does, but at once:
  // the decoder gives up the chunk in hand within a fraction of a second,
  // the file is completed with the frames of the chunks before, and the
  // batch ends as aborted. It only stores into a lock-free atomic, so it is
  // async-signal-safe: a SIGINT or SIGTERM handler may call it. A request
  // made while no batch runs holds for the next one.
  void RequestAbort() noexcept { abortNow_.store(true, std::memory_order_relaxed); }

  // How the last batch ended, for the command line's exit status.
  enum class Outcome { kNothingToDo, kCompleted, kStoppedByError, kAborted };
  Outcome lastOutcome = Outcome::kNothingToDo;

  // Progress of the file in hand, for hosts that show more than the bar.
  // fileIndex counts every file visited, skipped ones included.
  size_t fileIndex = 0;
  uint32_t fileFrameCount = 0;
  uint32_t fileFramesWritten = 0;

  // Tally of the last batch: outputs completed, and files passed over because
  // their output existed and the overwrite question was not answered Yes.
  // An aborted file counts as neither.
  size_t filesConverted = 0;
  size_t filesSkipped = 0;

  // The progress bar's position after a chunk: the file's share in percent
  // (rounded down) plus 100 per file before it. The share is formed in 64
  // bits, since (frames written × 100) passes 32 bits for movies of more than
  // about 42 million frames; the sum stays unsigned 32-bit like the bar.
  static uint32_t ProgressPosition(uint32_t frameCount, uint32_t framesWritten,
                                   uint32_t fileIndex);

 private:
  enum class FileEnd { kNext, kStop };
  FileEnd ConvertFile(V02Decode& decoder, MovieEncoder& encoder, const std::string& inputPath);
  void EndBatch();

  // AbortRequested (set by the hosts and the abort question) or RequestAbort.
  bool Aborting() const {
    return AbortRequested != 0 || abortNow_.load(std::memory_order_relaxed);
  }

  BatchHost& host_;
  EncoderFactory encoderFactory_;
  FileDoneHook fileDoneHook_;
  bool overwriteAll_ = false;
  // Read by the decoder inside long frames, on its worker too.
  std::atomic<bool> abortNow_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
};

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "v02dec/MovieFailure.h"

class TBitmap;

// Answers to the overwrite question. kCancelled is a box closed without an
// answer (close box, Escape, end of input on a terminal); the driver treats it
// like kNo, since overwriting a user's file on a dismissal would lose data.
enum class OverwriteAnswer { kYes, kNo, kYesToAll, kCancelled };

// What went wrong with one file, as the driver tells its host. Each host
// words it its own way: the window as the designed box, the command line as
// one line with the cause.
struct BatchFailure {
  enum class Kind {
    kOpenInput,    // the movie (or its sound file) cannot be opened
    kNoMemory,     // the movie's buffers cannot be had; no path
    kUnsupported,  // the movie is refused at open
    kOpenOutput,   // the output cannot be created, or its name may not be written
    kRefusedByEncoder,  // the output format cannot hold this movie with these settings
    kReadInput,    // a chunk cannot be read
    kWriteOutput,  // a frame, a sound block or the file's completion failed
    kVerifyOutput, // the output read back differs from the movie (cause says how)
  };
  Kind kind = Kind::kOpenInput;
  std::string path;       // the path the message names: the input or the output
  std::string inputPath;  // the movie whose conversion failed
  // Why, in words: the test that refused the movie, or the failing call
  // and its place; empty when the system's error (sysErrno) says it all.
  std::string cause;
  int sysErrno = 0;  // the error of the system call that failed, 0 when none
  // The decoder's failure as a value when the cause is the decoder's, so
  // that a host can word it in its own language; kind kNone otherwise.
  MovieFailure movieFailure;
  // The output left on disk by a file that stopped early (its partial name,
  // NAME.partial.EXT, or its temporary name when that could not be given),
  // empty when none is left, and how much of the movie it holds.
  std::string outputPath;
  uint32_t framesWritten = 0;
  uint32_t frameCount = 0;
};

// Where the batch stands after a chunk, or when a file begins.
struct BatchProgress {
  size_t fileIndex = 0;     // 0-based; counts skipped files too
  size_t fileCount = 0;     // entries of the list as it is now
  uint32_t framesDone = 0;  // of the file in hand
  uint32_t frameTotal = 0;
  uint32_t barPosition = 0;  // the progress bar's position (BatchDriver::ProgressPosition)
};

// How a batch ended.
struct BatchSummary {
  enum class Outcome { kNothingToDo, kCompleted, kStoppedByError, kAborted };
  Outcome outcome = Outcome::kNothingToDo;
  // Outputs completed; files passed over because their output existed and
  // the question was not answered Yes; files that failed. A file stopped by
  // an abort counts as none of them.
  size_t converted = 0;
  size_t skipped = 0;
  size_t failed = 0;
  std::vector<BatchFailure> failures;  // in the order they happened
  // kAborted: the output the abort cut short, under its partial name (empty
  // when no output was in hand), and how much of its movie it holds.
  std::string abortedOutput;
  uint32_t abortedFrames = 0;
  uint32_t abortedFrameCount = 0;
};

// What the batch driver needs of whoever shows it: the window, the command
// line, or a scripted test host. Every call comes from the driver's thread.
// The driver tells the host what happens as values; the host never reads the
// driver's state.
class BatchHost {
 public:
  virtual ~BatchHost() = default;

  virtual void ShowError(const BatchFailure& failure) = 0;
  // The overwrite question for an existing output file. The window's text is
  // OverwriteQuestionText(outputPath) from batch/Messages.h.
  virtual OverwriteAnswer ConfirmOverwrite(const std::string& outputPath) = 0;
  // The abort question "処理を中止しますか。" with Yes and No: true for Yes.
  virtual bool ConfirmAbort() = 0;
  // Running: the start button reads "処理中止" and the input and folder
  // buttons are disabled. Idle: "変換開始" and both enabled again.
  virtual void SetRunning(bool running) = 0;
  virtual void SetProgressMaximum(uint32_t maximum) = 0;
  virtual void ShowProgress(const BatchProgress& progress) = 0;
  // A file begins: the file-name part of its input, with its own extension.
  virtual void ShowFileName(const std::string& fileName, const BatchProgress& progress) = 0;
  // First frame of the chunk just written; the host keeps its own copy.
  virtual void ShowFrame(const TBitmap& frame) = 0;
  // One pass over pending user events (clicks, drops, close requests); it may
  // call back into the driver (BtnStartClick while busy, a new FileList).
  virtual void Pump() = 0;
  // The batch has ended (after SetRunning(false)).
  virtual void BatchFinished(const BatchSummary& summary) { (void)summary; }
};

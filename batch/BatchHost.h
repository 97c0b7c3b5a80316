#pragma once

#include <cstdint>
#include <string>

class TBitmap;

// Answers to the overwrite question. kCancelled is a box closed without an
// answer (close box, Escape, end of input on a terminal); the driver treats it
// like kNo, since overwriting a user's file on a dismissal would lose data.
enum class OverwriteAnswer { kYes, kNo, kYesToAll, kCancelled };

// What the batch driver needs of whoever shows it: the window, the command
// line, or a scripted test host. Every call comes from the driver's thread.
class BatchHost {
 public:
  virtual ~BatchHost() = default;

  // A warning box with one OK button (title "警告"): text is the whole
  // message, already quoted and composed by the driver.
  virtual void ShowError(const std::string& text) = 0;
  // The overwrite question for an existing output file. The text to show is
  // OverwriteQuestionText(outputPath) from batch/Messages.h.
  virtual OverwriteAnswer ConfirmOverwrite(const std::string& outputPath) = 0;
  // The abort question "処理を中止しますか。" with Yes and No: true for Yes.
  virtual bool ConfirmAbort() = 0;
  // Running: the start button reads "処理中止" and the input and folder
  // buttons are disabled. Idle: "変換開始" and both enabled again.
  virtual void SetRunning(bool running) = 0;
  virtual void SetProgressMaximum(uint32_t maximum) = 0;
  virtual void SetProgressPosition(uint32_t position) = 0;
  // File-name part of the input being converted, with its own extension.
  virtual void ShowFileName(const std::string& fileName) = 0;
  // First frame of the chunk just written; the host keeps its own copy.
  virtual void ShowFrame(const TBitmap& frame) = 0;
  // One pass over pending user events (clicks, drops, close requests); it may
  // call back into the driver (BtnStartClick while busy, a new FileList).
  virtual void Pump() = 0;
};

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "batch/BatchHost.h"

class BatchDriver;

// What to do when an output file exists.
enum class OverwritePolicy {
  kAsk,     // ask on the terminal; without one, skip the file
  kAlways,  // -y: Yes to all from the start
  kNever,   // -n: skip every existing output
};

// A reply to the overwrite question typed on the terminal: y/yes, n/no and
// a/all, in any letter case, blanks around ignored. Anything else is no
// answer (nullopt).
std::optional<OverwriteAnswer> ParseOverwriteReply(std::string_view line);

// The batch driver's host on a terminal: messages and questions on standard
// error (answers from standard input), progress redrawn in place on a smart
// terminal, and Ctrl-C as the abort.
class ConsoleHost : public BatchHost {
 public:
  struct Options {
    OverwritePolicy policy = OverwritePolicy::kAsk;
    bool quiet = false;
  };

  ConsoleHost(Options options, int inputFd, int errorFd);

  // The driver whose state the progress line shows and whose abort flag an
  // interrupt sets. Must be set before a batch starts.
  void Attach(BatchDriver* driver) { driver_ = driver; }

  // True when interrupted by a signal during the batch.
  bool Interrupted() const { return interrupted_; }

  // Clears the status line and, on a terminal, sums up the batch.
  void Finish();

  void ShowError(const std::string& text) override;
  // A line of its own on standard error, clear of the progress line.
  void ShowNote(const std::string& text) { ShowError(text); }
  OverwriteAnswer ConfirmOverwrite(const std::string& outputPath) override;
  bool ConfirmAbort() override;
  void SetRunning(bool running) override;
  void SetProgressMaximum(uint32_t maximum) override;
  void SetProgressPosition(uint32_t position) override;
  void ShowFileName(const std::string& fileName) override;
  void ShowFrame(const TBitmap& frame) override;
  void Pump() override;

 private:
  enum class LineRead { kLine, kEndOfInput, kInterrupted };
  LineRead ReadReplyLine(std::string& line);
  OverwriteAnswer AskOnTerminal(const std::string& outputPath);
  void AnnounceSkip(const std::string& outputPath, const char* reason);
  void NoticeInterrupt();
  void DrawProgress(bool force);
  void ClearProgress();
  void Write(std::string_view text);
  size_t TerminalColumns() const;

  Options options_;
  int inputFd_;
  int errorFd_;
  bool inputIsTerminal_;
  bool errorIsTerminal_;
  bool smartTerminal_;  // redraws one line in place
  BatchDriver* driver_ = nullptr;

  bool running_ = false;
  bool interrupted_ = false;
  bool lineShown_ = false;
  uint32_t maximum_ = 0;
  uint32_t position_ = 0;
  int64_t lastDrawNs_ = 0;
  std::string fileName_;
};

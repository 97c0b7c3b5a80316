#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/BatchHost.h"

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

// The text of a failure in the command line's words, without the program's
// name: "PATH: TEXT: CAUSE" (the path shown escaped, the text and the cause in
// the locale's language where the catalogue has them).
std::string FailureLine(const BatchFailure& failure);
// The same without the path: "TEXT: CAUSE".
std::string FailureCauseText(const BatchFailure& failure);

// "3 min 4 s", "12 s", "1 h 0 min 5 s", in the locale's language.
std::string DurationText(int64_t seconds);

// The batch driver's host on a terminal: messages and questions on standard
// error (answers from standard input), progress redrawn in place on a smart
// terminal, a summary at the end, and signals as the abort (cli/Interrupts).
class ConsoleHost : public BatchHost {
 public:
  struct Options {
    OverwritePolicy policy = OverwritePolicy::kAsk;
    bool quiet = false;      // no progress and no summary
    bool keepGoing = false;  // the summary lists every failed file
  };

  ConsoleHost(Options options, int inputFd, int errorFd);

  // The program's exit status for the batch that has ended: 128 + the signal
  // when a signal stopped it early, 1 when a file failed or an existing
  // output was skipped for want of a terminal to ask on, else 0.
  int ExitStatus() const;

  // A failure met before the batch (an input folder that cannot be read):
  // shown at once and counted in the summary.
  void ReportEarlyFailure(const std::string& path, int sysErrno);
  // The same for a movie refused before the batch: "PATH: TEXT".
  void ReportEarlyFailure(const std::string& path, const std::string& text);
  // The frames of every movie of the list, in its order, when known: the
  // time left is then reckoned by frames, not by files.
  void SetFramesPerFile(std::vector<uint32_t> frames);

  void ShowError(const BatchFailure& failure) override;
  // A line of its own on standard error, clear of the progress line.
  void ShowNote(const std::string& text);
  OverwriteAnswer ConfirmOverwrite(const std::string& outputPath) override;
  bool ConfirmAbort() override;
  void SetRunning(bool running) override;
  void SetProgressMaximum(uint32_t maximum) override;
  void ShowProgress(const BatchProgress& progress) override;
  void ShowFileName(const std::string& fileName, const BatchProgress& progress) override;
  void ShowFrame(const TBitmap& frame) override;
  void Pump() override;
  void BatchFinished(const BatchSummary& summary) override;

 private:
  enum class LineRead { kLine, kEndOfInput, kInterrupted };
  LineRead ReadReplyLine(std::string& line);
  OverwriteAnswer AskOnTerminal(const std::string& outputPath);
  void AnnounceSkip(const std::string& outputPath, const char* reason);
  void AnnouncePartial(const std::string& outputPath, uint32_t frames, uint32_t frameCount);
  void NoticeInterrupt();
  void DrawProgress(bool force);
  void ClearProgress();
  void Write(std::string_view text);
  void WriteLine(const std::string& text);  // "porute2avi: " text "\n"
  size_t TerminalColumns() const;

  Options options_;
  int inputFd_;
  int errorFd_;
  bool inputIsTerminal_;
  bool errorIsTerminal_;
  bool smartTerminal_;  // redraws one line in place

  bool running_ = false;
  bool interruptNoticed_ = false;
  bool lineShown_ = false;
  BatchSummary::Outcome outcome_ = BatchSummary::Outcome::kNothingToDo;
  size_t earlyFailures_ = 0;
  size_t failedCount_ = 0;
  size_t skippedWithoutTerminal_ = 0;
  uint32_t maximum_ = 0;
  BatchProgress progress_;
  int64_t startNs_ = 0;
  int64_t lastDrawNs_ = 0;
  uint64_t framesBefore_ = 0;  // frames of the files finished before the one in hand
  std::string fileName_;       // as shown
  std::vector<std::string> earlyFailed_;
  std::vector<uint64_t> framesAfter_;  // per file: frames of the files after it
};

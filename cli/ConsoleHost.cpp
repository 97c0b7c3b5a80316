#include "cli/ConsoleHost.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "batch/BatchDriver.h"
#include "batch/Messages.h"
#include "cli/Interrupts.h"
#include "cli/ProgressLine.h"

namespace {

constexpr int64_t kRedrawIntervalNs = 200'000'000;  // at most five redraws a second
constexpr size_t kMaxReplyBytes = 256;

int64_t MonotonicNs() {
  timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view lowerWord) {
  if (text.size() != lowerWord.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerWord[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<OverwriteAnswer> ParseOverwriteReply(std::string_view line) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  if (EqualsIgnoringCase(line, "y") || EqualsIgnoringCase(line, "yes")) return OverwriteAnswer::kYes;
  if (EqualsIgnoringCase(line, "n") || EqualsIgnoringCase(line, "no")) return OverwriteAnswer::kNo;
  if (EqualsIgnoringCase(line, "a") || EqualsIgnoringCase(line, "all")) {
    return OverwriteAnswer::kYesToAll;
  }
  return std::nullopt;
}

ConsoleHost::ConsoleHost(Options options, int inputFd, int errorFd)
    : options_(options),
      inputFd_(inputFd),
      errorFd_(errorFd),
      inputIsTerminal_(isatty(inputFd) == 1),
      errorIsTerminal_(isatty(errorFd) == 1) {
  const char* term = std::getenv("TERM");
  smartTerminal_ = errorIsTerminal_ && term != nullptr && std::strcmp(term, "dumb") != 0;
}

void ConsoleHost::Write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(errorFd_, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a closed or full stderr must not stop the batch
    text.remove_prefix(static_cast<size_t>(n));
  }
}

size_t ConsoleHost::TerminalColumns() const {
  winsize size {};
  if (ioctl(errorFd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
    // One cell less than the width: writing the last cell makes some
    // terminals wrap, and the next redraw would land on a new line.
    return size.ws_col - 1u;
  }
  return 79;
}

void ConsoleHost::ClearProgress() {
  if (!lineShown_) return;
  Write("\r\x1b[K");
  lineShown_ = false;
}

void ConsoleHost::DrawProgress(bool force) {
  // Nothing to show before the first file is in hand.
  if (options_.quiet || !smartTerminal_ || driver_ == nullptr || !running_ || fileName_.empty()) {
    return;
  }
  const int64_t now = MonotonicNs();
  if (!force && now - lastDrawNs_ < kRedrawIntervalNs) return;
  lastDrawNs_ = now;

  ProgressState state;
  // A list replaced during the batch may run past the maximum set at its
  // start; the line never shows more than 100%.
  const uint64_t percent = maximum_ == 0 ? 0 : uint64_t{position_} * 100 / maximum_;
  state.batchPercent = percent > 100 ? 100u : static_cast<uint32_t>(percent);
  state.fileNumber = driver_->fileIndex + 1;
  state.fileTotal = driver_->FileList.size();
  state.framesDone = driver_->fileFramesWritten;
  state.frameTotal = driver_->fileFrameCount;
  state.fileName = fileName_;

  char line[1024];
  const size_t length = FormatProgressLine(state, TerminalColumns(), line + 1, sizeof line - 5);
  line[0] = '\r';
  std::memcpy(line + 1 + length, "\x1b[K", 3);
  Write(std::string_view(line, length + 4));
  lineShown_ = true;
}

void ConsoleHost::NoticeInterrupt() {
  if (interrupted_ || InterruptCount() == 0) return;
  interrupted_ = true;
  if (driver_ != nullptr) driver_->AbortRequested = 1;
  ClearProgress();
  // The file in hand is closed after its current chunk; none is begun after.
  Write("porute2avi: interrupted, stopping (interrupt again to quit at once)\n");
}

void ConsoleHost::ShowError(const std::string& text) {
  ClearProgress();
  Write(text);
  Write("\n");
}

void ConsoleHost::AnnounceSkip(const std::string& outputPath, const char* reason) {
  ClearProgress();
  Write("porute2avi: skipped: ");
  Write(outputPath);
  Write(" (");
  Write(reason);
  Write(")\n");
}

ConsoleHost::LineRead ConsoleHost::ReadReplyLine(std::string& line) {
  line.clear();
  for (;;) {
    char c = 0;
    const ssize_t n = read(inputFd_, &c, 1);
    if (n < 0 && errno == EINTR) {
      if (InterruptCount() > 0) return LineRead::kInterrupted;
      continue;
    }
    if (n <= 0) return line.empty() ? LineRead::kEndOfInput : LineRead::kLine;
    if (c == '\n') return LineRead::kLine;
    if (line.size() < kMaxReplyBytes) line += c;
  }
}

OverwriteAnswer ConsoleHost::AskOnTerminal(const std::string& outputPath) {
  ClearProgress();
  Write(OverwriteQuestionText(outputPath));
  Write(" [y/n/a] ");
  std::string line;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1) Write("Please answer y (yes), n (no) or a (yes to all): ");
    switch (ReadReplyLine(line)) {
      case LineRead::kInterrupted:
        Write("\n");
        NoticeInterrupt();
        return OverwriteAnswer::kCancelled;
      case LineRead::kEndOfInput:
        Write("\n");
        AnnounceSkip(outputPath, "exists; no answer");
        return OverwriteAnswer::kCancelled;
      case LineRead::kLine:
        if (const auto answer = ParseOverwriteReply(line)) {
          if (*answer == OverwriteAnswer::kNo) AnnounceSkip(outputPath, "exists");
          return *answer;
        }
        break;
    }
  }
  AnnounceSkip(outputPath, "exists; no answer");
  return OverwriteAnswer::kCancelled;
}

OverwriteAnswer ConsoleHost::ConfirmOverwrite(const std::string& outputPath) {
  switch (options_.policy) {
    case OverwritePolicy::kAlways:
      return OverwriteAnswer::kYesToAll;
    case OverwritePolicy::kNever:
      AnnounceSkip(outputPath, "exists");
      return OverwriteAnswer::kNo;
    case OverwritePolicy::kAsk:
      break;
  }
  // The question needs a terminal to be seen on and one to answer from.
  if (!inputIsTerminal_ || !errorIsTerminal_) {
    AnnounceSkip(outputPath, "exists; no terminal to ask, use -y to overwrite");
    return OverwriteAnswer::kNo;
  }
  return AskOnTerminal(outputPath);
}

bool ConsoleHost::ConfirmAbort() {
  // On the command line the interrupt is the answer: nothing asks twice.
  return true;
}

void ConsoleHost::SetRunning(bool running) {
  running_ = running;
  if (!running) ClearProgress();
}

void ConsoleHost::SetProgressMaximum(uint32_t maximum) { maximum_ = maximum; }

void ConsoleHost::SetProgressPosition(uint32_t position) {
  position_ = position;
  DrawProgress(false);
}

void ConsoleHost::ShowFileName(const std::string& fileName) {
  fileName_ = fileName;
  if (options_.quiet || !errorIsTerminal_ || driver_ == nullptr) return;
  if (smartTerminal_) {
    DrawProgress(true);
    return;
  }
  // A terminal that cannot redraw gets one plain line per file.
  char head[64];
  const int n = std::snprintf(head, sizeof head, "[%zu/%zu] ", driver_->fileIndex + 1,
                              driver_->FileList.size());
  Write(std::string_view(head, n > 0 ? static_cast<size_t>(n) : 0));
  Write(fileName);
  Write("\n");
}

void ConsoleHost::ShowFrame(const TBitmap&) {}

void ConsoleHost::Pump() { NoticeInterrupt(); }

void ConsoleHost::Finish() {
  if (InterruptCount() > 0) interrupted_ = true;
  ClearProgress();
  if (options_.quiet || !errorIsTerminal_ || driver_ == nullptr) return;
  if (driver_->lastOutcome == BatchDriver::Outcome::kNothingToDo) return;
  char summary[128];
  const int n = std::snprintf(summary, sizeof summary, "porute2avi: %zu converted, %zu skipped%s\n",
                              driver_->filesConverted, driver_->filesSkipped,
                              driver_->lastOutcome == BatchDriver::Outcome::kAborted
                                  ? ", interrupted"
                                  : driver_->lastOutcome == BatchDriver::Outcome::kStoppedByError
                                        ? ", stopped by an error"
                                        : "");
  Write(std::string_view(summary, n > 0 ? static_cast<size_t>(n) : 0));
}

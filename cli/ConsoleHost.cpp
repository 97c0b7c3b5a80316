#include "cli/ConsoleHost.h"

#include <algorithm>
#include <climits>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/FailureText.h"
#include "cli/Gettext.h"
#include "cli/Interrupts.h"
#include "cli/ProgressLine.h"
#include "cli/ShownText.h"
#include "cli/Terminal.h"

namespace {

constexpr int64_t kRedrawIntervalNs = 200'000'000;  // at most five redraws a second
constexpr size_t kMaxReplyBytes = 256;

int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
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

template <class... Args>
std::string Format(const char* format, Args... args) {
  char text[1024];
  const int n = std::snprintf(text, sizeof text, format, args...);
  return std::string(text, n <= 0 ? 0 : std::min(static_cast<size_t>(n), sizeof text - 1));
}

const char* KindText(BatchFailure::Kind kind) {
  switch (kind) {
    case BatchFailure::Kind::kNoMemory:
      return _("cannot obtain the memory");
    case BatchFailure::Kind::kUnsupported:
      return _("unsupported file format");
    case BatchFailure::Kind::kReadInput:
      return _("reading the file failed");
    case BatchFailure::Kind::kWriteOutput:
      return _("writing the file failed");
    case BatchFailure::Kind::kVerifyOutput:
      return _("verification failed");
    case BatchFailure::Kind::kRefusedByEncoder:
      return _("the output format cannot hold this movie");
    case BatchFailure::Kind::kOpenInput:
    case BatchFailure::Kind::kOpenOutput:
      break;
  }
  return _("cannot open the file");
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

std::string FailureLine(const BatchFailure& failure) {
  return ShownText(failure.path) + ": " + FailureCauseText(failure);
}

std::string FailureCauseText(const BatchFailure& failure) {
  std::string line = KindText(failure.kind);
  if (!failure.cause.empty() && failure.movieFailure.kind != FailureKind::kNone) {
    line += ": ";
    line += FailureText(failure.movieFailure);
  } else if (!failure.cause.empty()) {
    line += ": ";
    line += gettext(failure.cause.c_str());
  } else if (failure.sysErrno != 0) {
    line += ": ";
    line += std::strerror(failure.sysErrno);
  }
  return line;
}

std::string DurationText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const auto h = static_cast<long long>(seconds / 3600);
  const int m = static_cast<int>(seconds / 60 % 60);
  const int s = static_cast<int>(seconds % 60);
  if (h > 0) return Format(_("%lld h %d min %d s"), h, m, s);
  if (m > 0) return Format(_("%d min %d s"), m, s);
  return Format(_("%d s"), s);
}

ConsoleHost::ConsoleHost(Options options, int inputFd, int errorFd)
    : options_(options),
      inputFd_(inputFd),
      errorFd_(errorFd),
      inputIsTerminal_(IsTerminal(inputFd)),
      errorIsTerminal_(IsTerminal(errorFd)) {
  smartTerminal_ = IsSmartTerminal(errorFd);
  startNs_ = MonotonicNs();
}

void ConsoleHost::Write(std::string_view text) {
  // A closed or full stderr must not stop the batch: a failure is let be.
  WriteText(errorFd_, text);
}

void ConsoleHost::WriteLine(const std::string& text) {
  ClearProgress();
  std::string line = "porute2avi: ";
  line += text;
  line += '\n';
  Write(line);
}

size_t ConsoleHost::TerminalColumns() const {
  const size_t columns = ::TerminalColumns(errorFd_);
  // One cell less than the width: writing the last cell makes some
  // terminals wrap, and the next redraw would land on a new line.
  return columns > 1 ? columns - 1 : 79;
}

void ConsoleHost::ClearProgress() {
  if (!lineShown_) return;
  Write("\r\x1b[K");
  lineShown_ = false;
}

void ConsoleHost::DrawProgress(bool force) {
  // Nothing to show before the first file is in hand.
  if (options_.quiet || !smartTerminal_ || !running_ || fileName_.empty()) return;
  const int64_t now = MonotonicNs();
  if (!force && now - lastDrawNs_ < kRedrawIntervalNs) return;
  lastDrawNs_ = now;

  ProgressState state;
  // A list replaced during the batch may run past the maximum set at its
  // start; the line never shows more than 100%.
  const uint64_t percent = maximum_ == 0 ? 0 : uint64_t{progress_.barPosition} * 100 / maximum_;
  state.batchPercent = percent > 100 ? 100u : static_cast<uint32_t>(percent);
  state.fileNumber = progress_.fileIndex + 1;
  state.fileTotal = progress_.fileCount;
  state.framesDone = progress_.framesDone;
  state.frameTotal = progress_.frameTotal;
  state.fileName = fileName_;
  const int64_t elapsedNs = now - startNs_;
  state.elapsedSeconds = elapsedNs / 1'000'000'000;
  const uint64_t frames = framesBefore_ + progress_.framesDone;
  if (elapsedNs > 0) {
    state.framesPerSecond = static_cast<uint32_t>(frames * 1'000'000'000 / uint64_t(elapsedNs));
  }
  // What is left of the batch in frames at the pace so far, where the frames
  // of the list are known; else in the bar's measure.
  if (framesAfter_.size() == progress_.fileCount && progress_.fileIndex < framesAfter_.size()) {
    if (frames > 0) {
      const uint64_t left = framesAfter_[progress_.fileIndex] +
                            (progress_.frameTotal - std::min(progress_.frameTotal, progress_.framesDone));
      state.secondsLeft = static_cast<int64_t>(static_cast<double>(elapsedNs) / 1e9 *
                                               static_cast<double>(left) / static_cast<double>(frames));
    }
  } else if (progress_.barPosition > 0 && maximum_ >= progress_.barPosition) {
    state.secondsLeft =
        static_cast<int64_t>(static_cast<double>(elapsedNs) / 1e9 *
                             (maximum_ - progress_.barPosition) / progress_.barPosition);
  }

  char line[1024];
  const size_t length = FormatProgressLine(state, TerminalColumns(), line + 1, sizeof line - 5);
  line[0] = '\r';
  std::memcpy(line + 1 + length, "\x1b[K", 3);
  Write(std::string_view(line, length + 4));
  lineShown_ = true;
}

void ConsoleHost::NoticeInterrupt() {
  if (interruptNoticed_ || InterruptCount() == 0) return;
  interruptNoticed_ = true;
  // The driver was asked to stop by the signal handler itself; the file in
  // hand is closed with the frames written so far and none is begun after it.
  WriteLine(_("interrupted; closing the file in hand"));
}

void ConsoleHost::ShowError(const BatchFailure& failure) {
  WriteLine(FailureLine(failure));
  if (!failure.outputPath.empty()) {
    AnnouncePartial(failure.outputPath, failure.framesWritten, failure.frameCount);
  }
}

void ConsoleHost::ShowNote(const std::string& text) { WriteLine(text); }

void ConsoleHost::AnnouncePartial(const std::string& outputPath, uint32_t frames,
                                  uint32_t frameCount) {
  WriteLine(
      ShownText(outputPath) + ": " +
      Format(_("the file is partial: it holds %u of the movie's %u frames"), frames, frameCount));
}

void ConsoleHost::AnnounceSkip(const std::string& outputPath, const char* reason) {
  WriteLine(ShownText(outputPath) + ": " + reason);
}

void ConsoleHost::ReportEarlyFailure(const std::string& path, int sysErrno) {
  ReportEarlyFailure(path, std::string(_("cannot read the folder")) + ": " + std::strerror(sysErrno));
}

void ConsoleHost::ReportEarlyFailure(const std::string& path, const std::string& text) {
  WriteLine(ShownText(path) + ": " + text);
  ++earlyFailures_;
  earlyFailed_.push_back(path);
}

void ConsoleHost::SetFramesPerFile(std::vector<uint32_t> frames) {
  framesAfter_.assign(frames.size(), 0);
  uint64_t after = 0;
  for (size_t i = frames.size(); i-- > 0;) {
    framesAfter_[i] = after;
    after += frames[i];
  }
}

ConsoleHost::LineRead ConsoleHost::ReadReplyLine(std::string& line) {
  line.clear();
  for (;;) {
    // A stop signal that lands just before read() begins would leave it
    // waiting for a key that may never come: the flag is looked at before
    // every read, and the wait for input is cut into short slices.
    if (InterruptCount() > 0) return LineRead::kInterrupted;
    if (WaitForInput(inputFd_, 100) == 0) continue;
    char c = 0;
    const int n = ReadByte(inputFd_, c);
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
  Write("porute2avi: " + ShownText(outputPath) + ": " + _("the file exists; overwrite it?") +
        " [y/n/a] ");
  std::string line;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1) Write(_("Please answer y (yes), n (no) or a (yes to all): "));
    switch (ReadReplyLine(line)) {
      case LineRead::kInterrupted:
        Write("\n");
        NoticeInterrupt();
        return OverwriteAnswer::kCancelled;
      case LineRead::kEndOfInput:
        Write("\n");
        AnnounceSkip(outputPath, _("skipped: the file exists and no answer came"));
        return OverwriteAnswer::kCancelled;
      case LineRead::kLine:
        if (const auto answer = ParseOverwriteReply(line)) {
          if (*answer == OverwriteAnswer::kNo) {
            AnnounceSkip(outputPath, _("skipped: the file exists"));
          }
          return *answer;
        }
        break;
    }
  }
  AnnounceSkip(outputPath, _("skipped: the file exists and no answer came"));
  return OverwriteAnswer::kCancelled;
}

OverwriteAnswer ConsoleHost::ConfirmOverwrite(const std::string& outputPath) {
  switch (options_.policy) {
    case OverwritePolicy::kAlways:
      return OverwriteAnswer::kYesToAll;
    case OverwritePolicy::kNever:
      AnnounceSkip(outputPath, _("skipped: the file exists"));
      return OverwriteAnswer::kNo;
    case OverwritePolicy::kAsk:
      break;
  }
  // The question needs a terminal to be seen on and one to answer from.
  if (!inputIsTerminal_ || !errorIsTerminal_) {
    AnnounceSkip(outputPath, _("skipped: the file exists and there is no terminal to ask on"));
    ++skippedWithoutTerminal_;
    return OverwriteAnswer::kNo;
  }
  return AskOnTerminal(outputPath);
}

bool ConsoleHost::ConfirmAbort() {
  // On the command line the signal is the answer: nothing asks twice.
  return true;
}

void ConsoleHost::SetRunning(bool running) {
  running_ = running;
  if (!running) ClearProgress();
}

void ConsoleHost::SetProgressMaximum(uint32_t maximum) { maximum_ = maximum; }

void ConsoleHost::ShowProgress(const BatchProgress& progress) {
  progress_ = progress;
  DrawProgress(false);
}

void ConsoleHost::ShowFileName(const std::string& fileName, const BatchProgress& progress) {
  // The frames of the file before count towards the rate.
  if (!fileName_.empty()) framesBefore_ += progress_.framesDone;
  progress_ = progress;
  fileName_ = ShownText(fileName);
  if (options_.quiet || !errorIsTerminal_) return;
  if (smartTerminal_) {
    DrawProgress(true);
    return;
  }
  // A terminal that cannot redraw gets one plain line per file.
  Write(Format("[%zu/%zu] ", progress.fileIndex + 1, progress.fileCount) + fileName_ + "\n");
}

void ConsoleHost::ShowFrame(const TBitmap&) {}

void ConsoleHost::Pump() { NoticeInterrupt(); }

void ConsoleHost::BatchFinished(const BatchSummary& summary) {
  outcome_ = summary.outcome;
  ClearProgress();
  if (summary.outcome == BatchSummary::Outcome::kAborted) {
    NoticeInterrupt();
    if (!summary.abortedOutput.empty()) {
      AnnouncePartial(summary.abortedOutput, summary.abortedFrames, summary.abortedFrameCount);
    }
  }
  failedCount_ = summary.failed + earlyFailures_;
  if (options_.quiet) return;
  const int64_t seconds = (MonotonicNs() - startNs_) / 1'000'000'000;
  // TRANSLATORS: files converted, skipped and failed, then how long it took.
  WriteLine(Format(_("%zu converted, %zu skipped, %zu failed in %s"), summary.converted,
                   summary.skipped, failedCount_, DurationText(seconds).c_str()));
  if (options_.keepGoing) {
    for (const std::string& path : earlyFailed_) {
      WriteLine(Format(_("failed: %s"), ShownText(path).c_str()));
    }
    for (const BatchFailure& failure : summary.failures) {
      WriteLine(Format(_("failed: %s"), ShownText(failure.inputPath).c_str()));
    }
  }
  if (skippedWithoutTerminal_ != 0) {
    WriteLine(Format(ngettext("%zu existing output file was skipped: there is no terminal to "
                              "ask on; pass -y to overwrite or -n to skip",
                              "%zu existing output files were skipped: there is no terminal to "
                              "ask on; pass -y to overwrite or -n to skip",
                              // ngettext counts in an unsigned long, 32 bits on Windows
                              static_cast<unsigned long>(std::min<size_t>(
                                  skippedWithoutTerminal_, ULONG_MAX))),
                     skippedWithoutTerminal_));
  }
}

int ConsoleHost::ExitStatus() const {
  if (outcome_ == BatchSummary::Outcome::kAborted) {
    const int signalNumber = FirstInterruptSignal();
    return 128 + (signalNumber != 0 ? signalNumber : 2);
  }
  if (failedCount_ != 0 || earlyFailures_ != 0 || skippedWithoutTerminal_ != 0) return 1;
  return 0;
}

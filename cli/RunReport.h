#pragma once

// --report FILE: one JSON document on what a run did with each movie, for
// the archive that keeps the outputs: what went in (exact name, size,
// SHA-256 of the movie and its companion, the movie's parameters), what came
// out and whether it was read back whole.

#include <cstdint>
#include <string>
#include <vector>

#include "batch/BatchHost.h"

class RunReport {
 public:
  struct Settings {
    std::string format;  // avi, mkv or mp4
    int crf = -1;        // -1: not given
    bool verify = false;
  };

  RunReport(std::string path, Settings settings);

  // One record per movie of the batch, in its order, with the output it
  // writes when it is converted.
  void AddInput(const std::string& input, const std::string& output);
  // What happened. Events for a movie not in the list are ignored.
  void Converted(const std::string& input);
  void Verified(const std::string& input, bool ok, const std::string& text);
  void Skipped(const std::string& output);
  void Failed(const BatchFailure& failure, const std::string& cause);
  // A movie refused before the batch began.
  void FailedEarly(const std::string& input, const std::string& cause);
  void Aborted(const std::string& output, uint32_t frames, uint32_t frameCount);

  // The document, with the files read as they are now: sizes and checksums
  // of every movie, companion and output that exists.
  std::string Document(bool interrupted) const;

  // Writes the document under a temporary name in the report's folder,
  // syncs it and renames it into place, so that the report's name holds a
  // whole document or what it held before. Empty when it was written, else
  // the step that failed and the system's words.
  std::string Write(bool interrupted) const;

 private:
  struct Record {
    std::string input;
    std::string output;
    enum class Outcome { kNotReached, kConverted, kPartial, kSkipped, kFailed } outcome =
        Outcome::kNotReached;
    std::string cause;
    std::string partialOutput;
    uint32_t framesWritten = 0;
    uint32_t frameCount = 0;
    bool verified = false;
    bool verifyOk = false;
    std::string verifyText;
  };
  Record* Find(const std::string& input);

  std::string path_;
  Settings settings_;
  std::vector<Record> records_;
};

// Passes everything on to the host that shows it, and notes in the report
// what became of each movie.
class ReportingHost : public BatchHost {
 public:
  ReportingHost(BatchHost& shown, RunReport& report) : shown_(shown), report_(report) {}

  void ShowError(const BatchFailure& failure) override;
  OverwriteAnswer ConfirmOverwrite(const std::string& outputPath) override;
  bool ConfirmAbort() override { return shown_.ConfirmAbort(); }
  void SetRunning(bool running) override { shown_.SetRunning(running); }
  void SetProgressMaximum(uint32_t maximum) override { shown_.SetProgressMaximum(maximum); }
  void ShowProgress(const BatchProgress& progress) override { shown_.ShowProgress(progress); }
  void ShowFileName(const std::string& fileName, const BatchProgress& progress) override {
    shown_.ShowFileName(fileName, progress);
  }
  void ShowFrame(const TBitmap& frame) override { shown_.ShowFrame(frame); }
  void Pump() override { shown_.Pump(); }
  void BatchFinished(const BatchSummary& summary) override;

 private:
  BatchHost& shown_;
  RunReport& report_;
};

#include "cli/RunReport.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "batch/Messages.h"
#include "batch/PathNames.h"
#include "cli/ConsoleHost.h"
#include "cli/Gettext.h"
#include "cli/Probe.h"
#include "cli/ShownText.h"
#include "digest/Sha256.h"
#include "platform/FileAccess.h"
#include "platform/Files.h"
#include "v02dec/V02Decode.h"

namespace {

// "path", its exact bytes when it is not UTF-8, "size" and "sha256" of the
// file as it is now; size and sha256 null when it cannot be read.
// hash false: sha256 null, so that an interrupted run ends without reading
// the movies it never reached.
std::string FileMembers(const std::string& path, bool hash = true) {
  std::string text = JsonNameMembers("path", path);
  uint64_t size = 0;
  const bool regular = platform::RegularFileSize(path, size);
  const std::string sha = regular && hash ? Sha256OfFile(path) : std::string();
  text += ", \"size\": " + (regular ? std::to_string(size) : std::string("null"));
  text += ", \"sha256\": " + (sha.empty() ? std::string("null") : "\"" + sha + "\"");
  return text;
}

std::string FileObject(const std::string& path) {
  std::string object = "{";
  object += FileMembers(path);
  object += '}';
  return object;
}

bool Exists(const std::string& path) { return platform::NameExists(path); }

std::string StepFailed(const char* step, int error) {
  return std::string(step) + ": " + std::strerror(error);
}

}  // namespace

RunReport::RunReport(std::string path, Settings settings)
    : path_(std::move(path)), settings_(std::move(settings)) {}

void RunReport::AddInput(const std::string& input, const std::string& output) {
  Record record;
  record.input = input;
  record.output = output;
  records_.push_back(std::move(record));
}

RunReport::Record* RunReport::Find(const std::string& input) {
  // The same movie may be listed twice; events come in the order of the
  // list, so the first record not yet decided is the one in hand.
  for (Record& record : records_) {
    if (record.input == input && record.outcome == Record::Outcome::kNotReached) return &record;
  }
  return nullptr;
}

void RunReport::Converted(const std::string& input) {
  if (Record* record = Find(input)) record->outcome = Record::Outcome::kConverted;
}

void RunReport::Verified(const std::string& input, bool ok, const std::string& text) {
  for (Record& record : records_) {
    if (record.input != input || record.outcome != Record::Outcome::kNotReached) continue;
    record.verified = true;
    record.verifyOk = ok;
    record.verifyText = text;
    return;
  }
}

void RunReport::Skipped(const std::string& output) {
  for (Record& record : records_) {
    if (record.output == output && record.outcome == Record::Outcome::kNotReached) {
      record.outcome = Record::Outcome::kSkipped;
      return;
    }
  }
}

void RunReport::Failed(const BatchFailure& failure, const std::string& cause) {
  Record* record = Find(failure.inputPath.empty() ? failure.path : failure.inputPath);
  if (record == nullptr) return;
  record->cause = cause;
  if (!failure.outputPath.empty()) {
    record->outcome = Record::Outcome::kPartial;
    record->partialOutput = failure.outputPath;
    record->framesWritten = failure.framesWritten;
    record->frameCount = failure.frameCount;
  } else {
    record->outcome = Record::Outcome::kFailed;
  }
}

void RunReport::FailedEarly(const std::string& input, const std::string& cause) {
  if (Record* record = Find(input)) {
    record->outcome = Record::Outcome::kFailed;
    record->cause = cause;
  }
}

void RunReport::Aborted(const std::string& output, uint32_t frames, uint32_t frameCount) {
  for (Record& record : records_) {
    if (record.outcome != Record::Outcome::kNotReached) continue;
    record.outcome = Record::Outcome::kPartial;
    record.cause = _("interrupted");
    record.partialOutput = output;
    record.framesWritten = frames;
    record.frameCount = frameCount;
    return;
  }
}

std::string RunReport::Document(bool interrupted) const {
  std::string text = "{\n  \"program\": \"porute2avi\", \"version\": \"";
  text += kProgramVersion;
  text += "\",\n  \"interrupted\": ";
  text += interrupted ? "true" : "false";
  text += ",\n  \"settings\": {\"format\": \"" + settings_.format + "\", \"crf\": " +
          (settings_.crf >= 0 ? std::to_string(settings_.crf) : std::string("null")) +
          ", \"verify\": " + (settings_.verify ? "true" : "false") + "},\n  \"inputs\": [";
  V02Decode decoder;
  // The header's parameters only: no writer's verdict.
  ProbeSettings probe;
  probe.format.clear();
  for (size_t i = 0; i < records_.size(); ++i) {
    const Record& record = records_[i];
    text += i == 0 ? "\n    {" : ",\n    {";
    const bool reached = record.outcome != Record::Outcome::kNotReached;
    text += FileMembers(record.input, reached || !interrupted);
    MovieInfo info;
    std::string cause;
    const bool opened = ReadMovieInfo(decoder, record.input, probe, info, cause);
    const std::string companion =
        opened && info.companion ? FindCompanion(record.input) : std::string();
    text += ",\n     \"companion\": " +
            (companion.empty() ? std::string("null") : FileObject(companion));
    if (opened) {
      text += ",\n     \"movie\": {\"format\": \"" + std::string(info.vd00 ? "VD00" : "VD02") +
              "\", \"width\": " + std::to_string(info.width) +
              ", \"height\": " + std::to_string(info.height) +
              ", \"frames\": " + std::to_string(info.frameCount) +
              ", \"rate\": " + std::to_string(info.rate) +
              ", \"scale\": " + std::to_string(info.scale) +
              ", \"frames_per_chunk\": " + std::to_string(info.framesPerChunk) +
              ", \"sound_rate\": " + std::to_string(info.soundRate) + "}";
    } else {
      text += ",\n     \"movie\": null";
    }
    static constexpr const char* kOutcomes[] = {"not_reached", "converted", "partial", "skipped",
                                                "failed"};
    text += ",\n     \"outcome\": \"";
    text += kOutcomes[static_cast<int>(record.outcome)];
    text += "\"";
    if (!record.cause.empty()) text += ", \"cause\": " + JsonString(record.cause);
    std::string output;
    switch (record.outcome) {
      case Record::Outcome::kConverted:
      case Record::Outcome::kSkipped:
        output = record.output;
        break;
      case Record::Outcome::kPartial:
        output = record.partialOutput;
        text += ", \"frames_written\": " + std::to_string(record.framesWritten) +
                ", \"frame_count\": " + std::to_string(record.frameCount);
        break;
      default:
        break;
    }
    text += ",\n     \"output\": " +
            (output.empty() || !Exists(output) ? std::string("null") : FileObject(output));
    text += ",\n     \"verify\": ";
    text += !record.verified ? std::string("null")
                             : std::string("{\"ok\": ") + (record.verifyOk ? "true" : "false") +
                                   ", \"text\": " + JsonString(record.verifyText) + "}";
    text += "}";
  }
  text += records_.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return text;
}

std::string RunReport::Write(bool interrupted) const {
  const std::string document = Document(interrupted);
  const std::string folder = FolderPart(path_);
  // Beside the report, so that the rename stays within one file system;
  // created exclusively, so that nothing of the user's is written through,
  // and readable by others like any file the user makes.
  std::string temporary;
  platform::FileHandle file = platform::kNoFile;
  int error = 0;
  for (unsigned attempt = 0; file == platform::kNoFile && attempt < 100; ++attempt) {
    temporary = path_ + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) +
                "-report.tmp";
    error = platform::CreateForWriting(temporary, true, file);
    if (error != 0 && error != EEXIST) break;
  }
  if (file == platform::kNoFile) return StepFailed(_("cannot create the temporary file"), error);
  const char* step = nullptr;
  error = platform::WriteAllAt(file, document.data(), document.size(), 0);
  if (error != 0) step = _("cannot write the temporary file");
  if (step == nullptr && (error = platform::SyncOpenFile(file)) != 0) {
    step = _("cannot sync the temporary file");
  }
  if (const int closed = platform::CloseFile(file); closed != 0 && step == nullptr) {
    error = closed;
    step = _("cannot close the temporary file");
  }
  if (step == nullptr && (error = platform::ReplaceName(temporary, path_)) != 0) {
    step = _("cannot rename the temporary file");
  }
  if (step != nullptr) {
    platform::RemoveName(temporary);
    return StepFailed(step, error);
  }
  // The rename itself reaches the disk with the folder.
  if ((error = platform::SyncFolder(folder)) != 0) {
    return StepFailed(_("cannot sync the folder"), error);
  }
  return {};
}

void ReportingHost::ShowError(const BatchFailure& failure) {
  report_.Failed(failure, FailureCauseText(failure));
  shown_.ShowError(failure);
}

OverwriteAnswer ReportingHost::ConfirmOverwrite(const std::string& outputPath) {
  const OverwriteAnswer answer = shown_.ConfirmOverwrite(outputPath);
  if (answer == OverwriteAnswer::kNo || answer == OverwriteAnswer::kCancelled) {
    report_.Skipped(outputPath);
  }
  return answer;
}

void ReportingHost::BatchFinished(const BatchSummary& summary) {
  if (summary.outcome == BatchSummary::Outcome::kAborted && !summary.abortedOutput.empty()) {
    report_.Aborted(summary.abortedOutput, summary.abortedFrames, summary.abortedFrameCount);
  }
  shown_.BatchFinished(summary);
}

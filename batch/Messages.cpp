#include "batch/Messages.h"

std::string PathMessage(const std::string& path, const char* text) {
  std::string message;
  message.reserve(path.size() + 3 + std::char_traits<char>::length(text));
  message += '"';
  message += path;
  message += "\"\n";
  message += text;
  return message;
}

std::string OverwriteQuestionText(const std::string& outputPath) {
  return PathMessage(outputPath, kTextOverwrite);
}

std::string DesignedMessage(const BatchFailure& failure) {
  switch (failure.kind) {
    case BatchFailure::Kind::kNoMemory:
      return kTextNoMemory;
    case BatchFailure::Kind::kUnsupported:
      return PathMessage(failure.path, kTextUnsupported);
    case BatchFailure::Kind::kReadInput:
      return PathMessage(failure.path, kTextReadFailed);
    case BatchFailure::Kind::kWriteOutput:
    case BatchFailure::Kind::kVerifyOutput:
      return PathMessage(failure.path, kTextWriteFailed);
    case BatchFailure::Kind::kOpenInput:
    case BatchFailure::Kind::kOpenOutput:
    case BatchFailure::Kind::kRefusedByEncoder:
      break;
  }
  return PathMessage(failure.path, kTextOpenFailed);
}

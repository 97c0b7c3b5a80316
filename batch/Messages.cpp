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

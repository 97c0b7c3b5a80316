#include "batch/AviMovieEncoder.h"

#include <cerrno>
#include <cstring>

MovieEncoder::OpenResult AviMovieEncoder::Open(const char* path, const Shape& shape,
                                               bool mayReplace) {
  encoder_.movie = shape;
  encoder_.createExclusively = !mayReplace;
  if (encoder_.Open(path) == 0) return OpenResult::kOk;
  if (encoder_.refused) return OpenResult::kRefused;
  if (!mayReplace && encoder_.failureErrno == EEXIST) return OpenResult::kExists;
  if (encoder_.refusal != nullptr) return OpenResult::kRefused;
  return OpenResult::kFailed;
}

int AviMovieEncoder::WriteVideo(const void* pixels) { return encoder_.WriteVideo(pixels); }

int AviMovieEncoder::WriteAudio(const void* block) { return encoder_.WriteAudio(block); }

int AviMovieEncoder::Close() { return encoder_.Close(); }

std::string AviMovieEncoder::FailureCause() const {
  if (encoder_.refusal != nullptr) return encoder_.refusal;
  return encoder_.failureErrno != 0 ? std::strerror(encoder_.failureErrno) : std::string();
}

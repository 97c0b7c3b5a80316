#include "batch/AviMovieEncoder.h"

MovieEncoder::OpenResult AviMovieEncoder::Open(const char* path, const Shape& shape,
                                               bool mayReplace) {
  (void)mayReplace;
  encoder_.frameCount = shape.frameCount;
  encoder_.rate = shape.rate;
  encoder_.scale = shape.scale;
  encoder_.width = shape.width;
  encoder_.height = shape.height;
  encoder_.soundRate = shape.soundRate;
  encoder_.soundBlockBytes = shape.soundBlockBytes;
  return encoder_.Open(path) == 0 ? OpenResult::kOk : OpenResult::kFailed;
}

int AviMovieEncoder::WriteVideo(const void* pixels) { return encoder_.WriteVideo(pixels); }

int AviMovieEncoder::WriteAudio(const void* block) { return encoder_.WriteAudio(block); }

int AviMovieEncoder::Close() {
  encoder_.Close();
  return 0;
}

std::string AviMovieEncoder::FailureCause() const { return {}; }

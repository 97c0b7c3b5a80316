#pragma once

#include "avienc/AVIencode.h"
#include "batch/MovieEncoder.h"

// The designed output: an uncompressed AVI file through AVIencode.
class AviMovieEncoder final : public MovieEncoder {
 public:
  const char* Extension() const override { return ".avi"; }
  OpenResult Open(const char* path, const Shape& shape, bool mayReplace) override;
  int WriteVideo(const void* pixels) override;
  int WriteAudio(const void* block) override;
  int Close() override;
  int64_t FramesKept() const override { return encoder_.framesKept; }
  std::string FailureCause() const override;

 private:
  AVIencode encoder_;
};

#pragma once

// VD02 movies whose frames are small in the file but ask for a great deal of
// work: every op list keeps to the format's limits, yet a naive reader
// rewrites the whole plane over and over. For the decoder's work bound, its
// abort latency and the benchmark that measures both.

#include <cstdint>

#include "tools/moviewriter/Bytes.h"

namespace moviewriter {

enum class HostileKind : uint8_t {
  // Each frame: one FillBytes op of `repeats` entries, each a single run over
  // the whole plane (13 bytes an entry). repeats = 1 is the benign twin: the
  // same picture, the plane filled once.
  kFillBytes,
  // Each frame: one whole-plane fill, then `repeats` MoveBlocks ops of one
  // block each (12 bytes an op), every op a snapshot to a naive reader.
  kMoveBlocks,
};

struct HostileOptions {
  uint32_t width = 8192;
  uint32_t height = 8192;
  uint32_t frames = 2;
  uint32_t framesPerChunk = 1;
  HostileKind kind = HostileKind::kFillBytes;
  uint32_t repeats = 3000;  // 1 to 65,534 for kMoveBlocks
  uint32_t benignFrames = 0;  // leading frames that fill the plane once
};

// Frame n's plane ends up all (n * 37 + 5) & 0xFF whatever `repeats` is.
Bytes MakeHostileV02(const HostileOptions& options);

}  // namespace moviewriter

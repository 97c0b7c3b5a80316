#pragma once

// Encodes VD02 frames: given the working frame as it is and as it should be,
// builds an op list that turns one into the other exactly. Blocks that moved
// go by MoveBlocks, runs of one byte by FillBytes, runs of a 4-byte pattern by
// FillWords, the rest by CopyBytes. A strategy restricts the op types and
// picks the packed-number forms, so tests can force each kind of data.

#include <cstdint>
#include <span>
#include <vector>

#include "tools/moviewriter/Bytes.h"
#include "tools/moviewriter/OpList.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace moviewriter {

// Op types an encoder may use.
enum OpUse : unsigned {
  kUseFillBytes = 1,
  kUseFillWords = 2,
  kUseCopyBytes = 4,
  kUseMoveBlocks = 8,
  kUseAllOps = 15,
};

// The form of every packed number an encoder writes; kRotate takes the
// shortest, the 3-byte and the 7-byte form in turn, number after number.
enum class NumberForms : uint8_t { kShortest, kThreeBytes, kSevenBytes, kRotate };

// How a picture moved since the frame before, in pixels: content now at
// (x, y) was at (x - dx, y - dy). Hints where MoveBlocks may find its sources.
struct Motion {
  int32_t dx = 0;
  int32_t dy = 0;
};

struct EncoderStrategy {
  // Any subset of OpUse. Where the allowed ops cannot express a change
  // (MoveBlocks alone, or nothing), the rest goes by CopyBytes.
  unsigned ops = kUseAllOps;
  NumberForms numbers = NumberForms::kShortest;
  // Put the fills before the MoveBlocks op, whose snapshot then holds them.
  bool fillsBeforeMoves = false;
  // Two MoveBlocks ops in one list: the second one's snapshot holds the
  // blocks of the first.
  bool splitMoves = false;
  // Shortest run of one byte that goes by FillBytes rather than CopyBytes.
  uint32_t minFillBytes = 6;
  // Shortest run (bytes) of a repeated 4-byte pattern that goes by FillWords.
  uint32_t minFillWords = 12;
  // Unchanged bytes between two changes up to which both go in one run.
  uint32_t joinGap = 6;
  // Bytes of a block's 64 that its source must already get right.
  uint32_t minBlockMatch = 48;
  // Displacements tried around each motion hint, in bytes and rows.
  int32_t searchRadius = 0;
};

class FrameEncoder {
 public:
  FrameEncoder(FrameGeometry geometry, EncoderStrategy strategy);

  // An op list that turns `previous` into `desired` (both PlaneSize() bytes).
  // Frames that do not differ give an op list of no ops.
  OpList Encode(const Bytes& previous, const Bytes& desired, std::span<const Motion> motions = {});

  const FrameGeometry& Geometry() const { return geometry_; }

 private:
  PackedForm NextForm();
  std::vector<Block> FindBlocks(const Bytes& snapshot, const Bytes& desired,
                                std::span<const Motion> motions);
  // Fill and copy ops that make `state` equal `desired` where `wanted` is set
  // (everywhere when wanted is empty).
  std::vector<Op> PatchOps(const Bytes& state, const Bytes& desired,
                           const std::vector<uint8_t>& wanted);
  void Apply(const OpList& list, Bytes& state) const;

  FrameGeometry geometry_;
  EncoderStrategy strategy_;
  uint32_t formTurn_ = 0;
};

}  // namespace moviewriter

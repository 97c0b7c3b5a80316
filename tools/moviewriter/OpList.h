#pragma once

// Byte-exact builders for VD02 op lists: the four operations with their
// entries, runs and blocks, unknown operations, and every override that damaged
// data needs (counts that disagree with what follows, lengths that disagree
// with the payload, surplus payload bytes).
//
// An op list is a 16-bit op count, then the ops. An op is a 16-bit type, a
// 32-bit length and length payload bytes. Every payload starts with a 32-bit
// count of its entries, runs or blocks.

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "tools/moviewriter/Bytes.h"

namespace moviewriter {

enum OpType : uint16_t {
  kOpFillBytes = 0x1104,
  kOpFillWords = 0x1404,
  kOpCopyBytes = 0x2104,
  kOpMoveBlocks = 0x3008,
};

// A run of a fill: skip (bytes, from where the previous run of the same entry
// ended, or from offset 0 for an entry's first run), then count (bytes for
// FillBytes, 4-byte words for FillWords).
struct Run {
  Run() = default;
  Run(uint32_t skipBytes, uint32_t units, PackedForm skipIn = PackedForm::kShortest,
      PackedForm countIn = PackedForm::kShortest)
      : skip(skipBytes), count(units), skipForm(skipIn), countForm(countIn) {}

  uint32_t skip = 0;
  uint32_t count = 0;
  PackedForm skipForm = PackedForm::kShortest;
  PackedForm countForm = PackedForm::kShortest;
};

struct FillBytesEntry {
  FillBytesEntry() = default;
  FillBytesEntry(uint8_t fillValue, std::vector<Run> fillRuns,
                 std::optional<uint32_t> runCount = std::nullopt)
      : value(fillValue), runs(std::move(fillRuns)), runCountOverride(runCount) {}

  uint8_t value = 0;
  std::vector<Run> runs;
  // Damaged data: a run count other than runs.size().
  std::optional<uint32_t> runCountOverride;
};

struct FillWordsEntry {
  FillWordsEntry() = default;
  FillWordsEntry(std::array<uint8_t, 4> fillPattern, std::vector<Run> fillRuns,
                 std::optional<uint32_t> runCount = std::nullopt)
      : pattern(fillPattern), runs(std::move(fillRuns)), runCountOverride(runCount) {}

  std::array<uint8_t, 4> pattern{};
  std::vector<Run> runs;
  std::optional<uint32_t> runCountOverride;
};

// A run of CopyBytes: skip from where the previous run of the op ended, then
// the literal bytes. Their count is data.size() unless overridden.
struct CopyRun {
  CopyRun() = default;
  CopyRun(uint32_t skipBytes, Bytes literal, PackedForm skipIn = PackedForm::kShortest,
          PackedForm countIn = PackedForm::kShortest, std::optional<uint32_t> count = std::nullopt)
      : skip(skipBytes), data(std::move(literal)), skipForm(skipIn), countForm(countIn),
        countOverride(count) {}

  uint32_t skip = 0;
  Bytes data;
  PackedForm skipForm = PackedForm::kShortest;
  PackedForm countForm = PackedForm::kShortest;
  std::optional<uint32_t> countOverride;
};

// A block of MoveBlocks: skip from the previous block's first byte (blocks do
// not advance the position), then the displacement of its source in the
// reference copy.
struct Block {
  Block() = default;
  Block(uint32_t skipBytes, int32_t displacementBytes, PackedForm skipIn = PackedForm::kShortest,
        PackedForm displacementIn = PackedForm::kShortest)
      : skip(skipBytes), displacement(displacementBytes), skipForm(skipIn),
        displacementForm(displacementIn) {}

  uint32_t skip = 0;
  int32_t displacement = 0;
  PackedForm skipForm = PackedForm::kShortest;
  PackedForm displacementForm = PackedForm::kShortest;
};

// One op as stored. The length field is payload.size() unless overridden.
struct Op {
  uint16_t type = 0;
  Bytes payload;
  std::optional<uint32_t> lengthOverride;

  // Bytes after the payload proper that the length covers and a reader skips.
  Op& AddSurplus(std::span<const uint8_t> bytes);
  uint32_t LengthField() const;
  void AppendTo(Bytes& out) const;
};

// The first count of each payload defaults to the number of entries, runs or
// blocks given; countOverride stores another (damaged data).
Op FillBytesOp(const std::vector<FillBytesEntry>& entries,
               std::optional<uint32_t> countOverride = std::nullopt);
Op FillWordsOp(const std::vector<FillWordsEntry>& entries,
               std::optional<uint32_t> countOverride = std::nullopt);
Op CopyBytesOp(const std::vector<CopyRun>& runs,
               std::optional<uint32_t> countOverride = std::nullopt);
Op MoveBlocksOp(const std::vector<Block>& blocks,
                std::optional<uint32_t> countOverride = std::nullopt);
// Any type, any payload: unknown op codes, or hand-made payloads.
Op RawOp(uint16_t type, Bytes payload);
// An op with length 0: 6 bytes, no payload.
Op EmptyOp(uint16_t type);

// The op list of one frame.
struct OpList {
  std::vector<Op> ops;
  // Damaged data: an op count other than ops.size().
  std::optional<uint16_t> opCountOverride;

  OpList& Add(Op op);
  void AppendTo(Bytes& out) const;
  Bytes ToBytes() const;
};

}  // namespace moviewriter

#include "tools/moviewriter/OpList.h"

namespace moviewriter {

namespace {
void PutRuns(Bytes& out, const std::vector<Run>& runs, std::optional<uint32_t> countOverride) {
  PutU32(out, countOverride.value_or(static_cast<uint32_t>(runs.size())));
  for (const Run& run : runs) {
    PutPackedUnsigned(out, run.skip, run.skipForm);
    PutPackedUnsigned(out, run.count, run.countForm);
  }
}
}  // namespace

Op& Op::AddSurplus(std::span<const uint8_t> bytes) {
  PutBytes(payload, bytes);
  return *this;
}

uint32_t Op::LengthField() const {
  return lengthOverride.value_or(static_cast<uint32_t>(payload.size()));
}

void Op::AppendTo(Bytes& out) const {
  PutU16(out, type);
  PutU32(out, LengthField());
  PutBytes(out, payload);
}

Op FillBytesOp(const std::vector<FillBytesEntry>& entries, std::optional<uint32_t> countOverride) {
  Op op{kOpFillBytes, {}, std::nullopt};
  PutU32(op.payload, countOverride.value_or(static_cast<uint32_t>(entries.size())));
  for (const FillBytesEntry& entry : entries) {
    PutU8(op.payload, entry.value);
    PutRuns(op.payload, entry.runs, entry.runCountOverride);
  }
  return op;
}

Op FillWordsOp(const std::vector<FillWordsEntry>& entries, std::optional<uint32_t> countOverride) {
  Op op{kOpFillWords, {}, std::nullopt};
  PutU32(op.payload, countOverride.value_or(static_cast<uint32_t>(entries.size())));
  for (const FillWordsEntry& entry : entries) {
    PutBytes(op.payload, entry.pattern);
    PutRuns(op.payload, entry.runs, entry.runCountOverride);
  }
  return op;
}

Op CopyBytesOp(const std::vector<CopyRun>& runs, std::optional<uint32_t> countOverride) {
  Op op{kOpCopyBytes, {}, std::nullopt};
  PutU32(op.payload, countOverride.value_or(static_cast<uint32_t>(runs.size())));
  for (const CopyRun& run : runs) {
    PutPackedUnsigned(op.payload, run.skip, run.skipForm);
    PutPackedUnsigned(op.payload, run.countOverride.value_or(static_cast<uint32_t>(run.data.size())),
                      run.countForm);
    PutBytes(op.payload, run.data);
  }
  return op;
}

Op MoveBlocksOp(const std::vector<Block>& blocks, std::optional<uint32_t> countOverride) {
  Op op{kOpMoveBlocks, {}, std::nullopt};
  PutU32(op.payload, countOverride.value_or(static_cast<uint32_t>(blocks.size())));
  for (const Block& block : blocks) {
    PutPackedUnsigned(op.payload, block.skip, block.skipForm);
    PutPackedSigned(op.payload, block.displacement, block.displacementForm);
  }
  return op;
}

Op RawOp(uint16_t type, Bytes payload) { return Op{type, std::move(payload), std::nullopt}; }

Op EmptyOp(uint16_t type) { return Op{type, {}, std::nullopt}; }

OpList& OpList::Add(Op op) {
  ops.push_back(std::move(op));
  return *this;
}

void OpList::AppendTo(Bytes& out) const {
  PutU16(out, opCountOverride.value_or(static_cast<uint16_t>(ops.size())));
  for (const Op& op : ops) op.AppendTo(out);
}

Bytes OpList::ToBytes() const {
  Bytes out;
  AppendTo(out);
  return out;
}

}  // namespace moviewriter

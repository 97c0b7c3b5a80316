#include "tools/moviewriter/FrameEncoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace moviewriter {

namespace {

int32_t FloorDiv(int32_t value, int32_t divisor) {
  int32_t quotient = value / divisor;
  if ((value % divisor != 0) && ((value < 0) != (divisor < 0))) --quotient;
  return quotient;
}

// Runs of one fill op, gathered in address order and grouped into entries by
// value. A run that would start before the end of its entry's last run (a
// FillWords word pulled back to fit the frame's end) opens another entry of
// the same value, since skips cannot go backwards.
template <typename Key>
class FillGatherer {
 public:
  struct Entry {
    Key value{};
    std::vector<std::pair<size_t, size_t>> runs;  // start byte, count of units
    size_t end = 0;
  };

  void Add(Key value, size_t start, size_t count, size_t unitBytes) {
    auto found = latest_.find(value);
    if (found == latest_.end() || entries_[found->second].end > start) {
      entries_.push_back(Entry{value, {}, 0});
      latest_[value] = entries_.size() - 1;
      found = latest_.find(value);
    }
    Entry& entry = entries_[found->second];
    entry.runs.emplace_back(start, count);
    entry.end = start + count * unitBytes;
  }

  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
  std::map<Key, size_t> latest_;
};

}  // namespace

FrameEncoder::FrameEncoder(FrameGeometry geometry, EncoderStrategy strategy)
    : geometry_(geometry), strategy_(strategy) {}

PackedForm FrameEncoder::NextForm() {
  switch (strategy_.numbers) {
    case NumberForms::kShortest: return PackedForm::kShortest;
    case NumberForms::kThreeBytes: return PackedForm::kThreeBytes;
    case NumberForms::kSevenBytes: return PackedForm::kSevenBytes;
    case NumberForms::kRotate: break;
  }
  static constexpr PackedForm kTurns[] = {PackedForm::kShortest, PackedForm::kThreeBytes,
                                          PackedForm::kSevenBytes};
  return kTurns[formTurn_++ % 3];
}

std::vector<Block> FrameEncoder::FindBlocks(const Bytes& snapshot, const Bytes& desired,
                                            std::span<const Motion> motions) {
  const auto size = static_cast<int64_t>(snapshot.size());
  const auto stride = static_cast<int64_t>(geometry_.Stride());
  const auto lumaBytes = static_cast<int64_t>(geometry_.LumaBytes());
  std::vector<Block> blocks;
  int64_t lastStart = 0;

  auto matches = [&](int64_t start, int64_t displacement, uint32_t needed) -> uint32_t {
    uint32_t misses = 0;
    const uint32_t allowed = 64 - needed;
    for (int64_t row = 0; row < 8; ++row) {
      const int64_t at = start + row * stride;
      for (int64_t column = 0; column < 8; ++column) {
        if (snapshot[static_cast<size_t>(at + column + displacement)] !=
            desired[static_cast<size_t>(at + column)]) {
          if (++misses > allowed) return 0;
        }
      }
    }
    return 64 - misses;
  };

  // Luma rows hold every picture row, chroma rows every second one.
  for (int plane = 0; plane < 2; ++plane) {
    const int64_t planeStart = plane == 0 ? 0 : lumaBytes;
    const int64_t planeRows = plane == 0 ? geometry_.height : geometry_.height / 2;
    const int32_t rowsPerRow = plane == 0 ? 1 : 2;

    std::vector<int64_t> candidates;
    const Motion still{};
    const std::span<const Motion> bases = motions.empty() ? std::span<const Motion>(&still, 1) : motions;
    const int32_t radius = motions.empty() ? std::max<int32_t>(1, strategy_.searchRadius)
                                           : strategy_.searchRadius;
    for (const Motion& motion : bases) {
      const int32_t byteShift = -FloorDiv(motion.dx, 2);
      const int32_t rowShift = -FloorDiv(motion.dy, rowsPerRow);
      for (int32_t dy = -radius; dy <= radius; ++dy) {
        for (int32_t dx = -radius; dx <= radius; ++dx) {
          const int64_t displacement = (byteShift + dx) + int64_t{rowShift + dy} * stride;
          if (displacement != 0 &&
              std::find(candidates.begin(), candidates.end(), displacement) == candidates.end()) {
            candidates.push_back(displacement);
          }
        }
      }
    }

    for (int64_t row = 0; row + 8 <= planeRows; row += 8) {
      for (int64_t column = 0; column + 8 <= stride; column += 8) {
        const int64_t start = planeStart + row * stride + column;
        const uint32_t already = matches(start, 0, 0);
        if (already == 64) continue;
        uint32_t best = std::max(already + 1, strategy_.minBlockMatch);
        int64_t bestDisplacement = 0;
        bool found = false;
        for (int64_t displacement : candidates) {
          if (start + displacement < 0 || start + 7 * stride + 7 + displacement >= size) continue;
          const uint32_t got = matches(start, displacement, std::min<uint32_t>(best, 64));
          if (got >= best) {
            best = got + 1;
            bestDisplacement = displacement;
            found = true;
            if (got == 64) break;
          }
        }
        if (!found) continue;
        Block block;
        block.skip = static_cast<uint32_t>(start - lastStart);
        block.displacement = static_cast<int32_t>(bestDisplacement);
        block.skipForm = NextForm();
        block.displacementForm = NextForm();
        blocks.push_back(block);
        lastStart = start;
      }
    }
  }
  return blocks;
}

std::vector<Op> FrameEncoder::PatchOps(const Bytes& state, const Bytes& desired,
                                       const std::vector<uint8_t>& wanted) {
  const size_t size = state.size();
  const bool useFillBytes = (strategy_.ops & kUseFillBytes) != 0;
  const bool useFillWords = (strategy_.ops & kUseFillWords) != 0;
  const bool useCopyBytes = (strategy_.ops & kUseCopyBytes) != 0 || (!useFillBytes && !useFillWords);
  auto differs = [&](size_t i) { return state[i] != desired[i] && (wanted.empty() || wanted[i] != 0); };

  FillGatherer<uint8_t> byteFills;
  FillGatherer<uint32_t> wordFills;
  std::vector<std::pair<size_t, size_t>> copies;  // start, end

  auto addCopy = [&](size_t start, size_t end) {
    if (!copies.empty() && copies.back().second == start) {
      copies.back().second = end;
    } else {
      copies.emplace_back(start, end);
    }
  };
  auto patternAt = [&](size_t start) {
    uint32_t pattern = 0;
    for (size_t i = 0; i < 4; ++i) pattern |= uint32_t{desired[start + i]} << (8 * i);
    return pattern;
  };

  size_t i = 0;
  while (i < size) {
    if (!differs(i)) {
      ++i;
      continue;
    }
    // One span of changes; unchanged gaps up to joinGap bytes go along.
    const size_t spanStart = i;
    size_t spanEnd = i + 1;
    for (size_t j = spanEnd; j < size; ++j) {
      if (differs(j)) {
        spanEnd = j + 1;
      } else if (j + 1 - spanEnd > strategy_.joinGap) {
        break;
      }
    }

    size_t at = spanStart;
    while (at < spanEnd) {
      size_t sameRun = 1;
      while (at + sameRun < spanEnd && desired[at + sameRun] == desired[at]) ++sameRun;
      size_t periodic = std::min<size_t>(4, spanEnd - at);
      while (at + periodic < spanEnd && desired[at + periodic] == desired[at + periodic - 4]) {
        ++periodic;
      }
      const size_t words = periodic / 4;

      if (useFillBytes && sameRun >= strategy_.minFillBytes) {
        byteFills.Add(desired[at], at, sameRun, 1);
        at += sameRun;
      } else if (useFillWords && words > 0 && 4 * words >= strategy_.minFillWords) {
        wordFills.Add(patternAt(at), at, words, 4);
        at += 4 * words;
      } else if (useCopyBytes) {
        addCopy(at, at + 1);
        at += 1;
      } else if (useFillBytes) {
        byteFills.Add(desired[at], at, sameRun, 1);
        at += sameRun;
      } else {
        // FillWords alone: whole words, the last one pulled back to end at the
        // frame's end. Bytes it covers beyond the change get their desired
        // value, which they may already have.
        const size_t start = std::min(at, size - 4);
        const size_t count = std::max<size_t>(1, start == at ? words : 1);
        wordFills.Add(patternAt(start), start, count, 4);
        at = start + 4 * count;
      }
    }
    i = std::max(spanEnd, at);
  }

  std::vector<Op> ops;
  if (!byteFills.Entries().empty()) {
    std::vector<FillBytesEntry> entries;
    for (const auto& gathered : byteFills.Entries()) {
      FillBytesEntry entry;
      entry.value = gathered.value;
      size_t cursor = 0;
      for (const auto& [start, count] : gathered.runs) {
        Run run;
        run.skip = static_cast<uint32_t>(start - cursor);
        run.skipForm = NextForm();
        run.count = static_cast<uint32_t>(count);
        run.countForm = NextForm();
        entry.runs.push_back(run);
        cursor = start + count;
      }
      entries.push_back(std::move(entry));
    }
    ops.push_back(FillBytesOp(entries));
  }
  if (!wordFills.Entries().empty()) {
    std::vector<FillWordsEntry> entries;
    for (const auto& gathered : wordFills.Entries()) {
      FillWordsEntry entry;
      for (size_t b = 0; b < 4; ++b) entry.pattern[b] = static_cast<uint8_t>(gathered.value >> (8 * b));
      size_t cursor = 0;
      for (const auto& [start, count] : gathered.runs) {
        Run run;
        run.skip = static_cast<uint32_t>(start - cursor);
        run.skipForm = NextForm();
        run.count = static_cast<uint32_t>(count);
        run.countForm = NextForm();
        entry.runs.push_back(run);
        cursor = start + 4 * count;
      }
      entries.push_back(std::move(entry));
    }
    ops.push_back(FillWordsOp(entries));
  }
  if (!copies.empty()) {
    std::vector<CopyRun> runs;
    size_t cursor = 0;
    for (const auto& [start, end] : copies) {
      CopyRun run;
      run.skip = static_cast<uint32_t>(start - cursor);
      run.skipForm = NextForm();
      run.data.assign(desired.begin() + static_cast<ptrdiff_t>(start),
                      desired.begin() + static_cast<ptrdiff_t>(end));
      run.countForm = NextForm();
      runs.push_back(std::move(run));
      cursor = end;
    }
    ops.push_back(CopyBytesOp(runs));
  }
  return ops;
}

void FrameEncoder::Apply(const OpList& list, Bytes& state) const {
  const Bytes bytes = list.ToBytes();
  size_t position = 0;
  if (!ApplyOpList(bytes, position, geometry_, state)) {
    std::fprintf(stderr, "FrameEncoder: built an op list that breaks the format\n");
    std::abort();
  }
}

OpList FrameEncoder::Encode(const Bytes& previous, const Bytes& desired,
                            std::span<const Motion> motions) {
  const size_t size = geometry_.PlaneSize();
  if (previous.size() != size || desired.size() != size || size < 4) {
    std::fprintf(stderr, "FrameEncoder: working frames must be %zu bytes\n", size);
    std::abort();
  }
  Bytes state = previous;
  OpList result;
  auto emit = [&](Op op) {
    OpList single;
    single.Add(op);
    Apply(single, state);
    result.Add(std::move(op));
  };

  if ((strategy_.ops & kUseMoveBlocks) != 0) {
    if (strategy_.fillsBeforeMoves) {
      // Patch what no block will cover first; the blocks are then sought in
      // a snapshot that holds those fills.
      std::vector<uint8_t> wanted(size, 1);
      const auto stride = geometry_.Stride();
      size_t start = 0;
      for (const Block& block : FindBlocks(state, desired, motions)) {
        start += block.skip;
        for (size_t row = 0; row < 8; ++row) {
          std::fill_n(wanted.begin() + static_cast<ptrdiff_t>(start + row * stride), 8, 0);
        }
      }
      for (Op& op : PatchOps(state, desired, wanted)) emit(std::move(op));
    }
    std::vector<Block> blocks = FindBlocks(state, desired, motions);
    if (strategy_.splitMoves && blocks.size() >= 2) {
      // First every second block; the second op is sought afresh in the
      // snapshot that the first op left.
      std::vector<Block> half;
      uint32_t skipped = 0;
      for (size_t b = 0; b < blocks.size(); ++b) {
        if (b % 2 == 1) {
          skipped += blocks[b].skip;
          continue;
        }
        Block block = blocks[b];
        block.skip += skipped;
        skipped = 0;
        half.push_back(block);
      }
      emit(MoveBlocksOp(half));
      blocks = FindBlocks(state, desired, motions);
    }
    if (!blocks.empty()) emit(MoveBlocksOp(blocks));
  }
  for (Op& op : PatchOps(state, desired, {})) emit(std::move(op));

  if (state != desired) {
    std::fprintf(stderr, "FrameEncoder: op list does not reach the desired frame\n");
    std::abort();
  }
  return result;
}

}  // namespace moviewriter

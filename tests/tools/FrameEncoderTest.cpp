// The frame encoder must reach every target frame exactly, through the
// reference model, with whatever op types and number forms it is held to.

#include <gtest/gtest.h>

#include <set>

#include "tools/moviewriter/Content.h"
#include "tools/moviewriter/FrameEncoder.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace mw = moviewriter;

namespace {

// Op types used by an op list, read back from its ops.
std::set<uint16_t> TypesOf(const mw::OpList& list) {
  std::set<uint16_t> types;
  for (const mw::Op& op : list.ops) types.insert(op.type);
  return types;
}

struct StrategyCase {
  const char* name;
  unsigned ops;
  mw::NumberForms numbers;
  bool fillsFirst;
  bool splitMoves;
  std::set<uint16_t> allowedTypes;
};

const StrategyCase kStrategies[] = {
    {"all", mw::kUseAllOps, mw::NumberForms::kShortest, false, false,
     {mw::kOpFillBytes, mw::kOpFillWords, mw::kOpCopyBytes, mw::kOpMoveBlocks}},
    {"all-rotating-forms-fills-first-split", mw::kUseAllOps, mw::NumberForms::kRotate, true, true,
     {mw::kOpFillBytes, mw::kOpFillWords, mw::kOpCopyBytes, mw::kOpMoveBlocks}},
    {"fill-bytes-only", mw::kUseFillBytes, mw::NumberForms::kSevenBytes, false, false,
     {mw::kOpFillBytes}},
    {"fill-words-only", mw::kUseFillWords, mw::NumberForms::kThreeBytes, false, false,
     {mw::kOpFillWords}},
    {"copy-bytes-only", mw::kUseCopyBytes, mw::NumberForms::kSevenBytes, false, false,
     {mw::kOpCopyBytes}},
    {"move-blocks-with-copy", mw::kUseMoveBlocks, mw::NumberForms::kShortest, false, false,
     {mw::kOpMoveBlocks, mw::kOpCopyBytes}},
    {"fills-without-copy", mw::kUseFillBytes | mw::kUseFillWords, mw::NumberForms::kRotate, false,
     false, {mw::kOpFillBytes, mw::kOpFillWords}},
};

// Encodes a sequence of frames and applies each op list to a separate
// working frame through the reference model: it must match every target.
void ExpectExactSequence(const StrategyCase& strategyCase, const mw::FrameGeometry& geometry,
                         const std::vector<mw::Bytes>& targets,
                         const std::vector<std::vector<mw::Motion>>& motions,
                         std::set<uint16_t>& typesSeen) {
  mw::EncoderStrategy strategy;
  strategy.ops = strategyCase.ops;
  strategy.numbers = strategyCase.numbers;
  strategy.fillsBeforeMoves = strategyCase.fillsFirst;
  strategy.splitMoves = strategyCase.splitMoves;
  mw::FrameEncoder encoder(geometry, strategy);
  mw::Bytes previous(geometry.PlaneSize(), 0);
  mw::Bytes decoded(geometry.PlaneSize(), 0);
  for (size_t frame = 0; frame < targets.size(); ++frame) {
    const mw::OpList list = encoder.Encode(previous, targets[frame], motions[frame]);
    for (uint16_t type : TypesOf(list)) {
      EXPECT_TRUE(strategyCase.allowedTypes.count(type)) << "type " << type << " frame " << frame;
      typesSeen.insert(type);
    }
    const mw::Bytes bytes = list.ToBytes();
    size_t position = 0;
    ASSERT_TRUE(mw::ApplyOpList(bytes, position, geometry, decoded)) << "frame " << frame;
    EXPECT_EQ(position, bytes.size());
    ASSERT_EQ(decoded, targets[frame]) << "frame " << frame;
    previous = targets[frame];
  }
}

TEST(FrameEncoder, SceneWithMotionIsReproducedExactlyUnderEveryStrategy) {
  const mw::FrameGeometry geometry{80, 64};
  const mw::Scene scene(80, 64, 3);
  std::vector<mw::Bytes> targets;
  std::vector<std::vector<mw::Motion>> motions;
  for (uint32_t frame = 0; frame < 12; ++frame) {
    targets.emplace_back();
    scene.RenderWorkingFrame(frame, targets.back());
    motions.push_back(scene.Motions(frame));
  }
  for (const StrategyCase& strategyCase : kStrategies) {
    SCOPED_TRACE(strategyCase.name);
    std::set<uint16_t> seen;
    ExpectExactSequence(strategyCase, geometry, targets, motions, seen);
    // The scrolling ground moves whole blocks: an encoder allowed to move
    // them does.
    if (strategyCase.ops & mw::kUseMoveBlocks) {
      EXPECT_TRUE(seen.count(mw::kOpMoveBlocks));
    }
  }
}

TEST(FrameEncoder, RandomEditsAreReproducedExactlyUnderEveryStrategy) {
  const mw::FrameGeometry geometry{48, 20};
  std::vector<mw::Bytes> targets{mw::RandomWorkingFrame(geometry, 7)};
  for (uint32_t frame = 1; frame < 25; ++frame) {
    targets.push_back(targets.back());
    mw::ScrambleWorkingFrame(geometry, frame, targets.back());
  }
  const std::vector<std::vector<mw::Motion>> motions(targets.size());
  for (const StrategyCase& strategyCase : kStrategies) {
    SCOPED_TRACE(strategyCase.name);
    std::set<uint16_t> seen;
    ExpectExactSequence(strategyCase, geometry, targets, motions, seen);
    // Every allowed fill or copy type shows up (blocks moved to random
    // places rarely fill an aligned block; the scene test covers MoveBlocks).
    for (uint16_t type : strategyCase.allowedTypes) {
      if (type != mw::kOpMoveBlocks) {
        EXPECT_TRUE(seen.count(type)) << "type " << type;
      }
    }
  }
}

// The smallest frames: changes at the very last bytes, where a FillWords word
// has to be pulled back inside the frame.
TEST(FrameEncoder, ChangesAtTheFrameEndStayInside) {
  const mw::FrameGeometry geometry{8, 8};  // 48 bytes
  mw::Bytes target(48, 0);
  target[47] = 9;
  target[45] = 3;
  const std::vector<std::vector<mw::Motion>> motions(1);
  for (const StrategyCase& strategyCase : kStrategies) {
    SCOPED_TRACE(strategyCase.name);
    std::set<uint16_t> seen;
    ExpectExactSequence(strategyCase, geometry, {target}, motions, seen);
  }
}

TEST(FrameEncoder, UnchangedFrameGivesAnEmptyOpList) {
  const mw::FrameGeometry geometry{16, 8};
  mw::FrameEncoder encoder(geometry, {});
  const mw::Bytes frame = mw::RandomWorkingFrame(geometry, 1);
  EXPECT_EQ(mw::ToHex(encoder.Encode(frame, frame).ToBytes()), "00 00");
}

// Exact op lists for single small changes, one per forced op type and form.
TEST(FrameEncoder, SmallChangesGiveExactOpLists) {
  struct Case {
    const char* name;
    unsigned ops;
    mw::NumberForms numbers;
    size_t start;
    std::vector<uint8_t> bytes;
    const char* expected;
  };
  const Case cases[] = {
      {"copy shortest", mw::kUseCopyBytes, mw::NumberForms::kShortest, 10, {0xAB, 0xCD},
       "01 00 04 21 08 00 00 00 01 00 00 00 0A 02 AB CD"},
      {"copy 3-byte", mw::kUseCopyBytes, mw::NumberForms::kThreeBytes, 10, {0xAB},
       "01 00 04 21 0B 00 00 00 01 00 00 00 FF 0A 00 FF 01 00 AB"},
      {"copy 7-byte", mw::kUseCopyBytes, mw::NumberForms::kSevenBytes, 10, {0xAB},
       "01 00 04 21 13 00 00 00 01 00 00 00 FF FF FF 0A 00 00 00 FF FF FF 01 00 00 00 AB"},
      {"fill bytes", mw::kUseAllOps, mw::NumberForms::kShortest, 20, {7, 7, 7, 7, 7, 7, 7, 7},
       "01 00 04 11 0B 00 00 00 01 00 00 00 07 01 00 00 00 14 08"},
      {"fill words", mw::kUseAllOps, mw::NumberForms::kShortest, 4,
       {1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4},
       "01 00 04 14 0E 00 00 00 01 00 00 00 01 02 03 04 01 00 00 00 04 03"},
      {"fill bytes forced for literals", mw::kUseFillBytes, mw::NumberForms::kShortest, 3, {5, 6},
       "01 00 04 11 12 00 00 00 02 00 00 00 05 01 00 00 00 03 01 06 01 00 00 00 04 01"},
  };
  const mw::FrameGeometry geometry{16, 8};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mw::EncoderStrategy strategy;
    strategy.ops = c.ops;
    strategy.numbers = c.numbers;
    mw::FrameEncoder encoder(geometry, strategy);
    const mw::Bytes previous(96, 0);
    mw::Bytes desired = previous;
    std::copy(c.bytes.begin(), c.bytes.end(), desired.begin() + static_cast<ptrdiff_t>(c.start));
    EXPECT_EQ(mw::ToHex(encoder.Encode(previous, desired).ToBytes()), c.expected);
  }
}

// A picture shifted by one row is one MoveBlocks op of whole blocks plus a
// patch for the row that came in.
TEST(FrameEncoder, ShiftedPictureMovesBlocksByTheMotion) {
  const mw::FrameGeometry geometry{32, 16};  // stride 16
  const mw::Bytes previous = mw::RandomWorkingFrame(geometry, 4);
  mw::Bytes desired(previous.size());
  // Content moves up one picture row in the luma plane: byte (r, c) takes
  // the old byte (r + 1, c).
  for (size_t i = 0; i < desired.size(); ++i) {
    desired[i] = i + 16 < geometry.LumaBytes() ? previous[i + 16] : previous[i];
  }
  mw::EncoderStrategy strategy;
  strategy.minBlockMatch = 64;
  mw::FrameEncoder encoder(geometry, strategy);
  const mw::Motion up{0, -1};
  const mw::OpList list = encoder.Encode(previous, desired, {&up, 1});
  ASSERT_FALSE(list.ops.empty());
  EXPECT_EQ(list.ops[0].type, mw::kOpMoveBlocks);
  // The two luma blocks of rows 0 to 7 take the row below (displacement
  // 16); the lower ones would need row 15 from the chroma plane.
  EXPECT_EQ(mw::ToHex(list.ops[0].payload), "02 00 00 00 00 10 08 10");
  mw::Bytes decoded = previous;
  const mw::Bytes bytes = list.ToBytes();
  size_t position = 0;
  ASSERT_TRUE(mw::ApplyOpList(bytes, position, geometry, decoded));
  EXPECT_EQ(decoded, desired);
}

}  // namespace

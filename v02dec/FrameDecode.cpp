// VD02 frame reconstruction. A frame is an op list that patches the working
// frame (a luma plane of h rows and a chroma plane of h / 2 rows, both w / 2
// bytes wide, addressed as one range of S = w * h * 3 / 4 bytes); afterwards
// the whole working frame is expanded through the colour table into 16-bit
// movie pixels.
//
// Op list: op count (u16), then ops of type (u16), length (u32) and length
// payload bytes. Types: 0x1104 fill bytes, 0x1404 fill 4-byte words,
// 0x2104 copy literal bytes, 0x3008 move 8 x 8 blocks from a snapshot; any
// other type is passed over by its length.
//
// Damaged data can never reach outside the chunk's video data, the planes,
// the colour table or the 16-bit frame: every op reads its payload through a
// ByteReader limited to that payload, and every run or block is checked
// against the plane once, not per byte.
//
// Bounded work. A few bytes of op list can make a run rewrite the whole
// plane, so a frame's cost is not bounded by its size in the file. Every
// frame is given a budget of work: the bytes its ops write into the working
// frame or copy into the reference copy, plus one for every entry, run and
// block it parses, may come to at most 8 planes (8 x S) and 64 KiB. An
// encoder writes each byte of a frame about once, and at most a plane into
// the snapshot per MoveBlocks op, so no movie it makes comes near; a frame
// that would pass the budget is damaged, and its chunk fails with a read
// failure before the run that would pass it is written. With the expansion
// (2.7 S bytes of pixels) and the bitmap (4 S) a frame thus costs at most
// about twice the work of writing its planes once. The same checks look at
// the abort request, so a long frame stops within one run or block.

#include <algorithm>
#include <bit>
#include <cstring>

#include "v02dec/ByteReader.h"
#include "v02dec/V02Decode.h"

static_assert(std::endian::native == std::endian::little,
              "pixel words are assembled in little-endian order");

namespace {

constexpr uint16_t kOpFillBytes = 0x1104;
constexpr uint16_t kOpFillWords = 0x1404;
constexpr uint16_t kOpCopyBytes = 0x2104;
constexpr uint16_t kOpMoveBlocks = 0x3008;

constexpr int kBlockRows = 8;
constexpr int kBlockBytes = 8;
constexpr uint64_t kBlockWrite = kBlockRows * kBlockBytes;

constexpr uint64_t kBudgetPlanes = 8;
constexpr uint64_t kBudgetSlack = 64 * 1024;

// Long runs are written in pieces of this size, with a look at the abort
// between them: a whole-plane run of a large frame is 50 MB.
constexpr size_t kPieceBytes = size_t{1} << 20;

// Cursors in the working frame are 64-bit and saturate: skips of up to 2^32 - 1
// bytes and word runs of up to 2^34 bytes can then neither wrap around nor
// land back inside the plane.
inline uint64_t Advance(uint64_t cursor, uint64_t distance) {
  uint64_t moved = cursor + distance;
  return moved < cursor ? UINT64_MAX : moved;
}

// How many of `count` bytes from `cursor` lie inside a plane of `size` bytes.
// A run that reaches past the end of the working frame is clamped there: the
// bytes inside are written, the rest dropped.
inline size_t BytesInside(uint64_t cursor, uint64_t count, uint64_t size) {
  if (cursor >= size) return 0;
  return static_cast<size_t>(std::min(count, size - cursor));
}

}  // namespace

bool V02Decode::LoadVideoData(const uint8_t* data, size_t bytes) {
  if (!chunkBuffer_ || bytes > videoCapacity_) return false;
  if (bytes != 0) std::memcpy(chunkBuffer_.get(), data, bytes);
  videoBytes_ = bytes;
  return true;
}

uint64_t V02Decode::FrameWorkBudget() const {
  return kBudgetPlanes * planeSize_ + kBudgetSlack;
}

bool V02Decode::Spend(uint64_t bytes) {
  frameWork_ += bytes + 1;
  if (frameWork_ > FrameWorkBudget()) {
    frameStop_ = FrameStop::kOverBudget;
    return false;
  }
  if (Stopping()) {
    frameStop_ = FrameStop::kAborted;
    return false;
  }
  return true;
}

size_t V02Decode::DecodeFrame(size_t position, uint16_t* frame) {
  frameWork_ = 0;
  frameStop_ = FrameStop::kNone;
  if (!planes_ || !frame) return position;  // no VD02 movie is open
  ByteReader video(chunkBuffer_.get(), videoBytes_);
  video.Skip(position);
  // An op list whose count or an op header runs past the video data ends
  // there; the next frame's list then starts at the end of the data, finds
  // an op count of 0 and repeats the picture.
  uint16_t opCount = video.U16();
  for (uint32_t op = 0; op < opCount; ++op) {
    uint16_t type = video.U16();
    uint32_t length = video.U32();
    if (video.Overrun() || !Spend(0)) break;
    // The length alone says where the next op begins. A length that runs
    // past the video data leaves the op just the bytes that are there.
    ByteReader payload = video.Sub(length);
    switch (type) {
      case kOpFillBytes: FillBytes(payload); break;
      case kOpFillWords: FillWords(payload); break;
      case kOpCopyBytes: CopyBytes(payload); break;
      case kOpMoveBlocks: MoveBlocks(payload); break;
      default: break;  // unknown ops are passed over
    }
    if (frameStop_ != FrameStop::kNone) break;
  }
  // A frame that stopped is not delivered: its chunk fails or is abandoned.
  if (frameStop_ == FrameStop::kNone) ExpandFrame(frame);
  return video.Offset();
}

// In every op a payload shorter than its counts ends the op at the first
// field that is not wholly inside it: a run or block whose numbers cannot be
// read is not applied. A length of 0 leaves no count to read, so the op does
// nothing, as does a count of 0.

void V02Decode::FillBytes(ByteReader payload) {
  uint8_t* plane = planes_.get();
  const uint64_t size = planeSize_;
  uint32_t entries = payload.U32();
  for (uint32_t entry = 0; entry < entries; ++entry) {
    uint8_t value = payload.U8();
    uint32_t runs = payload.U32();
    if (payload.Overrun() || !Spend(0)) return;
    uint64_t cursor = 0;  // every entry measures from the start again
    for (uint32_t run = 0; run < runs; ++run) {
      uint32_t skip = payload.PackedUnsigned();
      uint32_t count = payload.PackedUnsigned();
      if (payload.Overrun()) return;
      cursor = Advance(cursor, skip);
      size_t inside = BytesInside(cursor, count, size);
      if (!Spend(inside)) return;
      // memset writes in words and is byte-exact with a byte-by-byte fill.
      for (size_t done = 0; done < inside; done += kPieceBytes) {
        if (done != 0 && !Spend(0)) return;
        std::memset(plane + cursor + done, value, std::min(kPieceBytes, inside - done));
      }
      cursor = Advance(cursor, count);
    }
  }
}

void V02Decode::FillWords(ByteReader payload) {
  uint8_t* plane = planes_.get();
  const uint64_t size = planeSize_;
  uint32_t entries = payload.U32();
  for (uint32_t entry = 0; entry < entries; ++entry) {
    size_t taken = 0;
    const uint8_t* patternBytes = payload.Bytes(4, &taken);
    uint32_t runs = payload.U32();
    if (payload.Overrun() || !Spend(0)) return;
    uint8_t pattern[4];
    std::memcpy(pattern, patternBytes, 4);
    uint64_t cursor = 0;
    for (uint32_t run = 0; run < runs; ++run) {
      uint32_t skip = payload.PackedUnsigned();
      uint32_t words = payload.PackedUnsigned();
      if (payload.Overrun()) return;
      cursor = Advance(cursor, skip);
      const uint64_t runBytes = uint64_t{words} * 4;
      size_t inside = BytesInside(cursor, runBytes, size);
      if (!Spend(inside)) return;
      uint8_t* out = plane + (inside != 0 ? cursor : 0);
      size_t wholeWords = inside / 4;
      for (size_t w = 0; w < wholeWords; ++w, out += 4) {
        if (w % (kPieceBytes / 4) == kPieceBytes / 4 - 1 && !Spend(0)) return;
        std::memcpy(out, pattern, 4);
      }
      // A run clamped at the end of the plane ends with the first bytes of
      // the pattern, as byte-by-byte writing would leave it.
      std::memcpy(out, pattern, inside % 4);
      cursor = Advance(cursor, runBytes);
    }
  }
}

void V02Decode::CopyBytes(ByteReader payload) {
  uint8_t* plane = planes_.get();
  const uint64_t size = planeSize_;
  uint32_t runs = payload.U32();
  uint64_t cursor = 0;  // the skips of all runs add up over the whole op
  for (uint32_t run = 0; run < runs; ++run) {
    uint32_t skip = payload.PackedUnsigned();
    uint32_t count = payload.PackedUnsigned();
    if (payload.Overrun()) return;
    cursor = Advance(cursor, skip);
    // A run promising more data bytes than the payload holds copies the
    // bytes that are there and ends the op.
    size_t available = 0;
    const uint8_t* data = payload.Bytes(count, &available);
    size_t inside = BytesInside(cursor, available, size);
    if (!Spend(inside)) return;
    for (size_t done = 0; done < inside; done += kPieceBytes) {
      if (done != 0 && !Spend(0)) return;
      std::memcpy(plane + cursor + done, data + done, std::min(kPieceBytes, inside - done));
    }
    if (payload.Overrun()) return;
    cursor = Advance(cursor, count);
  }
}

// Calls move(position, source) for every block of the payload that lies
// wholly inside the plane, source inside the snapshot, in order; false when
// the frame has to stop.
template <class Move>
bool V02Decode::ForEachBlock(ByteReader payload, Move move) {
  const uint64_t size = planeSize_;
  const uint64_t stride = movie_.width / 2;
  // Bytes from a block's first byte to one past its last.
  const uint64_t span = (kBlockRows - 1) * stride + kBlockBytes;
  if (span > size) return true;
  const uint64_t lastStart = size - span;
  const uint32_t blocks = payload.U32();
  uint64_t position = 0;  // a block does not move it; skips add up
  for (uint32_t block = 0; block < blocks; ++block) {
    uint32_t skip = payload.PackedUnsigned();
    int32_t displacement = payload.PackedSigned();
    if (payload.Overrun()) return true;
    position = Advance(position, skip);
    // A block whose destination leaves the working frame or whose source
    // leaves the snapshot is skipped whole; the blocks after it are placed
    // as usual.
    if (position > lastStart) {
      if (!Spend(0)) return false;
      continue;
    }
    int64_t source = static_cast<int64_t>(position) + displacement;
    if (source < 0 || static_cast<uint64_t>(source) > lastStart) {
      if (!Spend(0)) return false;
      continue;
    }
    if (!Spend(kBlockWrite)) return false;
    move(position, static_cast<uint64_t>(source));
  }
  return true;
}

void V02Decode::MoveBlocks(ByteReader payload) {
  uint8_t* plane = planes_.get();
  const uint64_t size = planeSize_;
  ByteReader peek = payload;
  const uint32_t blocks = peek.U32();
  if (blocks == 0) return;  // no snapshot either
  uint8_t* snapshot = plane + size;
  const uint64_t stride = movie_.width / 2;

  // Only the blocks read the snapshot, and only their sources. An op of few
  // blocks copies just those (a first pass over the same blocks); one whose
  // blocks could cover the plane copies the whole working frame. Either way
  // every block reads the bytes as they were before the op.
  if (uint64_t{blocks} * kBlockWrite >= size) {
    if (!Spend(size)) return;
    for (size_t done = 0; done < size; done += kPieceBytes) {
      if (done != 0 && !Spend(0)) return;
      std::memcpy(snapshot + done, plane + done, std::min<size_t>(kPieceBytes, size - done));
    }
  } else {
    const bool copied = ForEachBlock(payload, [&](uint64_t, uint64_t source) {
      const uint8_t* from = plane + source;
      uint8_t* to = snapshot + source;
      for (int row = 0; row < kBlockRows; ++row, to += stride, from += stride) {
        std::memcpy(to, from, kBlockBytes);
      }
    });
    if (!copied) return;
  }
  ForEachBlock(payload, [&](uint64_t position, uint64_t source) {
    uint8_t* to = plane + position;
    const uint8_t* from = snapshot + source;
    for (int row = 0; row < kBlockRows; ++row, to += stride, from += stride) {
      std::memcpy(to, from, 4);
      std::memcpy(to + 4, from + 4, 4);
    }
  });
}

// Pixel (x, y) takes the luma byte at y * w/2 + x/2 and the chroma byte of
// its 2 x 2 square; the luma byte's level pair gives the level (low byte for
// the left pixel, high byte for the right), and level * 256 + chroma picks
// the movie pixel. Both pixels of a luma byte share its chroma byte, so the
// pair table, built at open, holds the finished pair for each (luma, chroma):
// one read per pair instead of three.
const uint8_t* V02Decode::ExpandRow(const uint8_t* luma, size_t chromaDistance,
                                    uint16_t* out) const {
  uint32_t lumaWord;
  uint32_t chromaWord;
  std::memcpy(&lumaWord, luma, 4);
  std::memcpy(&chromaWord, luma + chromaDistance, 4);
  const uint32_t* pairs = pixelPairs_.get();
  for (int j = 0; j < 4; ++j) {
    const uint32_t index = (lumaWord >> (8 * j) & 0xFF) << 8 | (chromaWord >> (8 * j) & 0xFF);
    std::memcpy(out + 2 * j, &pairs[index], 4);
  }
  return luma + 4;
}

void V02Decode::ExpandFrame(uint16_t* frame) {
  const size_t w = movie_.width;
  const size_t h = movie_.height;
  const size_t stride = w / 2;
  const uint8_t* plane = planes_.get();
  const uint8_t* chromaPlane = plane + h * stride;
  uint16_t* out = frame;
  for (size_t k = 0; k < h / 2; ++k) {
    // Once per chroma row: an 8192-pixel-wide pair of rows takes some 30 us.
    if (Stopping()) {
      frameStop_ = FrameStop::kAborted;
      return;
    }
    const uint8_t* chromaRow = chromaPlane + k * stride;
    for (size_t y = 2 * k; y < 2 * k + 2; ++y) {
      const uint8_t* luma = plane + y * stride;
      const size_t chromaDistance = static_cast<size_t>(chromaRow - luma);
      for (size_t i = 0; i < w / 8; ++i, out += 8) luma = ExpandRow(luma, chromaDistance, out);
    }
  }
}

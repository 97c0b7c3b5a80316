#pragma once

// Shared by the AVI writer and encoder suites: a scratch folder, a strict
// RIFF walker that reads our files independently of the writer, builders of
// expected bytes, synthetic frames and sound; the external readers that
// read our files back are tests/common/MediaReaders.h.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/batch/TestSupport.h"
#include "tests/common/Programs.h"
#include "tests/common/TempDir.h"

namespace avitest {

using Bytes = std::vector<uint8_t>;

using porute_test::Decoded;
using porute_test::DecodeWithFfmpeg;
using porute_test::DemuxWithGstreamer;
using porute_test::FileExists;
using porute_test::MediaInfo;
using porute_test::TempDir;

Bytes ReadFileBytes(const std::string& path);

// Compares byte strings and reports the first difference by offset, with the
// bytes around it, instead of two long dumps.
::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected);

uint16_t Get16(const Bytes& bytes, size_t at);
uint32_t Get32(const Bytes& bytes, size_t at);
uint64_t Get64(const Bytes& bytes, size_t at);
uint32_t Fcc(const char (&code)[5]);
std::string FccText(uint32_t fourcc);

// Builds expected bytes field by field, little-endian.
class Le {
 public:
  Le& U8(uint8_t value);
  Le& U16(uint16_t value);
  Le& U32(uint32_t value);
  Le& U64(uint64_t value);
  Le& Four(const char (&code)[5]);
  Le& Text(const std::string& text);  // the letters, no terminator
  Le& Zeros(size_t count);
  Bytes Get() const { return bytes_; }
  operator const Bytes&() const { return bytes_; }

 private:
  Bytes bytes_;
};

// One chunk or list of a RIFF file, found by walking the file's own sizes.
struct RiffNode {
  uint32_t id = 0;        // 'RIFF', 'LIST' or a chunk's fourcc
  uint32_t listType = 0;  // for RIFF and LIST
  uint64_t offset = 0;    // of the id
  uint32_t size = 0;      // as stored
  std::vector<RiffNode> children;

  bool IsList() const;
  uint64_t DataOffset() const { return offset + (IsList() ? 12 : 8); }
  uint64_t End() const { return offset + 8 + size + (size & 1); }
  // The first child chunk with this fourcc (lists by their list type).
  const RiffNode* Find(const char (&code)[5]) const;
  std::vector<const RiffNode*> FindAll(const char (&code)[5]) const;
};

// Walks a whole RIFF file. False, with a reason, when a size leads outside
// its parent or a list is too short, or bytes are left over. A 'movi' list's
// chunks are children too.
bool ParseRiff(const Bytes& file, std::vector<RiffNode>* top, std::string* error);
// The same as an assertion that gives the reason.
::testing::AssertionResult ParsesAsRiff(const Bytes& file, std::vector<RiffNode>* top);

// The bytes of a chunk's data (without its 8-byte header), or of a list's
// content after its type.
Bytes ChunkData(const Bytes& file, const RiffNode& node);

// Synthetic pixel memory of frame `index`, `bytes` long; every frame and
// every byte position differ.
Bytes FramePattern(size_t bytes, uint32_t index);
// Synthetic sound block number `index`.
Bytes SoundPattern(size_t bytes, uint32_t index);
// Bottom-up 24-bit rows padded to 4 bytes, as the frame bitmap holds them,
// turned into top-down rows without padding, as ffmpeg's bgr24 output has them.
Bytes TopDownRows(const Bytes& bottomUp, uint32_t width, uint32_t height);

// Bottom-up 24-bit rows padded to 4 bytes turned top-down, the padding
// kept, as GStreamer's avidemux hands frames out.
Bytes TopDownPaddedRows(const Bytes& bottomUp, uint32_t width, uint32_t height);

// Runs body in a child process whose files may not grow past fileLimit
// bytes, as on a full disk: writes past it fail with EFBIG (SIGXFSZ is
// ignored). Returns the child's exit code, or -1.
int RunWithFileSizeLimit(uint64_t fileLimit, const std::function<int()>& body);

}  // namespace avitest

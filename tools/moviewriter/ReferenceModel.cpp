#include "tools/moviewriter/ReferenceModel.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace moviewriter {

namespace {

// Reads fields from [position, end) and remembers running out; every read
// past the end yields 0 and sets `failed`.
class Reader {
 public:
  Reader(std::span<const uint8_t> data, size_t position, size_t end)
      : data_(data), position_(position), end_(std::min(end, data.size())) {}

  bool Failed() const { return failed_; }
  size_t Position() const { return position_; }

  uint8_t Byte() {
    if (position_ >= end_) {
      failed_ = true;
      return 0;
    }
    return data_[position_++];
  }
  uint16_t U16() {
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | Byte() << 8);
  }
  uint32_t U32() {
    const uint32_t low = U16();
    return low | uint32_t{U16()} << 16;
  }
  uint32_t PackedUnsigned() {
    const uint8_t first = Byte();
    if (first != 0xFF) return first;
    const uint16_t v = U16();
    if (v != 0xFFFF) return v;
    return U32();
  }
  int32_t PackedSigned() {
    const auto first = static_cast<int8_t>(Byte());
    if (first != -128) return first;
    const auto v = static_cast<int16_t>(U16());
    if (v != -32768) return v;
    return static_cast<int32_t>(U32());
  }

 private:
  std::span<const uint8_t> data_;
  size_t position_;
  size_t end_;
  bool failed_ = false;
};

// Writes one byte of the working frame; false when it lies outside.
bool WriteFrameByte(Bytes& working, uint64_t offset, uint8_t value) {
  if (offset >= working.size()) return false;
  working[offset] = value;
  return true;
}

bool ApplyFill(Reader& payload, Bytes& working, size_t patternBytes) {
  const uint32_t entryCount = payload.U32();
  for (uint32_t entry = 0; entry < entryCount && !payload.Failed(); ++entry) {
    uint8_t pattern[4] = {};
    for (size_t i = 0; i < patternBytes; ++i) pattern[i] = payload.Byte();
    const uint32_t runCount = payload.U32();
    // Each entry measures its runs from the start of the working frame.
    uint64_t cursor = 0;
    for (uint32_t run = 0; run < runCount && !payload.Failed(); ++run) {
      cursor += payload.PackedUnsigned();
      const uint64_t count = payload.PackedUnsigned();
      if (payload.Failed()) return false;
      for (uint64_t unit = 0; unit < count; ++unit) {
        for (size_t i = 0; i < patternBytes; ++i) {
          if (!WriteFrameByte(working, cursor, pattern[i])) return false;
          ++cursor;
        }
      }
    }
  }
  return !payload.Failed();
}

bool ApplyCopy(Reader& payload, Bytes& working) {
  const uint32_t runCount = payload.U32();
  uint64_t cursor = 0;
  for (uint32_t run = 0; run < runCount && !payload.Failed(); ++run) {
    cursor += payload.PackedUnsigned();
    const uint64_t count = payload.PackedUnsigned();
    for (uint64_t i = 0; i < count; ++i) {
      const uint8_t value = payload.Byte();
      if (payload.Failed()) return false;
      if (!WriteFrameByte(working, cursor, value)) return false;
      ++cursor;
    }
  }
  return !payload.Failed();
}

bool ApplyMove(Reader& payload, Bytes& working, const FrameGeometry& geometry) {
  const uint32_t blockCount = payload.U32();
  if (payload.Failed() || blockCount == 0) return !payload.Failed();
  // The snapshot holds whatever earlier ops of the list wrote; every block of
  // this op reads from it, never from what another block wrote.
  const Bytes reference = working;
  const auto size = static_cast<int64_t>(working.size());
  const auto stride = static_cast<int64_t>(geometry.Stride());
  int64_t blockStart = 0;
  for (uint32_t block = 0; block < blockCount; ++block) {
    blockStart += payload.PackedUnsigned();
    const int64_t displacement = payload.PackedSigned();
    if (payload.Failed()) return false;
    for (int64_t row = 0; row < 8; ++row) {
      for (int64_t column = 0; column < 8; ++column) {
        const int64_t target = blockStart + row * stride + column;
        const int64_t source = target + displacement;
        if (target < 0 || target >= size || source < 0 || source >= size) return false;
        working[static_cast<size_t>(target)] = reference[static_cast<size_t>(source)];
      }
    }
  }
  return true;
}

}  // namespace

bool ApplyOpList(std::span<const uint8_t> data, size_t& position, const FrameGeometry& geometry,
                 Bytes& working) {
  if (working.size() != geometry.PlaneSize()) return false;
  Reader list(data, position, data.size());
  const uint16_t opCount = list.U16();
  size_t next = list.Position();
  for (uint32_t op = 0; op < opCount; ++op) {
    Reader head(data, next, data.size());
    const uint16_t type = head.U16();
    const uint32_t length = head.U32();
    if (head.Failed()) return false;
    const size_t payloadStart = head.Position();
    if (length > data.size() - payloadStart) return false;
    // The length alone says where the next op begins.
    next = payloadStart + length;
    if (length == 0) continue;
    Reader payload(data, payloadStart, next);
    bool ok = true;
    switch (type) {
      case 0x1104: ok = ApplyFill(payload, working, 1); break;  // FillBytes
      case 0x1404: ok = ApplyFill(payload, working, 4); break;  // FillWords
      case 0x2104: ok = ApplyCopy(payload, working); break;     // CopyBytes
      case 0x3008: ok = ApplyMove(payload, working, geometry); break;  // MoveBlocks
      default: break;  // unknown types are passed over by their length
    }
    if (!ok) return false;
  }
  if (list.Failed()) return false;
  position = next;
  return true;
}

bool ExpandFrame(const Bytes& working, const ColourTable& colours, const FrameGeometry& geometry,
                 PixelFrame& pixels) {
  const size_t width = geometry.width;
  const size_t height = geometry.height;
  if (width % 8 != 0 || height % 2 != 0 || working.size() != geometry.PlaneSize()) return false;
  const size_t stride = geometry.Stride();
  pixels.assign(width * height, 0);
  for (size_t y = 0; y < height; ++y) {
    for (size_t x = 0; x < width; ++x) {
      const uint8_t luma = working[y * stride + x / 2];
      const uint8_t chroma = working[height * stride + (y / 2) * stride + x / 2];
      const uint16_t pair = colours.LevelPair(luma);
      const uint32_t level = (x % 2 == 0) ? (pair & 0xFF) : (pair >> 8);
      if (level >= kLevels) return false;
      pixels[y * width + x] = colours.Pixel(level, chroma);
    }
  }
  return true;
}

size_t FrameRowBytes(uint32_t width) { return (size_t{width} * 3 + 3) / 4 * 4; }

Bytes ToFrameMemory(std::span<const uint16_t> pixels, uint32_t width, uint32_t height) {
  const size_t rowBytes = FrameRowBytes(width);
  Bytes memory(rowBytes * height, 0);
  for (size_t y = 0; y < height; ++y) {
    // The bottom row comes first in memory.
    uint8_t* row = memory.data() + (height - 1 - y) * rowBytes;
    for (size_t x = 0; x < width; ++x) {
      const uint16_t pixel = pixels[y * width + x];
      const uint32_t blue = pixel & 31;
      const uint32_t red = (pixel >> 5) & 31;
      const uint32_t green = (pixel >> 10) & 31;
      row[3 * x + 0] = static_cast<uint8_t>(blue << 3);
      row[3 * x + 1] = static_cast<uint8_t>(green << 3);
      row[3 * x + 2] = static_cast<uint8_t>(red << 3);
    }
  }
  return memory;
}

Bytes FrameMemoryToTopDownBgr(std::span<const uint8_t> frameMemory, uint32_t width,
                              uint32_t height) {
  const size_t rowBytes = FrameRowBytes(width);
  Bytes out;
  out.reserve(size_t{width} * 3 * height);
  for (size_t y = 0; y < height; ++y) {
    const size_t start = (height - 1 - y) * rowBytes;
    const auto row = frameMemory.subspan(start, size_t{width} * 3);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

int16_t SampleOfSoundByte(uint8_t soundByte) {
  const int magnitude = soundByte & 0x7F;
  return static_cast<int16_t>((soundByte & 0x80) != 0 ? magnitude * 256 : -magnitude * 256);
}

Bytes ToSoundBlock(std::span<const uint8_t> soundBytes) {
  Bytes block;
  block.reserve(2 * soundBytes.size());
  for (uint8_t soundByte : soundBytes) PutI16(block, SampleOfSoundByte(soundByte));
  return block;
}

namespace {

// The limits a decoder sets where the format has none: frames up to 8192
// pixels a side, no buffer above 1 GiB.
constexpr uint32_t kMaxSide = 8192;
constexpr uint64_t kMaxBuffer = uint64_t{1} << 30;

bool SideOk(uint32_t side) { return side >= 8 && side <= kMaxSide; }

}  // namespace

bool ReadExpectedV02(std::span<const uint8_t> file, ExpectedMovie& movie, const FrameSink& onFrame,
                     const SoundSink& onSound) {
  if (file.size() < kMovieHeaderBytes) return false;
  if (std::memcmp(file.data(), "VD02", 4) != 0) return false;
  const uint32_t version = GetU32(file, 12);
  V02Header header;
  header.frameCount = GetU32(file, 8);
  header.width = GetU32(file, 16);
  header.height = GetU32(file, 20);
  header.scale = GetU32(file, 24);
  header.framesPerChunk = GetU32(file, 28);
  header.soundRate = GetU32(file, 32);
  header.soundBytesPerChunk = GetU32(file, 36);
  if (version != 6 && version != 7) return false;
  if (!SideOk(header.width) || !SideOk(header.height)) return false;
  if (header.width % 8 != 0 || header.height % 2 != 0) return false;
  if (header.framesPerChunk > 64) return false;
  const V02Params params = EffectiveParams(header);
  movie.frameCount = header.frameCount;
  movie.framesPerChunk = params.framesPerChunk;
  movie.rate = kFrameClockRate;
  movie.scale = params.scale;
  movie.soundRate = params.soundRate;
  movie.width = header.width;
  movie.height = header.height;
  movie.soundBlockBytes = 2 * params.soundBytesPerChunk;
  if (params.chunkBufferSize > kMaxBuffer || 2 * uint64_t{params.soundBytesPerChunk} > kMaxBuffer ||
      2 * params.planeSize > kMaxBuffer) {
    return false;
  }
  if (header.frameCount == 0) return true;

  size_t position = kMovieHeaderBytes;
  if (file.size() - position < kColourTableBytes) return false;
  ColourTable colours;
  std::copy_n(file.begin() + static_cast<ptrdiff_t>(position), kColourTableBytes,
              colours.bytes.begin());
  position += kColourTableBytes;

  const FrameGeometry geometry{header.width, header.height};
  Bytes working(geometry.PlaneSize(), 0);  // a working frame starts all zeros
  PixelFrame pixels;
  uint32_t remaining = header.frameCount;
  uint32_t frameIndex = 0;
  while (remaining > 0) {
    if (file.size() - position < kChunkHeaderBytes) return false;
    const uint32_t size = GetU32(file, position + 4);
    position += kChunkHeaderBytes;
    if (size > params.MaxChunkSizeField() || size < params.soundBytesPerChunk) return false;
    if (file.size() - position < size) return false;
    const auto sound = file.subspan(position, params.soundBytesPerChunk);
    const auto video = file.subspan(position + params.soundBytesPerChunk,
                                    size - params.soundBytesPerChunk);
    position += size;
    size_t videoPosition = 0;
    for (uint32_t slot = 0; slot < params.framesPerChunk && remaining > 0; ++slot) {
      if (!ApplyOpList(video, videoPosition, geometry, working)) return false;
      if (!ExpandFrame(working, colours, geometry, pixels)) return false;
      if (onFrame) onFrame(frameIndex, ToFrameMemory(pixels, header.width, header.height));
      ++frameIndex;
      --remaining;
    }
    if (onSound) onSound(ToSoundBlock(sound));
  }
  return true;
}

bool ReadExpectedV00(std::span<const uint8_t> file, const Bytes* companion, ExpectedMovie& movie,
                     const FrameSink& onFrame, const SoundSink& onSound) {
  if (file.size() < kMovieHeaderBytes) return false;
  if (std::memcmp(file.data(), "VD00", 4) != 0) return false;
  if (GetU32(file, 12) != kV00FormatMark) return false;
  const uint32_t width = GetU32(file, 16);
  const uint32_t height = GetU32(file, 20);
  if (!SideOk(width) || !SideOk(height)) return false;
  const uint32_t scale = GetU32(file, 24) == 0 ? 6 : GetU32(file, 24);
  if (scale > 60) return false;
  movie.frameCount = GetU32(file, 8);
  movie.framesPerChunk = 8;
  movie.rate = kFrameClockRate;
  movie.scale = scale;
  movie.width = width;
  movie.height = height;
  movie.soundRate = 8000;
  if (companion != nullptr) {
    if (companion->size() < kSndHeaderBytes) return false;
    movie.soundRate = RateFromCode(GetU16(*companion, 24));
  }
  const uint32_t soundBytesPerChunk = V00SoundBytesPerChunk(movie.soundRate, scale);
  movie.soundBlockBytes = 2 * soundBytesPerChunk;
  if (uint64_t{movie.soundBlockBytes} > kMaxBuffer) return false;

  const size_t frameBytes = size_t{width} * height * 2;
  size_t position = kMovieHeaderBytes;
  size_t soundPosition = kSndHeaderBytes;
  const Bytes silence(movie.soundBlockBytes, 0);
  PixelFrame pixels(size_t{width} * height);
  uint32_t remaining = movie.frameCount;
  uint32_t frameIndex = 0;
  while (remaining > 0) {
    for (uint32_t slot = 0; slot < 8 && remaining > 0; ++slot) {
      if (file.size() - position < frameBytes) return false;
      for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = GetU16(file, position + 2 * i);
      position += frameBytes;
      if (onFrame) onFrame(frameIndex, ToFrameMemory(pixels, width, height));
      ++frameIndex;
      --remaining;
    }
    if (companion == nullptr) {
      if (onSound) onSound(silence);
      continue;
    }
    if (companion->size() - soundPosition < soundBytesPerChunk) return false;
    const auto sound = std::span<const uint8_t>(*companion).subspan(soundPosition, soundBytesPerChunk);
    soundPosition += soundBytesPerChunk;
    if (onSound) onSound(ToSoundBlock(sound));
  }
  return true;
}

namespace {
FrameSink Collect(ExpectedMovie& movie) {
  return [&movie](uint32_t, const Bytes& frame) { movie.frames.push_back(frame); };
}
SoundSink CollectSound(ExpectedMovie& movie) {
  return [&movie](const Bytes& block) { PutBytes(movie.sound, block); };
}

std::string UpperExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return {};
  std::string extension = path.substr(dot);
  for (char& c : extension) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return extension;
}
}  // namespace

bool ExpectV02(std::span<const uint8_t> file, ExpectedMovie& expected) {
  expected = ExpectedMovie{};
  return ReadExpectedV02(file, expected, Collect(expected), CollectSound(expected));
}

bool ExpectV00(std::span<const uint8_t> file, const Bytes* companion, ExpectedMovie& expected) {
  expected = ExpectedMovie{};
  return ReadExpectedV00(file, companion, expected, Collect(expected), CollectSound(expected));
}

std::string CompanionPath(const std::string& moviePath) {
  const size_t slash = moviePath.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = moviePath.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return moviePath + ".snd";
  return moviePath.substr(0, dot) + ".snd";
}

bool ExpectMovieFile(const std::string& path, ExpectedMovie& expected) {
  Bytes file;
  if (!ReadWholeFile(path, file)) return false;
  const std::string extension = UpperExtension(path);
  if (extension == ".V02") return ExpectV02(file, expected);
  if (extension != ".V00") return false;
  const std::string companionPath = CompanionPath(path);
  struct stat info {};
  if (stat(companionPath.c_str(), &info) != 0) return ExpectV00(file, nullptr, expected);
  Bytes companion;
  if (!ReadWholeFile(companionPath, companion)) return false;
  return ExpectV00(file, &companion, expected);
}

}  // namespace moviewriter

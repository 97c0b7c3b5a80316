#pragma once

// A second, independent reading of the movie formats, written byte by byte
// from their definitions and meant to be obviously right rather than fast.
// Tests use it to compute the exact bytes a decoder must deliver (and that an
// AVI file made from a movie must hold): frames as 24-bit frame memory, sound
// as 16-bit little-endian samples.
//
// It models the well-formed path only. Anything a decoder must refuse or may
// treat in its own way (a bad header, a short file, a chunk size out of range,
// an op list that breaks a limit of the data model, a level of 64 or more)
// makes it answer false instead of guessing.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "tools/moviewriter/Bytes.h"
#include "tools/moviewriter/ColourTable.h"
#include "tools/moviewriter/MovieFiles.h"

namespace moviewriter {

// The frame size a VD02 working frame is laid out for: a luma plane of h rows
// of w / 2 bytes, then a chroma plane of h / 2 rows of w / 2 bytes.
struct FrameGeometry {
  uint32_t width = 0;
  uint32_t height = 0;

  size_t Stride() const { return width / 2; }
  size_t LumaBytes() const { return size_t{height} * Stride(); }
  // S = w × h × 6 / 8.
  size_t PlaneSize() const { return size_t{width} * height * 6 / 8; }
};

// Applies the op list that begins at data[position] to the working frame
// (PlaneSize() bytes). On success, position is moved past the op list and the
// answer is true. False when the list breaks a limit of the data model (a run
// or block outside the working frame or the reference copy, a payload shorter
// than its counts, an op or the list running past the end of data); the
// working frame is then partly changed.
bool ApplyOpList(std::span<const uint8_t> data, size_t& position, const FrameGeometry& geometry,
                 Bytes& working);

// The 16-bit frame of a working frame: pixel (x, y) from luma byte
// y × w/2 + x/2, chroma byte h × w/2 + (y/2) × w/2 + x/2, the level from the
// low (even x) or high (odd x) byte of the luma byte's level pair, then pixel
// table entry level × 256 + chroma. False when a level used is 64 or more.
bool ExpandFrame(const Bytes& working, const ColourTable& colours, const FrameGeometry& geometry,
                 PixelFrame& pixels);

// Bytes of one 24-bit row of a frame bitmap: 3 per pixel, raised to a
// multiple of 4.
size_t FrameRowBytes(uint32_t width);
// A frame bitmap's pixel memory for a 16-bit frame: bottom row first, each
// pixel blue, green, red (the 5-bit components in the top bits, low 3 bits
// zero), each row filled up to a multiple of 4 with zero bytes.
Bytes ToFrameMemory(std::span<const uint16_t> pixels, uint32_t width, uint32_t height);
// The same picture as ffmpeg's rawvideo bgr24 gives it: top row first, no
// fill. For comparing with frames read back from an AVI file.
Bytes FrameMemoryToTopDownBgr(std::span<const uint8_t> frameMemory, uint32_t width,
                              uint32_t height);

// A sound byte (bit 7 set: positive, bits 0-6 magnitude) as a 16-bit sample:
// the magnitude × 256, 0x00 and 0x80 both silence.
int16_t SampleOfSoundByte(uint8_t soundByte);
// A sound block: every sound byte as a 16-bit little-endian sample.
Bytes ToSoundBlock(std::span<const uint8_t> soundBytes);

// What a decoder delivers for a whole movie.
struct ExpectedMovie {
  // The Movie parameters after Open.
  uint32_t frameCount = 0;
  uint32_t framesPerChunk = 0;
  uint32_t rate = 0;
  uint32_t scale = 0;
  uint32_t soundRate = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t soundBlockBytes = 0;
  // Frame memory of every frame, in order (see ToFrameMemory).
  std::vector<Bytes> frames;
  // Every chunk's whole sound block, in order, the last chunk's included: the
  // sound a converter writes. Silence for a VD00 movie without companion.
  Bytes sound;
};

// Called for each frame in order, and for each chunk's sound block after the
// chunk's frames. Used to go through a long movie without holding it.
using FrameSink = std::function<void(uint32_t frameIndex, const Bytes& frameMemory)>;
using SoundSink = std::function<void(const Bytes& soundBlock)>;

// Reads a VD02 file the way the format defines it. False when the file is
// not a well-formed movie (see above); `parameters` is then what the header
// gave, as far as it got.
bool ReadExpectedV02(std::span<const uint8_t> file, ExpectedMovie& parameters,
                     const FrameSink& onFrame, const SoundSink& onSound);
// Reads a VD00 file; companion is null when there is no ".snd" file.
bool ReadExpectedV00(std::span<const uint8_t> file, const Bytes* companion,
                     ExpectedMovie& parameters, const FrameSink& onFrame,
                     const SoundSink& onSound);

// The whole movie in memory: frames and sound collected into `expected`.
bool ExpectV02(std::span<const uint8_t> file, ExpectedMovie& expected);
bool ExpectV00(std::span<const uint8_t> file, const Bytes* companion, ExpectedMovie& expected);
// By path: ".V02" or ".V00" in any letter case; for VD00 the companion is the
// path with its extension replaced by ".snd", when such a file exists.
bool ExpectMovieFile(const std::string& path, ExpectedMovie& expected);

// The companion path of a VD00 movie: extension of the file name replaced by
// ".snd" (appended when the name has none).
std::string CompanionPath(const std::string& moviePath);

}  // namespace moviewriter

#pragma once

#include <cstdint>
#include <string>

// Why the last Open or ReadChunk of a decoder did not succeed, as values, so
// that a host can word the cause in its own language (DescribeFailure, in
// English or through the host's catalogue).

enum class FailureKind : uint8_t {
  kNone,         // the last call succeeded
  kUnsupported,  // Open gave 58: `test` names the header test that refused it
  kReadFailed,   // result 1: a file could not be opened or read (`sysErrno`)
  kNoMemory,     // result 2 from Open: the movie's buffers cannot be had
  kDamaged,      // ReadChunk met data no movie holds (result 1 or 2)
  kAborted,      // ReadChunk stopped at an abort request (kMovieAborted)
};

// Every test that can fail, grouped by kind. values[0] is the number that
// failed the test, values[1] the bound it broke, unless said otherwise.
enum class FailureTest : uint8_t {
  kNone,
  // kUnsupported: the movie is refused at open.
  kExtension,              // `text`: the extension found (may be empty)
  kMagic,                  // values[0]: the first four bytes, little-endian
  kVersion,                // values[0]: the VD02 version (6 or 7 allowed)
  kFormatMark,             // values[0]: the VD00 format mark
  kWidthBelowMinimum,      // width below 8
  kWidthAboveMaximum,      // width above 8192
  kWidthNotMultipleOf8,    // VD02 width: values[1] is 8
  kHeightBelowMinimum,
  kHeightAboveMaximum,
  kHeightOdd,              // VD02 height: values[1] is 2
  kFramesPerChunkAbove64,
  kScaleAboveMaximum,      // VD00: 60; VD02: the frame clock an AVI can hold
  kSoundRateZero,          // values[0]: the companion's rate code
  kSoundRateAboveMaximum,  // the sample rate an AVI header can hold
  kSoundBlockAboveMaximum, // values[0]: sound block bytes; an AVI chunk's size
  // kReadFailed: which file access failed. sysErrno is the error of the
  // system call, 0 when the file simply ended early.
  kOpenMovie,
  kMovieNotRegular,        // a folder, a pipe or a device (sysErrno 0)
  kMovieHeader,
  kColourTable,
  kOpenCompanion,
  kCompanionNotRegular,
  kCompanionHeader,
  kChunkHeader,
  kChunkSound,
  kChunkVideo,
  kRawFrame,               // a VD00 frame
  kCompanionSound,
  kNotOpen,                // ReadChunk without a successful Open
  // kNoMemory.
  kMemoryLimit,            // values[0]: bytes the movie needs; values[1]: the cap
  kBufferUnavailable,      // values[0]: bytes of the buffer that was refused
  // kDamaged, in chunk chunkIndex.
  kChunkAboveBuffer,       // values[0]: the size field; values[1]: the largest allowed
  kChunkBelowSound,        // values[0]: the size field; values[1]: sound bytes per chunk
  kFrameWorkAboveBudget,   // values[0]: bytes the frame's ops would write; values[1]: the budget
  // kAborted.
  kAbortRequested,
};

struct MovieFailure {
  FailureKind kind = FailureKind::kNone;
  FailureTest test = FailureTest::kNone;
  uint64_t values[2] = {0, 0};
  std::string text;  // kExtension only
  int sysErrno = 0;
  // Failures of ReadChunk: the chunk (0 for the first of the movie) and the
  // movie frame (0 for the first) at which it happened; a failure of a whole
  // chunk names the chunk's first frame.
  bool inChunk = false;
  uint32_t chunkIndex = 0;
  uint32_t frameIndex = 0;
};

// Looks a text up in a catalogue. The decoder has none; a host that speaks
// the user's language passes its own (gettext), and every text of the
// sentence goes through it.
using TranslateText = const char* (*)(const char*);

// One line, e.g. "width 10 is not a multiple of 8" or "chunk 3, frame 17:
// the chunk header ends early": English, or worded through `translate`.
// Chunks and frames are counted from 1 there, as people count them.
std::string DescribeFailure(const MovieFailure& failure, TranslateText translate = nullptr);

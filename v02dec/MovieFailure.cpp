#include "v02dec/MovieFailure.h"

#include <cstdio>
#include <cstring>

namespace {

std::string Number(uint64_t value) { return std::to_string(value); }

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

std::string Cause(const MovieFailure& f) {
  const std::string found = Number(f.values[0]);
  const std::string bound = Number(f.values[1]);
  switch (f.test) {
    case FailureTest::kNone: break;
    case FailureTest::kExtension:
      return f.text.empty() ? "the file name has no extension; it is neither .V02 nor .V00"
                            : "extension " + f.text + " is neither .V02 nor .V00";
    case FailureTest::kMagic:
      return "the file begins with " + Hex(f.values[0]) + ", not with the movie's mark";
    case FailureTest::kVersion: return "version " + found + " is neither 6 nor 7";
    case FailureTest::kFormatMark: return "format mark " + Hex(f.values[0]) + " is not 0x80008000";
    case FailureTest::kWidthBelowMinimum: return "width " + found + " is below " + bound;
    case FailureTest::kWidthAboveMaximum: return "width " + found + " is above " + bound;
    case FailureTest::kWidthNotMultipleOf8:
      return "width " + found + " is not a multiple of " + bound;
    case FailureTest::kHeightBelowMinimum: return "height " + found + " is below " + bound;
    case FailureTest::kHeightAboveMaximum: return "height " + found + " is above " + bound;
    case FailureTest::kHeightOdd: return "height " + found + " is not a multiple of " + bound;
    case FailureTest::kFramesPerChunkAbove64:
      return "frames per chunk " + found + " is above " + bound;
    case FailureTest::kScaleAboveMaximum: return "scale " + found + " is above " + bound;
    case FailureTest::kSoundRateZero:
      return "sound rate 0 Hz (rate code " + found + " in the .snd header)";
    case FailureTest::kSoundRateAboveMaximum:
      return "sound rate " + found + " Hz is above " + bound + " Hz";
    case FailureTest::kSoundBlockAboveMaximum:
      return "a chunk's sound of " + found + " bytes is above " + bound + " bytes";
    case FailureTest::kOpenMovie: return "the movie file cannot be opened";
    case FailureTest::kMovieNotRegular: return "the movie is not a regular file";
    case FailureTest::kMovieHeader: return "the movie header cannot be read";
    case FailureTest::kColourTable: return "the colour table cannot be read";
    case FailureTest::kOpenCompanion: return "the .snd file cannot be opened";
    case FailureTest::kCompanionNotRegular: return "the .snd file is not a regular file";
    case FailureTest::kCompanionHeader: return "the .snd header cannot be read";
    case FailureTest::kChunkHeader: return "the chunk header cannot be read";
    case FailureTest::kChunkSound: return "the chunk's sound cannot be read";
    case FailureTest::kChunkVideo: return "the chunk's frames cannot be read";
    case FailureTest::kRawFrame: return "the frame cannot be read";
    case FailureTest::kCompanionSound: return "the chunk's sound in the .snd file cannot be read";
    case FailureTest::kNotOpen: return "no movie is open";
    case FailureTest::kMemoryLimit:
      return "the movie needs " + found + " bytes of memory, more than the " + bound +
             " allowed";
    case FailureTest::kBufferUnavailable:
      return "a buffer of " + found + " bytes cannot be obtained";
    case FailureTest::kChunkAboveBuffer:
      return "the chunk's size " + found + " is above the largest possible, " + bound;
    case FailureTest::kChunkBelowSound:
      return "the chunk's size " + found + " is below its " + bound + " bytes of sound";
    case FailureTest::kFrameWorkAboveBudget:
      return "the frame's operations would write " + found + " bytes, more than the " + bound +
             " bytes a frame may";
    case FailureTest::kAbortRequested: return "stopped on request";
  }
  return "failed";
}

}  // namespace

std::string DescribeFailure(const MovieFailure& failure) {
  if (failure.kind == FailureKind::kNone) return "no failure";
  std::string text;
  if (failure.inChunk) {
    text = "chunk " + Number(uint64_t{failure.chunkIndex} + 1) + ", frame " +
           Number(uint64_t{failure.frameIndex} + 1) + ": ";
  }
  text += Cause(failure);
  if (failure.kind == FailureKind::kReadFailed) {
    if (failure.sysErrno != 0) {
      text += ": ";
      text += std::strerror(failure.sysErrno);
    } else if (failure.test != FailureTest::kMovieNotRegular &&
               failure.test != FailureTest::kCompanionNotRegular &&
               failure.test != FailureTest::kNotOpen) {
      text += ": the file ends early";
    }
  }
  return text;
}

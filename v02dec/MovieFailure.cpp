#include "v02dec/MovieFailure.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Marks a text for the catalogue's extraction; it is translated where it is
// worded, through the host's TranslateText.
#define N_(text) (text)

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

// format with up to two "%s", filled with a and b.
std::string Fill(const char* format, const std::string& a = {}, const std::string& b = {}) {
  char text[512];
  const int n = std::snprintf(text, sizeof text, format, a.c_str(), b.c_str());
  return std::string(text, n <= 0 ? 0 : std::min(static_cast<size_t>(n), sizeof text - 1));
}

const char* AsIs(const char* text) { return text; }

std::string Cause(const MovieFailure& f, TranslateText _) {
  const std::string found = std::to_string(f.values[0]);
  const std::string bound = std::to_string(f.values[1]);
  switch (f.test) {
    case FailureTest::kNone: break;
    case FailureTest::kExtension:
      return f.text.empty() ? _(N_("the file name has no extension; it is neither .V02 nor .V00"))
                            : Fill(_(N_("extension %s is neither .V02 nor .V00")), f.text);
    case FailureTest::kMagic:
      return Fill(_(N_("the file begins with %s, not with the movie's mark")), Hex(f.values[0]));
    case FailureTest::kVersion: return Fill(_(N_("version %s is neither 6 nor 7")), found);
    case FailureTest::kFormatMark:
      return Fill(_(N_("format mark %s is not 0x80008000")), Hex(f.values[0]));
    case FailureTest::kWidthBelowMinimum: return Fill(_(N_("width %s is below %s")), found, bound);
    case FailureTest::kWidthAboveMaximum: return Fill(_(N_("width %s is above %s")), found, bound);
    case FailureTest::kWidthNotMultipleOf8:
      return Fill(_(N_("width %s is not a multiple of %s")), found, bound);
    case FailureTest::kHeightBelowMinimum: return Fill(_(N_("height %s is below %s")), found, bound);
    case FailureTest::kHeightAboveMaximum: return Fill(_(N_("height %s is above %s")), found, bound);
    case FailureTest::kHeightOdd: return Fill(_(N_("height %s is not a multiple of %s")), found, bound);
    case FailureTest::kFramesPerChunkAbove64:
      return Fill(_(N_("frames per chunk %s is above %s")), found, bound);
    case FailureTest::kScaleAboveMaximum: return Fill(_(N_("scale %s is above %s")), found, bound);
    case FailureTest::kSoundRateZero:
      return Fill(_(N_("sound rate 0 Hz (rate code %s in the .snd header)")), found);
    case FailureTest::kSoundRateAboveMaximum:
      return Fill(_(N_("sound rate %s Hz is above %s Hz")), found, bound);
    case FailureTest::kSoundBlockAboveMaximum:
      return Fill(_(N_("a chunk's sound of %s bytes is above %s bytes")), found, bound);
    case FailureTest::kOpenMovie: return _(N_("the movie file cannot be opened"));
    case FailureTest::kMovieNotRegular: return _(N_("the movie is not a regular file"));
    case FailureTest::kMovieHeader: return _(N_("the movie header cannot be read"));
    case FailureTest::kColourTable: return _(N_("the colour table cannot be read"));
    case FailureTest::kOpenCompanion: return _(N_("the .snd file cannot be opened"));
    case FailureTest::kCompanionNotRegular: return _(N_("the .snd file is not a regular file"));
    case FailureTest::kCompanionHeader: return _(N_("the .snd header cannot be read"));
    case FailureTest::kChunkHeader: return _(N_("the chunk header cannot be read"));
    case FailureTest::kChunkSound: return _(N_("the chunk's sound cannot be read"));
    case FailureTest::kChunkVideo: return _(N_("the chunk's frames cannot be read"));
    case FailureTest::kRawFrame: return _(N_("the frame cannot be read"));
    case FailureTest::kCompanionSound: return _(N_("the chunk's sound in the .snd file cannot be read"));
    case FailureTest::kNotOpen: return _(N_("no movie is open"));
    case FailureTest::kMemoryLimit:
      return Fill(_(N_("the movie needs %s bytes of memory, more than the %s allowed")), found, bound);
    case FailureTest::kBufferUnavailable:
      return Fill(_(N_("a buffer of %s bytes cannot be obtained")), found);
    case FailureTest::kChunkAboveBuffer:
      return Fill(_(N_("the chunk's size %s is above the largest possible, %s")), found, bound);
    case FailureTest::kChunkBelowSound:
      return Fill(_(N_("the chunk's size %s is below its %s bytes of sound")), found, bound);
    case FailureTest::kFrameWorkAboveBudget:
      return Fill(_(N_("the frame's operations would write %s bytes, more than the %s bytes a "
                    "frame may")),
                  found, bound);
    case FailureTest::kAbortRequested: return _(N_("stopped on request"));
  }
  return _(N_("failed"));
}

}  // namespace

std::string DescribeFailure(const MovieFailure& failure, TranslateText translate) {
  const TranslateText _ = translate != nullptr ? translate : AsIs;
  if (failure.kind == FailureKind::kNone) return _(N_("no failure"));
  std::string text;
  if (failure.inChunk) {
    text = Fill(_(N_("chunk %s, frame %s: ")), std::to_string(uint64_t{failure.chunkIndex} + 1),
                std::to_string(uint64_t{failure.frameIndex} + 1));
  }
  text += Cause(failure, _);
  if (failure.kind == FailureKind::kReadFailed) {
    if (failure.sysErrno != 0) {
      text += ": ";
      text += std::strerror(failure.sysErrno);
    } else if (failure.test != FailureTest::kMovieNotRegular &&
               failure.test != FailureTest::kCompanionNotRegular &&
               failure.test != FailureTest::kNotOpen) {
      text += ": ";
      text += _(N_("the file ends early"));
    }
  }
  return text;
}

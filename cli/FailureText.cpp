#include "cli/FailureText.h"

#include <cstdio>
#include <cstring>

#include "cli/Gettext.h"

namespace {

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

std::string Cause(const MovieFailure& f) {
  const std::string found = std::to_string(f.values[0]);
  const std::string bound = std::to_string(f.values[1]);
  switch (f.test) {
    case FailureTest::kNone: break;
    case FailureTest::kExtension:
      return f.text.empty() ? _("the file name has no extension; it is neither .V02 nor .V00")
                            : Fill(_("extension %s is neither .V02 nor .V00"), f.text);
    case FailureTest::kMagic:
      return Fill(_("the file begins with %s, not with the movie's mark"), Hex(f.values[0]));
    case FailureTest::kVersion: return Fill(_("version %s is neither 6 nor 7"), found);
    case FailureTest::kFormatMark:
      return Fill(_("format mark %s is not 0x80008000"), Hex(f.values[0]));
    case FailureTest::kWidthBelowMinimum: return Fill(_("width %s is below %s"), found, bound);
    case FailureTest::kWidthAboveMaximum: return Fill(_("width %s is above %s"), found, bound);
    case FailureTest::kWidthNotMultipleOf8:
      return Fill(_("width %s is not a multiple of %s"), found, bound);
    case FailureTest::kHeightBelowMinimum: return Fill(_("height %s is below %s"), found, bound);
    case FailureTest::kHeightAboveMaximum: return Fill(_("height %s is above %s"), found, bound);
    case FailureTest::kHeightOdd: return Fill(_("height %s is not a multiple of %s"), found, bound);
    case FailureTest::kFramesPerChunkAbove64:
      return Fill(_("frames per chunk %s is above %s"), found, bound);
    case FailureTest::kScaleAboveMaximum: return Fill(_("scale %s is above %s"), found, bound);
    case FailureTest::kSoundRateZero:
      return Fill(_("sound rate 0 Hz (rate code %s in the .snd header)"), found);
    case FailureTest::kSoundRateAboveMaximum:
      return Fill(_("sound rate %s Hz is above %s Hz"), found, bound);
    case FailureTest::kSoundBlockAboveMaximum:
      return Fill(_("a chunk's sound of %s bytes is above %s bytes"), found, bound);
    case FailureTest::kOpenMovie: return _("the movie file cannot be opened");
    case FailureTest::kMovieNotRegular: return _("the movie is not a regular file");
    case FailureTest::kMovieHeader: return _("the movie header cannot be read");
    case FailureTest::kColourTable: return _("the colour table cannot be read");
    case FailureTest::kOpenCompanion: return _("the .snd file cannot be opened");
    case FailureTest::kCompanionNotRegular: return _("the .snd file is not a regular file");
    case FailureTest::kCompanionHeader: return _("the .snd header cannot be read");
    case FailureTest::kChunkHeader: return _("the chunk header cannot be read");
    case FailureTest::kChunkSound: return _("the chunk's sound cannot be read");
    case FailureTest::kChunkVideo: return _("the chunk's frames cannot be read");
    case FailureTest::kRawFrame: return _("the frame cannot be read");
    case FailureTest::kCompanionSound: return _("the chunk's sound in the .snd file cannot be read");
    case FailureTest::kNotOpen: return _("no movie is open");
    case FailureTest::kMemoryLimit:
      return Fill(_("the movie needs %s bytes of memory, more than the %s allowed"), found, bound);
    case FailureTest::kBufferUnavailable:
      return Fill(_("a buffer of %s bytes cannot be obtained"), found);
    case FailureTest::kChunkAboveBuffer:
      return Fill(_("the chunk's size %s is above the largest possible, %s"), found, bound);
    case FailureTest::kChunkBelowSound:
      return Fill(_("the chunk's size %s is below its %s bytes of sound"), found, bound);
    case FailureTest::kFrameWorkAboveBudget:
      return Fill(_("the frame's operations would write %s bytes, more than the %s bytes a "
                    "frame may"),
                  found, bound);
    case FailureTest::kAbortRequested: return _("stopped on request");
  }
  return _("failed");
}

// The AVI writer's refusals (AviRefusal) reach the command line in English
// and are translated where they are shown; listed here so that the
// catalogue has them.
[[maybe_unused]] constexpr const char* kAviRefusals[] = {
    N_("a frame is larger than an AVI chunk can hold"),
    N_("a chunk's sound is larger than an AVI chunk can hold"),
    N_("more frames than an AVI stream can count"),
    N_("more sound samples than an AVI stream can count"),
    N_("a sound rate higher than an AVI header can hold"),
    N_("a frame wider or taller than an AVI header can hold"),
    N_("a frame lasts longer than an AVI header can hold"),
    N_("more bytes per second than an AVI header can hold"),
};

}  // namespace

std::string FailureText(const MovieFailure& failure) {
  if (failure.kind == FailureKind::kNone) return _("no failure");
  std::string text;
  if (failure.inChunk) {
    text = Fill(_("chunk %s, frame %s: "), std::to_string(uint64_t{failure.chunkIndex} + 1),
                std::to_string(uint64_t{failure.frameIndex} + 1));
  }
  text += Cause(failure);
  if (failure.kind == FailureKind::kReadFailed) {
    if (failure.sysErrno != 0) {
      text += ": ";
      text += std::strerror(failure.sysErrno);
    } else if (failure.test != FailureTest::kMovieNotRegular &&
               failure.test != FailureTest::kCompanionNotRegular &&
               failure.test != FailureTest::kNotOpen) {
      text += ": ";
      text += _("the file ends early");
    }
  }
  return text;
}

#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Reads a written movie back through libavformat and libavcodec, as any
// player would, and compares it with the movie decoded once more.
struct VerifyReport {
  bool ok = false;
  bool aborted = false;  // the abort check answered yes before the end
  uint64_t frames = 0;   // frames of the output compared with the movie's
  uint64_t samples = 0;  // sound samples compared, at the movie's rate
  double seconds = 0;    // the output's video duration
  double psnr = 0;       // lossy outputs: over the 4:2:0 planes of every frame, in dB
  // Lossy outputs with sound: the normalised correlation of the decoded
  // sound with the movie's (1 is the same waveform); silentSound when the
  // movie's sound is silence and the output's is too.
  double soundCorrelation = 0;
  bool silentSound = false;
  std::string problem;  // the first difference, or why reading failed
};

// A lossy output's sound passes when its normalised correlation with the
// movie's reaches this: AAC keeps a tone above 0.99; another tone, a shifted
// or a missing sound falls near 0.
inline constexpr double kMinSoundCorrelation = 0.9;

// lossless: every frame and every sample must be identical (AVI, FFV1 and
// FLAC). Otherwise every frame must be there, the duration must match, and
// the sound must last as long as the movie's and match it
// (kMinSoundCorrelation), or be silence where the movie's is; the report
// tells how close the pictures came. Either way the frame rate, the sound
// rate (lossless) and every frame's time are checked. aborted, when given,
// is asked between frames: yes ends the verification at once.
VerifyReport VerifyOutput(const std::string& moviePath, const std::string& outputPath,
                          bool lossless, const std::function<bool()>& aborted = {});

// "verified: 40 frames, 29400 samples identical" or, for a lossy output,
// "verified: 40 frames, 4.00 s, PSNR 47.1 dB, sound correlation 0.998".
std::string DescribeVerified(const VerifyReport& report, bool lossless);

#pragma once

#include <cstdint>
#include <string>

// Reads a written movie back through libavformat and libavcodec, as any
// player would, and compares it with the movie decoded once more.
struct VerifyReport {
  bool ok = false;
  uint64_t frames = 0;   // frames of the output compared with the movie's
  uint64_t samples = 0;  // sound samples compared (lossless outputs only)
  double seconds = 0;    // the output's video duration
  double psnr = 0;       // lossy outputs: over the 4:2:0 planes of every frame, in dB
  std::string problem;   // the first difference, or why reading failed
};

// lossless: every frame and every sample must be identical (AVI, FFV1 and
// FLAC). Otherwise the frame count and the duration must match, and the
// report tells how close the pictures came.
VerifyReport VerifyOutput(const std::string& moviePath, const std::string& outputPath,
                          bool lossless);

// "verified: 40 frames, 29400 samples identical" or, for a lossy output,
// "verified: 40 frames, 4.00 s, PSNR 47.1 dB".
std::string DescribeVerified(const VerifyReport& report, bool lossless);

#pragma once

// An AVI output checked against the movie it was made from, through
// programs that know nothing of our writer; for the suites that convert
// whole movies (the driver, the command line).

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>

#include <gtest/gtest.h>

#include "tests/common/MediaReaders.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace porute_test {

// Checks an AVI file against the movie it was made from: both streams with
// their formats, rates and lengths as ffprobe sees them, and every frame and
// sample as ffmpeg decodes them. `frames` and `soundBlocks` say how much of the
// movie the file holds (less than all when it was cut short).
inline void ExpectAviHolds(const std::string& avi, const moviewriter::ExpectedMovie& movie,
                           uint32_t frames, size_t soundBlocks) {
  const Probe probe = ProbeFile(avi);
  ASSERT_TRUE(probe.ok) << probe.error;
  EXPECT_EQ(probe.formatName, "avi");
  ASSERT_EQ(probe.streams.size(), 2u);
  const ProbedStream& video = probe.streams[0];
  const ProbedStream& audio = probe.streams[1];
  EXPECT_EQ(video.codecType, "video");
  EXPECT_EQ(video.codecName, "rawvideo");
  EXPECT_EQ(video.pixFmt, "bgr24");
  EXPECT_EQ(video.width, static_cast<int>(movie.width));
  EXPECT_EQ(video.height, static_cast<int>(movie.height));
  const uint32_t divisor = std::gcd(movie.rate, movie.scale);
  EXPECT_EQ(video.frameRate,
            std::to_string(movie.rate / divisor) + "/" + std::to_string(movie.scale / divisor));
  EXPECT_EQ(video.readFrames, static_cast<int64_t>(frames));
  EXPECT_NEAR(video.duration, double(frames) * movie.scale / movie.rate, 1e-3);
  EXPECT_EQ(audio.codecType, "audio");
  EXPECT_EQ(audio.codecName, "pcm_s16le");
  EXPECT_EQ(audio.sampleRate, static_cast<int>(movie.soundRate));
  EXPECT_EQ(audio.channels, 1);
  EXPECT_EQ(audio.bitsPerSample, 16);
  const size_t samples = soundBlocks * movie.soundBlockBytes / 2;
  // ffprobe gives no duration for PCM in AVI; the header's length in samples
  // says the same.
  EXPECT_EQ(audio.headerFrames, static_cast<int64_t>(samples));

  const Decoded videoRead = DecodeWithFfmpeg(avi, 'v');
  ASSERT_TRUE(videoRead.ok) << videoRead.errors;
  const moviewriter::Bytes& decodedVideo = videoRead.data;
  const size_t frameBytes = size_t{movie.width} * movie.height * 3;
  ASSERT_EQ(decodedVideo.size(), frameBytes * frames);
  for (uint32_t i = 0; i < frames; ++i) {
    const moviewriter::Bytes expected =
        moviewriter::FrameMemoryToTopDownBgr(movie.frames[i], movie.width, movie.height);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), decodedVideo.begin() + i * frameBytes))
        << "frame " << i << " differs";
  }
  const Decoded soundRead = DecodeWithFfmpeg(avi, 'a');
  ASSERT_TRUE(soundRead.ok) << soundRead.errors;
  const moviewriter::Bytes& decodedSound = soundRead.data;
  ASSERT_LE(samples * 2, movie.sound.size());
  EXPECT_EQ(decodedSound.size(), samples * 2);
  EXPECT_TRUE(std::equal(decodedSound.begin(), decodedSound.end(), movie.sound.begin()))
      << "sound differs";
}

}  // namespace porute_test

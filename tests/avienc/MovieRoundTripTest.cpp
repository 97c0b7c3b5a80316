// Real movies end to end: a VD02 or VD00 movie made by our movie writer is
// decoded by V02Decode and encoded by AVIencode the way the batch driver
// does it; ffprobe and ffmpeg then read the AVI file back, and every frame
// and every sample must be what the decoder produced.

#include <gtest/gtest.h>

#include <string>

#include "tests/avifile/AviTestSupport.h"
#include "avienc/AVIencode.h"
#include "avifile/AviFileLimits.h"
#include "tools/moviewriter/MovieMaker.h"
#include "v02dec/V02Decode.h"

using namespace avitest;
namespace mw = moviewriter;

namespace {

struct Converted {
  Bytes video;  // top-down rows without padding, from the decoder's bitmaps
  Bytes audio;
  uint32_t frames = 0;
  uint32_t samples = 0;
  uint32_t width = 0, height = 0, rate = 0, scale = 0, soundRate = 0;
  std::string failure;
};

// The batch driver's loop over one movie, recording what went to the encoder.
Converted Convert(const std::string& input, const std::string& output) {
  Converted out;
  V02Decode decoder;
  AVIencode encoder;
  if (decoder.Open(input) != kMovieOk) {
    decoder.Close();
    out.failure = "decoder Open";
    return out;
  }
  encoder.movie = decoder.Parameters();
  out.width = decoder.Parameters().width;
  out.height = decoder.Parameters().height;
  out.rate = decoder.Parameters().rate;
  out.scale = decoder.Parameters().scale;
  out.soundRate = decoder.Parameters().soundRate;
  if (encoder.Open(output.c_str()) != 0) {
    decoder.Close();
    encoder.Close();
    out.failure = "encoder Open";
    return out;
  }
  int64_t left = decoder.Parameters().frameCount;
  const size_t pixelBytes = size_t{decoder.Parameters().width} * 3;
  while (left > 0 && out.failure.empty()) {
    if (decoder.ReadChunk() != kMovieOk) {
      out.failure = "ReadChunk";
      break;
    }
    for (uint32_t j = 0; j < decoder.Parameters().framesPerChunk; ++j) {
      const TBitmap& bitmap = *decoder.frameBitmaps[j];
      if (encoder.WriteVideo(bitmap.ScanLine(static_cast<int>(decoder.Parameters().height) - 1)) !=
          0) {
        out.failure = "WriteVideo";
        break;
      }
      for (uint32_t y = 0; y < decoder.Parameters().height; ++y) {
        const uint8_t* row = bitmap.ScanLine(static_cast<int>(y));
        out.video.insert(out.video.end(), row, row + pixelBytes);
      }
      ++out.frames;
      if (--left <= 0) break;
    }
    const auto* sound = reinterpret_cast<const uint8_t*>(decoder.soundBlock.get());
    encoder.WriteAudio(sound);
    out.audio.insert(out.audio.end(), sound, sound + decoder.Parameters().soundBlockBytes);
    out.samples += decoder.Parameters().soundBlockBytes / 2;
  }
  decoder.Close();
  encoder.Close();
  return out;
}

struct Case {
  const char* what;
  bool v00;
  mw::V02MovieOptions v02;
  mw::V00MovieOptions v00Options;
  uint64_t riffLimit;
};

mw::V02MovieOptions V02(uint32_t width, uint32_t height, uint32_t frames, uint32_t scale,
                        uint32_t perChunk, uint32_t soundRate, mw::ContentKind content) {
  mw::V02MovieOptions options;
  options.width = width;
  options.height = height;
  options.frames = frames;
  options.scale = scale;
  options.framesPerChunk = perChunk;
  options.soundRate = soundRate;
  options.content = content;
  return options;
}

mw::V00MovieOptions V00(uint32_t width, uint32_t height, uint32_t frames, bool withSound) {
  mw::V00MovieOptions options;
  options.width = width;
  options.height = height;
  options.frames = frames;
  options.withSound = withSound;
  return options;
}

TEST(MovieRoundTrip, DecodedMoviesReadBackExactlyThroughFfmpeg) {
  if (!HaveProgram("ffprobe") || !HaveProgram("ffmpeg")) {
    GTEST_SKIP() << "ffprobe or ffmpeg is not installed";
  }
  const Case cases[] = {
      {"VD02 scene, 8 frames a chunk", false, V02(160, 120, 30, 6, 8, 8000, mw::ContentKind::kScene),
       {}, kAviDefaultRiffLimit},
      {"VD02 random frames, scale 7, short last chunk", false,
       V02(64, 48, 23, 7, 5, 11025, mw::ContentKind::kRandom), {}, kAviDefaultRiffLimit},
      {"VD02 scrambled op lists", false,
       V02(88, 10, 9, 6, 4, 8000, mw::ContentKind::kScramble), {}, kAviDefaultRiffLimit},
      {"VD02 over several RIFFs", false, V02(160, 120, 40, 6, 8, 22050, mw::ContentKind::kScene),
       {}, 300000},
      {"VD00 with its sound file", true, {}, V00(96, 72, 20, true), kAviDefaultRiffLimit},
      {"VD00 without sound file: silence", true, {}, V00(96, 72, 12, false),
       kAviDefaultRiffLimit},
      {"VD00 13 pixels wide: rows padded to 40 bytes", true, {}, V00(13, 10, 11, true),
       kAviDefaultRiffLimit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string input = dir.Path(c.v00 ? "movie.V00" : "movie.V02");
    const std::string output = dir.Path("movie.avi");
    ASSERT_EQ(c.v00 ? mw::WriteV00Movie(input, c.v00Options) : mw::WriteV02Movie(input, c.v02),
              0);
    AviFileSetRiffLimit(c.riffLimit);
    const Converted converted = Convert(input, output);
    AviFileSetRiffLimit(kAviDefaultRiffLimit);
    ASSERT_TRUE(converted.failure.empty()) << converted.failure;
    ASSERT_GT(converted.frames, 0u);

    ProbeResult probe = Probe(output);
    ASSERT_TRUE(probe.ok);
    ASSERT_EQ(probe.streams.size(), 2u);
    EXPECT_EQ(probe.streams[0]["codec_type"], "video");
    EXPECT_EQ(probe.streams[0]["width"], std::to_string(converted.width));
    EXPECT_EQ(probe.streams[0]["height"], std::to_string(converted.height));
    EXPECT_EQ(probe.streams[0]["nb_frames"], std::to_string(converted.frames));
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.6f",
                  converted.frames * double(converted.scale) / converted.rate);
    EXPECT_EQ(probe.streams[0]["duration"], duration);
    EXPECT_EQ(probe.streams[1]["codec_type"], "audio");
    EXPECT_EQ(probe.streams[1]["sample_rate"], std::to_string(converted.soundRate));
    EXPECT_EQ(probe.streams[1]["nb_frames"], std::to_string(converted.samples));

    const Decoded v = DecodeWithFfmpeg(output, 'v');
    ASSERT_TRUE(v.ok) << v.errors;
    EXPECT_TRUE(SameBytes(v.data, converted.video));
    const Decoded a = DecodeWithFfmpeg(output, 'a');
    ASSERT_TRUE(a.ok) << a.errors;
    EXPECT_TRUE(SameBytes(a.data, converted.audio));
    if (c.riffLimit != kAviDefaultRiffLimit) {
      std::vector<RiffNode> top;
      std::string error;
      ASSERT_TRUE(ParseRiff(ReadFileBytes(output), &top, &error)) << error;
      EXPECT_GT(top.size(), 2u);
    }
  }
}

}  // namespace

// The encoder: the stream headers and formats it prepares from the Movie
// parameters, the bytes they become in the file, its failure paths, and
// synthetic movies read back by ffprobe, ffmpeg, GStreamer and mediainfo.

#include "avienc/AVIencode.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/avifile/AviTestSupport.h"
#include "avifile/AviFileLimits.h"
#include "batch/AviMovieEncoder.h"

using namespace avitest;

namespace {

struct MovieParams {
  uint32_t frameCount, rate, scale, width, height, soundRate, soundBlockBytes;
};

void SetParams(AVIencode& encoder, const MovieParams& p) {
  encoder.movie.frameCount = p.frameCount;
  encoder.movie.rate = p.rate;
  encoder.movie.scale = p.scale;
  encoder.movie.width = p.width;
  encoder.movie.height = p.height;
  encoder.movie.soundRate = p.soundRate;
  encoder.movie.soundBlockBytes = p.soundBlockBytes;
}

// What a reader should get back from a synthetic movie.
struct Written {
  Bytes video;        // top-down bgr24 rows without padding, as ffmpeg gives them
  Bytes videoPadded;  // top-down rows with their padding, as avidemux gives them
  Bytes audio;
  uint32_t frames = 0;
  uint32_t samples = 0;
  bool ok = true;
};

// Writes frames as the batch driver does: each chunk's frames, then the
// chunk's whole sound block, the last chunk included.
Written WriteSynthetic(AVIencode& encoder, uint32_t frames, uint32_t framesPerChunk) {
  Written out;
  uint32_t chunk = 0;
  while (out.frames < frames) {
    for (uint32_t j = 0; j < framesPerChunk && out.frames < frames; ++j) {
      const Bytes frame = FramePattern(static_cast<size_t>(encoder.frameBytes), out.frames);
      if (encoder.WriteVideo(frame.data()) != 0) out.ok = false;
      const Bytes top = TopDownRows(frame, encoder.movie.width, encoder.movie.height);
      out.video.insert(out.video.end(), top.begin(), top.end());
      const Bytes padded = TopDownPaddedRows(frame, encoder.movie.width, encoder.movie.height);
      out.videoPadded.insert(out.videoPadded.end(), padded.begin(), padded.end());
      ++out.frames;
    }
    const Bytes block = SoundPattern(encoder.movie.soundBlockBytes, chunk++);
    if (encoder.WriteAudio(block.data()) != 0) out.ok = false;
    out.audio.insert(out.audio.end(), block.begin(), block.end());
    out.samples += encoder.movie.soundBlockBytes / 2;
  }
  return out;
}

std::string Seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

// ffprobe's and ffmpeg's reading of a file written by WriteSynthetic.
void ExpectReadBack(const std::string& path, const MovieParams& p, const Written& written) {
  PORUTE_NEED_PROGRAMS("ffprobe", "ffmpeg");
  const porute_test::Probe probe = porute_test::ProbeFile(path);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_EQ(probe.streams.size(), 2u);
  const auto video = [&](const char* key) { return probe.Stream(0, key); };
  const auto audio = [&](const char* key) { return probe.Stream(1, key); };
  EXPECT_EQ(video("codec_type"), "video");
  EXPECT_EQ(video("codec_name"), "rawvideo");
  EXPECT_EQ(video("width"), std::to_string(p.width));
  EXPECT_EQ(video("height"), std::to_string(p.height));
  EXPECT_EQ(video("nb_frames"), std::to_string(written.frames));
  EXPECT_EQ(video("duration"), Seconds(written.frames * double(p.scale) / p.rate));
  EXPECT_EQ(video("tags.title"), "Video");
  EXPECT_EQ(audio("codec_type"), "audio");
  EXPECT_EQ(audio("codec_name"), "pcm_s16le");
  EXPECT_EQ(audio("sample_rate"), std::to_string(p.soundRate));
  EXPECT_EQ(audio("channels"), "1");
  EXPECT_EQ(audio("bits_per_sample"), "16");
  EXPECT_EQ(audio("nb_frames"), std::to_string(written.samples));
  EXPECT_EQ(audio("tags.title"), "Audio");

  const Decoded v = DecodeWithFfmpeg(path, 'v');
  ASSERT_TRUE(v.ok) << v.errors;
  EXPECT_TRUE(SameBytes(v.data, written.video));
  const Decoded a = DecodeWithFfmpeg(path, 'a');
  ASSERT_TRUE(a.ok) << a.errors;
  EXPECT_TRUE(SameBytes(a.data, written.audio));
}

// The Part's values for each stream header and format, for the Movie
// parameters of each case; and the bytes they become in the file.
TEST(AVIencode, HeadersAndFormatsFollowTheMovieParameters) {
  struct Case {
    const char* what;
    MovieParams params;
    int32_t frameBytes;
    uint32_t soundLength;
    uint32_t microSecPerFrame;
    // In the file's main header, after two frames and one sound block: the
    // bytes a second of the frames written take, rounded up, plus the
    // sound's; and the largest chunk written.
    uint32_t bytesPerSec;
    uint32_t largestChunk;
  };
  const Case cases[] = {
      {"320 x 240", {100, 60, 6, 320, 240, 22050, 35280}, 230400, 220500, 100000,
       2304000 + 44100, 230400},
      {"10 x 8: rows of 30 pixel bytes and 2 fill bytes", {100, 60, 6, 10, 8, 8000, 12800}, 256,
       80000, 100000, 2560 + 16000, 12800},
      {"13 x 10", {100, 60, 6, 13, 10, 8000, 12800}, 400, 80000, 100000, 4000 + 16000, 12800},
      {"scale 7: 5,600,000 / 60 rounds down; 256 x 60 / 7 rounds up",
       {100, 60, 7, 10, 8, 8000, 12800}, 256, 93333, 116667, 2195 + 16000, 12800},
      {"0 frames", {0, 60, 6, 320, 240, 22050, 35280}, 230400, 0, 100000, 44100, 0},
      {"36,000 frames x 22,050 Hz x 6 is past 32 bits", {36000, 60, 6, 320, 240, 22050, 35280},
       230400, 79380000, 100000, 2304000 + 44100, 230400},
      {"89,479 frames at 8000 Hz: the first count past 32 bits",
       {89479, 60, 6, 10, 8, 8000, 12800}, 256, 71583200, 100000, 2560 + 16000, 12800},
      {"rate 0 gives no sound length instead of a division by zero",
       {100, 0, 6, 10, 8, 8000, 12800}, 256, 0, 0, 16000, 12800},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AVIencode encoder;
    SetParams(encoder, c.params);
    TempDir dir;
    const std::string path = dir.Path("movie.avi");
    ASSERT_EQ(encoder.Open(path.c_str()), 0);
    EXPECT_EQ(encoder.frameBytes, c.frameBytes);
    EXPECT_EQ(encoder.soundLength, c.soundLength);
    // The headers as prepared declare the movie's full length.
    EXPECT_EQ(encoder.videoStreamInfo.dwLength, c.params.frameCount);
    EXPECT_EQ(encoder.audioStreamInfo.dwLength, c.soundLength);
    EXPECT_EQ(encoder.videoFormat.biSizeImage, static_cast<DWORD>(c.frameBytes));
    // Two frames and a sound block, then the file's own headers.
    const uint32_t frames = c.params.frameCount < 2 ? c.params.frameCount : 2;
    const Written written = WriteSynthetic(encoder, frames, 2);
    ASSERT_TRUE(written.ok);
    encoder.Close();

    const Bytes file = ReadFileBytes(path);
    std::vector<RiffNode> top;
    ASSERT_TRUE(ParsesAsRiff(file, &top));
    const RiffNode* hdrl = top[0].Find("hdrl");
    ASSERT_NE(hdrl, nullptr);
    const std::vector<const RiffNode*> strl = hdrl->FindAll("strl");
    ASSERT_EQ(strl.size(), 2u);
    const MovieParams& p = c.params;
    const uint32_t frameBytes = static_cast<uint32_t>(c.frameBytes);
    const uint32_t samples = frames == 0 ? 0 : p.soundBlockBytes / 2;
    const uint32_t largestSound = frames == 0 ? 0 : p.soundBlockBytes;

    // Length and buffer size: what the streams hold, not what was declared.
    const Bytes videoStrh = Le().Four("vids").Four("DIB ").U32(0).U16(0).U16(0).U32(0)
                                .U32(p.scale).U32(p.rate).U32(0)
                                .U32(frames).U32(frames ? frameBytes : 0)
                                .U32(0xFFFFFFFF).U32(0)
                                .U16(0).U16(0).U16(static_cast<uint16_t>(p.width))
                                .U16(static_cast<uint16_t>(p.height)).Get();
    const Bytes videoStrf = Le().U32(40).U32(p.width).U32(p.height).U16(1).U16(24).U32(0)
                                .U32(frameBytes).U32(0).U32(0).U32(0).U32(0).Get();
    const Bytes audioStrh = Le().Four("auds").U32(0).U32(0).U16(0).U16(0).U32(0)
                                .U32(1).U32(p.soundRate).U32(0)
                                .U32(samples).U32(largestSound)
                                .U32(0xFFFFFFFF).U32(2)
                                .U16(0).U16(0).U16(0).U16(0).Get();
    const Bytes audioStrf =
        Le().U16(1).U16(1).U32(p.soundRate).U32(2 * p.soundRate).U16(2).U16(16).Get();
    EXPECT_TRUE(SameBytes(ChunkData(file, *strl[0]->Find("strh")), videoStrh));
    EXPECT_TRUE(SameBytes(ChunkData(file, *strl[0]->Find("strf")), videoStrf));
    EXPECT_TRUE(SameBytes(ChunkData(file, *strl[0]->Find("strn")), Le().Text("Video").U8(0)));
    EXPECT_TRUE(SameBytes(ChunkData(file, *strl[1]->Find("strh")), audioStrh));
    EXPECT_TRUE(SameBytes(ChunkData(file, *strl[1]->Find("strf")), audioStrf));
    EXPECT_TRUE(SameBytes(ChunkData(file, *strl[1]->Find("strn")), Le().Text("Audio").U8(0)));

    const Bytes avih = ChunkData(file, *hdrl->Find("avih"));
    EXPECT_TRUE(SameBytes(avih, Le().U32(c.microSecPerFrame).U32(c.bytesPerSec).U32(2048)
                                    .U32(0x10).U32(frames).U32(0).U32(2).U32(c.largestChunk)
                                    .U32(p.width).U32(p.height).Zeros(16)));
  }
}

TEST(AVIencode, OpenFailureLeavesNothingOpenAndCloseBalancesTheService) {
  TempDir dir;
  const int initBefore = AviFileInitCount();
  const int handlesBefore = AviFileLiveHandles();
  struct Case {
    const char* what;
    MovieParams params;
    std::string path;
  };
  const Case cases[] = {
      {"a folder that does not exist", {10, 60, 6, 10, 8, 8000, 12800}, dir.Path("no/x.avi")},
      {"a folder", {10, 60, 6, 10, 8, 8000, 12800}, dir.Path()},
      // 24 bits x 50,000 x 50,000 is beyond a signed 32-bit chunk size.
      {"a frame too large for an AVI chunk", {10, 60, 6, 50000, 50000, 8000, 12800},
       dir.Path("huge.avi")},
      // Values that some field of the file could not hold.
      {"nAvgBytesPerSec, 2 x sound rate, past 32 bits", {10, 60, 6, 10, 8, 0x80000000u, 12800},
       dir.Path("rate.avi")},
      {"a frame wider than the 16-bit frame rectangle", {10, 60, 6, 32768, 1, 8000, 12800},
       dir.Path("wide.avi")},
      {"a sound block past a signed 32-bit chunk size", {10, 60, 6, 10, 8, 8000, 0x80000000u},
       dir.Path("block.avi")},
      {"more frames than a stream position counts", {0x80000000u, 60, 6, 10, 8, 8000, 12800},
       dir.Path("frames.avi")},
      {"a sound length past 2^31 samples", {100000, 60, 6, 10, 8, 300000000, 12800},
       dir.Path("length.avi")},
      {"microseconds per frame past 32 bits", {10, 60, 0xFFFFFFFFu, 10, 8, 8000, 12800},
       dir.Path("slow.avi")},
      {"bytes per second of both streams past 32 bits", {10, 6000, 1, 32767, 100, 8000, 12800},
       dir.Path("fast.avi")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AVIencode encoder;
    SetParams(encoder, c.params);
    encoder.videoPosition = 7;
    encoder.audioPosition = 9;
    EXPECT_EQ(encoder.Open(c.path.c_str()), 1);
    EXPECT_EQ(encoder.aviFile, nullptr);
    EXPECT_EQ(encoder.videoStream, nullptr);
    EXPECT_EQ(encoder.audioStream, nullptr);
    // Writes to a half-open encoder fail and move nothing.
    const Bytes data(64, 1);
    EXPECT_EQ(encoder.WriteVideo(data.data()), 1);
    EXPECT_EQ(encoder.WriteAudio(data.data()), 1);
    EXPECT_EQ(encoder.videoPosition, 7);
    EXPECT_EQ(encoder.audioPosition, 9);
    EXPECT_EQ(AviFileInitCount(), initBefore + 1);
    EXPECT_EQ(encoder.Close(), 0);
    EXPECT_EQ(AviFileInitCount(), initBefore);
    EXPECT_EQ(AviFileLiveHandles(), handlesBefore);
    if (c.path.ends_with(".avi")) {
      EXPECT_FALSE(FileExists(c.path));
      EXPECT_NE(encoder.failureErrno, 0);
    }
  }
}

// Exclusive creation finds a file that appeared since the caller looked and
// leaves it as it was; through the driver's interface that is kExists.
TEST(AVIencode, ExclusiveCreationLeavesAnExistingFileAlone) {
  TempDir dir;
  const std::string path = dir.Path("there.avi");
  const Bytes old(1000, 'x');
  dir.Write("there.avi", old);
  const MovieParams params{10, 60, 6, 13, 10, 8000, 12800};
  AVIencode encoder;
  SetParams(encoder, params);
  encoder.createExclusively = true;
  EXPECT_EQ(encoder.Open(path.c_str()), 1);
  EXPECT_EQ(encoder.failureErrno, EEXIST);
  EXPECT_EQ(encoder.Close(), 0);
  EXPECT_TRUE(ReadFileBytes(path) == old);

  AviMovieEncoder movie;
  MovieEncoder::Shape shape{10, 60, 6, 13, 10, 8000, 12800};
  EXPECT_EQ(movie.Open(path.c_str(), shape, false), MovieEncoder::OpenResult::kExists);
  EXPECT_EQ(movie.Close(), 0);
  EXPECT_TRUE(ReadFileBytes(path) == old);
  EXPECT_EQ(movie.Open(path.c_str(), shape, true), MovieEncoder::OpenResult::kOk);
  EXPECT_EQ(movie.Close(), 0);
  EXPECT_EQ(ReadFileBytes(path).size(), 10240u + 8);

  unlink(path.c_str());
  ASSERT_EQ(encoder.Open(path.c_str()), 0);
  EXPECT_EQ(encoder.Close(), 0);
  EXPECT_TRUE(FileExists(path));
}

// A synthetic movie in chunks of 8 frames, read back exactly.
TEST(AVIencode, SyntheticMoviesReadBackExactly) {
  struct Case {
    const char* what;
    MovieParams params;
    uint32_t framesPerChunk;
  };
  const Case cases[] = {
      // 8 frames at 10 per second: 0.8 s, 6400 samples at 8000 Hz.
      {"13 x 10, 25 frames, short last chunk", {25, 60, 6, 13, 10, 8000, 12800}, 8},
      {"320 x 240 at 22,050 Hz", {12, 60, 6, 320, 240, 22050, 35280}, 8},
      {"scale 7, odd width", {9, 60, 7, 7, 3, 11025, 2 * 1575 * 4}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.Path("movie.avi");
    AVIencode encoder;
    SetParams(encoder, c.params);
    ASSERT_EQ(encoder.Open(path.c_str()), 0);
    const Written written = WriteSynthetic(encoder, c.params.frameCount, c.framesPerChunk);
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(encoder.videoPosition, static_cast<int32_t>(written.frames));
    // n blocks give n x (block bytes / 2) samples, past the declared length.
    EXPECT_EQ(encoder.audioPosition, static_cast<int32_t>(written.samples));
    encoder.Close();
    ExpectReadBack(path, c.params, written);
  }
}

// A movie cut short (aborted after 20 of 100 frames) declares what it holds,
// so every reader gives its true duration.
TEST(AVIencode, MovieCutShortReportsItsTrueLength) {
  PORUTE_NEED_PROGRAMS("ffprobe", "ffmpeg", "mediainfo");
  TempDir dir;
  const std::string path = dir.Path("short.avi");
  const MovieParams params{100, 60, 6, 13, 10, 8000, 12800};
  AVIencode encoder;
  SetParams(encoder, params);
  ASSERT_EQ(encoder.Open(path.c_str()), 0);
  const Written written = WriteSynthetic(encoder, 20, 8);
  encoder.Close();
  ASSERT_TRUE(written.ok);
  ExpectReadBack(path, params, written);
  EXPECT_EQ(MediaInfo(path, "Video;%FrameCount%"), "20");
}

// Past a lowered RIFF limit the movie goes on in 'AVIX' RIFFs; ffmpeg,
// GStreamer and mediainfo all read every frame and sample.
TEST(AVIencode, LongMovieBecomesOpenDmlAndReadsBackExactly) {
  PORUTE_NEED_PROGRAMS("ffprobe", "ffmpeg", "gst-launch-1.0", "mediainfo");
  AviFileSetRiffLimit(1 << 20);
  TempDir dir;
  const std::string path = dir.Path("long.avi");
  const MovieParams params{30, 60, 6, 320, 240, 22050, 35280};
  AVIencode encoder;
  SetParams(encoder, params);
  ASSERT_EQ(encoder.Open(path.c_str()), 0);
  const Written written = WriteSynthetic(encoder, params.frameCount, 8);
  encoder.Close();
  AviFileSetRiffLimit(kAviDefaultRiffLimit);
  ASSERT_TRUE(written.ok);

  const Bytes file = ReadFileBytes(path);
  std::vector<RiffNode> top;
  ASSERT_TRUE(ParsesAsRiff(file, &top));
  EXPECT_GE(top.size(), 6u);  // 7 MB in RIFFs of at most 1 MiB
  for (const RiffNode& riff : top) EXPECT_LE(riff.End() - riff.offset, 1u << 20);
  ExpectReadBack(path, params, written);

  const Decoded v = DemuxWithGstreamer(path, 'v');
  ASSERT_TRUE(v.ok) << v.errors;
  EXPECT_TRUE(SameBytes(v.data, written.videoPadded));
  const Decoded a = DemuxWithGstreamer(path, 'a');
  ASSERT_TRUE(a.ok) << a.errors;
  EXPECT_TRUE(SameBytes(a.data, written.audio));
  EXPECT_EQ(MediaInfo(path, "General;%Format_Profile%"), "OpenDML");
  EXPECT_EQ(MediaInfo(path, "Video;%FrameCount%"), "30");
  EXPECT_EQ(MediaInfo(path, "Audio;%SamplingCount%"), std::to_string(written.samples));
}

// One object, two movies: the second starts again at position 0 with
// headers prepared from its own parameters.
TEST(AVIencode, SecondMovieThroughTheSameObject) {
  TempDir dir;
  AVIencode encoder;
  const MovieParams first{10, 60, 6, 13, 10, 8000, 12800};
  const MovieParams second{6, 60, 7, 10, 8, 11025, 2 * 1575 * 2};
  SetParams(encoder, first);
  ASSERT_EQ(encoder.Open(dir.Path("first.avi").c_str()), 0);
  const Written one = WriteSynthetic(encoder, first.frameCount, 8);
  encoder.Close();
  SetParams(encoder, second);
  ASSERT_EQ(encoder.Open(dir.Path("second.avi").c_str()), 0);
  EXPECT_EQ(encoder.videoPosition, 0);
  EXPECT_EQ(encoder.audioPosition, 0);
  EXPECT_EQ(encoder.frameBytes, 256);
  EXPECT_EQ(encoder.soundLength, 6u * 11025 * 7 / 60);
  const Written two = WriteSynthetic(encoder, second.frameCount, 2);
  encoder.Close();
  ASSERT_TRUE(one.ok && two.ok);
  ExpectReadBack(dir.Path("first.avi"), first, one);
  ExpectReadBack(dir.Path("second.avi"), second, two);
}

// The disk fills up in the middle of a movie: the failing writes return 1
// and move no position, Close still completes the file, and the file holds
// what was accepted, less the last frame where the index needed its room.
TEST(AVIencode, DiskFullFailsTheWriteAndKeepsThePositions) {
  TempDir dir;
  const std::string path = dir.Path("full.avi");
  const MovieParams params{100, 60, 6, 13, 10, 8000, 12800};
  // Header, 8 frames (408-byte chunks) and one block (12,808), 2 more frames,
  // then 6000 bytes: the second block fails part way, 14 frames still fit in
  // the room it left, the 15th fails.
  const uint64_t limit = 10240 + 10 * 408 + 12808 + 6000;
  const int accepted = RunWithFileSizeLimit(limit, [&]() {
    AVIencode encoder;
    SetParams(encoder, params);
    if (encoder.Open(path.c_str()) != 0) return 100;
    if (!WriteSynthetic(encoder, 8, 8).ok) return 101;
    for (uint32_t i = 8; i < 10; ++i) {
      if (encoder.WriteVideo(FramePattern(400, i).data()) != 0) return 102;
    }
    if (encoder.WriteAudio(SoundPattern(12800, 1).data()) != 1) return 103;
    if (encoder.audioPosition != 6400) return 104;
    uint32_t frame = 10;
    while (frame < 99 && encoder.WriteVideo(FramePattern(400, frame).data()) == 0) ++frame;
    if (encoder.videoPosition != static_cast<int32_t>(frame)) return 105;
    if (encoder.WriteVideo(FramePattern(400, frame).data()) != 1) return 106;  // a retry
    if (encoder.videoPosition != static_cast<int32_t>(frame)) return 107;
    // The frame that gave way to the index is a loss that Close reports.
    if (encoder.Close() != 1 || encoder.failureErrno != EFBIG) return 108;
    return static_cast<int>(frame);
  });
  ASSERT_EQ(accepted, 24);

  // The index of 33 chunks (536 bytes) does not fit in the 288 bytes left
  // after frame 23: that frame gives way.
  Written expected;
  for (uint32_t i = 0; i < 23; ++i) {
    const Bytes top = TopDownRows(FramePattern(400, i), 13, 10);
    expected.video.insert(expected.video.end(), top.begin(), top.end());
  }
  expected.audio = SoundPattern(12800, 0);
  expected.frames = 23;
  expected.samples = 6400;
  EXPECT_EQ(ReadFileBytes(path).size(), 10240u + 23 * 408 + 12808 + 8 + 16 * 24);
  ExpectReadBack(path, params, expected);
}

}  // namespace

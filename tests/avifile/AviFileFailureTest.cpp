// The container writer when things go wrong: paths that cannot be created,
// calls out of order, and a disk that fills up (for real, through a file size
// limit in a child process), after which the file must still be read back
// by ffmpeg with every chunk that was accepted.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "tests/avifile/AviTestSupport.h"
#include "avifile/AviFile.h"
#include "avifile/AviFileLimits.h"

using namespace avitest;

namespace {

constexpr UINT kCreate = OF_WRITE | OF_CREATE | OF_SHARE_DENY_NONE;
constexpr uint32_t kWidth = 13, kHeight = 10, kFrameBytes = 400;

struct Movie {
  PAVIFILE file = nullptr;
  PAVISTREAM video = nullptr;
  PAVISTREAM audio = nullptr;
};

HRESULT OpenMovie(const std::string& path, Movie* movie) {
  HRESULT result = AviFileOpen(&movie->file, path.c_str(), kCreate, nullptr);
  if (result != AVIERR_OK) return result;
  AVISTREAMINFOA video{};
  video.fccType = streamtypeVIDEO;
  video.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
  video.dwScale = 6;
  video.dwRate = 60;
  video.rcFrame = {0, 0, kWidth, kHeight};
  std::strcpy(video.szName, "Video");
  AVISTREAMINFOA audio{};
  audio.fccType = streamtypeAUDIO;
  audio.dwScale = 1;
  audio.dwRate = 8000;
  audio.dwSampleSize = 2;
  std::strcpy(audio.szName, "Audio");
  BITMAPINFOHEADER bih{40, kWidth, kHeight, 1, 24, BI_RGB, kFrameBytes, 0, 0, 0, 0};
  PCMWAVEFORMAT wave{{WAVE_FORMAT_PCM, 1, 8000, 16000, 2}, 16};
  if ((result = AviFileCreateStream(movie->file, &movie->video, &video)) != AVIERR_OK ||
      (result = AviFileCreateStream(movie->file, &movie->audio, &audio)) != AVIERR_OK ||
      (result = AviStreamSetFormat(movie->video, 0, &bih, sizeof bih)) != AVIERR_OK ||
      (result = AviStreamSetFormat(movie->audio, 0, &wave, sizeof wave)) != AVIERR_OK) {
    return result;
  }
  return AVIERR_OK;
}

void ReleaseMovie(Movie* movie) {
  if (movie->video) AviStreamRelease(movie->video);
  if (movie->audio) AviStreamRelease(movie->audio);
  if (movie->file) AviFileRelease(movie->file);
  *movie = Movie{};
}

HRESULT WriteFrame(PAVISTREAM stream, LONG position, const Bytes& frame) {
  return AviStreamWrite(stream, position, 1, const_cast<uint8_t*>(frame.data()),
                        static_cast<LONG>(frame.size()), AVIIF_KEYFRAME, nullptr, nullptr);
}

TEST(AviFileFailure, OpenRefusesWhatCannotBeAnAviFile) {
  TempDir dir;
  const std::string fifo = dir.Path("pipe.avi");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    const char* what;
    std::string path;
    UINT mode;
  };
  const Case cases[] = {
      {"folder that does not exist", dir.Path("missing/out.avi"), kCreate},
      {"a folder", dir.Path(), kCreate},
      {"a FIFO (must not block)", fifo, kCreate},
      {"empty path", "", kCreate},
      {"read mode", dir.Path("read.avi"), OF_READ},
      {"write without create", dir.Path("nocreate.avi"), OF_WRITE},
  };
  const int handles = AviFileLiveHandles();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PAVIFILE file = reinterpret_cast<PAVIFILE>(&dir);  // must be reset to null
    EXPECT_NE(AviFileOpen(&file, c.path.c_str(), c.mode, nullptr), AVIERR_OK);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(AviFileLiveHandles(), handles);
  }
  EXPECT_FALSE(FileExists(dir.Path("read.avi")));
  EXPECT_FALSE(FileExists(dir.Path("nocreate.avi")));
}

TEST(AviFileFailure, CallsOutOfOrderAreRefusedAndChangeNothing) {
  TempDir dir;
  const std::string path = dir.Path("order.avi");
  Movie movie;
  ASSERT_EQ(OpenMovie(path, &movie), AVIERR_OK);
  const Bytes frame = FramePattern(kFrameBytes, 0);
  BITMAPINFOHEADER bih{40, kWidth, kHeight, 1, 24, BI_RGB, kFrameBytes, 0, 0, 0, 0};

  EXPECT_EQ(AviStreamWrite(nullptr, 0, 1, const_cast<uint8_t*>(frame.data()), kFrameBytes,
                           AVIIF_KEYFRAME, nullptr, nullptr),
            AVIERR_BADHANDLE);
  EXPECT_NE(WriteFrame(movie.video, 1, frame), AVIERR_OK);  // a gap before position 1
  EXPECT_NE(AviStreamWrite(movie.video, 0, 1, nullptr, kFrameBytes, 0, nullptr, nullptr),
            AVIERR_OK);
  EXPECT_NE(AviStreamWrite(movie.video, 0, 1, const_cast<uint8_t*>(frame.data()), -1, 0,
                           nullptr, nullptr),
            AVIERR_OK);
  EXPECT_NE(AviStreamSetFormat(movie.video, 5, &bih, sizeof bih), AVIERR_OK);

  LONG samples = -1, bytes = -1;
  ASSERT_EQ(AviStreamWrite(movie.video, 0, 1, const_cast<uint8_t*>(frame.data()), kFrameBytes,
                           AVIIF_KEYFRAME, &samples, &bytes),
            AVIERR_OK);
  EXPECT_EQ(samples, 1);
  EXPECT_EQ(bytes, static_cast<LONG>(kFrameBytes));
  EXPECT_NE(WriteFrame(movie.video, 0, frame), AVIERR_OK);  // over frame 0
  // The header space is fixed by the first sample: no new formats or streams.
  EXPECT_NE(AviStreamSetFormat(movie.video, 0, &bih, sizeof bih), AVIERR_OK);
  AVISTREAMINFOA extra{};
  extra.fccType = streamtypeVIDEO;
  PAVISTREAM stream = reinterpret_cast<PAVISTREAM>(&movie);
  EXPECT_NE(AviFileCreateStream(movie.file, &stream, &extra), AVIERR_OK);
  EXPECT_EQ(stream, nullptr);
  ReleaseMovie(&movie);

  // Only the one frame accepted is in the file.
  std::vector<RiffNode> top;
  const Bytes file = ReadFileBytes(path);
  ASSERT_TRUE(ParsesAsRiff(file, &top));
  EXPECT_EQ(top[0].Find("movi")->children.size(), 1u);
  EXPECT_EQ(Get32(file, top[0].Find("idx1")->offset + 4), 16u);
}

// The file is completed when the last handle goes, whichever that is, and
// an existing file of the same name is replaced, not overwritten in part.
TEST(AviFileFailure, FileIsCompletedByTheLastReleaseAndReplacesAnOldFile) {
  TempDir dir;
  const std::string path = dir.Path("order.avi");
  {
    std::ofstream old(path, std::ios::binary);
    old << std::string(100000, 'x');
  }
  const int handles = AviFileLiveHandles();
  Movie movie;
  ASSERT_EQ(OpenMovie(path, &movie), AVIERR_OK);
  EXPECT_EQ(AviFileLiveHandles(), handles + 3);
  ASSERT_EQ(WriteFrame(movie.video, 0, FramePattern(kFrameBytes, 0)), AVIERR_OK);
  EXPECT_EQ(AviFileRelease(movie.file), 2u);  // the streams still hold it
  EXPECT_EQ(AviStreamRelease(movie.video), 0u);
  // Still open: the header written so far describes an empty movi.
  EXPECT_EQ(Get32(ReadFileBytes(path), 10228 + 4), 4u);
  EXPECT_EQ(AviStreamRelease(movie.audio), 0u);
  EXPECT_EQ(AviFileLiveHandles(), handles);

  const Bytes file = ReadFileBytes(path);
  EXPECT_EQ(file.size(), 10240u + 408 + 8 + 16);
  std::vector<RiffNode> top;
  ASSERT_TRUE(ParsesAsRiff(file, &top));
  EXPECT_EQ(top[0].Find("movi")->size, 4u + 408);
}

// A file with streams and no samples at all.
TEST(AviFileFailure, FileWithoutSamplesHasBothStreams) {
  TempDir dir;
  const std::string path = dir.Path("empty.avi");
  Movie movie;
  ASSERT_EQ(OpenMovie(path, &movie), AVIERR_OK);
  ReleaseMovie(&movie);
  const Bytes file = ReadFileBytes(path);
  std::vector<RiffNode> top;
  ASSERT_TRUE(ParsesAsRiff(file, &top));
  EXPECT_EQ(top[0].Find("hdrl")->FindAll("strl").size(), 2u);
  EXPECT_EQ(top[0].Find("movi")->offset + 12, 10240u);
  EXPECT_EQ(top[0].Find("movi")->size, 4u);
  EXPECT_EQ(top[0].Find("idx1")->size, 0u);
  PORUTE_NEED_PROGRAMS("ffprobe");
  const porute_test::Probe probe = porute_test::ProbeFile(path);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_EQ(probe.streams.size(), 2u);
  EXPECT_EQ(probe.streams[0].codecType, "video");
  EXPECT_EQ(probe.streams[1].codecType, "audio");
}

// The disk fills up while frames are written: the write that fails says so,
// a retry fails too, and release leaves a file whose sizes and index
// describe exactly the complete chunks that fit with their index.
TEST(AviFileFailure, DiskFullLeavesAWellFormedFile) {
  PORUTE_NEED_PROGRAMS("ffmpeg");
  struct Case {
    const char* what;
    uint64_t riffLimit;
    uint64_t fileLimit;
    int acceptedFrames;  // writes that succeed
    int framesInFile;    // frames the finished file holds
    uint64_t fileSize;
  };
  // Frames of 400 bytes are 408-byte chunks from offset 10240 on.
  const Case cases[] = {
      {"limit in the middle of a chunk: the index takes its place", kAviDefaultRiffLimit,
       10240 + 5 * 408 + 100, 5, 5, 10240 + 5 * 408 + 8 + 5 * 16},
      {"limit right after a chunk: the last frame gives way to the index", kAviDefaultRiffLimit,
       10240 + 5 * 408, 5, 4, 10240 + 4 * 408 + 8 + 4 * 16},
      // Without a header there is no AVI file: none is left.
      {"limit inside the header: nothing can be written", kAviDefaultRiffLimit, 4000, 0, 0, 0},
      {"limit hit while a RIFF is closed for OpenDML: it stays AVI 1.0",
       // 10240 + 408k + (32 + 8k) + (8 + 16k) <= 11600 takes 3 frames; the
       // ix00 and idx1 (112 bytes) do not fit, the idx1 alone (56) does.
       11600, 10240 + 3 * 408 + 60, 3, 3, 10240 + 3 * 408 + 8 + 3 * 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.Path("full.avi");
    AviFileSetRiffLimit(c.riffLimit);
    const int accepted = RunWithFileSizeLimit(c.fileLimit, [&]() {
      Movie movie;
      if (OpenMovie(path, &movie) != AVIERR_OK) return 201;
      int written = 0;
      while (written < 100 &&
             WriteFrame(movie.video, written, FramePattern(kFrameBytes, written)) == AVIERR_OK) {
        ++written;
      }
      // The failed write changed nothing: the same position fails again.
      if (WriteFrame(movie.video, written, FramePattern(kFrameBytes, written)) == AVIERR_OK) {
        return 202;
      }
      ReleaseMovie(&movie);
      // Finishing reports the frames that gave way, and a file it removed.
      const bool lost = c.framesInFile < written || c.fileSize == 0;
      if (AviFileLastFinishResult() != (lost ? AVIERR_FILEWRITE : AVIERR_OK)) return 203;
      // ... and how many frames the file kept.
      if (AviFileLastFinishLength(0) != static_cast<uint64_t>(c.framesInFile)) return 204;
      return written;
    });
    AviFileSetRiffLimit(kAviDefaultRiffLimit);
    ASSERT_EQ(accepted, c.acceptedFrames);

    if (c.fileSize == 0) {
      EXPECT_FALSE(FileExists(path));
      continue;
    }
    const Bytes file = ReadFileBytes(path);
    EXPECT_EQ(file.size(), c.fileSize);
    std::vector<RiffNode> top;
    ASSERT_TRUE(ParsesAsRiff(file, &top));
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].Find("movi")->FindAll("00db").size(), static_cast<size_t>(c.framesInFile));
    EXPECT_EQ(top[0].Find("idx1")->size, 16u * c.framesInFile);
    const size_t strh = 12 + 12 + 64 + 12 + 8;
    EXPECT_EQ(Get32(file, strh + 32), static_cast<uint32_t>(c.framesInFile));  // dwLength

    Bytes expected;
    for (int i = 0; i < c.framesInFile; ++i) {
      const Bytes top_down = TopDownRows(FramePattern(kFrameBytes, i), kWidth, kHeight);
      expected.insert(expected.end(), top_down.begin(), top_down.end());
    }
    const Decoded v = DecodeWithFfmpeg(path, 'v');
    ASSERT_TRUE(v.ok) << v.errors;
    EXPECT_TRUE(v.data == expected) << v.data.size() << " bytes of video";
  }
}

}  // namespace

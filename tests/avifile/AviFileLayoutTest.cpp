// The container writer through its AVIFile interface: the exact bytes it lays
// out, AVI 1.0 and OpenDML, checked against bytes written out by hand here
// and against ffmpeg's reading of the same files.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/avifile/AviTestSupport.h"
#include "avifile/AviFile.h"
#include "avifile/AviFileLimits.h"

using namespace avitest;

namespace {

// Restores the default RIFF limit when a test that lowered it ends.
struct RiffLimitGuard {
  explicit RiffLimitGuard(uint64_t bytes) { AviFileSetRiffLimit(bytes); }
  ~RiffLimitGuard() { AviFileSetRiffLimit(kAviDefaultRiffLimit); }
};

AVISTREAMINFOA VideoInfo(uint32_t width, uint32_t height) {
  AVISTREAMINFOA info{};
  info.fccType = streamtypeVIDEO;
  info.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
  info.dwScale = 6;
  info.dwRate = 60;
  info.dwQuality = 0xFFFFFFFF;
  info.rcFrame = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  std::strcpy(info.szName, "Video");
  return info;
}

AVISTREAMINFOA AudioInfo(uint32_t rate) {
  AVISTREAMINFOA info{};
  info.fccType = streamtypeAUDIO;
  info.dwScale = 1;
  info.dwRate = rate;
  info.dwQuality = 0xFFFFFFFF;
  info.dwSampleSize = 2;
  std::strcpy(info.szName, "Audio");
  return info;
}

BITMAPINFOHEADER VideoFormat(uint32_t width, uint32_t height) {
  BITMAPINFOHEADER format{};
  format.biSize = 40;
  format.biWidth = static_cast<LONG>(width);
  format.biHeight = static_cast<LONG>(height);
  format.biPlanes = 1;
  format.biBitCount = 24;
  format.biSizeImage = static_cast<DWORD>(((width * 24 + 31) & ~31u) / 8 * height);
  return format;
}

PCMWAVEFORMAT AudioFormat(uint32_t rate) {
  PCMWAVEFORMAT format{};
  format.wf.wFormatTag = WAVE_FORMAT_PCM;
  format.wf.nChannels = 1;
  format.wf.nSamplesPerSec = rate;
  format.wf.nAvgBytesPerSec = 2 * rate;
  format.wf.nBlockAlign = 2;
  format.wBitsPerSample = 16;
  return format;
}

// One file written through the C interface, streams numbered as added.
class Session {
 public:
  explicit Session(const std::string& path) {
    result_ = AviFileOpen(&file_, path.c_str(), OF_WRITE | OF_CREATE | OF_SHARE_DENY_NONE,
                           nullptr);
  }
  ~Session() { Release(); }

  bool Ok() const { return result_ == AVIERR_OK; }
  int Add(AVISTREAMINFOA info, const void* format, LONG bytes) {
    PAVISTREAM stream = nullptr;
    if (AviFileCreateStream(file_, &stream, &info) != AVIERR_OK) return -1;
    streams_.push_back(stream);
    positions_.push_back(0);
    if (AviStreamSetFormat(stream, 0, const_cast<void*>(format), bytes) != AVIERR_OK) return -1;
    return static_cast<int>(streams_.size()) - 1;
  }
  HRESULT Write(int stream, const Bytes& data, LONG samples, DWORD flags) {
    const HRESULT result =
        AviStreamWrite(streams_[stream], positions_[stream], samples,
                       const_cast<uint8_t*>(data.data()), static_cast<LONG>(data.size()), flags,
                       nullptr, nullptr);
    if (result == AVIERR_OK) positions_[stream] += samples;
    return result;
  }
  PAVISTREAM Stream(int n) const { return streams_[n]; }
  void Release() {
    for (PAVISTREAM stream : streams_) AviStreamRelease(stream);
    streams_.clear();
    if (file_ != nullptr) AviFileRelease(file_);
    file_ = nullptr;
  }

 private:
  PAVIFILE file_ = nullptr;
  HRESULT result_ = AVIERR_ERROR;
  std::vector<PAVISTREAM> streams_;
  std::vector<LONG> positions_;
};

Bytes Slice(const Bytes& bytes, size_t at, size_t count) {
  if (at + count > bytes.size()) return {};
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
               bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
}

// The strl of a stream as written in a file that stayed AVI 1.0: strh, strf,
// strn and the super index space as JUNK.
Le ExpectedStrl(const Le& strh, const Bytes& strf, const std::string& name) {
  Le strl;
  const uint32_t nameBytes = static_cast<uint32_t>(name.size() + 1);
  const uint32_t size = 4 + 8 + 56 + 8 + static_cast<uint32_t>(strf.size()) + 8 +
                        (nameBytes + (nameBytes & 1)) + 8 + 4120;
  strl.Four("LIST").U32(size).Four("strl");
  strl.Four("strh").U32(56);
  for (uint8_t b : strh.Get()) strl.U8(b);
  strl.Four("strf").U32(static_cast<uint32_t>(strf.size()));
  for (uint8_t b : strf) strl.U8(b);
  strl.Four("strn").U32(nameBytes).Text(name).Zeros(1 + (nameBytes & 1));
  strl.Four("JUNK").U32(4120).Zeros(4120);
  return strl;
}

// A small AVI 1.0 file, every byte of it spelled out: two 13 x 10 frames,
// an odd-sized sound block, one more frame.
TEST(AviFileLayout, SmallFileIsLaidOutByteForByte) {
  TempDir dir;
  const std::string path = dir.Path("small.avi");
  const Bytes frame0 = FramePattern(400, 0), frame1 = FramePattern(400, 1),
              frame2 = FramePattern(400, 2), sound = SoundPattern(1601, 0);
  {
    Session avi(path);
    ASSERT_TRUE(avi.Ok());
    const BITMAPINFOHEADER bih = VideoFormat(13, 10);
    const PCMWAVEFORMAT wave = AudioFormat(8000);
    ASSERT_EQ(avi.Add(VideoInfo(13, 10), &bih, sizeof bih), 0);
    ASSERT_EQ(avi.Add(AudioInfo(8000), &wave, sizeof wave), 1);
    ASSERT_EQ(avi.Write(0, frame0, 1, AVIIF_KEYFRAME), AVIERR_OK);
    ASSERT_EQ(avi.Write(0, frame1, 1, AVIIF_KEYFRAME), AVIERR_OK);
    ASSERT_EQ(avi.Write(1, sound, 800, 0), AVIERR_OK);
    ASSERT_EQ(avi.Write(0, frame2, 1, AVIIF_KEYFRAME), AVIERR_OK);
  }
  const Bytes file = ReadFileBytes(path);

  Le videoStrh;
  videoStrh.Four("vids").Four("DIB ").U32(0).U16(0).U16(0).U32(0)  // flags .. initial
      .U32(6).U32(60).U32(0)                                        // scale, rate, start
      .U32(3)                                                       // length: frames written
      .U32(400)                                                     // largest chunk
      .U32(0xFFFFFFFF).U32(0)                                       // quality, sample size
      .U16(0).U16(0).U16(13).U16(10);
  Le videoStrf;
  videoStrf.U32(40).U32(13).U32(10).U16(1).U16(24).U32(0).U32(400).U32(0).U32(0).U32(0).U32(0);
  Le audioStrh;
  audioStrh.Four("auds").U32(0).U32(0).U16(0).U16(0).U32(0)
      .U32(1).U32(8000).U32(0)
      .U32(800)   // samples written
      .U32(1601)  // largest chunk
      .U32(0xFFFFFFFF).U32(2)
      .U16(0).U16(0).U16(0).U16(0);
  Le audioStrf;
  audioStrf.U16(1).U16(1).U32(8000).U32(16000).U16(2).U16(16);

  Le header;
  header.Four("RIFF").U32(13138).Four("AVI ");
  header.Four("LIST").U32(8844).Four("hdrl");
  header.Four("avih").U32(56)
      .U32(100000)   // microseconds per frame: 1,000,000 x 6 / 60
      .U32(20000)    // 400 bytes x 10 frames + 8000 x 2 bytes per second
      .U32(2048)     // padding granularity
      .U32(0x10)     // AVIF_HASINDEX
      .U32(3).U32(0).U32(2)
      .U32(1601)     // largest chunk of the file
      .U32(13).U32(10).Zeros(16);
  for (uint8_t b : ExpectedStrl(videoStrh, videoStrf, "Video").Get()) header.U8(b);
  for (uint8_t b : ExpectedStrl(audioStrh, audioStrf, "Audio").Get()) header.U8(b);
  header.Four("JUNK").U32(260).Zeros(260);   // room kept for LIST 'odml'
  header.Four("JUNK").U32(1356).Zeros(1356);  // up to the 2048-byte boundary
  header.Four("LIST").U32(2838).Four("movi");
  ASSERT_EQ(header.Get().size(), 10240u);
  EXPECT_TRUE(SameBytes(Slice(file, 0, 10240), header.Get()));

  Bytes expectedMovi;
  auto append = [&](const char (&id)[5], const Bytes& data) {
    const Bytes head = Le().Four(id).U32(static_cast<uint32_t>(data.size())).Get();
    expectedMovi.insert(expectedMovi.end(), head.begin(), head.end());
    expectedMovi.insert(expectedMovi.end(), data.begin(), data.end());
    if (data.size() & 1) expectedMovi.push_back(0);
  };
  append("00db", frame0);
  append("00db", frame1);
  append("01wb", sound);
  append("00db", frame2);
  EXPECT_TRUE(SameBytes(Slice(file, 10240, expectedMovi.size()), expectedMovi));

  Le idx1;
  idx1.Four("idx1").U32(64);
  idx1.Four("00db").U32(0x10).U32(4).U32(400);
  idx1.Four("00db").U32(0x10).U32(412).U32(400);
  idx1.Four("01wb").U32(0x10).U32(820).U32(1601);  // sound chunks count as key frames
  idx1.Four("00db").U32(0x10).U32(2430).U32(400);
  EXPECT_TRUE(SameBytes(Slice(file, 13074, 72), idx1.Get()));
  EXPECT_EQ(file.size(), 13146u);
}

// Every field of the caller's stream header reaches strh in its place; the
// length and the buffer size are the written ones, not the declared ones.
TEST(AviFileLayout, StreamHeaderFieldsKeepTheirPlaces) {
  TempDir dir;
  const std::string path = dir.Path("fields.avi");
  AVISTREAMINFOA info{};
  info.fccType = streamtypeVIDEO;
  info.fccHandler = mmioFOURCC('a', 'b', 'c', 'd');
  info.dwFlags = 0x01020304;
  info.dwCaps = 0x55555555;  // not part of strh
  info.wPriority = 0x0506;
  info.wLanguage = 0x0708;
  info.dwScale = 0x090A0B0C;
  info.dwRate = 0x0D0E0F10;
  info.dwStart = 0x11121314;
  info.dwLength = 999;
  info.dwInitialFrames = 0x15161718;
  info.dwSuggestedBufferSize = 12345;
  info.dwQuality = 0x191A1B1C;
  info.rcFrame = {0x21, 0x22, 0x1234, 0x2345};
  std::strcpy(info.szName, "Cam");  // 4 bytes with the zero: no pad
  const BITMAPINFOHEADER bih = VideoFormat(2, 2);
  {
    Session avi(path);
    ASSERT_TRUE(avi.Ok());
    ASSERT_EQ(avi.Add(info, &bih, sizeof bih), 0);
    ASSERT_EQ(avi.Write(0, FramePattern(16, 0), 1, AVIIF_KEYFRAME), AVIERR_OK);
    ASSERT_EQ(avi.Write(0, FramePattern(9, 1), 1, 0), AVIERR_OK);
  }
  const Bytes file = ReadFileBytes(path);
  std::vector<RiffNode> top;
  ASSERT_TRUE(ParsesAsRiff(file, &top));
  const RiffNode* strl = top[0].Find("hdrl")->Find("strl");
  ASSERT_NE(strl, nullptr);
  Le strh;
  strh.Four("vids").Four("abcd").U32(0x01020304).U16(0x0506).U16(0x0708).U32(0x15161718)
      .U32(0x090A0B0C).U32(0x0D0E0F10).U32(0x11121314)
      .U32(2).U32(16).U32(0x191A1B1C).U32(0)
      .U16(0x21).U16(0x22).U16(0x1234).U16(0x2345);
  EXPECT_TRUE(SameBytes(ChunkData(file, *strl->Find("strh")), strh.Get()));
  EXPECT_TRUE(SameBytes(ChunkData(file, *strl->Find("strn")), (Le().Text("Cam").U8(0).Get())));
  // The frame written without AVIIF_KEYFRAME keeps flags 0 in idx1, and its
  // odd size gets a pad byte that idx1 does not count.
  const Bytes idx1 = ChunkData(file, *top[0].Find("idx1"));
  EXPECT_EQ(idx1, (Le().Four("00db").U32(0x10).U32(4).U32(16)
                       .Four("00db").U32(0).U32(28).U32(9).Get()));
}

// Whatever the formats and names, the first chunk starts on a 2048-byte
// boundary and the JUNK before 'movi' fills exactly up to it.
TEST(AviFileLayout, FirstChunkStartsOn2048ByteBoundary) {
  struct Case {
    const char* what;
    size_t videoFormatBytes;  // 40 and more: BITMAPINFOHEADER and colour table
    const char* name;
    uint64_t firstChunk;
  };
  const Case cases[] = {
      {"plain header", 40, "Video", 10240},
      {"odd format, padded", 41, "Video", 10240},
      {"256-colour table", 40 + 1024, "Video", 10240},
      {"header past 10 KiB", 40 + 1400, "Video", 12288},
      {"no name, no strn", 40, "", 10240},
      {"long name", 40, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789X", 10240},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.Path("align.avi");
    Bytes format(c.videoFormatBytes, 0x5A);
    const BITMAPINFOHEADER bih = VideoFormat(4, 4);
    std::memcpy(format.data(), &bih, sizeof bih);
    AVISTREAMINFOA video = VideoInfo(4, 4);
    std::strncpy(video.szName, c.name, sizeof video.szName - 1);
    const PCMWAVEFORMAT wave = AudioFormat(11025);
    {
      Session avi(path);
      ASSERT_TRUE(avi.Ok());
      ASSERT_EQ(avi.Add(video, format.data(), static_cast<LONG>(format.size())), 0);
      ASSERT_EQ(avi.Add(AudioInfo(11025), &wave, sizeof wave), 1);
      ASSERT_EQ(avi.Write(0, FramePattern(48, 0), 1, AVIIF_KEYFRAME), AVIERR_OK);
    }
    const Bytes file = ReadFileBytes(path);
    std::vector<RiffNode> top;
    ASSERT_TRUE(ParsesAsRiff(file, &top));
    ASSERT_EQ(top.size(), 1u);
    const RiffNode* movi = top[0].Find("movi");
    ASSERT_NE(movi, nullptr);
    ASSERT_FALSE(movi->children.empty());
    EXPECT_EQ(movi->children[0].offset, c.firstChunk);
    // The JUNK right before 'movi' ends where the movi list begins.
    const RiffNode* junk = nullptr;
    for (const RiffNode& child : top[0].children) {
      if (&child == movi) break;
      junk = &child;
    }
    ASSERT_NE(junk, nullptr);
    EXPECT_EQ(junk->id, Fcc("JUNK"));
    EXPECT_EQ(junk->End(), movi->offset);
    // strf keeps the colour table bytes as given.
    const RiffNode* strf = top[0].Find("hdrl")->Find("strl")->Find("strf");
    EXPECT_TRUE(SameBytes(ChunkData(file, *strf), format));
    const RiffNode* strn = top[0].Find("hdrl")->Find("strl")->Find("strn");
    if (*c.name == '\0') {
      EXPECT_EQ(strn, nullptr);
    } else {
      ASSERT_NE(strn, nullptr);
      EXPECT_TRUE(SameBytes(ChunkData(file, *strn), (Le().Text(c.name).U8(0).Get())));
    }
  }
}

// OpenDML with a lowered limit, every index byte spelled out: one video
// stream of 100-byte frames; the first RIFF holds two frames, an 'AVIX'
// RIFF the other three.
TEST(AviFileLayout, OpenDmlIndexesAreLaidOutByteForByte) {
  // First RIFF: header up to 6144, then k frames of 108 bytes, an ix00 of
  // 32 + 8k and an idx1 of 8 + 16k: 6184 + 132k bytes, so 6500 takes 2.
  RiffLimitGuard limit(6500);
  TempDir dir;
  const std::string path = dir.Path("odml.avi");
  std::vector<Bytes> frames;
  for (uint32_t i = 0; i < 5; ++i) frames.push_back(FramePattern(100, i));
  {
    Session avi(path);
    ASSERT_TRUE(avi.Ok());
    const BITMAPINFOHEADER bih = VideoFormat(6, 5);  // rows of 18 + 2 bytes: 100 a frame
    ASSERT_EQ(avi.Add(VideoInfo(6, 5), &bih, sizeof bih), 0);
    for (uint32_t i = 0; i < 5; ++i) {
      ASSERT_EQ(avi.Write(0, frames[i], 1, i == 3 ? 0 : AVIIF_KEYFRAME), AVIERR_OK);
    }
  }
  const Bytes file = ReadFileBytes(path);
  ASSERT_EQ(file.size(), 6852u);

  // avih counts the frames of the first RIFF; dmlh and strh all of them.
  EXPECT_EQ(Get32(file, 24 + 8 + 16), 2u);
  const size_t strh = 12 + 12 + 64 + 12;
  EXPECT_TRUE(SameBytes(Slice(file, strh, 4), (Le().Four("strh").Get())));
  EXPECT_EQ(Get32(file, strh + 8 + 32), 5u);

  Le indx;
  indx.Four("indx").U32(4120).U16(4).U8(0).U8(0)  // index of indexes
      .U32(2).Four("00db").Zeros(12)
      .U64(6360).U32(48).U32(2)   // ix00 of the first RIFF: 2 frames
      .U64(6796).U32(56).U32(3)   // ix00 of the AVIX RIFF: 3 frames
      .Zeros(16 * 254);
  const size_t indxAt = strh + 64 + 48 + 14;
  EXPECT_TRUE(SameBytes(Slice(file, indxAt, 4128), indx.Get()));

  Le odml;
  odml.Four("LIST").U32(260).Four("odml").Four("dmlh").U32(248).U32(5).Zeros(244);
  EXPECT_TRUE(SameBytes(Slice(file, indxAt + 4128, 268), odml.Get()));

  Le riff0;
  riff0.Four("ix00").U32(40).U16(2).U8(0).U8(1).U32(2).Four("00db").U64(0).U32(0)
      .U32(6152).U32(100)
      .U32(6260).U32(100);
  riff0.Four("idx1").U32(32)
      .Four("00db").U32(0x10).U32(4).U32(100)
      .Four("00db").U32(0x10).U32(112).U32(100);
  EXPECT_TRUE(SameBytes(Slice(file, 6360, 88), riff0.Get()));
  EXPECT_EQ(Get32(file, 4), 6448u - 8);             // RIFF 'AVI ' size
  EXPECT_EQ(Get32(file, 6132 + 4), 6408u - 6132 - 8);  // its movi list

  Le avix;
  avix.Four("RIFF").U32(396).Four("AVIX").Four("LIST").U32(384).Four("movi");
  EXPECT_TRUE(SameBytes(Slice(file, 6448, 24), avix.Get()));
  Le ix1;
  ix1.Four("ix00").U32(48).U16(2).U8(0).U8(1).U32(3).Four("00db").U64(6448).U32(0)
      .U32(32).U32(100)
      .U32(140).U32(100 | 0x80000000u)  // written without AVIIF_KEYFRAME
      .U32(248).U32(100);
  EXPECT_TRUE(SameBytes(Slice(file, 6796, 56), ix1.Get()));
}

// A multi-RIFF movie of two interleaved streams read back through ffmpeg,
// for several limits: every RIFF keeps to the limit and the indexes agree
// with the chunks they point at.
TEST(AviFileLayout, OpenDmlFilesReadBackCompletely) {
  PORUTE_NEED_PROGRAMS("ffmpeg");
  const uint64_t limits[] = {12000, 30000, 65536};
  for (uint64_t riffLimit : limits) {
    SCOPED_TRACE("limit " + std::to_string(riffLimit));
    RiffLimitGuard limit(riffLimit);
    TempDir dir;
    const std::string path = dir.Path("multi.avi");
    const uint32_t width = 10, height = 8, frameBytes = 256, frames = 120;
    Bytes video, audio;
    {
      Session avi(path);
      ASSERT_TRUE(avi.Ok());
      const BITMAPINFOHEADER bih = VideoFormat(width, height);
      const PCMWAVEFORMAT wave = AudioFormat(8000);
      ASSERT_EQ(avi.Add(VideoInfo(width, height), &bih, sizeof bih), 0);
      ASSERT_EQ(avi.Add(AudioInfo(8000), &wave, sizeof wave), 1);
      for (uint32_t i = 0; i < frames; ++i) {
        const Bytes frame = FramePattern(frameBytes, i);
        ASSERT_EQ(avi.Write(0, frame, 1, AVIIF_KEYFRAME), AVIERR_OK);
        const Bytes top = TopDownRows(frame, width, height);
        video.insert(video.end(), top.begin(), top.end());
        if (i % 3 == 2) {  // 3 frames at 10 per second: 2400 samples
          const Bytes block = SoundPattern(4800, i);
          ASSERT_EQ(avi.Write(1, block, 2400, 0), AVIERR_OK);
          audio.insert(audio.end(), block.begin(), block.end());
        }
      }
    }
    const Bytes file = ReadFileBytes(path);
    std::vector<RiffNode> top;
    ASSERT_TRUE(ParsesAsRiff(file, &top));
    ASSERT_GT(top.size(), 1u);
    EXPECT_EQ(top[0].listType, Fcc("AVI "));
    uint32_t videoChunks = 0;
    for (size_t r = 0; r < top.size(); ++r) {
      if (r > 0) {
        EXPECT_EQ(top[r].listType, Fcc("AVIX"));
      }
      EXPECT_LE(top[r].End() - top[r].offset, riffLimit);
      const RiffNode* movi = top[r].Find("movi");
      ASSERT_NE(movi, nullptr);
      // Each standard index lists exactly the chunks of its stream in this
      // RIFF, pointing at their data.
      const struct {
        char chunk[5];
        char index[5];
      } streams[] = {{"00db", "ix00"}, {"01wb", "ix01"}};
      for (const auto& stream : streams) {
        std::vector<const RiffNode*> chunks = movi->FindAll(stream.chunk);
        std::vector<const RiffNode*> ix = movi->FindAll(stream.index);
        if (chunks.empty()) {
          EXPECT_TRUE(ix.empty());
          continue;
        }
        ASSERT_EQ(ix.size(), 1u);
        const uint64_t at = ix[0]->offset;
        ASSERT_EQ(Get32(file, at + 12), chunks.size());
        const uint64_t base = Get64(file, at + 20);
        for (size_t i = 0; i < chunks.size(); ++i) {
          EXPECT_EQ(base + Get32(file, at + 32 + 8 * i), chunks[i]->DataOffset());
          EXPECT_EQ(Get32(file, at + 36 + 8 * i), chunks[i]->size);
        }
      }
      videoChunks += static_cast<uint32_t>(movi->FindAll("00db").size());
    }
    EXPECT_EQ(videoChunks, frames);
    // idx1 covers the first RIFF only.
    const RiffNode* idx1 = top[0].Find("idx1");
    ASSERT_NE(idx1, nullptr);
    EXPECT_EQ(idx1->size / 16, top[0].Find("movi")->FindAll("00db").size() +
                                   top[0].Find("movi")->FindAll("01wb").size());

    const porute_test::Probe probe = porute_test::ProbeFile(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    ASSERT_EQ(probe.streams.size(), 2u);
    EXPECT_EQ(probe.Stream(0, "nb_frames"), std::to_string(frames));
    EXPECT_EQ(probe.Format("duration"), "12.000000");
    const Decoded v = DecodeWithFfmpeg(path, 'v');
    ASSERT_TRUE(v.ok) << v.errors;
    EXPECT_TRUE(v.data == video) << "video differs: " << v.data.size() << " bytes";
    const Decoded a = DecodeWithFfmpeg(path, 'a');
    ASSERT_TRUE(a.ok) << a.errors;
    EXPECT_TRUE(a.data == audio) << "audio differs: " << a.data.size() << " bytes";
  }
}

// When the super index has no entry left, the last RIFF grows past the limit
// instead of refusing the movie: nothing is lost.
TEST(AviFileLayout, FullSuperIndexLetsTheLastRiffGrow) {
  PORUTE_NEED_PROGRAMS("ffmpeg");
  RiffLimitGuard limit(1);  // one chunk per RIFF
  TempDir dir;
  const std::string path = dir.Path("many.avi");
  const uint32_t frames = 300;
  Bytes video;
  {
    Session avi(path);
    ASSERT_TRUE(avi.Ok());
    const BITMAPINFOHEADER bih = VideoFormat(2, 2);
    ASSERT_EQ(avi.Add(VideoInfo(2, 2), &bih, sizeof bih), 0);
    for (uint32_t i = 0; i < frames; ++i) {
      const Bytes frame = FramePattern(16, i);
      ASSERT_EQ(avi.Write(0, frame, 1, AVIIF_KEYFRAME), AVIERR_OK) << "frame " << i;
      const Bytes top = TopDownRows(frame, 2, 2);
      video.insert(video.end(), top.begin(), top.end());
    }
  }
  const Bytes file = ReadFileBytes(path);
  std::vector<RiffNode> top;
  ASSERT_TRUE(ParsesAsRiff(file, &top));
  ASSERT_EQ(top.size(), 256u);
  EXPECT_EQ(top.back().Find("movi")->FindAll("00db").size(), frames - 255);
  const Decoded v = DecodeWithFfmpeg(path, 'v');
  ASSERT_TRUE(v.ok) << v.errors;
  EXPECT_TRUE(v.data == video);
}

}  // namespace

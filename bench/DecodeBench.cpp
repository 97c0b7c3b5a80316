// Per-frame cost of the VD02 decoder on a 320 x 240 movie: rebuilding a frame
// from its op list and expanding it through the colour table (DecodeFrame),
// and writing it into a 24-bit bitmap (ToBitmap). The movie comes from our
// writer: a scene of moving shapes, and frames of random content as the
// expensive case (every byte copied, nothing repeated).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/moviewriter/MovieMaker.h"
#include "v02dec/PixelRows.h"
#include "v02dec/V02Decode.h"

namespace {

namespace mw = moviewriter;

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 240;
constexpr uint32_t kFrames = 64;
constexpr uint32_t kFramesPerChunk = 8;

// One opened movie and the video data of each of its chunks, as ReadChunk
// would have put them into the chunk buffer.
struct Fixture {
  V02Decode decoder;
  std::vector<mw::Bytes> chunkVideo;
  bool ok = false;

  explicit Fixture(mw::ContentKind content) {
    mw::V02MovieOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.frames = kFrames;
    options.framesPerChunk = kFramesPerChunk;
    options.content = content;
    mw::Bytes movie;
    if (mw::MakeV02Movie(options, movie) != 0) return;

    char path[] = "/tmp/porute-bench-XXXXXX.V02";
    const int fd = mkstemps(path, 4);
    if (fd < 0) return;
    const bool written =
        write(fd, movie.data(), movie.size()) == static_cast<ssize_t>(movie.size());
    close(fd);
    const bool opened = written && decoder.Open(path) == kMovieOk;
    unlink(path);
    if (!opened) return;

    // A VD02 chunk: 32-byte header with the size of what follows at offset
    // 4, the sound bytes, then the frames' op lists.
    const uint32_t soundBytes = mw::HeaderFor(options).soundBytesPerChunk;
    size_t at = 256 + 33280;
    for (uint32_t frame = 0; frame < kFrames; frame += kFramesPerChunk) {
      if (at + 32 > movie.size()) return;
      const uint32_t size = mw::GetU32(movie, at + 4);
      const size_t video = at + 32 + soundBytes;
      at += 32 + size;
      if (at > movie.size() || size < soundBytes) return;
      chunkVideo.emplace_back(movie.begin() + static_cast<std::ptrdiff_t>(video),
                              movie.begin() + static_cast<std::ptrdiff_t>(at));
    }
    ok = true;
  }
};

Fixture& FixtureFor(mw::ContentKind content) {
  static Fixture scene(mw::ContentKind::kScene);
  static Fixture random(mw::ContentKind::kRandom);
  return content == mw::ContentKind::kRandom ? random : scene;
}

// Each iteration decodes the whole movie once: every chunk's op lists in
// order, as ReadChunk does. The working frame carries over from the end of
// one pass to the start of the next, which changes what the op lists
// produce but not what they cost.
void DecodeMovie(benchmark::State& state, mw::ContentKind content, bool decode, bool toBitmap) {
  Fixture& fixture = FixtureFor(content);
  if (!fixture.ok) {
    state.SkipWithError("could not make the movie");
    return;
  }
  V02Decode& decoder = fixture.decoder;
  TBitmap& bitmap = *decoder.frameBitmaps[0];
  uint16_t* frame = decoder.Frame16();
  for (auto _ : state) {
    for (const mw::Bytes& video : fixture.chunkVideo) {
      decoder.LoadVideoData(video.data(), video.size());
      size_t position = 0;
      for (uint32_t slot = 0; slot < kFramesPerChunk; ++slot) {
        if (decode) position = decoder.DecodeFrame(position, frame);
        if (toBitmap) decoder.ToBitmap(frame, bitmap);
      }
    }
    benchmark::DoNotOptimize(bitmap.Pixels());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames);
  state.counters["per_frame"] = benchmark::Counter(
      static_cast<double>(kFrames),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One 320 x 240 frame of movie pixels into a bitmap through each row
// conversion this processor can run.
void PixelRowPaths(benchmark::State& state) {
  size_t count = 0;
  const pixelrows::Path* paths = pixelrows::Available(&count);
  const auto index = static_cast<size_t>(state.range(0));
  if (index >= count) {
    state.SkipWithError("not available on this processor");
    return;
  }
  state.SetLabel(paths[index].name);
  std::vector<uint16_t> frame(kWidth * kHeight);
  uint32_t seed = 1;
  for (uint16_t& p : frame) p = static_cast<uint16_t>((seed = seed * 1103515245 + 12345) >> 16);
  TBitmap bitmap;
  bitmap.SetSize(kWidth, kHeight);
  for (auto _ : state) {
    for (uint32_t y = 0; y < kHeight; ++y) {
      paths[index].convert(frame.data() + y * kWidth, kWidth, bitmap.ScanLine(static_cast<int>(y)));
    }
    benchmark::DoNotOptimize(bitmap.Pixels());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK(PixelRowPaths)->DenseRange(0, pixelrows::kMaxPaths - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DecodeMovie, Scene_DecodeFrame_ToBitmap, mw::ContentKind::kScene, true, true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DecodeMovie, Scene_DecodeFrame, mw::ContentKind::kScene, true, false)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DecodeMovie, Random_DecodeFrame_ToBitmap, mw::ContentKind::kRandom, true, true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DecodeMovie, ToBitmap, mw::ContentKind::kScene, false, true)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

// Reading ahead on the decoder's worker thread changes nothing the caller can
// see: every ReadChunk gives the result, the frames remaining, the pictures
// in every slot and the sound of a decoder that decodes each chunk inside
// ReadChunk, also when a read fails mid-movie; Close may come at any moment;
// the worker blocks signals; the second set counts in the memory limit.

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/v02dec/MovieBytes.h"
#include "v02dec/V02Decode.h"

namespace {

// A 16 x 8 VD02 movie of `frames` frames; frame f fills 48 bytes of the luma
// plane from byte f % 16 with f + 1, so every frame differs from the one
// before; chunk c carries sound bytes 0x81 + c. The size field of chunk
// `badChunk` may be replaced by `badSize`.
Bytes V02Movie(uint32_t frames, uint32_t perChunk, int badChunk = -1, uint32_t badSize = 0) {
  const auto frameOps = [](uint32_t f) {
    return FillOpList(static_cast<uint8_t>(f + 1), static_cast<uint8_t>(f % 16), 48);
  };
  return ChunkedV02(frames, perChunk, 6, 0x81, frameOps, badChunk, badSize);
}

// An 8 x 8 VD00 movie at scale 60 whose header promises `frames` frames of
// which `stored` are there; frame f has pixel i = f * 64 + i.
Bytes V00Movie(uint32_t frames, uint32_t stored) {
  Bytes movie = V00Header({.frames = frames, .scale = 60});
  for (uint32_t f = 0; f < stored; ++f) {
    for (uint32_t i = 0; i < 64; ++i) PutLe16(movie, f * 64 + i);
  }
  return movie;
}

// Rate code 1 is 10 Hz; at scale 60 each chunk of eight frames has 80 sound
// bytes. Chunk c's bytes are 0x90 + c.
Bytes Companion(uint32_t chunks, uint32_t shortBy = 0) {
  Bytes sound = CompanionHeader(1);
  for (uint32_t c = 0; c < chunks; ++c) {
    sound = Concat({sound, Bytes(80, static_cast<uint8_t>(0x90 + c))});
  }
  sound.erase(sound.end() - static_cast<std::ptrdiff_t>(shortBy), sound.end());
  return sound;
}

Bytes Cut(const Bytes& bytes, size_t keep) { return Bytes(bytes.begin(), bytes.begin() + keep); }

// Everything a caller can see after a ReadChunk.
struct Seen {
  MovieResult result;
  uint32_t framesRemaining;
  std::vector<Bytes> slots;
  Bytes sound;
  bool operator==(const Seen&) const = default;
};

Seen Look(const V02Decode& decoder, MovieResult result) {
  Seen seen{result, decoder.FramesRemaining(), {}, {}};
  for (uint32_t slot = 0; slot < decoder.Parameters().framesPerChunk; ++slot) {
    const TBitmap& bitmap = *decoder.frameBitmaps[slot];
    seen.slots.emplace_back(bitmap.Pixels(), bitmap.Pixels() + bitmap.PixelBytes());
  }
  const auto* sound = reinterpret_cast<const uint8_t*>(decoder.soundBlock.get());
  seen.sound.assign(sound, sound + decoder.Parameters().soundBlockBytes);
  return seen;
}

// Opens the movie and reads `calls` chunks, recording what each shows.
std::vector<Seen> ReadThrough(const std::string& path, bool readAhead, int calls,
                              bool* wasReadingAhead = nullptr) {
  V02Decode decoder;
  decoder.SetReadAhead(readAhead);
  std::vector<Seen> seen;
  EXPECT_EQ(decoder.Open(path), kMovieOk);
  if (wasReadingAhead) *wasReadingAhead = decoder.ReadingAhead();
  for (int call = 0; call < calls; ++call) seen.push_back(Look(decoder, decoder.ReadChunk()));
  decoder.Close();
  return seen;
}

struct MovieCase {
  const char* name;
  const char* extension;
  Bytes movie;
  Bytes companion;                   // empty: none
  std::vector<MovieResult> results;  // of the ReadChunk calls, in order
};

std::vector<MovieCase> Movies() {
  const size_t v02Chunks = 256 + V02Decode::kColourTableBytes;
  // Chunks of 8 frames of the 20-frame VD02 movie: 32 + 6 + 8 x 19 bytes.
  const size_t v02Chunk = 32 + 6 + 8 * 19;
  const MovieResult ok = kMovieOk, read = kMovieReadError, big = kMovieNoMemory;
  return {
      {"VD02, 20 frames at 8 per chunk", ".V02", V02Movie(20, 8), {}, {ok, ok, ok, ok, ok}},
      {"VD02, 24 frames at 8 per chunk", ".V02", V02Movie(24, 8), {}, {ok, ok, ok, ok}},
      {"VD02, 9 frames at 1 per chunk", ".V02", V02Movie(9, 1), {}, std::vector(10, ok)},
      {"VD02, 70 frames at 64 per chunk", ".V02", V02Movie(70, 64), {}, {ok, ok, ok}},
      {"VD02 cut in the third chunk's video data",
       ".V02",
       Cut(V02Movie(20, 8), v02Chunks + 2 * v02Chunk + 40),
       {},
       {ok, ok, read, read}},
      {"VD02 cut in the second chunk's header",
       ".V02",
       Cut(V02Movie(20, 8), v02Chunks + v02Chunk + 10),
       {},
       {ok, read, read}},
      {"VD02 second chunk larger than the chunk buffer",
       ".V02",
       V02Movie(20, 8, 1, 1u << 20),
       {},
       {ok, big, big}},
      {"VD00, 20 frames without sound", ".V00", V00Movie(20, 20), {}, {ok, ok, ok, ok}},
      {"VD00, 20 frames with sound", ".V00", V00Movie(20, 20), Companion(3), {ok, ok, ok, ok}},
      {"VD00 ending in the second chunk's frames",
       ".V00",
       V00Movie(20, 13),
       Companion(3),
       {ok, read, read}},
      {"VD00 sound ending in the third chunk",
       ".V00",
       V00Movie(20, 20),
       Companion(3, 1),
       {ok, ok, read, read}},
      {"VD00 sound ending in the second chunk",
       ".V00",
       V00Movie(20, 20),
       Companion(2, 80),
       {ok, read, read}},
  };
}

TEST(ReadAhead, CallersSeeWhatDecodingInReadChunkShows) {
  for (const MovieCase& c : Movies()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (!c.companion.empty()) dir.Write("m.snd", c.companion);
    const std::string path = dir.Write(std::string("m") + c.extension, c.movie);
    const int calls = static_cast<int>(c.results.size());
    bool readingAhead = false;
    const std::vector<Seen> ahead = ReadThrough(path, true, calls, &readingAhead);
    const std::vector<Seen> inline_ = ReadThrough(path, false, calls);
    EXPECT_TRUE(readingAhead);
    ASSERT_EQ(ahead.size(), c.results.size());
    for (size_t call = 0; call < ahead.size(); ++call) {
      SCOPED_TRACE(testing::Message() << "ReadChunk " << call);
      EXPECT_EQ(ahead[call].result, c.results[call]);
      EXPECT_EQ(ahead[call].framesRemaining, inline_[call].framesRemaining);
      EXPECT_TRUE(ahead[call] == inline_[call]);
    }
  }
}

// Close, another Open and the destructor, each with a chunk in flight or just
// finished; afterwards the decoder reads the movie as a fresh one does. The
// chunks hold 64 frames of 160 x 120 (empty op lists, each frame still
// expanded and converted), long enough to be caught mid-chunk.
TEST(ReadAhead, CloseAtAnyMoment) {
  TempDir dir;
  const uint32_t frames = 64 * 3 + 5;
  Bytes movie = Concat(
      {V02Header(
           {.frames = frames, .width = 160, .height = 120, .framesPerChunk = 64, .soundBytes = 6}),
       DistinctColourTable()});
  for (uint32_t first = 0; first < frames; first += 64) {
    movie = Concat({movie, V02Chunk(Bytes(6, 0x80), Bytes(2 * std::min(64u, frames - first), 0))});
  }
  const std::string big = dir.Write("big.V02", movie);
  const std::string small = dir.Write("small.V02", V02Movie(20, 8));
  const std::vector<Seen> expected = ReadThrough(small, false, 4);

  struct Case {
    const char* name;
    int chunksBefore;
    int pauseUs;
    bool byDestructor;
  };
  // Whether a pause ends before or inside the chunk in flight depends on the
  // machine; every outcome must be right.
  const std::vector<Case> cases = {
      {"right after Open", 0, 0, false},
      {"with the second chunk asked for", 1, 0, false},
      {"with the second chunk being decoded", 1, 200, false},
      {"with the third chunk being decoded", 2, 400, false},
      {"with the second chunk read and waiting", 1, 50000, false},
      {"after the last chunk", 5, 0, false},
      {"by the destructor, a chunk being decoded", 2, 200, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto decoder = std::make_unique<V02Decode>();
    ASSERT_EQ(decoder->Open(big), kMovieOk);
    ASSERT_TRUE(decoder->ReadingAhead());
    for (int chunk = 0; chunk < c.chunksBefore; ++chunk) ASSERT_EQ(decoder->ReadChunk(), kMovieOk);
    std::this_thread::sleep_for(std::chrono::microseconds(c.pauseUs));
    if (c.byDestructor) {
      decoder.reset();
      decoder = std::make_unique<V02Decode>();
    } else {
      decoder->Close();
      EXPECT_FALSE(decoder->ReadingAhead());
      decoder->Close();
    }
    ASSERT_EQ(decoder->Open(small), kMovieOk);
    for (const Seen& seen : expected) ASSERT_TRUE(Look(*decoder, decoder->ReadChunk()) == seen);
    decoder->Close();
  }
  // Open on an open decoder closes it first, also with a chunk in flight.
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(big), kMovieOk);
  ASSERT_EQ(decoder.ReadChunk(), kMovieOk);
  ASSERT_EQ(decoder.Open(small), kMovieOk);
  for (const Seen& seen : expected) ASSERT_TRUE(Look(decoder, decoder.ReadChunk()) == seen);
  decoder.Close();
}

TEST(ReadAhead, OnlyForMoviesOfMoreThanOneChunkAndNeverForAPreview) {
  TempDir dir;
  struct Case {
    const char* name;
    Bytes movie;
    bool readsAhead;
  };
  const std::vector<Case> cases = {
      {"one chunk", V02Movie(8, 8), false},
      {"one frame more than a chunk", V02Movie(9, 8), true},
      {"no frames", V02Movie(0, 8), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    V02Decode decoder;
    ASSERT_EQ(decoder.Open(dir.Write("m.V02", c.movie)), kMovieOk);
    EXPECT_EQ(decoder.ReadingAhead(), c.readsAhead);
    decoder.Close();
  }
  // A preview whose first chunk fails stays open for the caller's Close, so
  // it shows whether the preview's Open started a worker.
  const size_t firstChunk = 256 + V02Decode::kColourTableBytes;
  V02Decode decoder;
  EXPECT_EQ(decoder.LoadPreview(dir.Write("cut.V02", Cut(V02Movie(20, 8), firstChunk + 40))), 1);
  EXPECT_FALSE(decoder.ReadingAhead());
  decoder.Close();
  // And the preview leaves the caller's choice as it was.
  ASSERT_EQ(decoder.Open(dir.Write("m.V02", V02Movie(20, 8))), kMovieOk);
  EXPECT_TRUE(decoder.ReadingAhead());
  decoder.Close();
}

// The second set is counted: at the smallest limit that lets the movie open
// at all there is no room for it, and the movie is read without a worker.
TEST(ReadAhead, SecondSetCountsInTheMemoryLimit) {
  TempDir dir;
  const std::string path = dir.Write("m.V02", V02Movie(20, 8));
  uint64_t low = 0, high = 64u << 20;  // fails at low, opens at high
  while (high - low > 1) {
    const uint64_t middle = (low + high) / 2;
    V02Decode decoder;
    decoder.SetMemoryLimit(middle);
    (decoder.Open(path) == kMovieOk ? high : low) = middle;
    decoder.Close();
  }
  V02Decode decoder;
  decoder.SetMemoryLimit(high);
  ASSERT_EQ(decoder.Open(path), kMovieOk);
  EXPECT_FALSE(decoder.ReadingAhead());
  for (const Seen& seen : ReadThrough(path, false, 4)) {
    ASSERT_TRUE(Look(decoder, decoder.ReadChunk()) == seen);
  }
  decoder.Close();
  // A second set of 8 bitmaps of 16 x 8 (384 bytes each) and a sound block
  // of 12 bytes more is enough.
  decoder.SetMemoryLimit(high + 8 * 384 + 12);
  ASSERT_EQ(decoder.Open(path), kMovieOk);
  EXPECT_TRUE(decoder.ReadingAhead());
  decoder.Close();
}

// The tasks of this process named as the decoder names its worker. Other
// threads may come and go (a sanitizer's own, for one); only these count.
std::vector<std::string> ReadAheadThreads() {
  std::vector<std::string> tasks;
  if (DIR* folder = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(folder)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
      std::string name;
      if (std::getline(comm, name) && name == "v02dec-ahead") tasks.push_back(entry->d_name);
    }
    closedir(folder);
  }
  return tasks;
}

// Interrupts must reach the program's own threads (the command line's
// prompt waits for one): the worker blocks them.
TEST(ReadAhead, WorkerBlocksSignals) {
  TempDir dir;
  const std::string path = dir.Write("m.V02", V02Movie(20, 8));
  ASSERT_TRUE(ReadAheadThreads().empty());
  V02Decode decoder;
  ASSERT_EQ(decoder.Open(path), kMovieOk);
  // The worker names itself when it starts running.
  std::vector<std::string> started;
  for (int wait = 0; wait < 200 && started.empty(); ++wait) {
    started = ReadAheadThreads();
    if (started.empty()) usleep(5000);
  }
  ASSERT_EQ(started.size(), 1u);
  std::ifstream status("/proc/self/task/" + started[0] + "/status");
  std::string line;
  uint64_t blocked = 0;
  while (std::getline(status, line)) {
    if (line.rfind("SigBlk:", 0) == 0) blocked = std::stoull(line.substr(7), nullptr, 16);
  }
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM, SIGUSR1}) {
    EXPECT_TRUE(blocked >> (signal - 1) & 1) << "signal " << signal;
  }
  decoder.Close();
  EXPECT_TRUE(ReadAheadThreads().empty());
}

}  // namespace

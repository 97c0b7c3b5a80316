// Nothing is allocated while chunks are read: every buffer and bitmap comes
// from Open. This executable replaces the global operator new to count.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/v02dec/MovieBytes.h"
#include "v02dec/V02Decode.h"

namespace {
std::atomic<long> allocations{0};

void* CountedAllocation(size_t size) {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

void* operator new(size_t size) {
  if (void* p = CountedAllocation(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* p = CountedAllocation(size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocation(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

// Reads every chunk and reports how many allocations the reads made, the
// read-ahead worker's included; the results are kept in a fixed array so
// that nothing here allocates either.
long AllocationsWhileReading(V02Decode& decoder, int chunks) {
  MovieResult results[16] = {};
  long before = allocations;
  for (int c = 0; c < chunks; ++c) results[c] = decoder.ReadChunk();
  long made = allocations - before;
  for (int c = 0; c < chunks; ++c) EXPECT_EQ(results[c], kMovieOk) << "chunk " << c;
  return made;
}

TEST(Allocation, NoneWhileVD02ChunksAreRead) {
  TempDir dir;
  Bytes movie = Concat(
      {V02Header({.frames = 10, .framesPerChunk = 4, .soundBytes = 50}), DistinctColourTable()});
  for (int chunk = 0; chunk < 3; ++chunk) {
    Bytes video;
    for (int f = 0; f < 4; ++f) video = Concat({video, FillOpList(static_cast<uint8_t>(f), 3, 40)});
    movie = Concat({movie, V02Chunk(Bytes(50, 0x90), video)});
  }
  for (bool readAhead : {true, false}) {
    SCOPED_TRACE(readAhead ? "reading ahead" : "not reading ahead");
    V02Decode decoder;
    decoder.SetReadAhead(readAhead);
    ASSERT_EQ(decoder.Open(dir.Write("m.V02", movie)), kMovieOk);
    ASSERT_GT(allocations.load(), 0);  // the counter is live
    ASSERT_EQ(decoder.ReadingAhead(), readAhead);
    EXPECT_EQ(AllocationsWhileReading(decoder, 4), 0);
    decoder.Close();
  }
}

TEST(Allocation, NoneWhileVD00ChunksAreRead) {
  TempDir dir;
  dir.Write("m.snd", Concat({CompanionHeader(784), Bytes(3 * 6400, 0x85)}));
  Bytes movie = Concat({V00Header({.frames = 20, .width = 10}), Bytes(20 * 10 * 8 * 2, 0x11)});
  for (bool readAhead : {true, false}) {
    SCOPED_TRACE(readAhead ? "reading ahead" : "not reading ahead");
    V02Decode decoder;
    decoder.SetReadAhead(readAhead);
    ASSERT_EQ(decoder.Open(dir.Write("m.V00", movie)), kMovieOk);
    ASSERT_EQ(decoder.ReadingAhead(), readAhead);
    EXPECT_EQ(AllocationsWhileReading(decoder, 4), 0);
    decoder.Close();
  }
}

}  // namespace

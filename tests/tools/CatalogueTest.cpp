// The catalogues must hold what they promise: edge movies that the reference
// model reads whole, damaged movies that it refuses, at the stated places.

#include <gtest/gtest.h>

#include <set>

#include "tools/moviewriter/Catalogue.h"
#include "tools/moviewriter/MovieFiles.h"
#include "tools/moviewriter/ReferenceModel.h"

namespace mw = moviewriter;

namespace {

bool ReadByReference(const mw::CatalogueMovie& movie, mw::ExpectedMovie& expected) {
  if (movie.extension == ".V02") return mw::ExpectV02(movie.movie, expected);
  return mw::ExpectV00(movie.movie, movie.companion ? &*movie.companion : nullptr, expected);
}

TEST(Catalogue, NamesAreUniqueAndFileNameSafe) {
  std::set<std::string> names;
  for (const auto& list : {mw::DamagedMovies(), mw::EdgeMovies()}) {
    for (const mw::CatalogueMovie& movie : list) {
      EXPECT_TRUE(names.insert(movie.name).second) << movie.name;
      EXPECT_EQ(movie.name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-"),
                std::string::npos)
          << movie.name;
      EXPECT_TRUE(movie.extension == ".V02" || movie.extension == ".V00") << movie.name;
    }
  }
}

TEST(Catalogue, EveryEdgeMovieReadsWholeByTheReference) {
  for (const mw::CatalogueMovie& movie : mw::EdgeMovies()) {
    SCOPED_TRACE(movie.name);
    mw::ExpectedMovie expected;
    ASSERT_TRUE(ReadByReference(movie, expected));
    EXPECT_EQ(movie.openResult, mw::kResultOk);
    EXPECT_EQ(movie.readResult, mw::kResultOk);
    EXPECT_EQ(expected.frames.size(), expected.frameCount);
    // One whole sound block per chunk, the last chunk included.
    EXPECT_EQ(expected.sound.size(), size_t{movie.goodChunks} * expected.soundBlockBytes);
  }
}

TEST(Catalogue, EveryDamagedMovieIsRefusedByTheReference) {
  for (const mw::CatalogueMovie& movie : mw::DamagedMovies()) {
    SCOPED_TRACE(movie.name);
    mw::ExpectedMovie expected;
    EXPECT_FALSE(ReadByReference(movie, expected));
    EXPECT_TRUE(movie.openResult != mw::kResultOk || movie.readResult != mw::kResultOk);
  }
}

mw::CatalogueMovie Find(const std::vector<mw::CatalogueMovie>& list, const std::string& name) {
  for (const mw::CatalogueMovie& movie : list) {
    if (movie.name == name) return movie;
  }
  ADD_FAILURE() << "no movie " << name;
  return {};
}

// The chunk size bound is exact: at the limit the movie reads, one above it
// the chunk is refused.
TEST(Catalogue, ChunkSizeCasesSitOnTheLimit) {
  const mw::CatalogueMovie atLimit = Find(mw::EdgeMovies(), "v02-edge-chunk-size-at-limit");
  const mw::CatalogueMovie above = Find(mw::DamagedMovies(), "v02-chunk-size-above-buffer");
  const size_t sizeField = mw::kMovieHeaderBytes + mw::kColourTableBytes + 4;
  mw::V02Header header;
  header.width = mw::GetU32(atLimit.movie, 16);
  header.height = mw::GetU32(atLimit.movie, 20);
  header.framesPerChunk = mw::GetU32(atLimit.movie, 28);
  header.soundBytesPerChunk = mw::GetU32(atLimit.movie, 36);
  const uint64_t limit = mw::EffectiveParams(header).MaxChunkSizeField();
  EXPECT_EQ(limit, 368u);
  EXPECT_EQ(mw::GetU32(atLimit.movie, sizeField), limit);
  EXPECT_EQ(mw::GetU32(above.movie, sizeField), limit + 1);
  EXPECT_EQ(above.readResult, mw::kResultMemory);
}

TEST(Catalogue, CutsFallInsideTheNamedPart) {
  struct Case {
    const char* name;
    size_t minimum;  // the file is at least this long ...
    size_t maximum;  // ... and shorter than this
  };
  const size_t colours = mw::kMovieHeaderBytes + mw::kColourTableBytes;
  const Case cases[] = {
      {"v02-cut-in-header", 1, mw::kMovieHeaderBytes},
      {"v02-cut-in-colour-table", mw::kMovieHeaderBytes + 1, colours},
      {"v00-cut-in-header", 1, mw::kMovieHeaderBytes},
  };
  const auto damaged = mw::DamagedMovies();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t size = Find(damaged, c.name).movie.size();
    EXPECT_GE(size, c.minimum);
    EXPECT_LT(size, c.maximum);
  }
}

}  // namespace

#pragma once

// Catalogues of small movies with the results a decoder must give: damaged
// movies of every kind a decoder must refuse or survive, and well-formed
// movies that sit on every edge of the format (which the reference model
// decodes exactly). Decoder tests walk them; the fuzzing corpus starts from
// them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/moviewriter/Bytes.h"
#include "tools/moviewriter/ColourTable.h"
#include "tools/moviewriter/OpList.h"

namespace moviewriter {

// A decoder's results, as numbers (this library does not use the decoder).
constexpr int kResultOk = 0;
constexpr int kResultRead = 1;
constexpr int kResultMemory = 2;
constexpr int kResultUnsupported = 58;
// readResult of damage a decoder treats in a way of its own choosing: it
// returns 0 or 1 from each ReadChunk, and never reads or writes outside a
// buffer.
constexpr int kResultDecoderDefined = -1;

struct CatalogueMovie {
  std::string name;       // file-name safe, e.g. "v02-cut-in-colour-table"
  std::string extension;  // ".V02" or ".V00"
  Bytes movie;
  std::optional<Bytes> companion;  // ".snd" next to a VD00 movie
  int openResult = kResultOk;      // what Open gives
  // When Open gives 0: goodChunks calls of ReadChunk give 0, then the next
  // one gives readResult (kResultDecoderDefined: 0 or 1, no fault).
  uint32_t goodChunks = 0;
  int readResult = kResultOk;
};

std::vector<CatalogueMovie> DamagedMovies();

// Well-formed movies on the format's edges: op lists with unknown types,
// zero lengths and counts, surplus payload, long packed numbers, entries and
// runs that restart or overlap, the four worked examples, defaults of the
// header fields, a chunk size at its limit, end-of-movie chunk counting, VD00
// with and without companion. Open and every ReadChunk give 0; goodChunks is
// the number of chunks. ExpectV02 / ExpectV00 give their exact output.
std::vector<CatalogueMovie> EdgeMovies();

// A small valid VD02 movie of 16 × 8 pixels (plane size 96, row stride 8),
// 16 sound bytes per chunk, two frames per chunk; one op list per frame, in
// order. Damaged op lists go in here.
constexpr uint32_t kTinyWidth = 16;
constexpr uint32_t kTinyHeight = 8;
constexpr uint32_t kTinySoundBytes = 16;
Bytes TinyV02(const std::vector<Bytes>& opLists, const ColourTable& colours,
              uint32_t framesPerChunk = 2);
// The same for any frame size and sound bytes per chunk.
Bytes SmallV02(uint32_t width, uint32_t height, const std::vector<Bytes>& opLists,
               const ColourTable& colours, uint32_t framesPerChunk, uint32_t soundBytesPerChunk);

}  // namespace moviewriter

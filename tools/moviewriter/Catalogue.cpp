#include "tools/moviewriter/Catalogue.h"

#include <algorithm>
#include <climits>

#include "tools/moviewriter/Content.h"
#include "tools/moviewriter/MovieFiles.h"
#include "tools/moviewriter/MovieMaker.h"

namespace moviewriter {

Bytes TinyV02(const std::vector<Bytes>& opLists, const ColourTable& colours,
              uint32_t framesPerChunk) {
  return SmallV02(kTinyWidth, kTinyHeight, opLists, colours, framesPerChunk, kTinySoundBytes);
}

Bytes SmallV02(uint32_t width, uint32_t height, const std::vector<Bytes>& opLists,
               const ColourTable& colours, uint32_t framesPerChunk, uint32_t soundBytesPerChunk) {
  V02Header header;
  header.frameCount = static_cast<uint32_t>(opLists.size());
  header.width = width;
  header.height = height;
  header.framesPerChunk = framesPerChunk;
  header.soundBytesPerChunk = soundBytesPerChunk;
  const uint32_t perChunk = EffectiveParams(header).framesPerChunk;
  const uint32_t soundBytes = EffectiveParams(header).soundBytesPerChunk;
  std::vector<V02Chunk> chunks;
  for (size_t frame = 0; frame < opLists.size(); frame += perChunk) {
    V02Chunk chunk;
    chunk.sound = ToneBytes(1000, 8000, soundBytes, 96, chunks.size() * soundBytes);
    for (size_t slot = frame; slot < std::min(opLists.size(), frame + perChunk); ++slot) {
      PutBytes(chunk.video, opLists[slot]);
    }
    chunks.push_back(std::move(chunk));
  }
  return BuildV02(header, opLists.empty() ? nullptr : &colours, chunks);
}

namespace {

Bytes Cut(Bytes bytes, size_t length) {
  bytes.resize(std::min(bytes.size(), length));
  return bytes;
}

// A valid op list that changes something: fills the first row.
Bytes GoodOpList(uint8_t value) {
  return OpList{}.Add(FillBytesOp({{value, {{0, 8}}}})).ToBytes();
}

OpList One(Op op) {
  OpList list;
  list.Add(std::move(op));
  return list;
}

struct V02Base {
  Bytes movie;
  V02Layout layout;
};

// Three chunks of two frames, 16 × 8, YUV colours, sound 16 bytes a chunk.
V02Base ValidV02() {
  V02Header header;
  header.frameCount = 6;
  header.width = kTinyWidth;
  header.height = kTinyHeight;
  header.framesPerChunk = 2;
  header.soundBytesPerChunk = kTinySoundBytes;
  const ColourTable colours = YuvColourTable();
  std::vector<V02Chunk> chunks(3);
  for (size_t i = 0; i < chunks.size(); ++i) {
    chunks[i].sound = ToneBytes(1000, 8000, kTinySoundBytes, 96, i * kTinySoundBytes);
    PutBytes(chunks[i].video, GoodOpList(static_cast<uint8_t>(2 * i)));
    PutBytes(chunks[i].video, GoodOpList(static_cast<uint8_t>(2 * i + 1)));
  }
  V02Base base;
  base.movie = BuildV02(header, &colours, chunks, &base.layout);
  return base;
}

Bytes V02WithHeader(const V02Header& header) {
  const ColourTable colours = YuvColourTable();
  V02Chunk chunk;
  chunk.sound = Bytes(EffectiveParams(header).soundBytesPerChunk <= 4096
                          ? EffectiveParams(header).soundBytesPerChunk
                          : 0,
                      0x80);
  return BuildV02(header, &colours, {chunk});
}

V02Header TinyHeader() {
  V02Header header;
  header.frameCount = 1;
  header.width = kTinyWidth;
  header.height = kTinyHeight;
  header.framesPerChunk = 2;
  header.soundBytesPerChunk = kTinySoundBytes;
  return header;
}

void AddV02(std::vector<CatalogueMovie>& list, std::string name, Bytes movie, int openResult,
            uint32_t goodChunks = 0, int readResult = kResultOk) {
  CatalogueMovie damaged;
  damaged.name = std::move(name);
  damaged.extension = ".V02";
  damaged.movie = std::move(movie);
  damaged.openResult = openResult;
  damaged.goodChunks = goodChunks;
  damaged.readResult = readResult;
  list.push_back(std::move(damaged));
}

void AddV00(std::vector<CatalogueMovie>& list, std::string name, Bytes movie,
            std::optional<Bytes> companion, int openResult, uint32_t goodChunks = 0,
            int readResult = kResultOk) {
  CatalogueMovie damaged;
  damaged.name = std::move(name);
  damaged.extension = ".V00";
  damaged.movie = std::move(movie);
  damaged.companion = std::move(companion);
  damaged.openResult = openResult;
  damaged.goodChunks = goodChunks;
  damaged.readResult = readResult;
  list.push_back(std::move(damaged));
}

// A frame's op list that breaks a limit of the data model, in a tiny movie
// whose first frame is good: the damage sits in the second frame.
void AddOpDamage(std::vector<CatalogueMovie>& list, const std::string& name, const Bytes& opList) {
  AddV02(list, "v02-ops-" + name, TinyV02({GoodOpList(7), opList, GoodOpList(9)}, YuvColourTable()),
         kResultOk, 0, kResultDecoderDefined);
}

void AddHeaderCases(std::vector<CatalogueMovie>& list) {
  const V02Base base = ValidV02();
  AddV02(list, "v02-empty-file", {}, kResultRead);
  AddV02(list, "v02-cut-in-header", Cut(base.movie, 100), kResultRead);
  AddV02(list, "v02-cut-in-colour-table", Cut(base.movie, base.layout.colourTable + 20000),
         kResultRead);
  AddV02(list, "v02-cut-before-first-chunk", Cut(base.movie, base.layout.chunks), kResultOk, 0,
         kResultRead);
  const auto& second = base.layout.chunkList[1];
  AddV02(list, "v02-cut-in-chunk-header", Cut(base.movie, second.header + 10), kResultOk, 1,
         kResultRead);
  AddV02(list, "v02-cut-in-chunk-sound", Cut(base.movie, second.sound + 5), kResultOk, 1,
         kResultRead);
  AddV02(list, "v02-cut-in-chunk-video", Cut(base.movie, second.end - 1), kResultOk, 1,
         kResultRead);
  {
    // The header promises more frames than the chunks hold.
    Bytes movie = base.movie;
    SetU32(movie, 8, 9);
    AddV02(list, "v02-frame-count-beyond-chunks", movie, kResultOk, 3, kResultRead);
  }

  struct HeaderCase {
    const char* name;
    void (*change)(V02Header&);
    int openResult;
  };
  static const HeaderCase kHeaderCases[] = {
      {"v02-bad-magic", [](V02Header& h) { h.magic = {'V', 'D', '0', '3'}; }, kResultUnsupported},
      {"v02-magic-of-vd00", [](V02Header& h) { h.magic = {'V', 'D', '0', '0'}; }, kResultUnsupported},
      {"v02-version-5", [](V02Header& h) { h.version = 5; }, kResultUnsupported},
      {"v02-version-8", [](V02Header& h) { h.version = 8; }, kResultUnsupported},
      {"v02-width-7", [](V02Header& h) { h.width = 7; }, kResultUnsupported},
      {"v02-height-7", [](V02Header& h) { h.height = 7; }, kResultUnsupported},
      {"v02-width-0", [](V02Header& h) { h.width = 0; }, kResultUnsupported},
      {"v02-width-not-multiple-of-8", [](V02Header& h) { h.width = 20; }, kResultUnsupported},
      {"v02-height-odd", [](V02Header& h) { h.height = 9; }, kResultUnsupported},
      {"v02-width-8200", [](V02Header& h) { h.width = 8200; }, kResultUnsupported},
      {"v02-height-4000000000", [](V02Header& h) { h.height = 4000000000u; }, kResultUnsupported},
      {"v02-frames-per-chunk-65", [](V02Header& h) { h.framesPerChunk = 65; }, kResultUnsupported},
      {"v02-frames-per-chunk-max", [](V02Header& h) { h.framesPerChunk = UINT32_MAX; },
       kResultUnsupported},
      // A chunk's sound block of 2 × (2^32 − 1) bytes cannot be one AVI chunk.
      {"v02-sound-bytes-too-large", [](V02Header& h) { h.soundBytesPerChunk = UINT32_MAX; },
       kResultUnsupported},
      {"v02-sound-rate-2-pow-31", [](V02Header& h) { h.soundRate = 0x80000000u; },
       kResultUnsupported},
      {"v02-scale-2-pow-31", [](V02Header& h) { h.scale = 0x80000000u; }, kResultUnsupported},
  };
  for (const HeaderCase& header : kHeaderCases) {
    V02Header changed = TinyHeader();
    header.change(changed);
    AddV02(list, header.name, V02WithHeader(changed), header.openResult);
  }

  // Chunk size fields a reader must refuse. The limit is chunk buffer size
  // − 32 = (2 + 2) × 96 + 16 − 32 = 368.
  {
    V02Header header = TinyHeader();
    const ColourTable colours = YuvColourTable();
    V02Chunk chunk;
    chunk.sound = Bytes(kTinySoundBytes, 0x80);
    chunk.video = GoodOpList(1);
    chunk.video.resize(369 - kTinySoundBytes, 0);
    AddV02(list, "v02-chunk-size-above-buffer", BuildV02(header, &colours, {chunk}), kResultOk, 0,
           kResultMemory);
    chunk.video = GoodOpList(1);
    chunk.sizeOverride = UINT32_MAX;
    AddV02(list, "v02-chunk-size-max", BuildV02(header, &colours, {chunk}), kResultOk, 0,
           kResultMemory);
    chunk.sizeOverride = kTinySoundBytes - 1;
    AddV02(list, "v02-chunk-size-below-sound", BuildV02(header, &colours, {chunk}), kResultOk, 0,
           kResultRead);
  }
}

void AddOpCases(std::vector<CatalogueMovie>& list) {
  // Runs and blocks outside the 96-byte working frame.
  AddOpDamage(list, "fill-bytes-past-end", One(FillBytesOp({{0x33, {{90, 10}}}})).ToBytes());
  AddOpDamage(list, "fill-bytes-one-past-end", One(FillBytesOp({{0x33, {{90, 7}}}})).ToBytes());
  AddOpDamage(list, "fill-bytes-huge-skip",
              One(FillBytesOp({{0x33, {{0xFFFFFFF0u, 1, PackedForm::kSevenBytes}}}})).ToBytes());
  AddOpDamage(list, "fill-bytes-skips-wrap",
              One(FillBytesOp({{0x33, {{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {3, 1}}}})).ToBytes());
  AddOpDamage(list, "fill-words-one-past-end",
              One(FillWordsOp({{{1, 2, 3, 4}, {{93, 1}}}})).ToBytes());
  // 4 × 0x40000000 words is 2^32 bytes: nothing in 32-bit arithmetic.
  AddOpDamage(list, "fill-words-count-wraps",
              One(FillWordsOp({{{1, 2, 3, 4}, {{0, 0x40000000u}}}})).ToBytes());
  AddOpDamage(list, "fill-words-huge-count",
              One(FillWordsOp({{{1, 2, 3, 4}, {{4, 0xFFFFFFFFu}}}})).ToBytes());
  AddOpDamage(list, "copy-bytes-past-end",
              One(CopyBytesOp({{95, {0xAA, 0xBB}}})).ToBytes());
  AddOpDamage(list, "copy-bytes-second-run-past-end",
              One(CopyBytesOp({{80, {1, 2, 3, 4, 5, 6, 7, 8}}, {8, {9}}})).ToBytes());
  AddOpDamage(list, "move-blocks-target-past-end",
              One(MoveBlocksOp({{40, 0}})).ToBytes());
  AddOpDamage(list, "move-blocks-source-before-start",
              One(MoveBlocksOp({{0, -1}})).ToBytes());
  AddOpDamage(list, "move-blocks-source-past-end",
              One(MoveBlocksOp({{0, 33}})).ToBytes());
  AddOpDamage(list, "move-blocks-displacement-min",
              One(MoveBlocksOp({{0, INT32_MIN, PackedForm::kShortest, PackedForm::kSevenBytes}})).ToBytes());
  AddOpDamage(list, "move-blocks-displacement-max",
              One(MoveBlocksOp({{0, INT32_MAX}})).ToBytes());
  AddOpDamage(list, "move-blocks-skip-huge",
              One(MoveBlocksOp({{0xFFFFFFFFu, 0}})).ToBytes());

  // Payloads shorter than their counts.
  AddOpDamage(list, "fill-bytes-entry-count-too-high",
              One(FillBytesOp({{0x11, {{0, 4}}}}, 1000)).ToBytes());
  AddOpDamage(list, "fill-bytes-run-count-too-high",
              One(FillBytesOp({{0x11, {{0, 4}}, 1000}})).ToBytes());
  AddOpDamage(list, "fill-words-entry-count-too-high",
              One(FillWordsOp({{{1, 2, 3, 4}, {{0, 1}}}}, 0xFFFFFFFFu)).ToBytes());
  AddOpDamage(list, "copy-bytes-count-beyond-data",
              One(CopyBytesOp({{0, {1, 2, 3}, PackedForm::kShortest, PackedForm::kShortest, 50}}))
                  .ToBytes());
  AddOpDamage(list, "copy-bytes-run-count-too-high",
              One(CopyBytesOp({{0, {1, 2, 3}}}, 70000)).ToBytes());
  AddOpDamage(list, "move-blocks-count-too-high",
              One(MoveBlocksOp({{0, 8}}, 1000)).ToBytes());
  {
    // A packed number cut off by the end of the payload.
    Op op = RawOp(kOpFillBytes, FromHex("01 00 00 00 22 01 00 00 00 FF FF"));
    AddOpDamage(list, "packed-number-cut-by-payload", One(op).ToBytes());
    op = RawOp(kOpMoveBlocks, FromHex("01 00 00 00 00 80 00"));
    AddOpDamage(list, "packed-signed-cut-by-payload", One(op).ToBytes());
  }
  {
    // A length shorter than the payload: the counts run on into the next op.
    Op op = FillBytesOp({{0x22, {{0, 4}, {0, 4}}}});
    op.lengthOverride = 7;
    OpList lists;
    lists.Add(op).Add(RawOp(0x7777, FromHex("FF FF FF FF FF FF FF")));
    AddOpDamage(list, "length-shorter-than-payload", lists.ToBytes());
  }

  // Op lists running past the chunk's video data.
  {
    Op op = FillBytesOp({{0x22, {{0, 4}}}});
    op.lengthOverride = 0xFFFFFFFFu;
    AddOpDamage(list, "length-past-video", One(op).ToBytes());
    op = RawOp(0x0001, FromHex("00"));
    op.lengthOverride = 0xFFFFFFFAu;  // length + 6 wraps to 0 in 32 bits
    AddOpDamage(list, "unknown-op-length-wraps", One(op).ToBytes());
  }
  {
    OpList lists = One(FillBytesOp({{0x22, {{0, 4}}}}));
    lists.opCountOverride = 60000;
    AddOpDamage(list, "op-count-past-video", lists.ToBytes());
  }
  AddOpDamage(list, "op-list-cut-after-count-byte", FromHex("05"));
  AddV02(list, "v02-ops-video-empty", TinyV02({{}, {}, {}}, YuvColourTable()), kResultOk, 0,
         kResultDecoderDefined);

  // Levels of 64 or more in the level-pair table: luma byte 0 (the working
  // frame's first content) and luma byte 0x33 point past the pixel table.
  {
    ColourTable colours = YuvColourTable();
    colours.SetLevelPair(0, 64, 255);
    AddV02(list, "v02-level-64-and-255", TinyV02({GoodOpList(1), GoodOpList(2)}, colours),
           kResultOk, 0, kResultDecoderDefined);
    colours = YuvColourTable();
    colours.SetLevelPair(0x33, 3, 200);
    AddV02(list, "v02-level-200-right",
           TinyV02({GoodOpList(1), GoodOpList(0x33)}, colours), kResultOk, 0,
           kResultDecoderDefined);
  }
}

void AddV00Cases(std::vector<CatalogueMovie>& list) {
  V00Header header;
  header.frameCount = 12;  // a chunk of 8 frames, then one of 4
  header.width = 10;
  header.height = 8;
  std::vector<PixelFrame> frames;
  for (uint32_t i = 0; i < header.frameCount; ++i) {
    PixelFrame frame(80);
    for (size_t p = 0; p < frame.size(); ++p) frame[p] = static_cast<uint16_t>(i * 1000 + p * 37);
    frames.push_back(frame);
  }
  const Bytes movie = BuildV00(header, frames);
  const uint32_t soundPerChunk = V00SoundBytesPerChunk(8000, 6);  // 6400
  const Bytes companion = BuildSnd(784, ToneBytes(440, 8000, 2 * soundPerChunk));

  AddV00(list, "v00-empty-file", {}, std::nullopt, kResultRead);
  AddV00(list, "v00-cut-in-header", Cut(movie, 255), std::nullopt, kResultRead);
  AddV00(list, "v00-cut-in-first-frame", Cut(movie, kMovieHeaderBytes + 100), std::nullopt,
         kResultOk, 0, kResultRead);
  AddV00(list, "v00-cut-in-second-chunk", Cut(movie, kMovieHeaderBytes + 9 * 160 + 1),
         companion, kResultOk, 1, kResultRead);
  {
    V00Header changed = header;
    changed.magic = {'V', 'D', '0', '2'};
    AddV00(list, "v00-bad-magic", BuildV00(changed, frames), std::nullopt, kResultUnsupported);
    changed = header;
    changed.formatMark = 0x00800080u;
    AddV00(list, "v00-bad-format-mark", BuildV00(changed, frames), std::nullopt, kResultUnsupported);
    changed = header;
    changed.width = 7;
    AddV00(list, "v00-width-7", BuildV00(changed, frames), std::nullopt, kResultUnsupported);
    changed = header;
    changed.height = 7;
    AddV00(list, "v00-height-7", BuildV00(changed, frames), std::nullopt, kResultUnsupported);
    changed = header;
    changed.width = 8193;
    AddV00(list, "v00-width-8193", BuildV00(changed, frames), std::nullopt, kResultUnsupported);
    changed = header;
    changed.height = UINT32_MAX;
    AddV00(list, "v00-height-max", BuildV00(changed, frames), std::nullopt, kResultUnsupported);
    changed = header;
    changed.scale = 61;
    AddV00(list, "v00-scale-61", BuildV00(changed, frames), std::nullopt, kResultUnsupported);
  }
  AddV00(list, "v00-companion-cut-in-header", movie, Cut(companion, 20), kResultRead);
  AddV00(list, "v00-companion-empty", movie, Bytes{}, kResultRead);
  AddV00(list, "v00-companion-cut-in-first-chunk", movie, Cut(companion, kSndHeaderBytes + 100),
         kResultOk, 0, kResultRead);
  AddV00(list, "v00-companion-cut-in-last-chunk", movie,
         Cut(companion, kSndHeaderBytes + soundPerChunk + 1), kResultOk, 1, kResultRead);
}

}  // namespace

std::vector<CatalogueMovie> DamagedMovies() {
  std::vector<CatalogueMovie> list;
  AddHeaderCases(list);
  AddOpCases(list);
  AddV00Cases(list);
  return list;
}

namespace {

uint32_t ChunkCount(uint32_t frames, uint32_t perChunk) { return (frames + perChunk - 1) / perChunk; }

void AddEdgeV02(std::vector<CatalogueMovie>& list, std::string name, Bytes movie) {
  const uint32_t frames = GetU32(movie, 8);
  const uint32_t perChunk = GetU32(movie, 28) == 0 ? 8 : GetU32(movie, 28);
  AddV02(list, std::move(name), std::move(movie), kResultOk, ChunkCount(frames, perChunk), kResultOk);
}

void AddEdgeV00(std::vector<CatalogueMovie>& list, std::string name, Bytes movie,
                std::optional<Bytes> companion) {
  const uint32_t frames = GetU32(movie, 8);
  AddV00(list, std::move(name), std::move(movie), std::move(companion), kResultOk,
         ChunkCount(frames, 8), kResultOk);
}

// Every byte of a tiny working frame given by one CopyBytes run: a start
// that makes the edits after it visible.
Bytes WholeFrame(uint32_t seed, size_t size = 96) {
  return One(CopyBytesOp({{0, RandomBytes(size, seed)}})).ToBytes();
}

void AddOpEdges(std::vector<CatalogueMovie>& list) {
  const ColourTable yuv = YuvColourTable();
  const ColourTable random = RandomColourTable(5);
  AddEdgeV02(list, "v02-edge-no-ops", TinyV02({WholeFrame(1), FromHex("00 00"), FromHex("00 00")}, random));
  {
    // Types that are not among the four, whose payloads would do damage if
    // they were taken for one.
    OpList ops;
    ops.Add(RawOp(0x0411, FromHex("01 00 00 00 55 01 00 00 00 00 FF FF FF FF FF 00 01")))
        .Add(RawOp(0x1105, FromHex("FF FF FF FF")))
        .Add(RawOp(0xFFFF, {}))
        .Add(FillBytesOp({{0x21, {{3, 2}}}}));
    AddEdgeV02(list, "v02-edge-unknown-ops", TinyV02({WholeFrame(2), ops.ToBytes()}, random));
  }
  {
    OpList ops;
    ops.Add(EmptyOp(kOpFillBytes)).Add(EmptyOp(kOpFillWords)).Add(EmptyOp(kOpCopyBytes))
        .Add(EmptyOp(kOpMoveBlocks)).Add(CopyBytesOp({{10, {1, 2, 3}}}));
    AddEdgeV02(list, "v02-edge-zero-length-ops", TinyV02({WholeFrame(3), ops.ToBytes()}, random));
  }
  {
    // Counts of 0 with bytes after them that must not be read as entries.
    const Bytes junk = FromHex("FF FF FF FF FF FF 80 00 80");
    OpList ops;
    ops.Add(FillBytesOp({}).AddSurplus(junk)).Add(FillWordsOp({}).AddSurplus(junk))
        .Add(CopyBytesOp({}).AddSurplus(junk)).Add(MoveBlocksOp({}).AddSurplus(junk))
        .Add(FillWordsOp({{{9, 8, 7, 6}, {{20, 1}}}}));
    AddEdgeV02(list, "v02-edge-zero-counts", TinyV02({WholeFrame(4), ops.ToBytes()}, random));
  }
  {
    const Bytes junk = FromHex("04 11 FF FF FF FF");
    OpList ops;
    ops.Add(FillBytesOp({{0x44, {{1, 2}}}}).AddSurplus(junk))
        .Add(FillWordsOp({{{1, 2, 3, 4}, {{8, 1}}}}).AddSurplus(junk))
        .Add(CopyBytesOp({{30, {5, 6}}}).AddSurplus(junk))
        .Add(MoveBlocksOp({{0, 8}}).AddSurplus(junk));
    AddEdgeV02(list, "v02-edge-surplus-payload", TinyV02({WholeFrame(5), ops.ToBytes()}, random));
  }
  {
    OpList ops;
    ops.Add(FillBytesOp({{0x10, {}}, {0x20, {{0, 0}, {5, 0}, {1, 3}}}, {0x30, {}}}))
        .Add(FillWordsOp({{{1, 1, 1, 1}, {}}, {{2, 3, 4, 5}, {{40, 0}, {2, 2}}}}))
        .Add(CopyBytesOp({{50, {}}, {3, {0xCC}}}));
    AddEdgeV02(list, "v02-edge-empty-entries-and-runs", TinyV02({WholeFrame(6), ops.ToBytes()}, random));
  }
  {
    const PackedForm forms[] = {PackedForm::kThreeBytes, PackedForm::kSevenBytes};
    std::vector<Bytes> frames{WholeFrame(7)};
    for (PackedForm form : forms) {
      OpList ops;
      ops.Add(MoveBlocksOp({{1, 8, form, form}, {16, -1, form, form}}))
          .Add(FillBytesOp({{0x5A, {{2, 3, form, form}, {60, 4, form, form}}}}))
          .Add(FillWordsOp({{{0xDE, 0xAD, 0xBE, 0xEF}, {{30, 2, form, form}}}}))
          .Add(CopyBytesOp({{70, {7, 7, 8}, form, form}, {1, {9}, form, form}}));
      frames.push_back(ops.ToBytes());
    }
    AddEdgeV02(list, "v02-edge-long-numbers", TinyV02(frames, random));
  }
  {
    // The second entry's runs start from offset 0 again; copy and move
    // skips add up over the whole op.
    OpList ops;
    ops.Add(FillBytesOp({{0x61, {{4, 4}, {4, 4}}}, {0x62, {{6, 1}}}}))
        .Add(FillWordsOp({{{1, 2, 3, 4}, {{40, 1}}}, {{5, 6, 7, 8}, {{42, 1}}}}))
        .Add(CopyBytesOp({{70, {1, 2}}, {3, {3, 4}}}));
    AddEdgeV02(list, "v02-edge-entries-restart", TinyV02({WholeFrame(8), ops.ToBytes()}, random));
  }
  {
    // A fill before MoveBlocks is in its snapshot; a second MoveBlocks op
    // takes a new snapshot that holds the first one's blocks.
    OpList ops;
    ops.Add(FillBytesOp({{0x77, {{8, 8}}}}))
        .Add(MoveBlocksOp({{0, 8}}))
        .Add(MoveBlocksOp({{8, -8}}));
    AddEdgeV02(list, "v02-edge-two-moves", TinyV02({WholeFrame(9), ops.ToBytes()}, random));
  }
  {
    // Blocks with skip 0 lie on each other (the later wins); displacement 0
    // puts back the snapshot's bytes.
    OpList ops;
    ops.Add(FillBytesOp({{0x00, {{0, 8}}}}))
        .Add(MoveBlocksOp({{0, 8}, {0, 0}, {4, 1}, {0, 28}}));
    AddEdgeV02(list, "v02-edge-overlapping-blocks", TinyV02({WholeFrame(10), ops.ToBytes()}, random));
  }
  {
    OpList ops;
    ops.Add(FillBytesOp({{0xA5, {{60, 8}}}}))
        .Add(FillWordsOp({{{1, 2, 3, 4}, {{58, 2}}}}))
        .Add(CopyBytesOp({{62, {9, 9, 9, 9}}}))
        .Add(MoveBlocksOp({{28, 4}}));
    AddEdgeV02(list, "v02-edge-across-plane-border", TinyV02({WholeFrame(11), ops.ToBytes()}, random));
  }
  {
    // The last byte of the frame and the last whole block.
    OpList ops;
    ops.Add(FillBytesOp({{0xEE, {{95, 1}}}}))
        .Add(FillWordsOp({{{4, 3, 2, 1}, {{92, 1}}}}))
        .Add(MoveBlocksOp({{32, -32}, {0, 0}}));
    AddEdgeV02(list, "v02-edge-frame-end", TinyV02({WholeFrame(12), ops.ToBytes()}, random));
  }
  // The worked examples, each after a frame of random content.
  AddEdgeV02(list, "v02-example-1",
             TinyV02({WholeFrame(13),
                      OpList{}
                          .Add(FillBytesOp({{0x10, {{0, 3}, {2, 6}}}}))
                          .Add(CopyBytesOp({{64, {0xAA, 0xBB}}}))
                          .ToBytes()},
                     yuv));
  AddEdgeV02(list, "v02-example-2",
             TinyV02({WholeFrame(14), One(FillWordsOp({{{1, 2, 3, 4}, {{8, 2}}}})).ToBytes()}, yuv));
  AddEdgeV02(list, "v02-example-3",
             SmallV02(32, 16, {WholeFrame(15, 384), One(MoveBlocksOp({{0, 36}, {8, -8}})).ToBytes()},
                      random, 2, 16));
}

void AddMovieEdges(std::vector<CatalogueMovie>& list) {
  {
    V02Header header;
    header.width = 16;
    header.height = 8;
    AddEdgeV02(list, "v02-edge-frame-count-0", BuildV02(header, nullptr, {}));
  }
  struct MovieCase {
    const char* name;
    void (*change)(V02MovieOptions&);
  };
  static const MovieCase kCases[] = {
      {"v02-edge-20-frames-8-per-chunk", [](V02MovieOptions&) {}},
      {"v02-edge-64-per-chunk", [](V02MovieOptions& o) { o.framesPerChunk = 64; o.frames = 70; }},
      {"v02-edge-1-per-chunk", [](V02MovieOptions& o) { o.framesPerChunk = 1; o.frames = 3; }},
      {"v02-edge-0-per-chunk-means-8", [](V02MovieOptions& o) { o.framesPerChunk = 0; }},
      {"v02-edge-sound-defaults",
       [](V02MovieOptions& o) {
         o.soundRate = 0;
         o.soundBytesPerChunk = 0;
         o.scale = 0;
         o.frames = 9;
       }},
      {"v02-edge-version-7", [](V02MovieOptions& o) { o.version = 7; }},
      {"v02-edge-smallest-frame", [](V02MovieOptions& o) { o.width = 8; o.height = 8; }},
      {"v02-edge-all-op-forms",
       [](V02MovieOptions& o) {
         o.width = 32;
         o.height = 16;
         o.colours = ColourKind::kRandom;
         o.strategy.numbers = NumberForms::kRotate;
         o.strategy.fillsBeforeMoves = true;
         o.strategy.splitMoves = true;
         o.strategy.searchRadius = 1;
       }},
  };
  for (const MovieCase& movieCase : kCases) {
    V02MovieOptions options;
    options.width = 16;
    options.height = 8;
    options.frames = 20;
    options.soundBytesPerChunk = 24;
    options.content = ContentKind::kScramble;
    options.seed = 21;
    movieCase.change(options);
    Bytes movie;
    MakeV02Movie(options, movie);
    AddEdgeV02(list, movieCase.name, std::move(movie));
  }
  {
    // The chunk size exactly at its limit: (2 + 2) × 96 + 16 − 32 = 368,
    // made up with bytes after the op lists that no frame reads.
    V02Header header = TinyHeader();
    header.frameCount = 2;
    const ColourTable colours = RandomColourTable(3);
    V02Chunk chunk;
    chunk.sound = ToneBytes(500, 8000, kTinySoundBytes);
    chunk.video = WholeFrame(16);
    PutBytes(chunk.video, GoodOpList(3));
    chunk.video.resize(368 - kTinySoundBytes, 0xFF);
    AddEdgeV02(list, "v02-edge-chunk-size-at-limit", BuildV02(header, &colours, {chunk}));
  }
  {
    // Bytes the reader does not interpret, all set.
    V02Header header = TinyHeader();
    header.filler = 0xFF;
    const ColourTable colours = YuvColourTable();
    V02Chunk chunk;
    chunk.sound = Bytes(kTinySoundBytes, 0x00);
    chunk.video = WholeFrame(17);
    chunk.filler = 0xEE;
    AddEdgeV02(list, "v02-edge-filler-bytes", BuildV02(header, &colours, {chunk}));
  }

  // VD00.
  struct V00Case {
    const char* name;
    uint32_t width, height, frames, scale, rate;
    bool withSound;
  };
  static const V00Case kV00Cases[] = {
      {"v00-edge-width-10-no-companion", 10, 8, 12, 6, 8000, false},
      {"v00-edge-with-companion", 16, 8, 17, 6, 8000, true},
      {"v00-edge-scale-7", 8, 8, 9, 7, 8000, true},
      {"v00-edge-scale-0-means-6", 8, 8, 9, 0, 8000, true},
      {"v00-edge-rate-code-98", 8, 10, 8, 6, 1000, true},
      {"v00-edge-frame-count-0", 8, 8, 0, 6, 8000, true},
  };
  for (const V00Case& v00 : kV00Cases) {
    V00MovieOptions options;
    options.width = v00.width;
    options.height = v00.height;
    options.frames = v00.frames;
    options.scale = v00.scale;
    options.soundRate = v00.rate;
    options.withSound = v00.withSound;
    options.content = ContentKind::kRandom;
    options.seed = 31;
    Bytes movie;
    Bytes companion;
    MakeV00Movie(options, movie, companion);
    AddEdgeV00(list, v00.name, std::move(movie),
               v00.withSound ? std::optional<Bytes>(std::move(companion)) : std::nullopt);
  }
  {
    // A companion with more sound than the movie uses, and set filler bytes.
    V00Header header;
    header.frameCount = 3;
    header.width = 8;
    header.height = 8;
    header.filler = 0xFF;
    const std::vector<PixelFrame> frames(3, PixelFrame(64, 0x8000));
    AddEdgeV00(list, "v00-edge-filler-and-long-companion", BuildV00(header, frames),
               BuildSnd(784, ToneBytes(440, 8000, 7000), 0xFF));
  }
}

}  // namespace

std::vector<CatalogueMovie> EdgeMovies() {
  std::vector<CatalogueMovie> list;
  AddOpEdges(list);
  AddMovieEdges(list);
  return list;
}

}  // namespace moviewriter

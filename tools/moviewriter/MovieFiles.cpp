#include "tools/moviewriter/MovieFiles.h"

namespace moviewriter {

Bytes V02Header::ToBytes() const {
  Bytes out;
  out.reserve(kMovieHeaderBytes);
  PutBytes(out, magic);
  PutFill(out, 4, filler);
  PutU32(out, frameCount);
  PutU32(out, version);
  PutU32(out, width);
  PutU32(out, height);
  PutU32(out, scale);
  PutU32(out, framesPerChunk);
  PutU32(out, soundRate);
  PutU32(out, soundBytesPerChunk);
  PutFill(out, kMovieHeaderBytes - out.size(), filler);
  return out;
}

V02Params EffectiveParams(const V02Header& header) {
  V02Params params;
  params.framesPerChunk = header.framesPerChunk == 0 ? 8 : header.framesPerChunk;
  params.scale = header.scale == 0 ? 6 : header.scale;
  params.soundRate = header.soundRate == 0 ? 8000 : header.soundRate;
  params.soundBytesPerChunk = header.soundBytesPerChunk == 0 ? 6400 : header.soundBytesPerChunk;
  params.planeSize = uint64_t{header.width} * header.height * 6 / 8;
  params.chunkBufferSize =
      (uint64_t{params.framesPerChunk} + 2) * params.planeSize + params.soundBytesPerChunk;
  return params;
}

uint32_t V02Chunk::SizeField() const {
  return sizeOverride.value_or(static_cast<uint32_t>(sound.size() + video.size()));
}

void V02Chunk::AppendTo(Bytes& out) const {
  PutFill(out, 4, filler);
  PutU32(out, SizeField());
  PutFill(out, kChunkHeaderBytes - 8, filler);
  PutBytes(out, sound);
  PutBytes(out, video);
}

Bytes BuildV02(const V02Header& header, const ColourTable* colours,
               const std::vector<V02Chunk>& chunks, V02Layout* layout) {
  Bytes out = header.ToBytes();
  V02Layout where;
  where.colourTable = out.size();
  if (colours != nullptr) PutBytes(out, colours->bytes);
  where.chunks = out.size();
  for (const V02Chunk& chunk : chunks) {
    V02Layout::Chunk at;
    at.header = out.size();
    at.sound = at.header + kChunkHeaderBytes;
    at.video = at.sound + chunk.sound.size();
    chunk.AppendTo(out);
    at.end = out.size();
    where.chunkList.push_back(at);
  }
  if (layout != nullptr) *layout = std::move(where);
  return out;
}

Bytes V00Header::ToBytes() const {
  Bytes out;
  out.reserve(kMovieHeaderBytes);
  PutBytes(out, magic);
  PutFill(out, 4, filler);
  PutU32(out, frameCount);
  PutU32(out, formatMark);
  PutU32(out, width);
  PutU32(out, height);
  PutU32(out, scale);
  PutFill(out, kMovieHeaderBytes - out.size(), filler);
  return out;
}

void AppendPixelFrame(Bytes& out, std::span<const uint16_t> pixels) {
  out.reserve(out.size() + 2 * pixels.size());
  for (uint16_t pixel : pixels) PutU16(out, pixel);
}

Bytes BuildV00(const V00Header& header, const std::vector<PixelFrame>& frames) {
  Bytes out = header.ToBytes();
  for (const PixelFrame& frame : frames) AppendPixelFrame(out, frame);
  return out;
}

Bytes BuildSnd(uint16_t rateCode, std::span<const uint8_t> soundBytes, uint8_t filler) {
  Bytes out;
  out.reserve(kSndHeaderBytes + soundBytes.size());
  PutFill(out, 24, filler);
  PutU16(out, rateCode);
  PutFill(out, 6, filler);
  PutBytes(out, soundBytes);
  return out;
}

uint32_t RateFromCode(uint16_t rateCode) { return uint32_t{rateCode} * 1000 / 98; }

uint16_t RateCodeFor(uint32_t soundRate) {
  // Codes run up to 65,535, rates up to 668,724; rate × 98 / 1000 lands at or
  // just below the smallest code that reads back as the rate.
  uint64_t code = uint64_t{soundRate} * 98 / 1000;
  if (code > 0xFFFF) return 0xFFFF;
  while (code < 0xFFFF && RateFromCode(static_cast<uint16_t>(code)) < soundRate &&
         RateFromCode(static_cast<uint16_t>(code + 1)) <= soundRate) {
    ++code;
  }
  return static_cast<uint16_t>(code);
}

uint32_t V00SoundBytesPerChunk(uint32_t soundRate, uint32_t scale) {
  if (scale == 0 || scale > 60) return 0;
  return static_cast<uint32_t>(uint64_t{soundRate} * 8 / (60 / scale));
}

}  // namespace moviewriter

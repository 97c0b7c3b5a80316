#include "tools/moviewriter/Hostile.h"

#include <vector>

#include "tools/moviewriter/ColourTable.h"
#include "tools/moviewriter/MovieFiles.h"
#include "tools/moviewriter/OpList.h"

namespace moviewriter {

namespace {

constexpr uint32_t kSoundBytes = 16;

Bytes HostileOpList(const HostileOptions& options, uint64_t planeSize, uint32_t frame) {
  const auto value = static_cast<uint8_t>(frame * 37 + 5);
  const Run wholePlane(0, static_cast<uint32_t>(planeSize));
  OpList list;
  if (frame < options.benignFrames) {
    list.Add(FillBytesOp({FillBytesEntry(value, {wholePlane})}));
  } else if (options.kind == HostileKind::kFillBytes) {
    // Earlier entries fill other values, so only the last one shows.
    std::vector<FillBytesEntry> entries;
    for (uint32_t i = 0; i < options.repeats; ++i) {
      const auto fill = i + 1 == options.repeats ? value : static_cast<uint8_t>(value + 1 + i);
      entries.emplace_back(fill, std::vector<Run>{wholePlane});
    }
    list.Add(FillBytesOp(entries));
  } else {
    list.Add(FillBytesOp({FillBytesEntry(value, {wholePlane})}));
    for (uint32_t i = 0; i < options.repeats; ++i) list.Add(MoveBlocksOp({Block(0, 0)}));
  }
  return list.ToBytes();
}

}  // namespace

Bytes MakeHostileV02(const HostileOptions& options) {
  V02Header header;
  header.frameCount = options.frames;
  header.width = options.width;
  header.height = options.height;
  header.framesPerChunk = options.framesPerChunk;
  header.soundBytesPerChunk = kSoundBytes;
  const V02Params params = EffectiveParams(header);
  std::vector<V02Chunk> chunks;
  for (uint32_t frame = 0; frame < options.frames; frame += params.framesPerChunk) {
    V02Chunk chunk;
    chunk.sound = Bytes(kSoundBytes, 0x80);
    for (uint32_t n = frame; n < options.frames && n < frame + params.framesPerChunk; ++n) {
      const Bytes list = HostileOpList(options, params.planeSize, n);
      chunk.video.insert(chunk.video.end(), list.begin(), list.end());
    }
    chunks.push_back(std::move(chunk));
  }
  const ColourTable colours = YuvColourTable();
  return BuildV02(header, &colours, chunks);
}

}  // namespace moviewriter

// Opening VD02 and VD00 movies and reading them chunk by chunk.
//
// VD02: a 256-byte header, then (for a non-empty movie) the 33,280-byte colour
// table, then chunks: a 32-byte chunk header whose u32 at offset 4 counts the
// bytes that follow it, the chunk's 8-bit sound, then the op lists of its
// frames.
//
// VD00: a 256-byte header, then raw frames of width x height little-endian
// 16-bit pixels, read eight to a chunk. The sound lives in a companion ".snd"
// file: a 32-byte header (u16 rate code at offset 24, Hz = code * 1000 / 98),
// then the 8-bit sound of each chunk in turn.

#include "v02dec/V02Decode.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

#include "platform/Memory.h"
#include "v02dec/ByteReader.h"
#include "v02dec/CompanionNames.h"
#include "v02dec/ReadAhead.h"

namespace {

constexpr size_t kHeaderBytes = 256;
constexpr size_t kChunkHeaderBytes = 32;
constexpr size_t kCompanionHeaderBytes = 32;
constexpr uint32_t kMinDimension = 8;
constexpr uint32_t kV00FormatMark = 0x80008000;
constexpr uint32_t kV00FramesPerChunk = 8;
constexpr uint32_t kFrameClockRate = 60;
constexpr uint32_t kDefaultScale = 6;
constexpr uint32_t kDefaultFramesPerChunk = 8;
constexpr uint32_t kDefaultSoundRate = 8000;
constexpr uint32_t kDefaultSoundBytesPerChunk = 6400;
constexpr uint8_t kMaxLevel = 63;

// The file-name part of a path starts after its last "/": a dot in a folder
// name is no extension.
size_t NameStart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Position of the dot that starts the name's extension, or npos.
size_t ExtensionDot(const std::string& path) {
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < NameStart(path)) return std::string::npos;
  return dot;
}

std::string UpperExtension(const std::string& path) {
  size_t dot = ExtensionDot(path);
  std::string extension = dot == std::string::npos ? std::string() : path.substr(dot);
  for (char& c : extension) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return extension;
}

// Sizes come from file fields, so they are formed in 64 bits and tested
// before anything is obtained: no more than `limit` in all, counting the
// frame bitmaps too. *total receives the sum.
bool FitsMemory(std::initializer_list<uint64_t> buffers, uint64_t bitmapBytes, uint64_t limit,
                uint64_t* total) {
  *total = bitmapBytes;
  for (uint64_t bytes : buffers) *total += bytes;
  return *total <= limit;
}

uint32_t FirstFourBytes(const uint8_t* header) { return LoadLe32(header); }

// Obtains a buffer without letting an exception out; its contents are
// whatever the allocator gives.
template <class T>
bool Obtain(std::unique_ptr<T[]>& buffer, uint64_t count) {
  buffer.reset(new (std::nothrow) T[static_cast<size_t>(count)]);
  return buffer != nullptr;
}

// A zeroed buffer, from calloc: a movie's header may ask for a sound block of
// a gigabyte, and writing zeros into it at open would take seconds before
// --info could answer.
template <class T>
bool ObtainZeroed(std::unique_ptr<T[], FreeWithStdFree>& buffer, uint64_t count) {
  // One element at least, so that an empty block is still a block.
  const auto n = std::max<size_t>(static_cast<size_t>(count), 1);
  buffer.reset(static_cast<T*>(std::calloc(n, sizeof(T))));
  return buffer != nullptr;
}

}  // namespace

// The companion sound file, under the first of its names that exists; empty
// when none does.
std::string FindCompanion(const std::string& moviePath) {
  for (std::string& candidate : CompanionNames(moviePath)) {
    if (RawFile::Exists(candidate)) return std::move(candidate);
  }
  return std::string();
}

V02Decode::V02Decode() = default;

namespace {
std::atomic<uint64_t> memoryLimitOverride{0};
}  // namespace

void V02Decode::OverrideDefaultMemoryLimit(uint64_t bytes) { memoryLimitOverride = bytes; }

// The largest movie the header limits admit, 8192 x 8192 at 64 frames per
// chunk, needs about 16.4 GB; a fixed cap would refuse it on every machine.
// Three quarters of the memory leave room for the rest of the system.
uint64_t V02Decode::DefaultMemoryLimit() {
  if (const uint64_t forced = memoryLimitOverride.load(); forced != 0) return forced;
  const uint64_t physical = platform::PhysicalMemoryBytes();
  if (physical == 0) return kMinMemoryLimit;
  return std::max(kMinMemoryLimit, physical / 4 * 3);
}

MovieResult V02Decode::Refuse(FailureTest test, uint64_t found, uint64_t bound) {
  failure_.kind = FailureKind::kUnsupported;
  failure_.test = test;
  failure_.values[0] = found;
  failure_.values[1] = bound;
  return kMovieUnsupported;
}

MovieResult V02Decode::ReadFailed(FailureTest test, const RawFile& file) {
  failure_.kind = FailureKind::kReadFailed;
  failure_.test = test;
  failure_.sysErrno = file.LastErrno();
  if (file.NotRegular()) {
    if (test == FailureTest::kOpenMovie) failure_.test = FailureTest::kMovieNotRegular;
    if (test == FailureTest::kOpenCompanion) failure_.test = FailureTest::kCompanionNotRegular;
  }
  return kMovieReadError;
}

MovieResult V02Decode::NoMemory(FailureTest test, uint64_t found, uint64_t bound) {
  failure_.kind = FailureKind::kNoMemory;
  failure_.test = test;
  failure_.values[0] = found;
  failure_.values[1] = bound;
  return kMovieNoMemory;
}

MovieResult V02Decode::CheckAviFields(uint64_t soundBytesPerChunk) {
  if (movie_.scale > kMaxScale)
    return Refuse(FailureTest::kScaleAboveMaximum, movie_.scale, kMaxScale);
  if (movie_.soundRate > kMaxSoundRate) {
    return Refuse(FailureTest::kSoundRateAboveMaximum, movie_.soundRate, kMaxSoundRate);
  }
  if (2 * soundBytesPerChunk > kMaxSoundBlockBytes) {
    return Refuse(FailureTest::kSoundBlockAboveMaximum, 2 * soundBytesPerChunk,
                  kMaxSoundBlockBytes);
  }
  return kMovieOk;
}

// Releases what a caller forgot to Close; above all, the worker must have
// ended before the members it uses go.
V02Decode::~V02Decode() { Close(); }

MovieResult V02Decode::Open(const std::string& path) {
  // Path texts are the only allocations that could throw; a failure to get
  // memory is a result like any other.
  failure_ = MovieFailure();
  try {
    const std::string extension = UpperExtension(path);
    if (extension == ".V00") return OpenV00(path);
    if (extension == ".V02") return OpenV02(path);
    const size_t dot = ExtensionDot(path);
    failure_.text = dot == std::string::npos ? std::string() : path.substr(dot);
    return Refuse(FailureTest::kExtension, 0, 0);
  } catch (const std::bad_alloc&) {
    return NoMemory(FailureTest::kBufferUnavailable, 0, 0);
  }
}

MovieResult V02Decode::OpenV02(const std::string& path) {
  Close();
  failure_ = MovieFailure();
  format_ = Format::kV02;
  if (!movieFile_.Open(path)) return ReadFailed(FailureTest::kOpenMovie, movieFile_);
  uint8_t header[kHeaderBytes];
  if (!movieFile_.Read(header, sizeof header)) {
    return ReadFailed(FailureTest::kMovieHeader, movieFile_);
  }

  const uint32_t version = LoadLe32(header + 12);
  const uint32_t headerWidth = LoadLe32(header + 16);
  const uint32_t headerHeight = LoadLe32(header + 20);
  if (std::memcmp(header, "VD02", 4) != 0) {
    return Refuse(FailureTest::kMagic, FirstFourBytes(header), 0);
  }
  if (version != 6 && version != 7) return Refuse(FailureTest::kVersion, version, 0);
  if (MovieResult refused = CheckDimensions(headerWidth, headerHeight, true); refused != kMovieOk) {
    return refused;
  }

  movie_.frameCount = LoadLe32(header + 8);
  framesRemaining_ = movie_.frameCount;
  framesUndecoded_ = movie_.frameCount;
  movie_.width = headerWidth;
  movie_.height = headerHeight;
  uint32_t chunkFrames = LoadLe32(header + 28);
  if (chunkFrames > kMaxFramesPerChunk) {
    return Refuse(FailureTest::kFramesPerChunkAbove64, chunkFrames, kMaxFramesPerChunk);
  }
  movie_.framesPerChunk = chunkFrames == 0 ? kDefaultFramesPerChunk : chunkFrames;
  movie_.rate = kFrameClockRate;
  movie_.scale = LoadLe32(header + 24) == 0 ? kDefaultScale : LoadLe32(header + 24);
  movie_.soundRate = LoadLe32(header + 32) == 0 ? kDefaultSoundRate : LoadLe32(header + 32);
  const uint64_t soundBytes =
      LoadLe32(header + 36) == 0 ? kDefaultSoundBytesPerChunk : LoadLe32(header + 36);
  if (MovieResult refused = CheckAviFields(soundBytes); refused != kMovieOk) return refused;

  const uint64_t plane = uint64_t{movie_.width} * movie_.height * 6 / 8;
  // A chunk is at most frames-per-chunk + 2 planes of op lists plus its
  // sound; its size field may reach this less the 32-byte chunk header.
  const uint64_t chunkBufferSize = (movie_.framesPerChunk + 2) * plane + soundBytes;
  const uint64_t pixels = uint64_t{movie_.width} * movie_.height;
  const uint64_t bitmapBytes =
      uint64_t{movie_.framesPerChunk} * TBitmap::RowBytesFor(movie_.width) * movie_.height;
  uint64_t memory = 0;
  // The sound goes to its own buffer, so the chunk buffer needs room for the
  // video data only: at most chunk buffer size - 32 - sound bytes, and never
  // more than a 32-bit size field can announce.
  const uint64_t videoCapacity =
      std::min<uint64_t>(chunkBufferSize - kChunkHeaderBytes - soundBytes, UINT32_MAX - soundBytes);
  if (!FitsMemory({2 * plane, videoCapacity, soundBytes, 2 * pixels, 2 * soundBytes,
                   kPixelPairEntries * sizeof(uint32_t)},
                  bitmapBytes, memoryLimit_, &memory)) {
    return NoMemory(FailureTest::kMemoryLimit, memory, memoryLimit_);
  }
  planeSize_ = static_cast<uint32_t>(plane);
  chunkBufferSize_ = chunkBufferSize;
  soundBytesPerChunk_ = static_cast<uint32_t>(soundBytes);
  movie_.soundBlockBytes = static_cast<uint32_t>(2 * soundBytes);
  videoCapacity_ = static_cast<size_t>(videoCapacity);

  // The planes start out all zero, so the first frame of a movie that does
  // not paint every byte is still the same on every run.
  planes_.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(2 * plane), 1)));
  if (!planes_ || !Obtain(chunkBuffer_, videoCapacity_) ||
      !Obtain(soundBytes_, soundBytes) || !Obtain(frame16_, pixels) ||
      !ObtainZeroed(soundBlock, soundBytes) || !Obtain(pixelPairs_, kPixelPairEntries) ||
      !CreateBitmapSet(frameBitmaps)) {
    return NoMemory(FailureTest::kBufferUnavailable, memory, memoryLimit_);
  }

  if (movie_.frameCount != 0) {
    MovieResult result = LoadColourTable();
    if (result != kMovieOk) return result;
  }
  BuildPixelPairs();
  open_ = true;
  StartReadAhead(memory);
  return kMovieOk;
}

// The planes hold two pixels per byte in rows of w / 2 and one chroma row
// per two picture rows, and a frame is expanded 8 pixels at a time: only
// VD02 widths that are multiples of 8 and even heights can be rebuilt.
MovieResult V02Decode::CheckDimensions(uint32_t w, uint32_t h, bool planes) {
  if (w < kMinDimension) return Refuse(FailureTest::kWidthBelowMinimum, w, kMinDimension);
  if (w > kMaxDimension) return Refuse(FailureTest::kWidthAboveMaximum, w, kMaxDimension);
  if (planes && w % 8 != 0) return Refuse(FailureTest::kWidthNotMultipleOf8, w, 8);
  if (h < kMinDimension) return Refuse(FailureTest::kHeightBelowMinimum, h, kMinDimension);
  if (h > kMaxDimension) return Refuse(FailureTest::kHeightAboveMaximum, h, kMaxDimension);
  if (planes && h % 2 != 0) return Refuse(FailureTest::kHeightOdd, h, 2);
  return kMovieOk;
}

MovieResult V02Decode::LoadColourTable() {
  static_assert(std::endian::native == std::endian::little,
                "the colour table is read as stored, little-endian");
  if (!movieFile_.Read(&colourTable_, sizeof colourTable_)) {
    return ReadFailed(FailureTest::kColourTable, movieFile_);
  }
  // Levels select one of the 64 rows of the pixel table. A larger level is
  // clamped to the last row here, once, so the per-pixel path needs no test.
  for (uint16_t& pair : colourTable_.levelPairs) {
    uint8_t left = static_cast<uint8_t>(pair & 0xFF);
    uint8_t right = static_cast<uint8_t>(pair >> 8);
    if (left > kMaxLevel) left = kMaxLevel;
    if (right > kMaxLevel) right = kMaxLevel;
    pair = static_cast<uint16_t>(left | right << 8);
  }
  return kMovieOk;
}

void V02Decode::BuildPixelPairs() {
  uint32_t* pairs = pixelPairs_.get();
  for (uint32_t luma = 0; luma < 256; ++luma) {
    // The levels were clamped to the last row at load; the bound here only
    // keeps the reads inside the pixel table whatever the table holds.
    const uint16_t levels = colourTable_.levelPairs[luma];
    const uint16_t* left = colourTable_.pixels + std::min<uint32_t>(levels & 0xFF, kMaxLevel) * 256;
    const uint16_t* right = colourTable_.pixels + std::min<uint32_t>(levels >> 8, kMaxLevel) * 256;
    for (uint32_t chroma = 0; chroma < 256; ++chroma) {
      pairs[luma << 8 | chroma] = left[chroma] | uint32_t{right[chroma]} << 16;
    }
  }
}

MovieResult V02Decode::OpenV00(const std::string& path) {
  Close();
  failure_ = MovieFailure();
  format_ = Format::kV00;
  if (!movieFile_.Open(path)) return ReadFailed(FailureTest::kOpenMovie, movieFile_);
  uint8_t header[kHeaderBytes];
  if (!movieFile_.Read(header, sizeof header)) {
    return ReadFailed(FailureTest::kMovieHeader, movieFile_);
  }

  const uint32_t headerWidth = LoadLe32(header + 16);
  const uint32_t headerHeight = LoadLe32(header + 20);
  if (std::memcmp(header, "VD00", 4) != 0) {
    return Refuse(FailureTest::kMagic, FirstFourBytes(header), 0);
  }
  if (LoadLe32(header + 12) != kV00FormatMark) {
    return Refuse(FailureTest::kFormatMark, LoadLe32(header + 12), kV00FormatMark);
  }
  if (MovieResult refused = CheckDimensions(headerWidth, headerHeight, false);
      refused != kMovieOk) {
    return refused;
  }

  movie_.frameCount = LoadLe32(header + 8);
  framesRemaining_ = movie_.frameCount;
  framesUndecoded_ = movie_.frameCount;
  movie_.width = headerWidth;
  movie_.height = headerHeight;
  movie_.framesPerChunk = kV00FramesPerChunk;
  movie_.rate = kFrameClockRate;
  movie_.scale = LoadLe32(header + 24) == 0 ? kDefaultScale : LoadLe32(header + 24);
  // The sound of a chunk is sized by 60 / scale, which is 0 above 60.
  if (movie_.scale > kFrameClockRate) {
    return Refuse(FailureTest::kScaleAboveMaximum, movie_.scale, kFrameClockRate);
  }

  std::string companion;
  try {
    companion = FindCompanion(path);
  } catch (const std::bad_alloc&) {
    return NoMemory(FailureTest::kBufferUnavailable, 0, 0);
  }
  noSound_ = companion.empty();
  if (noSound_) {
    movie_.soundRate = kDefaultSoundRate;
  } else {
    if (!soundFile_.Open(companion)) return ReadFailed(FailureTest::kOpenCompanion, soundFile_);
    uint8_t soundHeader[kCompanionHeaderBytes];
    if (!soundFile_.Read(soundHeader, sizeof soundHeader)) {
      return ReadFailed(FailureTest::kCompanionHeader, soundFile_);
    }
    movie_.soundRate = uint32_t{LoadLe16(soundHeader + 24)} * 1000 / 98;
    // Rate code 0 would make a 0 Hz sound stream with empty sound blocks,
    // which no AVI reader accepts: the companion's header is damaged.
    if (movie_.soundRate == 0)
      return Refuse(FailureTest::kSoundRateZero, LoadLe16(soundHeader + 24), 0);
  }
  // 60 / scale is divided first: scale 7 gives 8, so 8000 Hz makes 8000
  // bytes per chunk of eight frames, not 7466.
  const uint64_t soundBytes = uint64_t{movie_.soundRate} * 8 / (kFrameClockRate / movie_.scale);
  if (MovieResult refused = CheckAviFields(soundBytes); refused != kMovieOk) return refused;
  const uint64_t pixels = uint64_t{movie_.width} * movie_.height;
  const uint64_t bitmapBytes =
      uint64_t{kV00FramesPerChunk} * TBitmap::RowBytesFor(movie_.width) * movie_.height;
  uint64_t memory = 0;
  if (!FitsMemory({2 * pixels, soundBytes, 2 * soundBytes}, bitmapBytes, memoryLimit_, &memory)) {
    return NoMemory(FailureTest::kMemoryLimit, memory, memoryLimit_);
  }
  chunkBufferSize_ = 2 * pixels;
  soundBytesPerChunk_ = static_cast<uint32_t>(soundBytes);
  movie_.soundBlockBytes = static_cast<uint32_t>(2 * soundBytes);

  if (!Obtain(frame16_, pixels) || !Obtain(soundBytes_, soundBytes) ||
      !ObtainZeroed(soundBlock, soundBytes) || !CreateBitmapSet(frameBitmaps)) {
    return NoMemory(FailureTest::kBufferUnavailable, memory, memoryLimit_);
  }
  open_ = true;
  StartReadAhead(memory);
  return kMovieOk;
}

// One frame bitmap of the frame size in each of the first frames-per-chunk
// slots; false when any cannot be had.
bool V02Decode::CreateBitmapSet(std::unique_ptr<TBitmap>* slots) {
  for (uint32_t slot = 0; slot < movie_.framesPerChunk; ++slot) {
    slots[slot].reset(new (std::nothrow) TBitmap);
    if (!slots[slot] ||
        !slots[slot]->SetSize(static_cast<int>(movie_.width), static_cast<int>(movie_.height))) {
      return false;
    }
  }
  return true;
}

// The worker decodes every chunk, so that the caller's thread stays free to
// run its wait hook however long a chunk takes. A preview reads one chunk
// only and needs neither.
void V02Decode::StartReadAhead(uint64_t memoryInUse) {
  if (!allowReadAhead_ || movie_.frameCount == 0) return;
  auto release = [this] {
    for (auto& bitmap : aheadBitmaps_) bitmap.reset();
    aheadSound_.reset();
  };
  // A movie of one chunk has nothing to read ahead into a second set.
  const uint64_t setBytes =
      uint64_t{movie_.framesPerChunk} * TBitmap::RowBytesFor(movie_.width) * movie_.height +
      uint64_t{movie_.soundBlockBytes};
  if (movie_.frameCount > movie_.framesPerChunk && memoryInUse + setBytes <= memoryLimit_) {
    // Zeros, like the first set: a VD00 movie without sound never writes it.
    if (!CreateBitmapSet(aheadBitmaps_) || !ObtainZeroed(aheadSound_, soundBytesPerChunk_)) {
      release();
    }
  }
  std::unique_ptr<ReadAhead> worker(new (std::nothrow) ReadAhead(*this));
  if (!worker || !worker->Start()) return release();
  readAhead_ = std::move(worker);
}

MovieResult V02Decode::ReadChunk() {
  return format_ == Format::kV00 ? ReadChunkV00() : ReadChunkV02();
}

// A failed chunk leaves the file somewhere inside it, where nothing sensible
// can be read any more: the failure sticks until the next Open.
MovieResult V02Decode::ReadChunkV02() {
  if (stickyError_ != kMovieOk) return stickyError_;
  if (!open_ || format_ != Format::kV02) return NotOpen();
  return DeliverChunk();
}

MovieResult V02Decode::ReadChunkV00() {
  if (stickyError_ != kMovieOk) return stickyError_;
  if (!open_ || format_ != Format::kV00) return NotOpen();
  return DeliverChunk();
}

// What an aborted chunk contributes: nothing. Its frames and sound may be
// half written, so none of them is handed over.
V02Decode::ChunkOutcome V02Decode::Aborted(ChunkOutcome& outcome) const {
  ChunkFailed(outcome, kMovieAborted, FailureKind::kAborted, FailureTest::kAbortRequested, 0, 0,
              nullptr);
  outcome.frames = 0;
  outcome.sound = false;
  return outcome;
}

// An abort seen on the caller's side, before a chunk is handed over. It names
// that chunk and its first frame from what the caller has been given: the
// worker's own counts may be a chunk ahead, and they are its own while it
// decodes, not to be read from this thread.
MovieResult V02Decode::AbortBeforeHandOver() {
  failure_ = MovieFailure();
  failure_.kind = FailureKind::kAborted;
  failure_.test = FailureTest::kAbortRequested;
  failure_.inChunk = true;
  const uint32_t delivered = movie_.frameCount - framesRemaining_;
  failure_.chunkIndex = delivered / movie_.framesPerChunk;
  failure_.frameIndex = delivered;
  return stickyError_ = kMovieAborted;
}

MovieResult V02Decode::NotOpen() {
  failure_ = MovieFailure();
  failure_.kind = FailureKind::kReadFailed;
  failure_.test = FailureTest::kNotOpen;
  return kMovieReadError;
}

// A failure of the chunk being decoded, at the movie frame about to be
// decoded (the chunk's first for a failure of the chunk as a whole).
void V02Decode::ChunkFailed(ChunkOutcome& outcome, MovieResult result, FailureKind kind,
                            FailureTest test, uint64_t found, uint64_t bound,
                            const RawFile* file) const {
  outcome.result = result;
  MovieFailure& f = outcome.failure;
  f.kind = kind;
  f.test = test;
  f.values[0] = found;
  f.values[1] = bound;
  f.sysErrno = file != nullptr ? file->LastErrno() : 0;
  f.inChunk = true;
  f.chunkIndex = chunksDecoded_ - 1;
  f.frameIndex = movie_.frameCount - framesUndecoded_;
}

// The first chunk is decoded here, into the caller's set; from then on each
// chunk has been read ahead into the second set while the caller wrote the
// one before, and the next is asked for as soon as this one is handed over.
MovieResult V02Decode::DeliverChunk() {
  if (framesRemaining_ == 0) return kMovieOk;
  ChunkOutcome outcome;
  // An abort seen before a chunk is handed over wins, even over a chunk the
  // worker has already finished, so that the caller gets the same answer
  // however far ahead the worker happens to be.
  if (abortFlag_ != nullptr && abortFlag_->load(std::memory_order_relaxed)) {
    return AbortBeforeHandOver();
  }
  if (readAhead_) {
    if (!readAhead_->InFlight()) readAhead_->Request(false);
    const bool intoSecondSet = readAhead_->IntoSecondSet();
    outcome = readAhead_->Wait(waitHook_);
    // A chunk that failed before writing anything changes nothing.
    if (intoSecondSet && (outcome.frames != 0 || outcome.sound)) TakeAheadSet(outcome);
  } else {
    outcome = DecodeChunk(frameBitmaps, soundBlock.get());
  }
  framesRemaining_ -= outcome.frames;
  if (outcome.result != kMovieOk) {
    failure_ = outcome.failure;
    return stickyError_ = outcome.result;
  }
  if (ReadingAhead() && framesUndecoded_ != 0) readAhead_->Request(true);
  return kMovieOk;
}

// Hands the second set to the caller. What the chunk did not write must show
// what it would have shown had the chunk been decoded into the caller's set:
// the slots after the movie's last frame (or after a failed read) keep the
// pictures of the chunk before, and a chunk whose sound was not read keeps
// the sound before. Those are copied over first; it happens at most once a
// movie, in its last chunk or its failed one.
void V02Decode::TakeAheadSet(const ChunkOutcome& outcome) {
  for (uint32_t slot = outcome.frames; slot < movie_.framesPerChunk; ++slot) {
    std::memcpy(aheadBitmaps_[slot]->Pixels(), frameBitmaps[slot]->Pixels(),
                frameBitmaps[slot]->PixelBytes());
  }
  if (!outcome.sound) std::memcpy(aheadSound_.get(), soundBlock.get(), movie_.soundBlockBytes);
  for (uint32_t slot = 0; slot < movie_.framesPerChunk; ++slot)
    frameBitmaps[slot].swap(aheadBitmaps_[slot]);
  soundBlock.swap(aheadSound_);
}

V02Decode::ChunkOutcome V02Decode::DecodeChunk(std::unique_ptr<TBitmap>* slots, int16_t* sound) {
  ++chunksDecoded_;
  return format_ == Format::kV00 ? DecodeChunkV00(slots, sound) : DecodeChunkV02(slots, sound);
}

V02Decode::ChunkOutcome V02Decode::DecodeChunkV02(std::unique_ptr<TBitmap>* slots, int16_t* sound) {
  ChunkOutcome outcome;
  const auto readFailed = [&](FailureTest test) {
    ChunkFailed(outcome, kMovieReadError, FailureKind::kReadFailed, test, 0, 0, &movieFile_);
    return outcome;
  };
  uint8_t header[kChunkHeaderBytes];
  if (!movieFile_.Read(header, sizeof header)) return readFailed(FailureTest::kChunkHeader);
  const uint64_t size = LoadLe32(header + 4);
  if (size > chunkBufferSize_ - kChunkHeaderBytes) {
    ChunkFailed(outcome, kMovieNoMemory, FailureKind::kDamaged, FailureTest::kChunkAboveBuffer,
                size, chunkBufferSize_ - kChunkHeaderBytes, nullptr);
    return outcome;
  }
  // A size below the sound bytes leaves the chunk no defined video data.
  if (size < soundBytesPerChunk_) {
    ChunkFailed(outcome, kMovieReadError, FailureKind::kDamaged, FailureTest::kChunkBelowSound,
                size, soundBytesPerChunk_, nullptr);
    return outcome;
  }
  if (!movieFile_.Read(soundBytes_.get(), soundBytesPerChunk_)) {
    return readFailed(FailureTest::kChunkSound);
  }
  const auto video = static_cast<size_t>(size - soundBytesPerChunk_);
  if (!movieFile_.Read(chunkBuffer_.get(), video)) return readFailed(FailureTest::kChunkVideo);
  videoBytes_ = video;

  size_t position = 0;
  for (uint32_t slot = 0; slot < movie_.framesPerChunk; ++slot) {
    // An abort, or Close waiting: what the chunk holds is thrown away.
    if (Stopping()) return Aborted(outcome);
    position = DecodeFrame(position, frame16_.get());
    if (frameStop_ == FrameStop::kAborted) return Aborted(outcome);
    // The frames before it are delivered with the failure, as a VD00 chunk
    // delivers those before a frame it cannot read.
    if (frameStop_ == FrameStop::kOverBudget) {
      ChunkFailed(outcome, kMovieReadError, FailureKind::kDamaged,
                  FailureTest::kFrameWorkAboveBudget, frameWork_, FrameWorkBudget(), nullptr);
      return outcome;
    }
    ToBitmap(frame16_.get(), *slots[slot]);
    if (Stopping()) return Aborted(outcome);
    ++outcome.frames;
    if (--framesUndecoded_ == 0) break;
  }
  ConvertSound(sound);
  outcome.sound = true;
  return outcome;
}

V02Decode::ChunkOutcome V02Decode::DecodeChunkV00(std::unique_ptr<TBitmap>* slots, int16_t* sound) {
  static_assert(std::endian::native == std::endian::little,
                "raw VD00 pixels are read as stored, little-endian");
  ChunkOutcome outcome;
  for (uint32_t slot = 0; slot < movie_.framesPerChunk; ++slot) {
    if (Stopping()) return Aborted(outcome);
    // A frame that cannot be read whole fails the chunk; the frames before it
    // stay converted and counted.
    if (!movieFile_.Read(frame16_.get(), static_cast<size_t>(chunkBufferSize_))) {
      ChunkFailed(outcome, kMovieReadError, FailureKind::kReadFailed, FailureTest::kRawFrame, 0, 0,
                  &movieFile_);
      return outcome;
    }
    ToBitmap(frame16_.get(), *slots[slot]);
    if (Stopping()) return Aborted(outcome);
    ++outcome.frames;
    if (--framesUndecoded_ == 0) break;
  }
  // Without a companion both sound blocks keep the zeros they got at open.
  if (noSound_) {
    outcome.sound = true;
    return outcome;
  }
  if (!soundFile_.Read(soundBytes_.get(), soundBytesPerChunk_)) {
    ChunkFailed(outcome, kMovieReadError, FailureKind::kReadFailed, FailureTest::kCompanionSound,
                0, 0, &soundFile_);
    return outcome;
  }
  ConvertSound(sound);
  outcome.sound = true;
  return outcome;
}

void V02Decode::Close() {
  // First the worker: it may be using everything below.
  if (readAhead_) {
    readAhead_->Stop();
    readAhead_.reset();
  }
  abandonChunk_.store(false, std::memory_order_relaxed);
  for (auto& bitmap : aheadBitmaps_) bitmap.reset();
  aheadSound_.reset();
  planes_.reset();
  pixelPairs_.reset();
  chunkBuffer_.reset();
  soundBytes_.reset();
  frame16_.reset();
  soundBlock.reset();
  for (auto& bitmap : frameBitmaps) bitmap.reset();
  movieFile_.Close();
  soundFile_.Close();
  planeSize_ = 0;
  chunksDecoded_ = 0;
  videoCapacity_ = 0;
  videoBytes_ = 0;
  open_ = false;
  stickyError_ = kMovieOk;
}

int V02Decode::LoadPreview(const std::string& path) {
  const bool allowed = allowReadAhead_;
  allowReadAhead_ = false;
  const MovieResult opened = Open(path);
  allowReadAhead_ = allowed;
  if (opened != kMovieOk) return 1;
  if (ReadChunk() != kMovieOk) return 1;
  if (!previewBitmap.Assign(*frameBitmaps[0])) return 1;
  Close();
  return 0;
}

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "v02dec/MovieFailure.h"
#include "v02dec/MovieParameters.h"
#include "v02dec/MovieResult.h"
#include "v02dec/RawFile.h"
#include "v02dec/TBitmap.h"

class ByteReader;

// The companion sound file of a VD00 movie: the movie's path with its
// extension replaced by ".snd", in whichever letter case exists. Empty when
// none exists.
std::string FindCompanion(const std::string& moviePath);

// Reads one VD02 (".V02") or VD00 (".V00" with an optional ".snd") movie at a
// time and delivers it chunk by chunk as 24-bit frame bitmaps and a block of
// 16-bit sound. Every buffer is obtained at Open and reused until Close.
//
// Threads. Every call comes from one thread, the caller's; a V02Decode is not
// to be shared between threads. Open also starts a worker thread of the
// decoder's own, which decodes every chunk while ReadChunk waits (running its
// wait hook, SetWaitHook). For a movie of more than one chunk it also reads
// ahead: when ReadChunk
// has delivered chunk k in one set of frame bitmaps and sound block, the
// worker reads and decodes chunk k + 1 into a second set while the caller
// writes chunk k out. The next ReadChunk waits for that chunk, makes the
// frameBitmaps slots and soundBlock point at its set, returns its result and
// hands the worker chunk k + 2 with the set the caller has just finished
// with. So, for the caller:
//  - the bitmaps and the sound block that a ReadChunk delivered are valid and
//    unchanged until the next ReadChunk or Close, and no longer: the next
//    ReadChunk may put other objects into the slots and soundBlock, so keep
//    no pointer to them across calls;
//  - the results of every call are those of decoding each chunk in ReadChunk
//    itself: the same result codes, the same sticky failures, the same
//    picture and sound in every slot (slots that a chunk does not fill, after
//    the last frame of the movie or after a failed read, show the pictures
//    they showed before the call), and FramesRemaining() counts the frames
//    delivered, never those read ahead;
//  - Close (and the destructor) may come at any time: it stops the worker,
//    which abandons its chunk within a run, block or row, and waits for it
//    to end.
// The worker, its mutex and its condition variables exist from Open to Close,
// for every movie with frames but never for LoadPreview; the worker blocks
// every signal, so that signals reach the caller's threads. Reading ahead
// costs a second set of frame bitmaps and a second sound block, counted in
// the memory limit; a movie whose second set would not fit is decoded on the
// worker without reading ahead, and one whose worker cannot be started is
// decoded inside ReadChunk. The frame-level access
// functions below must not be used while chunks are being read.
class V02Decode {
 public:
  static constexpr int kMaxFramesPerChunk = 64;
  // Largest width or height accepted by Open.
  static constexpr uint32_t kMaxDimension = 8192;
  // Header fields must fit the AVI file as its readers take them. The WAVE
  // format's sample rate is read as a signed 32-bit number (and twice the
  // rate, the bytes per second, must fit 32 bits); the frame clock scale / 60
  // is taken as a fraction of signed 32-bit numbers; a chunk's sound block is
  // one AVI chunk, whose size is a signed 32-bit count. Above these Open
  // refuses the movie (58). A frame of at most 8192 x 8192 pixels, 201 MB,
  // always fits a chunk.
  static constexpr uint32_t kMaxSoundRate = 0x7FFFFFFF;
  static constexpr uint32_t kMaxScale = 0x7FFFFFFF;
  static constexpr uint64_t kMaxSoundBlockBytes = 0x7FFFFFFF;
  // The least cap on everything one Open obtains (buffers, frame bitmaps,
  // the pixel-pair table and the read-ahead's second set); the default cap is
  // three quarters of the machine's memory when that is more
  // (DefaultMemoryLimit).
  static constexpr uint64_t kMinMemoryLimit = uint64_t{3} << 29;  // 1.5 GiB
  static uint64_t DefaultMemoryLimit();
  // For tests of what hosts make of a movie too large for memory: the cap
  // that decoders constructed from now on start with; 0 restores the
  // machine's own.
  static void OverrideDefaultMemoryLimit(uint64_t bytes);
  // Bytes of the colour table of a VD02 file.
  static constexpr size_t kColourTableBytes = 33280;

  V02Decode();
  virtual ~V02Decode();
  V02Decode(const V02Decode&) = delete;
  V02Decode& operator=(const V02Decode&) = delete;

  // The movie's parameters, set by a successful Open.
  const MovieParameters& Parameters() const { return movie_; }

  // Slot i receives frame i of the current chunk. Created at Open.
  std::unique_ptr<TBitmap> frameBitmaps[kMaxFramesPerChunk];
  // The chunk's sound as signed 16-bit samples (host order, which is
  // little-endian on every platform we build for), soundBlockBytes long.
  std::unique_ptr<int16_t[], FreeWithStdFree> soundBlock;
  // First frame copied by LoadPreview; lives as long as the decoder.
  TBitmap previewBitmap;

  // 0 success; 1 a file cannot be opened or ends inside its header or the
  // colour table; 2 a buffer cannot be obtained or the movie would need more
  // memory than allowed; 58 unknown extension or a failed header test.
  // Whatever the result, Close must follow.
  MovieResult Open(const std::string& path);
  MovieResult OpenV02(const std::string& path);
  MovieResult OpenV00(const std::string& path);
  // Delivers the next chunk in frameBitmaps[0..n-1] and soundBlock. 0 also
  // when no frame remains (nothing changes then); 1 a read failed (or the
  // chunk is malformed, or a frame asks for more work than the budget); 2 a
  // VD02 chunk is larger than the chunk buffer; kMovieAborted an abort
  // (WatchAbort) stopped it.
  // After a failure every later call returns the same result until the next
  // Open. A VD02 chunk fails before any of its frames is delivered, but for
  // a frame over the work budget; a VD00 chunk that fails after some frames,
  // and a VD02 chunk with a frame over budget, deliver the frames before it
  // with the failure (FramesRemaining() goes down by them).
  MovieResult ReadChunk();
  MovieResult ReadChunkV02();
  MovieResult ReadChunkV00();
  // Releases all that Open obtained; safe when nothing is open.
  void Close();
  // 0 when the first frame of the movie is in previewBitmap, 1 otherwise.
  int LoadPreview(const std::string& path);

  // Abort. While `flag` is true, the decoding of a chunk stops within one
  // run, block or row of a frame and ReadChunk returns kMovieAborted: the
  // chunk in hand contributes nothing (neither frames nor sound), so a caller
  // that writes what it was given ends with the frames of the chunks before.
  // The flag stays the caller's; it is only ever read, from the caller's
  // thread and the worker. nullptr (the default) for none.
  void WatchAbort(const std::atomic<bool>* flag) { abortFlag_ = flag; }
  // While ReadChunk waits for a chunk that the worker decodes, it calls
  // `hook` on the caller's thread about every kWaitHookInterval, so that a
  // window can keep handling its events (an abort button) during a long
  // chunk. Every chunk of a movie is decoded on the worker when one could be
  // started, the first and the last too. Empty (the default) for none.
  void SetWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }
  static constexpr int kWaitHookIntervalMs = 100;

  // Why the last Open or ReadChunk failed (kind kNone after a success). An
  // Open resets it; a failure that sticks keeps its first description.
  const MovieFailure& LastFailure() const { return failure_; }

  // Caps what one Open may obtain in all (default DefaultMemoryLimit()); a
  // movie that needs more opens with result 2. The fuzzer lowers it.
  void SetMemoryLimit(uint64_t bytes) { memoryLimit_ = bytes; }
  // Frames of the movie not yet delivered by ReadChunk.
  uint32_t FramesRemaining() const { return framesRemaining_; }
  // Whether the next Open may use the worker (the default); off, every chunk
  // is decoded inside ReadChunk, with the same results.
  void SetReadAhead(bool allowed) { allowReadAhead_ = allowed; }
  // True from an Open that started the worker with a second set, so that it
  // decodes a chunk while the caller writes the one before, to Close.
  bool ReadingAhead() const { return readAhead_ != nullptr && aheadSound_ != nullptr; }
  // Most work one frame of the open VD02 movie may take, in bytes written
  // (see FrameDecode.cpp); a frame that needs more is damaged.
  uint64_t FrameWorkBudget() const;
  // What the last successful Open found: a VD00 movie (else VD02), and for
  // VD00 whether it has a companion sound file.
  bool IsV00() const { return format_ == Format::kV00; }
  bool HasCompanion() const { return format_ == Format::kV00 && !noSound_; }

  // Frame-level access, for tests and benchmarks. Valid after OpenV02 has
  // returned 0; the frame routines never allocate and never fail.
  //
  // The working frame: PlaneSize() bytes, luma plane then chroma plane, each
  // with a row stride of width / 2. It persists from frame to frame.
  uint32_t PlaneSize() const { return planeSize_; }
  uint8_t* WorkingFrame() { return planes_.get(); }
  // The 16-bit frame, width x height movie pixels from the top row down.
  uint16_t* Frame16() { return frame16_.get(); }
  // Puts op lists into the chunk buffer as if a chunk had brought them as its
  // video data. False (and nothing changed) when they do not fit.
  bool LoadVideoData(const uint8_t* data, size_t bytes);
  // Applies the op list at byte position `position` of the chunk's video data
  // to the working frame, expands the result into `frame` (width x height
  // pixels) and returns the position after that op list.
  size_t DecodeFrame(size_t position, uint16_t* frame);
  // Writes a width x height frame of movie pixels into a 24-bit bitmap of the
  // same size; a bitmap of another size is left alone.
  void ToBitmap(const uint16_t* frame, TBitmap& bitmap) const;

 private:
  enum class Format : uint32_t { kV02 = 0, kV00 = 1 };
  class ReadAhead;

  // What decoding one chunk into a set of bitmaps and a sound block did: its
  // result, how many frames it wrote (from slot 0 on), and whether it wrote
  // the sound block.
  struct ChunkOutcome {
    MovieResult result = kMovieOk;
    uint32_t frames = 0;
    bool sound = false;
    MovieFailure failure;  // when result is not kMovieOk
  };

  MovieResult LoadColourTable();
  void BuildPixelPairs();
  // Obtains the second set and starts the worker when the movie has more
  // than one chunk and the set fits the memory limit; without them the
  // movie is read on the caller's thread alone.
  void StartReadAhead(uint64_t memoryInUse);
  bool CreateBitmapSet(std::unique_ptr<TBitmap>* slots);
  MovieResult DeliverChunk();
  void TakeAheadSet(const ChunkOutcome& outcome);
  // Reads and decodes the next chunk not yet decoded into `slots` and
  // `sound`: on the caller's thread, or on the worker while a chunk is in
  // flight, when nothing else touches the files, the planes, the buffers or
  // framesUndecoded_.
  ChunkOutcome DecodeChunk(std::unique_ptr<TBitmap>* slots, int16_t* sound);
  ChunkOutcome DecodeChunkV02(std::unique_ptr<TBitmap>* slots, int16_t* sound);
  ChunkOutcome DecodeChunkV00(std::unique_ptr<TBitmap>* slots, int16_t* sound);

  // Why a frame's op list stopped before its end.
  enum class FrameStop : uint8_t { kNone, kOverBudget, kAborted };
  bool Stopping() const {
    return abandonChunk_.load(std::memory_order_relaxed) ||
           (abortFlag_ != nullptr && abortFlag_->load(std::memory_order_relaxed));
  }
  // Charges the frame for writing `bytes` (and for one parsed item); false
  // when it must stop, frameStop_ saying why.
  bool Spend(uint64_t bytes);
  template <class Move>
  bool ForEachBlock(ByteReader payload, Move move);

  // VD02 frame reconstruction. Each op gets a reader over its own payload.
  void FillBytes(ByteReader payload);
  void FillWords(ByteReader payload);
  void CopyBytes(ByteReader payload);
  void MoveBlocks(ByteReader payload);
  void ExpandFrame(uint16_t* frame);
  const uint8_t* ExpandRow(const uint8_t* luma, size_t chromaDistance, uint16_t* out) const;

  void ConvertSound(int16_t* out) const;

  // The colour table as stored in the file (little-endian entries, converted
  // to host order at load): 64 rows of 256 movie pixels, then 256 level pairs
  // (left pixel's level in the low byte, right pixel's in the high byte).
  struct ColourTable {
    uint16_t pixels[64 * 256];
    uint16_t levelPairs[256];
  };
  static_assert(sizeof(ColourTable) == kColourTableBytes);

  // Both pixels that a luma byte stands for over a chroma byte, as one
  // 4-byte word (left pixel in the low half): entry luma * 256 + chroma. It
  // turns the three table reads per pixel pair of the expansion into one.
  // 256 x 256 x 4 bytes, obtained at open with the other buffers (VD02 only)
  // and filled from the colour table.
  static constexpr size_t kPixelPairEntries = 256 * 256;

  MovieResult Refuse(FailureTest test, uint64_t found, uint64_t bound);
  MovieResult ReadFailed(FailureTest test, const RawFile& file);
  MovieResult NoMemory(FailureTest test, uint64_t found, uint64_t bound);
  // The header fields that the AVI file must hold; 58 when one cannot.
  MovieResult CheckAviFields(uint64_t soundBytesPerChunk);
  MovieResult CheckDimensions(uint32_t w, uint32_t h, bool planes);
  MovieResult NotOpen();
  MovieResult AbortBeforeHandOver();
  ChunkOutcome Aborted(ChunkOutcome& outcome) const;
  void ChunkFailed(ChunkOutcome& outcome, MovieResult result, FailureKind kind, FailureTest test,
                   uint64_t found, uint64_t bound, const RawFile* file) const;

  MovieParameters movie_;
  uint64_t memoryLimit_ = DefaultMemoryLimit();
  MovieFailure failure_;
  std::unique_ptr<uint32_t[]> pixelPairs_;
  std::unique_ptr<uint8_t[], FreeWithStdFree> planes_;  // working frame, then reference copy
  std::unique_ptr<uint8_t[]> chunkBuffer_;  // a VD02 chunk's video data
  std::unique_ptr<uint8_t[]> soundBytes_;   // a chunk's 8-bit sound as read
  std::unique_ptr<uint16_t[]> frame16_;
  ColourTable colourTable_{};
  uint32_t planeSize_ = 0;
  uint64_t chunkBufferSize_ = 0;  // largest chunk: header size field + 32
  size_t videoCapacity_ = 0;      // bytes chunkBuffer_ holds
  size_t videoBytes_ = 0;         // video data of the current chunk
  uint32_t soundBytesPerChunk_ = 0;
  uint32_t framesRemaining_ = 0;  // not yet delivered
  uint32_t framesUndecoded_ = 0;  // not yet decoded into either set
  uint32_t chunksDecoded_ = 0;    // chunks begun by DecodeChunk, for failures
  Format format_ = Format::kV02;
  bool noSound_ = false;
  bool open_ = false;  // Open succeeded; chunks may be read
  bool allowReadAhead_ = true;
  MovieResult stickyError_ = kMovieOk;
  RawFile movieFile_;
  RawFile soundFile_;

  // The read-ahead: the worker and the second set, which it fills while the
  // caller holds the first. Close sets abandonChunk_ so that the worker
  // stops at the next frame.
  std::unique_ptr<ReadAhead> readAhead_;
  std::unique_ptr<TBitmap> aheadBitmaps_[kMaxFramesPerChunk];
  std::unique_ptr<int16_t[], FreeWithStdFree> aheadSound_;
  std::atomic<bool> abandonChunk_{false};
  const std::atomic<bool>* abortFlag_ = nullptr;
  std::function<void()> waitHook_;
  uint64_t frameWork_ = 0;
  FrameStop frameStop_ = FrameStop::kNone;
};

#include "avifile/AviWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "avifile/LeBytes.h"
#include "platform/FileAccess.h"
#include "platform/Files.h"

namespace avifile {
namespace {

constexpr uint32_t kRiff = mmioFOURCC('R', 'I', 'F', 'F');
constexpr uint32_t kList = mmioFOURCC('L', 'I', 'S', 'T');
constexpr uint32_t kJunk = mmioFOURCC('J', 'U', 'N', 'K');

constexpr DWORD kAvifHasIndex = 0x00000010;
constexpr uint8_t kIndexOfIndexes = 0x00;
constexpr uint8_t kIndexOfChunks = 0x01;
// A standard index entry marks a chunk that is not a key frame in its top bit.
constexpr uint32_t kDeltaFrame = 0x80000000u;

constexpr uint64_t kOffsetMask = (uint64_t{1} << 48) - 1;
constexpr size_t kTailBufferBytes = 64 * 1024;
// Index entries reserved up front per stream; growth beyond is amortised.
constexpr size_t kMaxIndexReserve = size_t{1} << 20;

constexpr uint64_t kDmlhBytes = AviWriter::kDmlhBytes;
constexpr uint64_t kSuperIndexBytes = AviWriter::kSuperIndexBytes;

uint64_t Even(uint64_t bytes) { return bytes + (bytes & 1); }
uint64_t AlignUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }
uint32_t Clamp32(uint64_t value) {
  return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

void PutFourcc(LeBytes& out, uint32_t fourcc) { out.U32(fourcc); }

size_t NameBytes(const AVISTREAMINFOA& info) {
  const size_t letters = strnlen(info.szName, sizeof info.szName);
  return letters == 0 ? 0 : letters + 1;
}

// Chunks and lists in a buffer are measured, not predicted: BeginChunk puts
// the id and a size to be patched and returns where the chunk starts;
// EndChunk patches in the size of what was put since, then the pad byte.
size_t BeginChunk(LeBytes& out, uint32_t id) {
  const size_t at = out.Size();
  out.U32(id);
  out.U32(0);
  return at;
}

size_t BeginList(LeBytes& out, uint32_t type) {
  const size_t at = BeginChunk(out, kList);
  out.U32(type);
  return at;
}

void EndChunk(LeBytes& out, size_t at) {
  const size_t size = out.Size() - at - 8;
  out.Patch32(at + 4, static_cast<uint32_t>(size));
  out.Zeros(size & 1);
}

// The chunk id of stream n: its number in two digits and the kind of data,
// 'wb' for sound, 'db' for uncompressed frames, 'dc' for anything else.
uint32_t ChunkIdFor(int n, DWORD fccType, DWORD compression) {
  const char tens = static_cast<char>('0' + n / 10);
  const char ones = static_cast<char>('0' + n % 10);
  if (fccType == streamtypeAUDIO) return mmioFOURCC(tens, ones, 'w', 'b');
  if (fccType == streamtypeVIDEO && compression == BI_RGB) return mmioFOURCC(tens, ones, 'd', 'b');
  return mmioFOURCC(tens, ones, 'd', 'c');
}

using platform::WriteAllAt;

}  // namespace

// Streams little-endian fields to the file at increasing offsets through a
// fixed buffer, for the indexes, which can be far larger than any buffer we
// want to hold. Chunks are measured here too: the size of a chunk is patched
// in the buffer while its header is still there, or written in place.
class AviWriter::Sink {
 public:
  Sink(platform::FileHandle file, uint64_t offset, std::vector<uint8_t>& buffer)
      : file_(file), offset_(offset), buffer_(buffer), out_(buffer.data(), buffer.size()) {}

  // Room for a group of fields; every group is far smaller than the buffer.
  LeBytes& Room(size_t bytes) {
    if (out_.Left() < bytes) Flush();
    return out_;
  }
  uint64_t BeginChunk(uint32_t id) {
    const uint64_t at = Position();
    LeBytes& head = Room(8);
    head.U32(id);
    head.U32(0);
    return at;
  }
  // Index chunks are made of 4-byte fields: never a pad byte.
  void EndChunk(uint64_t at) {
    const uint32_t size = Clamp32(Position() - at - 8);
    if (at + 4 >= offset_) {
      out_.Patch32(static_cast<size_t>(at + 4 - offset_), size);
    } else if (!failed_) {
      uint8_t bytes[4];
      LeBytes(bytes, sizeof bytes).U32(size);
      Note(WriteAllAt(file_, bytes, sizeof bytes, at + 4));
    }
  }
  bool Flush() {
    if (!failed_ && out_.Size() != 0) {
      Note(WriteAllAt(file_, buffer_.data(), out_.Size(), offset_));
    }
    offset_ += out_.Size();
    out_ = LeBytes(buffer_.data(), buffer_.size());
    return !failed_;
  }
  uint64_t Position() const { return offset_ + out_.Size(); }
  // errno of the write that failed.
  int Error() const { return error_; }

 private:
  void Note(int error) {
    if (error != 0) {
      failed_ = true;
      error_ = error;
    }
  }

  platform::FileHandle file_;
  uint64_t offset_;  // of the first byte in the buffer
  std::vector<uint8_t>& buffer_;
  LeBytes out_;
  bool failed_ = false;
  int error_ = 0;
};

AviWriter::~AviWriter() {
  if (file_ != platform::kNoFile) platform::CloseFile(file_);
}

bool AviWriter::Failed(int error) {
  error_ = error;
  return false;
}

HRESULT AviWriter::Create(const char* path, uint64_t riffLimit, uint64_t refreshBytes,
                          bool exclusive) {
  if (path == nullptr || *path == '\0') {
    error_ = ENOENT;
    return AVIERR_BADPARAM;
  }
  // Obtained before the file is touched: a file we cannot go on with must
  // not be left behind empty.
  try {
    streams_.reserve(kMaxStreams);
    path_ = path;
  } catch (const std::bad_alloc&) {
    error_ = ENOMEM;
    return AVIERR_MEMORY;
  }
  // Anything but a regular file is refused, since the header is written
  // last at the start of the file.
  if (const int error = platform::CreateForWriting(path_, exclusive, file_); error != 0) {
    error_ = error;
    return AVIERR_FILEOPEN;
  }
  riffLimit_ = std::clamp<uint64_t>(riffLimit, 1, kHardRiffBytes);
  refreshBytes_ = std::max<uint64_t>(refreshBytes, 1);
  return AVIERR_OK;
}

HRESULT AviWriter::AddStream(const AVISTREAMINFOA& info, int* number) {
  if (file_ == platform::kNoFile) return AVIERR_BADHANDLE;
  // The header space is fixed by the first sample written.
  if (frozen_) return AVIERR_UNSUPPORTED;
  if (static_cast<int>(streams_.size()) >= kMaxStreams) return AVIERR_UNSUPPORTED;
  // The frame rectangle is stored as four signed 16-bit values, and the main
  // header's frame duration in whole microseconds in 32 bits: values beyond
  // are refused rather than written wrapped.
  const LONG corners[4] = {info.rcFrame.left, info.rcFrame.top, info.rcFrame.right,
                           info.rcFrame.bottom};
  for (LONG corner : corners) {
    if (corner < INT16_MIN || corner > INT16_MAX) {
      error_ = EOVERFLOW;
      return AVIERR_BADPARAM;
    }
  }
  if (info.fccType == streamtypeVIDEO && info.dwRate != 0 &&
      (uint64_t{1000000} * info.dwScale + info.dwRate / 2) / info.dwRate > 0xFFFFFFFFu) {
    error_ = EOVERFLOW;
    return AVIERR_BADPARAM;
  }
  const int n = static_cast<int>(streams_.size());
  try {
    Stream stream;
    stream.info = info;
    stream.super.reserve(kSuperIndexEntries);
    stream.indexId = mmioFOURCC('i', 'x', static_cast<char>('0' + n / 10),
                                static_cast<char>('0' + n % 10));
    streams_.push_back(std::move(stream));
  } catch (const std::bad_alloc&) {
    error_ = ENOMEM;
    return AVIERR_MEMORY;
  }
  *number = n;
  return AVIERR_OK;
}

HRESULT AviWriter::SetFormat(int n, LONG position, const void* format, LONG bytes) {
  if (file_ == platform::kNoFile || n < 0 || n >= static_cast<int>(streams_.size())) return AVIERR_BADHANDLE;
  if (format == nullptr || bytes <= 0) return AVIERR_BADPARAM;
  if (bytes > 65536) return AVIERR_BADSIZE;
  // Formats that change within a stream are not supported, nor are formats
  // set after the header space is fixed.
  if (position != 0 || frozen_) return AVIERR_UNSUPPORTED;
  Stream& stream = streams_[n];
  const auto* raw = static_cast<const uint8_t*>(format);
  const size_t size = static_cast<size_t>(bytes);
  std::vector<uint8_t> serial;
  try {
    serial.resize(size);
  } catch (const std::bad_alloc&) {
    error_ = ENOMEM;
    return AVIERR_MEMORY;
  }
  LeBytes out(serial.data(), serial.size());
  size_t known = 0;  // bytes taken field by field; the rest go as they are
  DWORD compression = BI_RGB;
  if (stream.info.fccType == streamtypeVIDEO) {
    if (size < sizeof(BITMAPINFOHEADER)) return AVIERR_BADFORMAT;
    BITMAPINFOHEADER header;
    std::memcpy(&header, raw, sizeof header);
    out.U32(header.biSize);
    out.U32(static_cast<uint32_t>(header.biWidth));
    out.U32(static_cast<uint32_t>(header.biHeight));
    out.U16(header.biPlanes);
    out.U16(header.biBitCount);
    out.U32(header.biCompression);
    out.U32(header.biSizeImage);
    out.U32(static_cast<uint32_t>(header.biXPelsPerMeter));
    out.U32(static_cast<uint32_t>(header.biYPelsPerMeter));
    out.U32(header.biClrUsed);
    out.U32(header.biClrImportant);
    known = sizeof header;
    compression = header.biCompression;
  } else if (stream.info.fccType == streamtypeAUDIO) {
    if (size < sizeof(WAVEFORMAT)) return AVIERR_BADFORMAT;
    PCMWAVEFORMAT wave{};
    std::memcpy(&wave, raw, std::min(size, sizeof wave));
    out.U16(wave.wf.wFormatTag);
    out.U16(wave.wf.nChannels);
    out.U32(wave.wf.nSamplesPerSec);
    out.U32(wave.wf.nAvgBytesPerSec);
    out.U16(wave.wf.nBlockAlign);
    known = sizeof(WAVEFORMAT);
    if (size >= sizeof(PCMWAVEFORMAT)) {
      out.U16(wave.wBitsPerSample);
      known = sizeof(PCMWAVEFORMAT);
    }
    if (size >= sizeof(PCMWAVEFORMAT) + 2) {  // a WAVEFORMATEX's cbSize
      WORD extra;
      std::memcpy(&extra, raw + known, sizeof extra);
      out.U16(extra);
      known += 2;
    }
  }
  out.Bytes(raw + known, size - known);
  stream.format = std::move(serial);
  stream.chunkId = ChunkIdFor(n, stream.info.fccType, compression);
  return AVIERR_OK;
}

int AviWriter::VideoStream() const {
  for (size_t i = 0; i < streams_.size(); ++i) {
    if (streams_[i].info.fccType == streamtypeVIDEO) return static_cast<int>(i);
  }
  return -1;
}

bool AviWriter::AudioStream(const Stream& stream) const {
  return stream.info.fccType == streamtypeAUDIO;
}

bool AviWriter::RiffHasChunks() const {
  for (const Stream& stream : streams_) {
    if (stream.index.size() > stream.riffFirst) return true;
  }
  return false;
}

// Bytes that closing the current RIFF will add after its last chunk: an ix##
// per stream that has chunks in it and, for the first RIFF, the idx1. The
// standard indexes are counted even while the file may stay AVI 1.0, so
// that the first RIFF still fits its limit if it turns out to need them.
uint64_t AviWriter::RiffTailBytes(const uint64_t* chunksPerStream, size_t streams,
                                  bool firstRiff) {
  uint64_t bytes = 0;
  uint64_t chunks = 0;
  for (size_t i = 0; i < streams; ++i) {
    if (chunksPerStream[i] != 0) bytes += 8 + 24 + 8 * chunksPerStream[i];
    chunks += chunksPerStream[i];
  }
  if (firstRiff) bytes += 8 + 16 * chunks;
  return bytes;
}

uint64_t AviWriter::TailBytes(int extraStream) const {
  uint64_t counts[kMaxStreams] = {};
  for (size_t i = 0; i < streams_.size(); ++i) {
    const Stream& stream = streams_[i];
    counts[i] = stream.index.size() - stream.riffFirst + (static_cast<int>(i) == extraStream ? 1 : 0);
  }
  return RiffTailBytes(counts, streams_.size(), riffCount_ == 1);
}

// Fixes the layout: the header space is measured by putting the header list
// once, with room to spare, and the first chunk then starts on the next
// alignment boundary that leaves room for a JUNK chunk and LIST 'movi'.
bool AviWriter::Freeze() {
  if (frozen_) return true;
  size_t room = 4096;
  for (const Stream& stream : streams_) room += 8192 + stream.format.size();
  try {
    headerBuffer_.assign(room, 0);
    tailBuffer_.assign(kTailBufferBytes, 0);
  } catch (const std::bad_alloc&) {
    return Failed(ENOMEM);
  }
  LeBytes measure(headerBuffer_.data(), headerBuffer_.size());
  PutRiffAndHeaderList(measure, HeaderState{0, 0, false, false});
  if (measure.Overrun()) return Failed(EOVERFLOW);
  const uint64_t hdrl = measure.Size();
  const uint64_t dataStart = AlignUp(hdrl + 8 + 12, kChunkAlignment);
  headerBuffer_.resize(dataStart);
  hdrlEnd_ = hdrl;
  dataStart_ = dataStart;
  riffOpen_ = true;
  riffCount_ = 1;
  riffStart_ = 0;
  moviStart_ = dataStart - 12;
  dataEnd_ = dataStart;
  fileEnd_ = dataStart;
  riff0MoviEnd_ = dataStart;
  riff0End_ = dataStart;
  frozen_ = true;
  return true;
}

// Fixes the layout and puts a first header on disk, so that its blocks are
// ours before the disk can fill up: later headers only overwrite them.
HRESULT AviWriter::Start() {
  if (!Freeze()) return AVIERR_MEMORY;
  if (!headerWritten_) {
    if (!Refresh()) return AVIERR_FILEWRITE;
    headerWritten_ = true;
  }
  return AVIERR_OK;
}

// Puts on disk a header that describes every chunk written so far, and the
// sizes of an 'AVIX' RIFF being filled. Until the file is finished the
// header claims no index at all: the chunks of the RIFF being filled are in
// none yet, and a reader that finds no index walks the movi lists, which
// takes it to the last chunk written.
bool AviWriter::Refresh() {
  if (!WriteHeader(false)) return false;
  if (riffOpen_ && riffCount_ > 1 && !PatchRiffSizes(dataEnd_, dataEnd_)) return false;
  refreshedAt_ = dataEnd_;
  return true;
}

bool AviWriter::PatchRiffSizes(uint64_t riffEnd, uint64_t moviEnd) {
  uint8_t sizes[20];
  LeBytes out(sizes, sizeof sizes);
  out.U32(kRiff);
  out.U32(Clamp32(riffEnd - riffStart_ - 8));
  out.U32(mmioFOURCC('A', 'V', 'I', 'X'));
  out.U32(kList);
  out.U32(Clamp32(moviEnd - moviStart_ - 8));
  if (const int error = WriteAllAt(file_, sizes, sizeof sizes, riffStart_); error != 0) {
    return Failed(error);
  }
  return true;
}

HRESULT AviWriter::Write(int n, LONG start, LONG samples, const void* data, LONG bytes,
                         DWORD flags) {
  if (file_ == platform::kNoFile || n < 0 || n >= static_cast<int>(streams_.size())) return AVIERR_BADHANDLE;
  if (bytes < 0 || samples < 0 || (bytes > 0 && data == nullptr)) return AVIERR_BADPARAM;
  Stream& stream = streams_[n];
  if (stream.format.empty()) return AVIERR_BADFORMAT;
  // Samples go on at the end of the stream; there is no writing over or
  // leaving gaps.
  if (start < 0 || static_cast<uint64_t>(start) != stream.length) return AVIERR_BADPARAM;
  if (stream.length + static_cast<uint64_t>(samples) > 0x7FFFFFFF) {
    error_ = EOVERFLOW;
    return AVIERR_BADSIZE;
  }
  for (const Stream& other : streams_) {
    if (other.format.empty()) return AVIERR_BADFORMAT;
  }
  const HRESULT started = Start();
  if (started != AVIERR_OK) return started;
  // The header on disk is brought up to date before the chunk goes on, so a
  // failed refresh changes nothing of the stream.
  if (dataEnd_ - refreshedAt_ >= refreshBytes_ && !Refresh()) return AVIERR_FILEWRITE;

  // The index must take this chunk without failing once it is on disk.
  if (stream.index.size() == stream.index.capacity()) {
    size_t want = stream.index.capacity() * 2;
    if (stream.index.empty()) {
      const uint64_t declared = stream.info.dwSampleSize == 0
                                    ? stream.info.dwLength
                                    : stream.info.dwLength / static_cast<uint64_t>(std::max<LONG>(samples, 1));
      want = static_cast<size_t>(std::min<uint64_t>(declared + 16, kMaxIndexReserve));
    }
    try {
      stream.index.reserve(std::max<size_t>(want, 16));
    } catch (const std::bad_alloc&) {
      error_ = ENOMEM;
      return AVIERR_MEMORY;
    }
  }

  const uint64_t size = static_cast<uint64_t>(bytes);
  const uint64_t chunkBytes = 8 + Even(size);
  bool newRiff = !riffOpen_;
  if (riffOpen_) {
    const uint64_t projected = dataEnd_ - riffStart_ + chunkBytes + TailBytes(n);
    if (projected > riffLimit_ && RiffHasChunks()) {
      if (riffCount_ < kSuperIndexEntries) {
        if (!CloseRiff(false)) return AVIERR_FILEWRITE;
        newRiff = true;
      } else if (projected > kHardRiffBytes) {
        // Every RIFF the super index can hold is full.
        error_ = EFBIG;
        return AVIERR_FILEWRITE;
      }
    }
  }

  uint8_t prefix[24];
  uint8_t header[8];
  uint8_t pad = 0;
  platform::WritePiece parts[4];
  int count = 0;
  uint64_t offset = dataEnd_;
  if (newRiff) {
    offset = fileEnd_;
    // Sizes as if this chunk were all the RIFF holds; they are set right when
    // the RIFF is closed.
    LeBytes out(prefix, sizeof prefix);
    out.U32(kRiff);
    out.U32(Clamp32(4 + 12 + chunkBytes));
    out.U32(mmioFOURCC('A', 'V', 'I', 'X'));
    out.U32(kList);
    out.U32(Clamp32(4 + chunkBytes));
    out.U32(mmioFOURCC('m', 'o', 'v', 'i'));
    parts[count++] = {prefix, sizeof prefix};
  }
  LeBytes out(header, sizeof header);
  out.U32(stream.chunkId);
  out.U32(static_cast<uint32_t>(bytes));
  parts[count++] = {header, sizeof header};
  parts[count++] = {data, size};
  if (size & 1) parts[count++] = {&pad, 1};
  if (const int error = WriteAllAt(file_, parts, count, offset); error != 0) {
    error_ = error;
    return AVIERR_FILEWRITE;
  }

  if (newRiff) {
    riffOpen_ = true;
    ++riffCount_;
    riffStart_ = offset;
    moviStart_ = offset + 12;
    dataEnd_ = offset + 24;
    for (Stream& each : streams_) each.riffFirst = each.index.size();
  }
  // Audio chunks are marked as key frames whatever the caller passed.
  const DWORD indexFlags = AudioStream(stream) ? (flags | AVIIF_KEYFRAME) : flags;
  stream.index.push_back(
      {(dataEnd_ & kOffsetMask) | (static_cast<uint64_t>(indexFlags & 0xFFFF) << 48),
       static_cast<uint32_t>(bytes), static_cast<uint32_t>(samples)});
  dataEnd_ += chunkBytes;
  stream.length += static_cast<uint64_t>(samples);
  stream.largestChunk = std::max(stream.largestChunk, static_cast<uint32_t>(bytes));
  return AVIERR_OK;
}

// The ix## chunk of a stream's chunks in the current RIFF, and the super
// index entry that points at it.
void AviWriter::WriteStandardIndex(Sink& sink, const Stream& stream, SuperEntry* entry) const {
  const size_t n = stream.index.size() - stream.riffFirst;
  const uint64_t at = sink.BeginChunk(stream.indexId);
  LeBytes& head = sink.Room(24);
  head.U16(2);  // longs per entry
  head.U8(0);   // no sub type
  head.U8(kIndexOfChunks);
  head.U32(static_cast<uint32_t>(n));
  head.U32(stream.chunkId);
  head.U64(riffStart_);  // base offset
  head.U32(0);
  uint64_t duration = 0;
  for (size_t i = stream.riffFirst; i < stream.index.size(); ++i) {
    const IndexEntry& chunk = stream.index[i];
    const uint64_t dataAt = (chunk.offsetAndFlags & kOffsetMask) + 8;
    const bool key = ((chunk.offsetAndFlags >> 48) & AVIIF_KEYFRAME) != 0;
    LeBytes& item = sink.Room(8);
    item.U32(static_cast<uint32_t>(dataAt - riffStart_));
    item.U32(chunk.size | (key ? 0 : kDeltaFrame));
    duration += chunk.samples;
  }
  sink.EndChunk(at);
  *entry = {at, Clamp32(sink.Position() - at), Clamp32(duration)};
}

// The idx1 of the first RIFF: every chunk of it, in file order, with offsets
// from the 'movi' fourcc.
void AviWriter::WriteIdx1(Sink& sink) const {
  const uint64_t at = sink.BeginChunk(mmioFOURCC('i', 'd', 'x', '1'));
  // Merge the streams, each already in file order.
  size_t cursor[kMaxStreams] = {};
  const uint64_t moviFourcc = moviStart_ + 8;
  for (;;) {
    int next = -1;
    uint64_t nextOffset = 0;
    for (size_t s = 0; s < streams_.size(); ++s) {
      if (cursor[s] == streams_[s].index.size()) continue;
      const uint64_t offset = streams_[s].index[cursor[s]].offsetAndFlags & kOffsetMask;
      if (next < 0 || offset < nextOffset) {
        next = static_cast<int>(s);
        nextOffset = offset;
      }
    }
    if (next < 0) break;
    const Stream& stream = streams_[next];
    const IndexEntry& chunk = stream.index[cursor[next]++];
    LeBytes& item = sink.Room(16);
    item.U32(stream.chunkId);
    item.U32(static_cast<uint32_t>(chunk.offsetAndFlags >> 48));
    item.U32(static_cast<uint32_t>(nextOffset - moviFourcc));
    item.U32(chunk.size);
  }
  sink.EndChunk(at);
}

// Writes the indexes that end the current RIFF and sets its sizes. A RIFF
// closed before the last one makes the file an OpenDML file, which gives
// every RIFF its ix## chunks; the first RIFF also gets the idx1. On failure
// nothing is recorded and the RIFF stays open.
bool AviWriter::CloseRiff(bool last) {
  const bool standardIndexes = openDml_ || !last;
  const bool first = riffCount_ == 1;
  Sink sink(file_, dataEnd_, tailBuffer_);
  SuperEntry pending[kMaxStreams] = {};
  bool hasPending[kMaxStreams] = {};
  if (standardIndexes) {
    for (size_t s = 0; s < streams_.size(); ++s) {
      if (streams_[s].index.size() == streams_[s].riffFirst) continue;
      WriteStandardIndex(sink, streams_[s], &pending[s]);
      hasPending[s] = true;
    }
  }
  const uint64_t moviEnd = sink.Position();
  if (first) WriteIdx1(sink);
  if (!sink.Flush()) return Failed(sink.Error());
  const uint64_t riffEnd = sink.Position();
  if (!first && !PatchRiffSizes(riffEnd, moviEnd)) return false;

  for (size_t s = 0; s < streams_.size(); ++s) {
    Stream& stream = streams_[s];
    if (hasPending[s]) stream.super.push_back(pending[s]);  // capacity reserved
    if (first) {
      stream.riff0Count = stream.index.size();
      stream.riff0Samples = stream.length;
    }
    stream.riffFirst = stream.index.size();
  }
  if (first) {
    riff0MoviEnd_ = moviEnd;
    riff0End_ = riffEnd;
    hasIdx1_ = true;
  }
  openDml_ = standardIndexes;
  fileEnd_ = riffEnd;
  riffOpen_ = false;
  return true;
}

// Gives up the last chunk of the current RIFF, to make room for the indexes
// when the disk is full. False when the RIFF holds no chunk.
bool AviWriter::DropLastChunk() {
  Stream* last = nullptr;
  uint64_t lastOffset = 0;
  for (Stream& stream : streams_) {
    if (stream.index.size() == stream.riffFirst) continue;
    const uint64_t at = stream.index.back().offsetAndFlags & kOffsetMask;
    if (last == nullptr || at > lastOffset) {
      last = &stream;
      lastOffset = at;
    }
  }
  if (last == nullptr) return false;
  last->length -= last->index.back().samples;
  last->index.pop_back();
  dataEnd_ = lastOffset;
  return true;
}

HRESULT AviWriter::Finish() {
  if (file_ == platform::kNoFile) return AVIERR_BADHANDLE;
  // Every chunk accepted ends up in the file, and every write of it reached
  // the file.
  bool complete = true;
  bool hasHeader = false;
  if (Freeze()) {
    while (riffOpen_) {
      if (riffCount_ > 1 && !RiffHasChunks()) {
        // An 'AVIX' RIFF that lost all its chunks is left out altogether.
        riffOpen_ = false;
        --riffCount_;
        break;
      }
      if (CloseRiff(true)) break;
      // The indexes do not fit (the disk is full): the file keeps the chunks
      // they can describe, and the loss is reported.
      complete = false;
      if (!DropLastChunk()) {
        // Not even an empty idx1 fits: the first RIFF ends with its movi.
        riff0MoviEnd_ = dataEnd_;
        riff0End_ = dataEnd_;
        fileEnd_ = dataEnd_;
        hasIdx1_ = false;
        riffOpen_ = false;
      }
    }
    for (Stream& stream : streams_) {
      stream.largestChunk = 0;
      for (const IndexEntry& entry : stream.index) {
        stream.largestChunk = std::max(stream.largestChunk, entry.size);
      }
    }
    hasHeader = WriteHeader(true);
    if (hasHeader) {
      // Whatever lies beyond (a chunk cut short by a failed write) goes.
      if (const int error = platform::Truncate(file_, fileEnd_); error != 0) {
        complete = Failed(error);
      }
    }
  }
  // A failed close may mean that written data never reached the file.
  if (const int error = platform::CloseFile(file_); error != 0) complete = Failed(error);
  file_ = platform::kNoFile;
  if (!hasHeader) {
    // Without its header the file is of no use to any reader: better no
    // file than one that looks like a movie and is not.
    platform::RemoveName(path_);
    removed_ = true;
    complete = false;
  }
  return complete ? AVIERR_OK : AVIERR_FILEWRITE;
}

bool AviWriter::WriteHeader(bool indexed) {
  if (!BuildHeader(headerBuffer_.data(), headerBuffer_.size(), indexed)) return Failed(EOVERFLOW);
  if (const int error = WriteAllAt(file_, headerBuffer_.data(), headerBuffer_.size(), 0);
      error != 0) {
    return Failed(error);
  }
  return true;
}

// While the first RIFF is being filled, it ends with its last chunk and has
// no idx1 yet.
AviWriter::HeaderState AviWriter::CurrentHeaderState(bool indexed) const {
  if (!indexed) {
    const bool filling = riffOpen_ && riffCount_ == 1;
    return {filling ? dataEnd_ : riff0MoviEnd_, filling ? dataEnd_ : riff0End_, false, false};
  }
  return {riff0MoviEnd_, riff0End_, hasIdx1_, openDml_};
}

// The whole header space: the RIFF and the header list, JUNK up to 12 bytes
// before the first chunk, and LIST 'movi' with the size of the first RIFF's
// movi. False if the header list did not come out at its measured size.
bool AviWriter::BuildHeader(uint8_t* buffer, size_t size, bool indexed) {
  LeBytes out(buffer, size);
  const HeaderState first = CurrentHeaderState(indexed);
  PutRiffAndHeaderList(out, first);
  if (out.Size() != hdrlEnd_) return false;
  const size_t junk = BeginChunk(out, kJunk);
  out.Zeros(dataStart_ - 12 - out.Size());
  EndChunk(out, junk);
  PutFourcc(out, kList);
  // The first movi list starts 12 bytes before the first chunk.
  out.U32(Clamp32(first.moviEnd - (dataStart_ - 12) - 8));
  PutFourcc(out, mmioFOURCC('m', 'o', 'v', 'i'));
  return !out.Overrun() && out.Size() == size;
}

void AviWriter::PutRiffAndHeaderList(LeBytes& out, const HeaderState& first) const {
  const int video = VideoStream();
  PutFourcc(out, kRiff);
  out.U32(Clamp32(first.end - 8));
  PutFourcc(out, mmioFOURCC('A', 'V', 'I', ' '));
  const size_t hdrl = BeginList(out, mmioFOURCC('h', 'd', 'r', 'l'));

  // Main header.
  uint32_t microSecPerFrame = 0;
  uint32_t totalFrames = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  if (video >= 0) {
    const Stream& stream = streams_[video];
    if (stream.info.dwRate != 0) {
      microSecPerFrame = Clamp32((uint64_t{1000000} * stream.info.dwScale +
                                  stream.info.dwRate / 2) /
                                 stream.info.dwRate);
    }
    // An OpenDML file counts here the frames of its first RIFF only, as an
    // AVI 1.0 reader sees it; dmlh holds them all.
    totalFrames = Clamp32(first.openDml ? stream.riff0Samples : stream.length);
    if (stream.format.size() >= 12) {
      width = static_cast<uint32_t>(stream.format[4] | stream.format[5] << 8 |
                                    stream.format[6] << 16 | stream.format[7] << 24);
      const int32_t rows = static_cast<int32_t>(
          static_cast<uint32_t>(stream.format[8] | stream.format[9] << 8 |
                                stream.format[10] << 16 | stream.format[11] << 24));
      height = rows < 0 ? 0u - static_cast<uint32_t>(rows) : static_cast<uint32_t>(rows);
    }
  }
  uint64_t bytesPerSec = 0;
  uint32_t largest = 0;
  for (const Stream& stream : streams_) {
    largest = std::max(largest, stream.largestChunk);
    if (stream.info.dwScale == 0) continue;
    const uint64_t perSample =
        stream.info.dwSampleSize != 0 ? stream.info.dwSampleSize : stream.largestChunk;
    bytesPerSec += (perSample * stream.info.dwRate + stream.info.dwScale - 1) / stream.info.dwScale;
  }
  const size_t avih = BeginChunk(out, mmioFOURCC('a', 'v', 'i', 'h'));
  out.U32(microSecPerFrame);
  out.U32(Clamp32(bytesPerSec));
  out.U32(kChunkAlignment);
  out.U32(first.hasIdx1 ? kAvifHasIndex : 0);
  out.U32(totalFrames);
  out.U32(0);  // initial frames
  out.U32(static_cast<uint32_t>(streams_.size()));
  out.U32(largest);
  out.U32(width);
  out.U32(height);
  out.Zeros(16);  // reserved
  EndChunk(out, avih);

  for (const Stream& stream : streams_) PutStreamList(out, stream, first.openDml);

  // The OpenDML header, or as much JUNK in its place.
  if (first.openDml) {
    const size_t odml = BeginList(out, mmioFOURCC('o', 'd', 'm', 'l'));
    const size_t dmlh = BeginChunk(out, mmioFOURCC('d', 'm', 'l', 'h'));
    out.U32(video >= 0 ? Clamp32(streams_[video].length) : 0);
    out.Zeros(kDmlhBytes - 4);
    EndChunk(out, dmlh);
    EndChunk(out, odml);
  } else {
    const size_t junk = BeginChunk(out, kJunk);
    out.Zeros(4 + 8 + kDmlhBytes);
    EndChunk(out, junk);
  }
  EndChunk(out, hdrl);
}

void AviWriter::PutStreamList(LeBytes& out, const Stream& stream, bool openDml) const {
  const AVISTREAMINFOA& info = stream.info;
  const size_t strl = BeginList(out, mmioFOURCC('s', 't', 'r', 'l'));

  const size_t strh = BeginChunk(out, mmioFOURCC('s', 't', 'r', 'h'));
  out.U32(info.fccType);
  out.U32(info.fccHandler);
  out.U32(info.dwFlags);
  out.U16(info.wPriority);
  out.U16(info.wLanguage);
  out.U32(info.dwInitialFrames);
  out.U32(info.dwScale);
  out.U32(info.dwRate);
  out.U32(info.dwStart);
  // The length and buffer size describe what the stream really holds.
  out.U32(Clamp32(stream.length));
  out.U32(stream.largestChunk);
  out.U32(info.dwQuality);
  out.U32(info.dwSampleSize);
  // The frame rectangle is stored as four 16-bit values (checked to fit when
  // the stream was added).
  out.U16(static_cast<uint16_t>(info.rcFrame.left));
  out.U16(static_cast<uint16_t>(info.rcFrame.top));
  out.U16(static_cast<uint16_t>(info.rcFrame.right));
  out.U16(static_cast<uint16_t>(info.rcFrame.bottom));
  EndChunk(out, strh);

  const size_t strf = BeginChunk(out, mmioFOURCC('s', 't', 'r', 'f'));
  out.Bytes(stream.format.data(), stream.format.size());
  EndChunk(out, strf);

  const size_t name = NameBytes(info);
  if (name != 0) {
    const size_t strn = BeginChunk(out, mmioFOURCC('s', 't', 'r', 'n'));
    out.Bytes(info.szName, name - 1);
    out.U8(0);
    EndChunk(out, strn);
  }

  PutSuperIndex(out, stream, openDml);
  EndChunk(out, strl);
}

// The super index lists the ix## chunk of every RIFF closed so far. Its room
// is reserved in every file; an AVI 1.0 file holds JUNK of the same size.
void AviWriter::PutSuperIndex(LeBytes& out, const Stream& stream, bool openDml) const {
  if (!openDml) {
    const size_t junk = BeginChunk(out, kJunk);
    out.Zeros(kSuperIndexBytes);
    EndChunk(out, junk);
    return;
  }
  const size_t indx = BeginChunk(out, mmioFOURCC('i', 'n', 'd', 'x'));
  out.U16(4);  // longs per entry
  out.U8(0);   // no sub type
  out.U8(kIndexOfIndexes);
  out.U32(static_cast<uint32_t>(stream.super.size()));
  out.U32(stream.chunkId);
  out.Zeros(12);
  for (const SuperEntry& entry : stream.super) {
    out.U64(entry.offset);
    out.U32(entry.size);
    out.U32(entry.duration);
  }
  out.Zeros(16 * (kSuperIndexEntries - stream.super.size()));
  EndChunk(out, indx);
}

}  // namespace avifile

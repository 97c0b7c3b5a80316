#pragma once

// The container writer behind the AVIFile interface: one AVI file being
// written, its streams, and the in-memory index.
//
// Layout written (offsets from the start of the file):
//   RIFF 'AVI '
//     LIST 'hdrl'
//       avih
//       per stream: LIST 'strl' { strh, strf, strn, indx (or JUNK) }
//       LIST 'odml' { dmlh }  (or JUNK)
//     JUNK                    so that the first chunk of 'movi' starts on
//                             a 2048-byte boundary
//     LIST 'movi' { '00db', '01wb', ... in the order written [, ix00, ix01] }
//     idx1                    every chunk of this first RIFF
//   RIFF 'AVIX' { LIST 'movi' { chunks..., ix00, ix01 } }   (OpenDML only)
//   ...
// The header space is fixed when the first sample is written: the super
// index of every stream is reserved then. A file that never passes the RIFF
// limit is a plain AVI 1.0 file: the reserved indx and odml space hold JUNK
// and the movi list has no ix## chunks. Indexes are written when the file is
// finished; the header (and the sizes of an 'AVIX' RIFF being filled) is
// written again every refresh interval, so that a writer killed at any
// moment leaves a file whose header describes every chunk up to the last
// refresh, and once more at the end with every size final.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "avifile/AviFile.h"
#include "platform/FileAccess.h"

namespace avifile {

class LeBytes;

class AviWriter {
 public:
  // Super index entries reserved per stream: one per RIFF, so 256 RIFFs of
  // 1 GiB. When they are used up the last RIFF grows past the limit, up to
  // the 32-bit maximum, rather than refusing the movie.
  static constexpr uint32_t kSuperIndexEntries = 256;
  static constexpr int kMaxStreams = 16;
  static constexpr uint64_t kChunkAlignment = 2048;
  // A RIFF's size field is 32 bits and counts all but its first 8 bytes.
  static constexpr uint64_t kHardRiffBytes = 0xFFFFFFFFull;
  // The OpenDML header list's dmlh and a stream's super index with its
  // reserved entries.
  static constexpr uint64_t kDmlhBytes = 248;
  static constexpr uint64_t kSuperIndexBytes = 24 + 16 * uint64_t{kSuperIndexEntries};

  // Bytes that closing a RIFF adds after its last chunk, given the chunks of
  // each stream in it: an ix## per stream that has chunks and, for the first
  // RIFF, the idx1 of them all.
  static uint64_t RiffTailBytes(const uint64_t* chunksPerStream, size_t streams, bool firstRiff);

  AviWriter() = default;
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // exclusive: fail (errno EEXIST) when a file of that name exists, instead
  // of replacing it. refreshBytes: how much movie data goes between two
  // rewrites of the header.
  HRESULT Create(const char* path, uint64_t riffLimit, uint64_t refreshBytes, bool exclusive);
  HRESULT AddStream(const AVISTREAMINFOA& info, int* number);
  HRESULT SetFormat(int stream, LONG position, const void* format, LONG bytes);
  HRESULT Write(int stream, LONG start, LONG samples, const void* data, LONG bytes,
                DWORD flags);
  // Completes the file: closes the last RIFF with its indexes, writes the
  // header with every size, cuts off anything after the last complete part,
  // and closes the file. AVIERR_OK only when all of that succeeded and the
  // file holds every chunk accepted. Otherwise the file is still well-formed
  // over the chunks whose index fits (the last ones give way when the disk
  // is full), or, when not even its header could be written, removed.
  HRESULT Finish();

  // errno of the system call behind the last failure, or the nearest errno
  // for a failure of ours (ENOMEM, EFBIG); 0 before any failure.
  int LastError() const { return error_; }
  // Samples of a stream the file holds (after Finish: those it kept); 0 for
  // a stream it does not have, and for every stream of a file Finish removed.
  uint64_t Length(int stream) const {
    return removed_ || stream < 0 || static_cast<size_t>(stream) >= streams_.size()
               ? 0
               : streams_[static_cast<size_t>(stream)].length;
  }

 private:
  // 16 bytes per chunk, kept until the file is finished.
  struct IndexEntry {
    uint64_t offsetAndFlags;  // file offset of the chunk header in the low 48
                              // bits, the low 16 bits of its index flags above
    uint32_t size;            // data bytes, pad byte not counted
    uint32_t samples;
  };
  struct SuperEntry {
    uint64_t offset;  // of the ix## chunk
    uint32_t size;    // of the ix## chunk with its header
    uint32_t duration;
  };
  struct Stream {
    AVISTREAMINFOA info{};
    std::vector<uint8_t> format;  // already little-endian
    uint32_t chunkId = 0;
    uint32_t indexId = 0;
    std::vector<IndexEntry> index;
    size_t riffFirst = 0;   // first index entry of the current RIFF
    size_t riff0Count = 0;  // entries of the first RIFF, once it is closed
    uint64_t riff0Samples = 0;
    uint64_t length = 0;    // samples written
    uint32_t largestChunk = 0;
    std::vector<SuperEntry> super;
  };

  // What the header says of the file: the extent of the first RIFF and
  // which indexes there are.
  struct HeaderState {
    uint64_t moviEnd;
    uint64_t end;
    bool hasIdx1;
    bool openDml;
  };
  class Sink;

  HRESULT Start();
  bool Freeze();
  bool Refresh();
  // indexed: the header of the finished file; otherwise that of a file in
  // progress, which claims no index.
  bool WriteHeader(bool indexed);
  bool BuildHeader(uint8_t* buffer, size_t size, bool indexed);
  void PutRiffAndHeaderList(LeBytes& out, const HeaderState& first) const;
  void PutStreamList(LeBytes& out, const Stream& stream, bool openDml) const;
  void PutSuperIndex(LeBytes& out, const Stream& stream, bool openDml) const;
  HeaderState CurrentHeaderState(bool indexed) const;
  void WriteStandardIndex(Sink& sink, const Stream& stream, SuperEntry* entry) const;
  void WriteIdx1(Sink& sink) const;
  bool PatchRiffSizes(uint64_t riffEnd, uint64_t moviEnd);
  bool CloseRiff(bool last);
  bool DropLastChunk();
  bool Failed(int error);
  bool RiffHasChunks() const;
  uint64_t TailBytes(int extraStream) const;
  int VideoStream() const;
  bool AudioStream(const Stream& stream) const;

  platform::FileHandle file_ = platform::kNoFile;
  std::string path_;
  int error_ = 0;
  uint64_t riffLimit_ = 0;
  uint64_t refreshBytes_ = 0;
  uint64_t refreshedAt_ = 0;  // dataEnd_ when the header was last written
  std::vector<Stream> streams_;

  bool frozen_ = false;
  bool headerWritten_ = false;
  uint64_t hdrlEnd_ = 0;    // end of LIST 'hdrl'
  uint64_t dataStart_ = 0;  // the first chunk of the first 'movi'
  std::vector<uint8_t> headerBuffer_;
  std::vector<uint8_t> tailBuffer_;

  bool riffOpen_ = false;
  uint32_t riffCount_ = 0;  // RIFFs begun, the current one included
  uint64_t riffStart_ = 0;
  uint64_t moviStart_ = 0;  // offset of the current 'LIST' 'movi'
  uint64_t dataEnd_ = 0;    // where the next chunk goes
  uint64_t fileEnd_ = 0;    // end of the last closed RIFF

  bool openDml_ = false;
  bool hasIdx1_ = false;
  uint64_t riff0MoviEnd_ = 0;
  uint64_t riff0End_ = 0;
  bool removed_ = false;  // Finish found no use for the file and removed it
};

}  // namespace avifile

// Feeds arbitrary bytes to the decoder as a movie file, and reads it through
// twice at once: with a decoder that reads ahead on its worker thread and
// with one that decodes every chunk inside ReadChunk. After every call both
// must show the same result, frames remaining, pictures and sound; any
// difference stops the fuzzer like a crash.
//
// Input layout: byte 0 chooses the kind of file (see the bits below), bytes
// 1-2 give the length of the companion sound file (little-endian), then come
// the companion's bytes and after them the movie's. The decoder only opens
// paths, so the files are written to a private folder, in memory where the
// machine has /dev/shm.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "v02dec/V02Decode.h"

namespace {

constexpr uint8_t kModeV00 = 1;             // else VD02
constexpr uint8_t kModeCompanion = 2;       // VD00 with a ".snd" file
constexpr uint8_t kModeCapitalSnd = 4;      // companion named ".SND"
constexpr uint8_t kModeLowerExtension = 8;  // ".v02" / ".v00"
// Bits 4-6: close after that many chunks (0: read to the end), so that Close
// also meets a chunk in flight.
constexpr int kModeCloseShift = 4;
constexpr uint8_t kModeCloseMask = 7;

// Keeps frames small enough that a run filling the whole plane stays cheap;
// larger movies only take longer, they take no other path.
constexpr uint64_t kMemoryLimit = 4u << 20;
constexpr int kMaxChunks = 64;

std::string folder;

void RemoveFolder() {
  for (const char* name : {"/m.V02", "/m.v02", "/m.V00", "/m.v00", "/m.snd", "/m.SND"}) {
    unlink((folder + name).c_str());
  }
  rmdir(folder.c_str());
}

const std::string& Folder() {
  if (folder.empty()) {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/porute-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) {
      perror("mkdtemp");
      std::abort();
    }
    folder = pattern;
    std::atexit(RemoveFolder);
  }
  return folder;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  while (size != 0) {
    ssize_t written = write(fd, data, size);
    if (written <= 0) std::abort();
    data += written;
    size -= static_cast<size_t>(written);
  }
  close(fd);
}

// Stops the fuzzer: the two ways of reading disagree.
void Expect(bool same, const char* what) {
  if (same) return;
  std::fprintf(stderr, "read-ahead differs from reading in ReadChunk: %s\n", what);
  std::abort();
}

void ExpectSameView(const V02Decode& a, const V02Decode& b) {
  Expect(a.FramesRemaining() == b.FramesRemaining(), "frames remaining");
  const MovieFailure& fa = a.LastFailure();
  const MovieFailure& fb = b.LastFailure();
  Expect(fa.kind == fb.kind && fa.test == fb.test && fa.values[0] == fb.values[0] &&
             fa.values[1] == fb.values[1] && fa.sysErrno == fb.sysErrno &&
             fa.inChunk == fb.inChunk && fa.chunkIndex == fb.chunkIndex &&
             fa.frameIndex == fb.frameIndex,
         "failure");
  Expect(a.Parameters().framesPerChunk == b.Parameters().framesPerChunk &&
             a.Parameters().soundBlockBytes == b.Parameters().soundBlockBytes,
         "movie parameters");
  for (uint32_t slot = 0; slot < a.Parameters().framesPerChunk; ++slot) {
    const TBitmap& x = *a.frameBitmaps[slot];
    const TBitmap& y = *b.frameBitmaps[slot];
    Expect(x.PixelBytes() == y.PixelBytes() &&
               std::memcmp(x.Pixels(), y.Pixels(), x.PixelBytes()) == 0,
           "frame bitmap");
  }
  if (a.Parameters().soundBlockBytes != 0) {
    Expect(std::memcmp(a.soundBlock.get(), b.soundBlock.get(), a.Parameters().soundBlockBytes) == 0,
           "sound block");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t mode = data[0];
  size_t companionBytes = static_cast<size_t>(data[1] | data[2] << 8);
  data += 3;
  size -= 3;
  if (companionBytes > size) companionBytes = size;

  const std::string& dir = Folder();
  const bool v00 = mode & kModeV00;
  std::string movie = dir + (v00 ? "/m.V00" : "/m.V02");
  if (mode & kModeLowerExtension) movie = dir + (v00 ? "/m.v00" : "/m.v02");
  unlink((dir + "/m.snd").c_str());
  unlink((dir + "/m.SND").c_str());
  if (v00 && (mode & kModeCompanion)) {
    WriteFile(dir + ((mode & kModeCapitalSnd) ? "/m.SND" : "/m.snd"), data, companionBytes);
  }
  WriteFile(movie, data + companionBytes, size - companionBytes);

  V02Decode decoder;
  V02Decode inReadChunk;
  decoder.SetMemoryLimit(kMemoryLimit);
  inReadChunk.SetMemoryLimit(kMemoryLimit);
  inReadChunk.SetReadAhead(false);
  const MovieResult opened = decoder.Open(movie);
  Expect(inReadChunk.Open(movie) == opened, "Open");
  Expect(decoder.LastFailure().test == inReadChunk.LastFailure().test, "Open's failure");
  const int closeAfter = (mode >> kModeCloseShift) & kModeCloseMask;
  const int chunks = closeAfter != 0 ? closeAfter : kMaxChunks;
  if (opened == kMovieOk) {
    for (int chunk = 0; chunk < chunks && decoder.FramesRemaining() != 0; ++chunk) {
      const MovieResult result = decoder.ReadChunk();
      Expect(inReadChunk.ReadChunk() == result, "ReadChunk");
      ExpectSameView(decoder, inReadChunk);
      if (result != kMovieOk) break;
    }
  }
  decoder.Close();
  inReadChunk.Close();
  decoder.LoadPreview(movie);
  decoder.Close();
  unlink(movie.c_str());
  return 0;
}

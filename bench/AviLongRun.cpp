// porute-avi-longrun: writes a synthetic 320 x 240 movie of FRAMES frames at
// 10 frames per second with 22,050 Hz sound through AVIencode, as the batch
// driver does (8 frames, then their sound block), and prints the seconds it
// took and the file's size. With --plain it writes the same number of bytes
// in plain write() calls of one frame each instead: the floor the encoder is
// measured against. With --sync both end with fsync, so that the time is the
// disk's and not the page cache's.
//
//   porute-avi-longrun [--plain] [--sync] [--riff-limit BYTES] FILE FRAMES
//
// It also writes the >4 GiB file that is read back by hand with ffprobe and
// ffmpeg; frame i holds the bytes (i + k) mod 251 for k = 0, 1, ..., and
// sound block b the bytes (b + 3k) mod 241, so a reader's output can be
// checked against what --expect prints.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "avienc/AVIencode.h"
#include "avifile/AviFileLimits.h"

namespace {

constexpr uint32_t kWidth = 320, kHeight = 240, kFramesPerChunk = 8;
constexpr uint32_t kSoundRate = 22050;
constexpr uint32_t kBlockBytes = kSoundRate * kFramesPerChunk / 10 * 2;  // 0.8 s

// Every frame and block is a window into one longer pattern, so that the
// timed loop makes no bytes of its own: frame i starts at (i mod 251) in
// the run 0, 1, 2, ... (mod 251); block b at (161 b mod 241) in the run
// 0, 3, 6, ... (mod 241), 161 being the inverse of 3 mod 241.
struct Patterns {
  std::vector<uint8_t> frames, blocks;
  Patterns() : frames(kWidth * 3 * kHeight + 251), blocks(kBlockBytes + 241) {
    for (size_t k = 0; k < frames.size(); ++k) frames[k] = static_cast<uint8_t>(k % 251);
    for (size_t k = 0; k < blocks.size(); ++k) blocks[k] = static_cast<uint8_t>(3 * k % 241);
  }
  const uint8_t* Frame(uint32_t i) const { return frames.data() + i % 251; }
  const uint8_t* Block(uint32_t b) const { return blocks.data() + uint64_t{b} * 161 % 241; }
};

// Writes the decoder-side view of the movie to stdout: every frame top-down
// without row padding (ffmpeg's bgr24), or every sound sample (s16le).
int Expect(const char* what, uint32_t frames) {
  const Patterns patterns;
  const uint32_t rowBytes = kWidth * 3;
  if (std::strcmp(what, "video") == 0) {
    for (uint32_t i = 0; i < frames; ++i) {
      for (uint32_t y = 0; y < kHeight; ++y) {
        fwrite(patterns.Frame(i) + (kHeight - 1 - y) * rowBytes, 1, rowBytes, stdout);
      }
    }
  } else {
    const uint32_t chunks = (frames + kFramesPerChunk - 1) / kFramesPerChunk;
    for (uint32_t b = 0; b < chunks; ++b) fwrite(patterns.Block(b), 1, kBlockBytes, stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  bool plain = false, sync = false;
  const char* expect = nullptr;
  int arg = 1;
  for (; arg < argc && argv[arg][0] == '-'; ++arg) {
    if (std::strcmp(argv[arg], "--plain") == 0) {
      plain = true;
    } else if (std::strcmp(argv[arg], "--sync") == 0) {
      sync = true;
    } else if (std::strcmp(argv[arg], "--riff-limit") == 0 && arg + 1 < argc) {
      AviFileSetRiffLimit(std::strtoull(argv[++arg], nullptr, 10));
    } else if (std::strcmp(argv[arg], "--expect") == 0 && arg + 1 < argc) {
      expect = argv[++arg];
    } else {
      arg = argc;
    }
  }
  if (expect != nullptr && arg + 1 == argc) {
    return Expect(expect, static_cast<uint32_t>(std::strtoul(argv[arg], nullptr, 10)));
  }
  if (arg + 2 != argc) {
    std::fprintf(stderr,
                 "Usage: porute-avi-longrun [--plain] [--sync] [--riff-limit BYTES] FILE FRAMES\n"
                 "       porute-avi-longrun --expect video|audio FRAMES\n");
    return 2;
  }
  const char* path = argv[arg];
  const uint32_t frames = static_cast<uint32_t>(std::strtoul(argv[arg + 1], nullptr, 10));
  const Patterns patterns;
  const size_t frameBytes = kWidth * 3 * kHeight;

  const auto start = std::chrono::steady_clock::now();
  if (plain) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return 1;
    for (uint32_t i = 0; i < frames; ++i) {
      if (write(fd, patterns.Frame(i), frameBytes) != static_cast<ssize_t>(frameBytes)) return 1;
    }
    if (sync) fsync(fd);
    close(fd);
  } else {
    AVIencode encoder;
    encoder.movie.frameCount = frames;
    encoder.movie.rate = 60;
    encoder.movie.scale = 6;
    encoder.movie.width = kWidth;
    encoder.movie.height = kHeight;
    encoder.movie.soundRate = kSoundRate;
    encoder.movie.soundBlockBytes = kBlockBytes;
    if (encoder.Open(path) != 0) {
      encoder.Close();
      std::fprintf(stderr, "cannot create %s\n", path);
      return 1;
    }
    uint32_t written = 0, chunk = 0;
    while (written < frames) {
      for (uint32_t j = 0; j < kFramesPerChunk && written < frames; ++j) {
        if (encoder.WriteVideo(patterns.Frame(written++)) != 0) {
          std::fprintf(stderr, "frame %u failed\n", written - 1);
          encoder.Close();
          return 1;
        }
      }
      encoder.WriteAudio(patterns.Block(chunk++));
    }
    encoder.Close();
    if (sync) {
      const int fd = open(path, O_RDONLY | O_CLOEXEC);
      if (fd >= 0) {
        fsync(fd);
        close(fd);
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  struct stat info;
  stat(path, &info);
  std::printf("%s %u frames: %.3f s, %lld bytes, %.1f MB/s\n", plain ? "plain" : "avienc",
              frames, seconds, static_cast<long long>(info.st_size),
              static_cast<double>(info.st_size) / seconds / 1e6);
  return 0;
}

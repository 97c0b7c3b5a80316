// porute-iofloor FILE BYTES [BLOCK]: writes BYTES bytes to FILE in plain
// write() calls of BLOCK bytes (230,400 by default: one 320 x 240 frame of
// 24-bit pixels) and prints the seconds it took. The benchmark compares the
// converter with this floor: it is what the same amount of output costs with
// no reading, decoding or container work at all.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char* argv[]) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "Usage: porute-iofloor FILE BYTES [BLOCK]\n");
    return 2;
  }
  const unsigned long long total = std::strtoull(argv[2], nullptr, 10);
  const size_t block = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 230400;
  if (block == 0) {
    std::fprintf(stderr, "porute-iofloor: BLOCK must be positive\n");
    return 2;
  }
  std::unique_ptr<unsigned char[]> data(new unsigned char[block]);
  // Not zeros: a file system that spots zero pages must not get it cheaper.
  for (size_t i = 0; i < block; ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);

  const auto start = std::chrono::steady_clock::now();
  const int fd = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "porute-iofloor: %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  unsigned long long left = total;
  while (left > 0) {
    const size_t n = left < block ? static_cast<size_t>(left) : block;
    const ssize_t written = write(fd, data.get(), n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      std::fprintf(stderr, "porute-iofloor: write: %s\n", std::strerror(errno));
      close(fd);
      return 1;
    }
    left -= static_cast<unsigned long long>(written);
  }
  if (close(fd) != 0) {
    std::fprintf(stderr, "porute-iofloor: close: %s\n", std::strerror(errno));
    return 1;
  }
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("%.6f\n", seconds.count());
  return 0;
}

#include "digest/Sha256.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include <nettle/sha2.h>

namespace {

std::string Hex(const uint8_t (&digest)[SHA256_DIGEST_SIZE]) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * SHA256_DIGEST_SIZE);
  for (uint8_t byte : digest) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

}  // namespace

std::string Sha256OfBytes(const void* data, size_t size) {
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, size, static_cast<const uint8_t*>(data));
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
  return Hex(digest);
}

std::string Sha256OfFile(const std::string& path, int* sysErrno) {
  if (sysErrno != nullptr) *sysErrno = 0;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (sysErrno != nullptr) *sysErrno = errno;
    return {};
  }
  sha256_ctx context;
  sha256_init(&context);
  // Movies run to gigabytes: read in pieces that stay in the cache.
  std::vector<uint8_t> buffer(1 << 20);
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      if (sysErrno != nullptr) *sysErrno = errno;
      close(fd);
      return {};
    }
    if (got == 0) break;
    sha256_update(&context, static_cast<size_t>(got), buffer.data());
  }
  close(fd);
  uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, SHA256_DIGEST_SIZE, digest);
  return Hex(digest);
}

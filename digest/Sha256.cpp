#include "digest/Sha256.h"

#include <cerrno>
#include <cstdint>
#include <vector>

#include "digest/Sha256Context.h"
#include "platform/FileAccess.h"

namespace {

std::string Hex(const uint8_t (&digest)[Sha256Context::kDigestBytes]) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * Sha256Context::kDigestBytes);
  for (uint8_t byte : digest) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

}  // namespace

std::string Sha256OfBytes(const void* data, size_t size) {
  Sha256Context context;
  if (!context.Usable()) return {};
  context.Update(data, size);
  uint8_t digest[Sha256Context::kDigestBytes];
  context.Finish(digest);
  return Hex(digest);
}

std::string Sha256OfFile(const std::string& path, int* sysErrno) {
  if (sysErrno != nullptr) *sysErrno = 0;
  const auto fail = [sysErrno](int error) {
    if (sysErrno != nullptr) *sysErrno = error;
    return std::string();
  };
  Sha256Context context;
  if (!context.Usable()) return fail(ENOSYS);
  platform::FileHandle file = platform::kNoFile;
  bool notRegular = false;
  if (const int error = platform::OpenForReading(path, file, notRegular); error != 0) {
    return fail(error);
  }
  // Only the movies and outputs of a run are hashed: regular files.
  if (notRegular) return fail(EINVAL);
  // Movies run to gigabytes: read in pieces that stay in the cache.
  std::vector<uint8_t> buffer(1 << 20);
  for (;;) {
    size_t got = 0;
    if (const int error = platform::ReadSome(file, buffer.data(), buffer.size(), got); error != 0) {
      platform::CloseFile(file);
      return fail(error);
    }
    if (got == 0) break;
    context.Update(buffer.data(), got);
  }
  platform::CloseFile(file);
  uint8_t digest[Sha256Context::kDigestBytes];
  context.Finish(digest);
  return Hex(digest);
}

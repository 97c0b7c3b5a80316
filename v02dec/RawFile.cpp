#include "v02dec/RawFile.h"

RawFile::~RawFile() { Close(); }

bool RawFile::Open(const std::string& path) {
  Close();
  lastErrno_ = platform::OpenForReading(path, file_, notRegular_);
  return file_ != platform::kNoFile;
}

bool RawFile::Read(void* destination, size_t count) {
  lastErrno_ = 0;
  if (file_ == platform::kNoFile) return false;
  auto* out = static_cast<unsigned char*>(destination);
  while (count != 0) {
    size_t got = 0;
    lastErrno_ = platform::ReadSome(file_, out, count, got);
    if (lastErrno_ != 0) return false;
    if (got == 0) return false;  // the file ended early
    out += got;
    count -= got;
  }
  return true;
}

void RawFile::Close() {
  if (file_ != platform::kNoFile) {
    platform::CloseFile(file_);
    file_ = platform::kNoFile;
  }
}

bool RawFile::Exists(const std::string& path) { return platform::NameExists(path); }

#include "tests/avifile/AviTestSupport.h"

#include "tests/batch/TestSupport.h"

#include "tools/moviewriter/Bytes.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>

namespace avitest {

Bytes ReadFileBytes(const std::string& path) {
  Bytes bytes;
  if (!moviewriter::ReadWholeFile(path, bytes)) bytes.clear();
  return bytes;
}

::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  auto around = [at](const Bytes& bytes) {
    std::string text;
    char hex[4];
    const size_t from = at < 8 ? 0 : at - 8;
    for (size_t i = from; i < bytes.size() && i < at + 8; ++i) {
      std::snprintf(hex, sizeof hex, i == at ? "[%02x" : " %02x", bytes[i]);
      text += hex;
      if (i == at) text += "]";
    }
    return text;
  };
  return ::testing::AssertionFailure()
         << "first difference at byte " << at << " (sizes " << actual.size() << " and "
         << expected.size() << ")\n  written: " << around(actual)
         << "\n  expected: " << around(expected);
}

// A field cut short by the end of the file reads as 0 as a whole.
uint16_t Get16(const Bytes& bytes, size_t at) {
  return at + 2 > bytes.size() ? 0 : moviewriter::GetU16(bytes, at);
}

uint32_t Get32(const Bytes& bytes, size_t at) {
  return at + 4 > bytes.size() ? 0 : moviewriter::GetU32(bytes, at);
}

uint64_t Get64(const Bytes& bytes, size_t at) {
  return Get32(bytes, at) | static_cast<uint64_t>(Get32(bytes, at + 4)) << 32;
}

uint32_t Fcc(const char (&code)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24;
}

std::string FccText(uint32_t fourcc) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(fourcc >> (8 * i));
    text += (c >= 32 && c < 127) ? c : '?';
  }
  return text;
}

Le& Le::U8(uint8_t value) {
  moviewriter::PutU8(bytes_, value);
  return *this;
}
Le& Le::U16(uint16_t value) {
  moviewriter::PutU16(bytes_, value);
  return *this;
}
Le& Le::U32(uint32_t value) {
  moviewriter::PutU32(bytes_, value);
  return *this;
}
Le& Le::U64(uint64_t value) {
  U32(static_cast<uint32_t>(value));
  return U32(static_cast<uint32_t>(value >> 32));
}
Le& Le::Four(const char (&code)[5]) { return U32(Fcc(code)); }
Le& Le::Text(const std::string& text) {
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}
Le& Le::Zeros(size_t count) {
  moviewriter::PutFill(bytes_, count, 0);
  return *this;
}

bool RiffNode::IsList() const { return id == Fcc("RIFF") || id == Fcc("LIST"); }

const RiffNode* RiffNode::Find(const char (&code)[5]) const {
  const uint32_t want = Fcc(code);
  for (const RiffNode& child : children) {
    if ((child.IsList() ? child.listType : child.id) == want) return &child;
  }
  return nullptr;
}

std::vector<const RiffNode*> RiffNode::FindAll(const char (&code)[5]) const {
  const uint32_t want = Fcc(code);
  std::vector<const RiffNode*> found;
  for (const RiffNode& child : children) {
    if ((child.IsList() ? child.listType : child.id) == want) found.push_back(&child);
  }
  return found;
}

namespace {

bool ParseRange(const Bytes& file, uint64_t begin, uint64_t end, std::vector<RiffNode>* out,
                std::string* error, int depth) {
  uint64_t at = begin;
  while (at < end) {
    if (end - at < 8) {
      *error = "stray bytes at " + std::to_string(at);
      return false;
    }
    RiffNode node;
    node.offset = at;
    node.id = Get32(file, at);
    node.size = Get32(file, at + 4);
    const uint64_t dataEnd = at + 8 + node.size;
    if (dataEnd > end) {
      *error = FccText(node.id) + " at " + std::to_string(at) + " runs past its parent";
      return false;
    }
    if (node.IsList()) {
      if (node.size < 4) {
        *error = "list at " + std::to_string(at) + " too short";
        return false;
      }
      node.listType = Get32(file, at + 8);
      if (depth > 8 || !ParseRange(file, at + 12, dataEnd, &node.children, error, depth + 1)) {
        return false;
      }
    }
    // The pad byte of an odd chunk may be missing only at the very end.
    at = dataEnd + (node.size & 1);
    if (at > end) {
      *error = FccText(node.id) + " at " + std::to_string(node.offset) + " lacks its pad byte";
      return false;
    }
    out->push_back(std::move(node));
  }
  return true;
}

}  // namespace

bool ParseRiff(const Bytes& file, std::vector<RiffNode>* top, std::string* error) {
  top->clear();
  if (!ParseRange(file, 0, file.size(), top, error, 0)) return false;
  for (const RiffNode& node : *top) {
    if (node.id != Fcc("RIFF")) {
      *error = "top-level " + FccText(node.id) + " is not a RIFF";
      return false;
    }
  }
  return true;
}

::testing::AssertionResult ParsesAsRiff(const Bytes& file, std::vector<RiffNode>* top) {
  std::string error;
  if (ParseRiff(file, top, &error)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << error;
}

Bytes ChunkData(const Bytes& file, const RiffNode& node) {
  const uint64_t begin = node.DataOffset();
  const uint64_t end = node.offset + 8 + node.size;
  if (end > file.size() || begin > end) return {};
  return Bytes(file.begin() + static_cast<std::ptrdiff_t>(begin),
               file.begin() + static_cast<std::ptrdiff_t>(end));
}

Bytes FramePattern(size_t bytes, uint32_t index) {
  Bytes frame(bytes);
  for (size_t i = 0; i < bytes; ++i) {
    frame[i] = static_cast<uint8_t>((i * 7 + index * 31 + (i >> 8) * 3) ^ (index >> 3));
  }
  return frame;
}

Bytes SoundPattern(size_t bytes, uint32_t index) {
  Bytes block(bytes);
  for (size_t i = 0; i < bytes; ++i) {
    block[i] = static_cast<uint8_t>(i * 13 + index * 101 + (i >> 9));
  }
  return block;
}

Bytes TopDownRows(const Bytes& bottomUp, uint32_t width, uint32_t height) {
  const size_t rowBytes = ((static_cast<size_t>(width) * 24 + 31) & ~size_t{31}) / 8;
  const size_t pixelBytes = static_cast<size_t>(width) * 3;
  Bytes out;
  out.reserve(pixelBytes * height);
  for (uint32_t y = 0; y < height; ++y) {
    const size_t row = static_cast<size_t>(height - 1 - y) * rowBytes;
    out.insert(out.end(), bottomUp.begin() + static_cast<std::ptrdiff_t>(row),
               bottomUp.begin() + static_cast<std::ptrdiff_t>(row + pixelBytes));
  }
  return out;
}

Bytes TopDownPaddedRows(const Bytes& bottomUp, uint32_t width, uint32_t height) {
  const size_t rowBytes = ((static_cast<size_t>(width) * 24 + 31) & ~size_t{31}) / 8;
  Bytes out;
  out.reserve(rowBytes * height);
  for (uint32_t y = 0; y < height; ++y) {
    const size_t row = static_cast<size_t>(height - 1 - y) * rowBytes;
    out.insert(out.end(), bottomUp.begin() + static_cast<std::ptrdiff_t>(row),
               bottomUp.begin() + static_cast<std::ptrdiff_t>(row + rowBytes));
  }
  return out;
}

int RunWithFileSizeLimit(uint64_t fileLimit, const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{fileLimit, fileLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(200);
    _exit(body());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace avitest

#include "tools/moviewriter/Bytes.h"

#include <cstdio>
#include <memory>

namespace moviewriter {

void PutU8(Bytes& out, uint8_t value) { out.push_back(value); }

void PutU16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutI16(Bytes& out, int16_t value) { PutU16(out, static_cast<uint16_t>(value)); }
void PutI32(Bytes& out, int32_t value) { PutU32(out, static_cast<uint32_t>(value)); }

void PutBytes(Bytes& out, std::span<const uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

void PutFill(Bytes& out, size_t count, uint8_t value) { out.insert(out.end(), count, value); }

void SetU16(Bytes& bytes, size_t offset, uint16_t value) {
  bytes.at(offset) = static_cast<uint8_t>(value);
  bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void SetU32(Bytes& bytes, size_t offset, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t GetU16(std::span<const uint8_t> bytes, size_t offset) {
  uint16_t value = 0;
  for (size_t i = 0; i < 2; ++i) {
    if (offset + i < bytes.size()) value = static_cast<uint16_t>(value | bytes[offset + i] << (8 * i));
  }
  return value;
}

uint32_t GetU32(std::span<const uint8_t> bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    if (offset + i < bytes.size()) value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
  }
  return value;
}

void PutPackedUnsigned(Bytes& out, uint32_t value, PackedForm form) {
  if (form == PackedForm::kShortest && value <= 0xFE) {
    PutU8(out, static_cast<uint8_t>(value));
  } else if (form != PackedForm::kSevenBytes && value <= 0xFFFE) {
    // 0xFFFF after the escape byte is the mark of the 32-bit form.
    PutU8(out, 0xFF);
    PutU16(out, static_cast<uint16_t>(value));
  } else {
    PutU8(out, 0xFF);
    PutU16(out, 0xFFFF);
    PutU32(out, value);
  }
}

void PutPackedSigned(Bytes& out, int32_t value, PackedForm form) {
  if (form == PackedForm::kShortest && value >= -127 && value <= 127) {
    PutU8(out, static_cast<uint8_t>(static_cast<int8_t>(value)));
  } else if (form != PackedForm::kSevenBytes && value >= -32767 && value <= 32767) {
    // -128 as the first byte escapes; -32,768 after it marks the 32-bit form.
    PutU8(out, 0x80);
    PutI16(out, static_cast<int16_t>(value));
  } else {
    PutU8(out, 0x80);
    PutU16(out, 0x8000);
    PutI32(out, value);
  }
}

size_t PackedUnsignedSize(uint32_t value, PackedForm form) {
  if (form == PackedForm::kShortest && value <= 0xFE) return 1;
  if (form != PackedForm::kSevenBytes && value <= 0xFFFE) return 3;
  return 7;
}

size_t PackedSignedSize(int32_t value, PackedForm form) {
  if (form == PackedForm::kShortest && value >= -127 && value <= 127) return 1;
  if (form != PackedForm::kSevenBytes && value >= -32767 && value <= 32767) return 3;
  return 7;
}

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

Bytes FromHex(std::string_view text) {
  Bytes out;
  int high = -1;
  for (char c : text) {
    // Separators: white space, dots, and any non-ASCII byte (a middle dot).
    if (c == ' ' || c == '.' || c == '\n' || c == '\t' || c == '\r' ||
        static_cast<unsigned char>(c) >= 0x80) {
      continue;
    }
    const int digit = HexDigit(c);
    if (digit < 0) break;
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  return out;
}

std::string ToHex(std::span<const uint8_t> bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text.push_back(' ');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 15]);
  }
  return text;
}

namespace {
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace

bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  std::FILE* raw = std::fopen(path.c_str(), "wb");
  if (raw == nullptr) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), raw) == bytes.size();
  // A full disk may only show at the final flush.
  ok = (std::fclose(raw) == 0) && ok;
  return ok;
}

bool ReadWholeFile(const std::string& path, Bytes& bytes) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  bytes.clear();
  uint8_t buffer[65536];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return std::ferror(file.get()) == 0;
}

}  // namespace moviewriter

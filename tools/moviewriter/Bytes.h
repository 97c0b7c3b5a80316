#pragma once

// Little-endian byte building for the movie writer: fixed-width fields, the
// packed numbers of VD02 op lists, hex text for tests, whole-file I/O.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace moviewriter {

using Bytes = std::vector<uint8_t>;

void PutU8(Bytes& out, uint8_t value);
void PutU16(Bytes& out, uint16_t value);
void PutU32(Bytes& out, uint32_t value);
void PutI16(Bytes& out, int16_t value);
void PutI32(Bytes& out, int32_t value);
void PutBytes(Bytes& out, std::span<const uint8_t> bytes);
void PutFill(Bytes& out, size_t count, uint8_t value);

// Overwrites a field that is already there (a size known only afterwards).
void SetU16(Bytes& bytes, size_t offset, uint16_t value);
void SetU32(Bytes& bytes, size_t offset, uint32_t value);
// Reads back a field; offsets past the end read as 0.
uint16_t GetU16(std::span<const uint8_t> bytes, size_t offset);
uint32_t GetU32(std::span<const uint8_t> bytes, size_t offset);

// How long a packed number is stored. A packed unsigned number is one byte for
// 0 to 254, FF plus 16 bits for up to 65,534, FF FF FF plus 32 bits for any
// value; a packed signed number one byte for -127 to 127, 80 plus 16 bits for
// -32,767 to 32,767, 80 00 80 plus 32 bits for any value. Longer forms than a
// value needs read the same, and tests use them on purpose. The form is a
// minimum: a value that does not fit the asked form takes the next longer one,
// so every number written is a valid one.
enum class PackedForm : uint8_t {
  kShortest,
  kThreeBytes,
  kSevenBytes,
};

void PutPackedUnsigned(Bytes& out, uint32_t value, PackedForm form = PackedForm::kShortest);
void PutPackedSigned(Bytes& out, int32_t value, PackedForm form = PackedForm::kShortest);
size_t PackedUnsignedSize(uint32_t value, PackedForm form = PackedForm::kShortest);
size_t PackedSignedSize(int32_t value, PackedForm form = PackedForm::kShortest);

// "02 00 · 04 11" to bytes (white space, dots and non-ASCII bytes such as a
// middle dot are separators); tests write their expected bytes this way. Any
// other character ends the conversion.
Bytes FromHex(std::string_view text);
// Bytes to "02 00 04 11".
std::string ToHex(std::span<const uint8_t> bytes);

// Whole-file helpers. They return false on any failure (nothing thrown).
bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes);
bool ReadWholeFile(const std::string& path, Bytes& bytes);

}  // namespace moviewriter

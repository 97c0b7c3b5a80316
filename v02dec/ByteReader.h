#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// A bounded little-endian reader over bytes that came from a file. No read
// ever leaves [begin, end): a read that does not fit returns 0, pins the
// cursor at the end and marks the reader as overrun, so a parser can read a
// whole group of fields and test Overrun() once afterwards.
class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const uint8_t* data, size_t size) : begin_(data), cursor_(data), end_(data + size) {}

  size_t Left() const { return static_cast<size_t>(end_ - cursor_); }
  size_t Offset() const { return static_cast<size_t>(cursor_ - begin_); }
  bool Overrun() const { return overrun_; }

  uint8_t U8() {
    if (cursor_ == end_) return Fail();
    return *cursor_++;
  }
  uint16_t U16() {
    if (Left() < 2) return Fail();
    uint16_t value = static_cast<uint16_t>(cursor_[0] | cursor_[1] << 8);
    cursor_ += 2;
    return value;
  }
  uint32_t U32() {
    if (Left() < 4) return Fail();
    uint32_t value = static_cast<uint32_t>(cursor_[0]) | static_cast<uint32_t>(cursor_[1]) << 8 |
                     static_cast<uint32_t>(cursor_[2]) << 16 |
                     static_cast<uint32_t>(cursor_[3]) << 24;
    cursor_ += 4;
    return value;
  }
  int8_t S8() { return static_cast<int8_t>(U8()); }
  int16_t S16() { return static_cast<int16_t>(U16()); }
  int32_t S32() { return static_cast<int32_t>(U32()); }

  // Packed unsigned number: one byte 0..254; or 0xFF and a 16-bit value other
  // than 0xFFFF; or 0xFF, 0xFFFF and a 32-bit value.
  uint32_t PackedUnsigned() {
    uint8_t first = U8();
    if (first != 0xFF) return first;
    uint16_t wide = U16();
    if (wide != 0xFFFF) return wide;
    return U32();
  }

  // Packed signed number: one byte -127..127; or 0x80 and a signed 16-bit
  // value other than -32768; or 0x80, 00 80 and a signed 32-bit value.
  int32_t PackedSigned() {
    int8_t first = S8();
    if (first != INT8_MIN) return first;
    int16_t wide = S16();
    if (wide != INT16_MIN) return wide;
    return S32();
  }

  // Hands out the next count bytes (fewer when the data ends first: *taken
  // says how many) and moves past them. Asking for more than is left counts
  // as an overrun.
  const uint8_t* Bytes(uint64_t count, size_t* taken) {
    const uint8_t* start = cursor_;
    size_t available = Left();
    if (count > available) {
      overrun_ = true;
      *taken = available;
    } else {
      *taken = static_cast<size_t>(count);
    }
    cursor_ += *taken;
    return start;
  }

  // A reader over the next count bytes (clamped to what is left), and this
  // reader moves past them.
  ByteReader Sub(uint64_t count) {
    size_t taken = 0;
    const uint8_t* start = Bytes(count, &taken);
    return ByteReader(start, taken);
  }

  // Moves the cursor forward, stopping at the end.
  void Skip(uint64_t count) {
    size_t taken = 0;
    Bytes(count, &taken);
  }

 private:
  uint8_t Fail() {
    overrun_ = true;
    cursor_ = end_;
    return 0;
  }

  const uint8_t* begin_ = nullptr;
  const uint8_t* cursor_ = nullptr;
  const uint8_t* end_ = nullptr;
  bool overrun_ = false;
};

// Little-endian fields of a fixed-size header that has been read whole.
inline uint16_t LoadLe16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}
inline uint32_t LoadLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

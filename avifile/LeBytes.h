#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace avifile {

// Puts little-endian fields into a caller-owned buffer of fixed size. The
// buffer is sized from the layout before anything is put, so running out is a
// fault of ours: the writer then stops writing and remembers it.
class LeBytes {
 public:
  LeBytes(uint8_t* buffer, size_t size) : begin_(buffer), cursor_(buffer), end_(buffer + size) {}

  void U8(uint8_t value) { Put(&value, 1); }
  void U16(uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    Put(bytes, 2);
  }
  void U32(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 24)};
    Put(bytes, 4);
  }
  void U64(uint64_t value) {
    U32(static_cast<uint32_t>(value));
    U32(static_cast<uint32_t>(value >> 32));
  }
  void Bytes(const void* data, size_t count) { Put(data, count); }
  void Zeros(size_t count) {
    if (count > Left()) {
      overrun_ = true;
      count = Left();
    }
    std::memset(cursor_, 0, count);
    cursor_ += count;
  }

  // Overwrites four bytes already put, at offset `at` from the start.
  void Patch32(size_t at, uint32_t value) {
    if (at > Size() || Size() - at < 4) {
      overrun_ = true;
      return;
    }
    for (int i = 0; i < 4; ++i) begin_[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }

  size_t Size() const { return static_cast<size_t>(cursor_ - begin_); }
  size_t Left() const { return static_cast<size_t>(end_ - cursor_); }
  bool Overrun() const { return overrun_; }

 private:
  void Put(const void* data, size_t count) {
    if (count > Left()) {
      overrun_ = true;
      return;
    }
    if (count != 0) std::memcpy(cursor_, data, count);
    cursor_ += count;
  }

  uint8_t* begin_;
  uint8_t* cursor_;
  uint8_t* end_;
  bool overrun_ = false;
};

}  // namespace avifile

#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

// Releases memory from std::calloc. Large zeroed buffers come from calloc
// because a fresh block from the system is zero already and calloc knows it:
// nothing is written at open, and the pages cost time only once drawn into,
// so opening an 8192 x 8192 movie takes milliseconds and an abort is never
// kept waiting by it.
struct FreeWithStdFree {
  void operator()(void* memory) const noexcept { std::free(memory); }
};

// A 24-bit frame picture laid out as a bottom-up device-independent bitmap:
// each row holds blue, green, red per pixel and is padded to a multiple of
// 4 bytes; the pixel memory begins with the bottom row, so it can be written
// to an AVI file as one uncompressed frame exactly as it lies.
class TBitmap {
 public:
  TBitmap() = default;
  virtual ~TBitmap() = default;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  // Gives the bitmap a new size, dropping its picture. The new pixel memory is
  // zeroed. Returns false, leaving the bitmap empty, when the memory cannot be
  // obtained or the size is out of range (negative, or more than 1 GiB).
  bool SetSize(int width, int height);

  // Makes this bitmap an independent copy of another (a preview that must
  // survive the decoder's Close). Returns false, leaving it empty, on failure.
  bool Assign(const TBitmap& source);

  // Drops the picture and the memory.
  void Clear();

  bool Empty() const { return pixels_ == nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Bytes of one row including the fill to a multiple of 4.
  size_t RowBytes() const { return row_bytes_; }
  // Bytes of the whole pixel memory: RowBytes() * Height().
  size_t PixelBytes() const { return row_bytes_ * static_cast<size_t>(height_); }

  // Row y of the picture, 0 being the top row, whatever the memory order.
  uint8_t* ScanLine(int y) { return pixels_.get() + RowOffset(y); }
  const uint8_t* ScanLine(int y) const { return pixels_.get() + RowOffset(y); }

  // Start of the pixel memory: the bottom row, Height() - 1.
  uint8_t* Pixels() { return pixels_.get(); }
  const uint8_t* Pixels() const { return pixels_.get(); }

  // Row bytes for a 24-bit row of the given width: 3 bytes per pixel raised to
  // the next multiple of 4. In 64 bits, so that a width from a file's header
  // cannot wrap it.
  static constexpr uint64_t RowBytesFor(uint64_t width) { return (width * 3 + 3) & ~uint64_t{3}; }

 private:
  size_t RowOffset(int y) const { return static_cast<size_t>(height_ - 1 - y) * row_bytes_; }

  std::unique_ptr<uint8_t[], FreeWithStdFree> pixels_;
  int width_ = 0;
  int height_ = 0;
  size_t row_bytes_ = 0;
};

#include "v02dec/TBitmap.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// A frame picture larger than this is refused rather than attempted.
constexpr size_t kMaxPixelBytes = size_t{1} << 30;

}  // namespace

bool TBitmap::SetSize(int width, int height) {
  Clear();
  if (width < 0 || height < 0) return false;
  if (width == 0 || height == 0) return true;
  const size_t rowBytes = static_cast<size_t>(RowBytesFor(static_cast<uint64_t>(width)));
  if (rowBytes > kMaxPixelBytes / static_cast<size_t>(height)) return false;
  const size_t total = rowBytes * static_cast<size_t>(height);
  pixels_.reset(static_cast<uint8_t*>(std::calloc(total, 1)));
  if (!pixels_) return false;
  width_ = width;
  height_ = height;
  row_bytes_ = rowBytes;
  return true;
}

bool TBitmap::Assign(const TBitmap& source) {
  if (&source == this) return true;
  if (!SetSize(source.width_, source.height_)) return false;
  if (!source.Empty() && !Empty()) std::memcpy(pixels_.get(), source.pixels_.get(), PixelBytes());
  return true;
}

void TBitmap::Clear() {
  pixels_.reset();
  width_ = 0;
  height_ = 0;
  row_bytes_ = 0;
}

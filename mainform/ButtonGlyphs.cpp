#include "mainform/ButtonGlyphs.h"

#include <QPixmap>
#include <cstdint>
#include <span>

QImage GlyphImage(ButtonGlyph glyph, bool disabled, int size) {
  if (size != kLargeGlyphSize) size = kGlyphSize;
  QImage image(size, size, QImage::Format_ARGB32);
  // Format_ARGB32 rows are 0xAARRGGBB words, unpadded at these widths.
  GlyphPixels(glyph, disabled, size,
              std::span<uint32_t>(reinterpret_cast<uint32_t*>(image.bits()),
                                  static_cast<size_t>(size) * static_cast<size_t>(size)));
  return image;
}

QIcon GlyphIcon(ButtonGlyph glyph) {
  QIcon icon;
  for (const bool disabled : {false, true}) {
    const QIcon::Mode mode = disabled ? QIcon::Disabled : QIcon::Normal;
    icon.addPixmap(QPixmap::fromImage(GlyphImage(glyph, disabled)), mode);
    // A dense screen takes the art drawn for 32 × 32; the button still lays
    // the glyph out as 16 × 16.
    QPixmap large = QPixmap::fromImage(GlyphImage(glyph, disabled, kLargeGlyphSize));
    large.setDevicePixelRatio(2.0);
    icon.addPixmap(large, mode);
  }
  return icon;
}

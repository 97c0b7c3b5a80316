#include "mainform/ButtonGlyphs.h"

#include <QPixmap>
#include <array>

namespace {

using GlyphArt = std::array<const char*, kGlyphSize>;

// A document with a small picture on it: "choose files".
constexpr GlyphArt kInputSelectArt = {
    "..kkkkkkkk......",
    "..kwwwwwwkk.....",
    "..kwwwwwwkwk....",
    "..kwwwwwwkwwk...",
    "..kwwwwwwkkkkk..",
    "..kwwwwwwwwwwk..",
    "..kwnnnnnnnnwk..",
    "..kwnccccyynwk..",
    "..kwnccccyynwk..",
    "..kwnccecccnwk..",
    "..kwnceeeccnwk..",
    "..kwneeeeeenwk..",
    "..kwnnnnnnnnwk..",
    "..kwwwwwwwwwwk..",
    "..kkkkkkkkkkkk..",
    "................",
};

// A folder: "where the AVI files go".
constexpr GlyphArt kSaveDirArt = {
    "................",
    "................",
    "................",
    ".kkkkk..........",
    "kyyyyykkkkkkkkk.",
    "kywwwwwwwwwwwwyk",
    "kywyyyyyyyyyyyok",
    "kywyyyyyyyyyyyok",
    "kywyyyyyyyyyyyok",
    "kywyyyyyyyyyyyok",
    "kywyyyyyyyyyyyok",
    "kywyyyyyyyyyyyok",
    "kyoooooooooooook",
    "kkkkkkkkkkkkkkkk",
    "................",
    "................",
};

// A strip of film with a play mark: "convert".
constexpr GlyphArt kStartArt = {
    "................",
    "kkkkkkkkkkkkkkkk",
    "kwkkwkkwkkwkkwkk",
    "kkkkkkkkkkkkkkkk",
    "knnnnnnnnnnnnnnk",
    "knnnnnynnnnnnnnk",
    "knnnnnyynnnnnnnk",
    "knnnnnyyynnnnnnk",
    "knnnnnyyyynnnnnk",
    "knnnnnyyynnnnnnk",
    "knnnnnyynnnnnnnk",
    "knnnnnynnnnnnnnk",
    "knnnnnnnnnnnnnnk",
    "kkkkkkkkkkkkkkkk",
    "kwkkwkkwkkwkkwkk",
    "kkkkkkkkkkkkkkkk",
};

// The sixteen-colour palette the glyphs are drawn in; '.' is transparent.
QRgb PaletteColour(char code) {
  switch (code) {
    case 'k': return qRgb(0x00, 0x00, 0x00);
    case 'm': return qRgb(0x80, 0x00, 0x00);
    case 'e': return qRgb(0x00, 0x80, 0x00);
    case 'o': return qRgb(0x80, 0x80, 0x00);
    case 'n': return qRgb(0x00, 0x00, 0x80);
    case 'p': return qRgb(0x80, 0x00, 0x80);
    case 't': return qRgb(0x00, 0x80, 0x80);
    case 'd': return qRgb(0x80, 0x80, 0x80);
    case 'g': return qRgb(0xC0, 0xC0, 0xC0);
    case 'r': return qRgb(0xFF, 0x00, 0x00);
    case 'G': return qRgb(0x00, 0xFF, 0x00);
    case 'y': return qRgb(0xFF, 0xFF, 0x00);
    case 'b': return qRgb(0x00, 0x00, 0xFF);
    case 'v': return qRgb(0xFF, 0x00, 0xFF);
    case 'c': return qRgb(0x00, 0xFF, 0xFF);
    case 'w': return qRgb(0xFF, 0xFF, 0xFF);
    default: return qRgba(0, 0, 0, 0);
  }
}

const GlyphArt& ArtOf(ButtonGlyph glyph) {
  switch (glyph) {
    case ButtonGlyph::kInputSelect: return kInputSelectArt;
    case ButtonGlyph::kSaveDir: return kSaveDirArt;
    case ButtonGlyph::kStart: break;
  }
  return kStartArt;
}

// The disabled look of a bitmap button: every pixel darker than light grey
// becomes a grey shadow with a white highlight one pixel down and to the
// right, and everything light vanishes, so the glyph reads as etched.
bool IsInk(char code) {
  const QRgb colour = PaletteColour(code);
  return qAlpha(colour) != 0 && qGray(colour) < 0xC0;
}

}  // namespace

QImage GlyphImage(ButtonGlyph glyph, bool disabled) {
  const GlyphArt& art = ArtOf(glyph);
  QImage image(kGlyphSize, kGlyphSize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  if (!disabled) {
    for (int y = 0; y < kGlyphSize; ++y) {
      for (int x = 0; x < kGlyphSize; ++x) image.setPixel(x, y, PaletteColour(art[y][x]));
    }
    return image;
  }
  const QRgb shadow = PaletteColour('d');
  const QRgb highlight = PaletteColour('w');
  for (int y = 0; y < kGlyphSize; ++y) {
    for (int x = 0; x < kGlyphSize; ++x) {
      if (!IsInk(art[y][x])) continue;
      image.setPixel(x, y, shadow);
      const int hx = x + 1;
      const int hy = y + 1;
      if (hx < kGlyphSize && hy < kGlyphSize && !IsInk(art[hy][hx])) {
        image.setPixel(hx, hy, highlight);
      }
    }
  }
  return image;
}

QIcon GlyphIcon(ButtonGlyph glyph) {
  QIcon icon;
  for (const bool disabled : {false, true}) {
    const QImage image = GlyphImage(glyph, disabled);
    const QIcon::Mode mode = disabled ? QIcon::Disabled : QIcon::Normal;
    icon.addPixmap(QPixmap::fromImage(image), mode);
    // On a dense screen each glyph pixel becomes a square of pixels rather
    // than a blur, as the sixteen-colour design wants.
    QPixmap doubled = QPixmap::fromImage(
        image.scaled(2 * kGlyphSize, 2 * kGlyphSize, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    doubled.setDevicePixelRatio(2.0);
    icon.addPixmap(doubled, mode);
  }
  return icon;
}

#include "mainform/ButtonGlyphs.h"

#include <QPixmap>
#include <array>
#include <span>

namespace {

template <int kSize>
using GlyphArt = std::array<const char*, kSize>;

// A document with a small picture on it: "choose files".
constexpr GlyphArt<16> kInputSelectArt = {
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
constexpr GlyphArt<16> kSaveDirArt = {
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
constexpr GlyphArt<16> kStartArt = {
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

// The same three drawn again at 32 × 32 for screens at twice the density:
// one-pixel outlines, a smoother sun, hill and play mark, rather than each
// pixel of the small ones doubled.
constexpr GlyphArt<32> kInputSelectArt32 = {
    "................................",
    "....kkkkkkkkkkkkkkkk............",
    "....kwwwwwwwwwwwwwwkk...........",
    "....kwwwwwwwwwwwwwwkgk..........",
    "....kwwwwwwwwwwwwwwkggk.........",
    "....kwwwwwwwwwwwwwwkgggk........",
    "....kwwwwwwwwwwwwwwkggggk.......",
    "....kwwwwwwwwwwwwwwkgggggk......",
    "....kwwwwwwwwwwwwwwkggggggk.....",
    "....kwwwwwwwwwwwwwwkkkkkkkkk....",
    "....kwwwwwwwwwwwwwwwwwwwwwwk....",
    "....kwwwwwwwwwwwwwwwwwwwwwwk....",
    "....kwwwwwwwwwwwwwwwwwwwwwwk....",
    "....kwwnnnnnnnnnnnnnnnnnnwwk....",
    "....kwwnccccccccccccccccnwwk....",
    "....kwwncccccccccccyyyccnwwk....",
    "....kwwnccccccccccyyyyycnwwk....",
    "....kwwnccccccccccyyyyycnwwk....",
    "....kwwnccccccccccyyyyycnwwk....",
    "....kwwncccccccccccyyyeenwwk....",
    "....kwwncccccccccccceeeenwwk....",
    "....kwwncccccccccceeeeeenwwk....",
    "....kwwnccccccccceeeeeeenwwk....",
    "....kwwncccccccceeeeeeeenwwk....",
    "....kwwneccccceeeeeeeeeenwwk....",
    "....kwwneeeeeeeeeeeeeeeenwwk....",
    "....kwwneeeeeeeeeeeeeeeenwwk....",
    "....kwwnnnnnnnnnnnnnnnnnnwwk....",
    "....kwwwwwwwwwwwwwwwwwwwwwwk....",
    "....kwwwwwwwwwwwwwwwwwwwwwwk....",
    "....kkkkkkkkkkkkkkkkkkkkkkkk....",
    "................................",
};

constexpr GlyphArt<32> kSaveDirArt32 = {
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    ".kkkkkkkkkkk....................",
    "kyyyyyyyyyyyk...................",
    "kyyyyyyyyyyykkkkkkkkkkkkkkkkkkk.",
    "kyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyk",
    "kywwwwwwwwwwwwwwwwwwwwwwwwwwwwok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kywyyyyyyyyyyyyyyyyyyyyyyyyyyyok",
    "kyoooooooooooooooooooooooooooook",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk",
    "................................",
    "................................",
    "................................",
    "................................",
};

constexpr GlyphArt<32> kStartArt32 = {
    "................................",
    "................................",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk",
    "kkwwwkkwwwkkwwwkkwwwkkwwwkkwwwkk",
    "kkwwwkkwwwkkwwwkkwwwkkwwwkkwwwkk",
    "kkwwwkkwwwkkwwwkkwwwkkwwwkkwwwkk",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk",
    "knnnnnnnnnnnnynnnnnnnnnnnnnnnnnk",
    "knnnnnnnnnnnnyynnnnnnnnnnnnnnnnk",
    "knnnnnnnnnnnnyyynnnnnnnnnnnnnnnk",
    "knnnnnnnnnnnnyyyynnnnnnnnnnnnnnk",
    "knnnnnnnnnnnnyyyyynnnnnnnnnnnnnk",
    "knnnnnnnnnnnnyyyyyynnnnnnnnnnnnk",
    "knnnnnnnnnnnnyyyyyyynnnnnnnnnnnk",
    "knnnnnnnnnnnnyyyyyynnnnnnnnnnnnk",
    "knnnnnnnnnnnnyyyyynnnnnnnnnnnnnk",
    "knnnnnnnnnnnnyyyynnnnnnnnnnnnnnk",
    "knnnnnnnnnnnnyyynnnnnnnnnnnnnnnk",
    "knnnnnnnnnnnnyynnnnnnnnnnnnnnnnk",
    "knnnnnnnnnnnnynnnnnnnnnnnnnnnnnk",
    "knnnnnnnnnnnnnnnnnnnnnnnnnnnnnnk",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk",
    "kkwwwkkwwwkkwwwkkwwwkkwwwkkwwwkk",
    "kkwwwkkwwwkkwwwkkwwwkkwwwkkwwwkk",
    "kkwwwkkwwwkkwwwkkwwwkkwwwkkwwwkk",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk",
    "................................",
    "................................",
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

// The rows of a glyph's art at one of its two sizes, top row first.
std::span<const char* const> ArtOf(ButtonGlyph glyph, int size) {
  const bool large = size == kLargeGlyphSize;
  switch (glyph) {
    case ButtonGlyph::kInputSelect:
      return large ? std::span<const char* const>(kInputSelectArt32) : kInputSelectArt;
    case ButtonGlyph::kSaveDir:
      return large ? std::span<const char* const>(kSaveDirArt32) : kSaveDirArt;
    case ButtonGlyph::kStart: break;
  }
  return large ? std::span<const char* const>(kStartArt32) : kStartArt;
}

// The disabled look of a bitmap button: every pixel darker than light grey
// becomes a grey shadow with a white highlight one pixel down and to the
// right, and everything light vanishes, so the glyph reads as etched.
bool IsInk(char code) {
  const QRgb colour = PaletteColour(code);
  return qAlpha(colour) != 0 && qGray(colour) < 0xC0;
}

}  // namespace

QImage GlyphImage(ButtonGlyph glyph, bool disabled, int size) {
  if (size != kLargeGlyphSize) size = kGlyphSize;
  const std::span<const char* const> art = ArtOf(glyph, size);
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  if (!disabled) {
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) image.setPixel(x, y, PaletteColour(art[y][x]));
    }
    return image;
  }
  const QRgb shadow = PaletteColour('d');
  const QRgb highlight = PaletteColour('w');
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      if (!IsInk(art[y][x])) continue;
      image.setPixel(x, y, shadow);
      const int hx = x + 1;
      const int hy = y + 1;
      if (hx < size && hy < size && !IsInk(art[hy][hx])) image.setPixel(hx, hy, highlight);
    }
  }
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

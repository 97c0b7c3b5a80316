#include "formdesign/ButtonGlyphArt.h"

#include <array>

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

constexpr uint32_t Rgb(uint32_t red, uint32_t green, uint32_t blue) {
  return 0xFF000000u | red << 16 | green << 8 | blue;
}

// The sixteen-colour palette the glyphs are drawn in; '.' is transparent.
uint32_t PaletteColour(char code) {
  switch (code) {
    case 'k': return Rgb(0x00, 0x00, 0x00);
    case 'm': return Rgb(0x80, 0x00, 0x00);
    case 'e': return Rgb(0x00, 0x80, 0x00);
    case 'o': return Rgb(0x80, 0x80, 0x00);
    case 'n': return Rgb(0x00, 0x00, 0x80);
    case 'p': return Rgb(0x80, 0x00, 0x80);
    case 't': return Rgb(0x00, 0x80, 0x80);
    case 'd': return Rgb(0x80, 0x80, 0x80);
    case 'g': return Rgb(0xC0, 0xC0, 0xC0);
    case 'r': return Rgb(0xFF, 0x00, 0x00);
    case 'G': return Rgb(0x00, 0xFF, 0x00);
    case 'y': return Rgb(0xFF, 0xFF, 0x00);
    case 'b': return Rgb(0x00, 0x00, 0xFF);
    case 'v': return Rgb(0xFF, 0x00, 0xFF);
    case 'c': return Rgb(0x00, 0xFF, 0xFF);
    case 'w': return Rgb(0xFF, 0xFF, 0xFF);
    default: return 0;
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
// Darkness is the usual luminance weighting of 11, 16 and 5 thirty-seconds.
bool IsInk(char code) {
  const uint32_t colour = PaletteColour(code);
  const uint32_t red = colour >> 16 & 0xFF, green = colour >> 8 & 0xFF, blue = colour & 0xFF;
  return (colour >> 24) != 0 && (red * 11 + green * 16 + blue * 5) / 32 < 0xC0;
}

}  // namespace

void GlyphPixels(ButtonGlyph glyph, bool disabled, int size, std::span<uint32_t> pixels) {
  if (size != kLargeGlyphSize) size = kGlyphSize;
  const std::span<const char* const> art = ArtOf(glyph, size);
  const auto at = [&](int x, int y) -> uint32_t& {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)];
  };
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) at(x, y) = disabled ? 0 : PaletteColour(art[y][x]);
  }
  if (!disabled) return;
  const uint32_t shadow = PaletteColour('d');
  const uint32_t highlight = PaletteColour('w');
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      if (!IsInk(art[y][x])) continue;
      at(x, y) = shadow;
      const int hx = x + 1;
      const int hy = y + 1;
      if (hx < size && hy < size && !IsInk(art[hy][hx])) at(hx, hy) = highlight;
    }
  }
}

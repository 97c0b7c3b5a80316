#pragma once

#include <cstdint>
#include <span>

// The glyphs of the window's three bitmap buttons: 16 × 16 pictures in the
// sixteen colours of the classic palette, one for the normal state and one,
// embossed in grey, for the disabled state; each also drawn at 32 × 32 for
// screens at twice the density. Toolkit-free pixels; each window wraps them
// in its own picture type.
enum class ButtonGlyph { kInputSelect, kSaveDir, kStart };

constexpr int kGlyphSize = 16;
constexpr int kLargeGlyphSize = 32;

// Fills pixels (size × size, rows from the top) with the glyph as 32-bit
// 0xAARRGGBB values, not premultiplied; transparent pixels are 0. size is
// kGlyphSize or kLargeGlyphSize (anything else gives kGlyphSize, and pixels
// must then hold kGlyphSize²).
void GlyphPixels(ButtonGlyph glyph, bool disabled, int size, std::span<uint32_t> pixels);

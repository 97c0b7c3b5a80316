#pragma once

#include <QIcon>
#include <QImage>

// The glyphs of the window's three bitmap buttons: 16 × 16 pictures in the
// sixteen colours of the classic palette, one for the normal state and one,
// embossed in grey, for the disabled state; each also drawn at 32 × 32 for
// screens at twice the density.
enum class ButtonGlyph { kInputSelect, kSaveDir, kStart };

constexpr int kGlyphSize = 16;
constexpr int kLargeGlyphSize = 32;

// size is kGlyphSize or kLargeGlyphSize.
QImage GlyphImage(ButtonGlyph glyph, bool disabled, int size = kGlyphSize);

// Both states in one icon, QIcon::Normal and QIcon::Disabled, each at both
// sizes (the large one at a device pixel ratio of 2).
QIcon GlyphIcon(ButtonGlyph glyph);

#pragma once

#include <QIcon>
#include <QImage>

// The glyphs of the window's three bitmap buttons: 16 × 16 pictures in the
// sixteen colours of the classic palette, one for the normal state and one,
// embossed in grey, for the disabled state.
enum class ButtonGlyph { kInputSelect, kSaveDir, kStart };

constexpr int kGlyphSize = 16;

QImage GlyphImage(ButtonGlyph glyph, bool disabled);

// Both states in one icon: QIcon::Normal and QIcon::Disabled.
QIcon GlyphIcon(ButtonGlyph glyph);

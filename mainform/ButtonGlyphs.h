#pragma once

#include <QIcon>
#include <QImage>

#include "formdesign/ButtonGlyphArt.h"

// The design's button glyphs as Qt pictures.

// size is kGlyphSize or kLargeGlyphSize.
QImage GlyphImage(ButtonGlyph glyph, bool disabled, int size = kGlyphSize);

// Both states in one icon, QIcon::Normal and QIcon::Disabled, each at both
// sizes (the large one at a device pixel ratio of 2).
QIcon GlyphIcon(ButtonGlyph glyph);

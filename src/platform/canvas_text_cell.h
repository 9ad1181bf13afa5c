// The built-in fixed-cell font of the headless canvases.
//
// Every character takes one cell: the height is the font size converted to
// device pixels (Size points at the device's pixels per inch, at least 1)
// and the width three fifths of that (at least 1). A 10-point font on a
// 96-pixel-per-inch bitmap therefore measures 8 x 13 pixels per character.
// Glyphs are a 5 x 7 dot matrix scaled into the cell (printable ASCII; any
// other character shows as a filled block). Bold thickens the strokes by one
// pixel, Underline adds a line on the cell's bottom row; Italic is drawn
// upright.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "platform/canvas.h"

struct TTextCell {
  int Width = 1;
  int Height = 1;
};

TTextCell TextCellOf(const TFont& font, int pixelsPerInch);

// Characters of a UTF-8 text (code points; a malformed byte counts as one).
std::vector<char32_t> TextCharacters(const std::string& text);

// Whether the dot at (cx, cy) of a cell of the given size is set for the
// character (cx 0..Width-1 from the left, cy 0..Height-1 from the top).
bool TextCellDot(char32_t ch, const TTextCell& cell, int cx, int cy, bool bold, bool underline);

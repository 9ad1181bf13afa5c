// The glyphs of the built-in stroke font, shared by the view's notices and
// plot labels and by the text of imported drawings.
//
// Every glyph is a list of pen-up and pen-down moves on a grid 11 units wide
// and 15 high, origin at the lower left of the character cell.
#pragma once
#include <array>
#include <cstdint>

// The 80 glyph records: the character, a blank, then commands separated by
// single blanks: "U" x,y pen up to (x, y); "D" x,y pen down to (x, y); "E"
// end. Records 27..52 are the lower-case letters.
constexpr int32_t StrokeGlyphCount = 80;
constexpr int32_t StrokeGridUnits = 15;
extern const std::array<const char*, StrokeGlyphCount> ViewStrokeFont;

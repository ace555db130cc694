// A tiny bitmap font for the Linux dialog and message box, so that no font
// library is needed: fixed 6-pixel advance, 9-pixel line.
#pragma once

#include <cstdint>

const int FONT_GLYPH_WIDTH = 5;
const int FONT_GLYPH_ROWS = 7;  // cap height; descenders add two rows
const int FONT_ADVANCE = 6;     // pixels from one character to the next
const int FONT_LINE_HEIGHT = 9;

// Whether pixel (x, y) of character `c` is ink; (0, 0) is the top left of
// its cell. Characters outside printable ASCII show as '?'.
bool fontPixel(char c, int x, int y);

// Width in pixels of `text` on one line.
int fontTextWidth(const char* text);

// The text font of the Linux dialog and message box: a scalable font drawn
// anti-aliased when the platform layer installs one, else a tiny built-in
// bitmap font (fixed 6-pixel advance, 9-pixel line) that needs no library.
#pragma once

#include <cstdint>

const int FONT_GLYPH_WIDTH = 5;
const int FONT_GLYPH_ROWS = 7;  // cap height; descenders add two rows
const int FONT_ADVANCE = 6;     // pixels from one character to the next
const int FONT_LINE_HEIGHT = 9;

// Whether pixel (x, y) of character `c` is ink; (0, 0) is the top left of
// its cell. Characters outside printable ASCII show as '?'.
bool fontPixel(char c, int x, int y);

// Coverage of one rendered line of text: 0 (background) to 255 (full ink)
// per pixel, row after row `pitch` bytes apart.
struct TextMask {
  const uint8_t* coverage;
  int width;
  int height;
  int pitch;
};

// A scalable font at the dialog's size, rendered by a font library.
struct ScalableFont {
  int lineHeight;                                    // pixels from one line's top to the next
  int (*width)(const char* text);                    // pixels of `text` on one line, or -1
  bool (*render)(const char* text, TextMask* mask);  // valid until the next call
};

// Draws all later text with `font`; null goes back to the built-in font.
void fontUseScalable(const ScalableFont* font);

// The scalable font in use, or null for the built-in one.
const ScalableFont* fontScalable();

// Width in pixels of `text` on one line, in the font in use.
int fontTextWidth(const char* text);

// Height in pixels of a line of text in the font in use.
int fontLineHeight();

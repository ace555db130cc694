// Drawing into a 32-bit pixel buffer: the Linux dialog paints itself here
// and hands the finished picture to the window in one piece.
#pragma once

#include <cstdint>

#include "platform/sdl/bitmap.h"
#include "platform/sdl/font.h"

// Pixels 0xAARRGGBB, row after row; everything drawn is clipped to it.
struct Canvas {
  uint32_t* pixels;
  int width;
  int height;
};

struct PixelRect {
  int x;
  int y;
  int w;
  int h;
};

void canvasFill(const Canvas& canvas, PixelRect r, uint32_t color);

// A one-pixel frame just inside `r`: `topLeft` on the upper and left edges,
// `bottomRight` on the lower and right edges (the corners they share with the
// other colour go to `bottomRight`).
void canvasFrame(const Canvas& canvas, PixelRect r, uint32_t topLeft, uint32_t bottomRight);

// Every other pixel of a frame just inside `r`: the keyboard focus mark.
void canvasDottedFrame(const Canvas& canvas, PixelRect r, uint32_t color);

// One line of text in the font in use with the top of its line at (x, y);
// characters that would reach beyond `maxWidth` pixels are left out.
void canvasText(const Canvas& canvas, int x, int y, const char* text, uint32_t color,
                int maxWidth = 1 << 20);

// The same text drawn disabled: embossed, a highlight copy one pixel down
// and right under a shadow copy.
void canvasDisabledText(const Canvas& canvas, int x, int y, const char* text, int maxWidth);

// Mixes `color` into the canvas through `mask`, whose top left goes to (x, y).
void canvasBlend(const Canvas& canvas, int x, int y, const TextMask& mask, uint32_t color);

// Draws `image` with its top left at (x, y), leaving transparent pixels.
void canvasImage(const Canvas& canvas, int x, int y, const Bitmap& image);

// Draws `image` disabled, as the Windows buttons do: every opaque pixel that
// is not white becomes ink, drawn in the highlight colour one pixel down and
// right, then in the shadow colour in place.
void canvasDisabledImage(const Canvas& canvas, int x, int y, const Bitmap& image);

// A filled circle of `color` with centre (cx, cy) and `radius`.
void canvasDisc(const Canvas& canvas, int cx, int cy, int radius, uint32_t color);

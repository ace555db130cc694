// Clipped drawing primitives on a 32-bit pixel buffer.
#include "platform/sdl/canvas.h"

#include "platform/sdl/font.h"

namespace {

void putPixel(const Canvas& canvas, int x, int y, uint32_t color) {
  if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) return;
  canvas.pixels[y * canvas.width + x] = color;
}

}  // namespace

void canvasFill(const Canvas& canvas, PixelRect r, uint32_t color) {
  int x0 = r.x < 0 ? 0 : r.x;
  int y0 = r.y < 0 ? 0 : r.y;
  int x1 = r.x + r.w > canvas.width ? canvas.width : r.x + r.w;
  int y1 = r.y + r.h > canvas.height ? canvas.height : r.y + r.h;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) canvas.pixels[y * canvas.width + x] = color;
}

void canvasFrame(const Canvas& canvas, PixelRect r, uint32_t topLeft, uint32_t bottomRight) {
  if (r.w <= 0 || r.h <= 0) return;
  canvasFill(canvas, {r.x, r.y, r.w, 1}, topLeft);
  canvasFill(canvas, {r.x, r.y, 1, r.h}, topLeft);
  canvasFill(canvas, {r.x, r.y + r.h - 1, r.w, 1}, bottomRight);
  canvasFill(canvas, {r.x + r.w - 1, r.y, 1, r.h}, bottomRight);
}

void canvasDottedFrame(const Canvas& canvas, PixelRect r, uint32_t color) {
  for (int x = r.x; x < r.x + r.w; x += 2) {
    putPixel(canvas, x, r.y, color);
    putPixel(canvas, x, r.y + r.h - 1, color);
  }
  for (int y = r.y; y < r.y + r.h; y += 2) {
    putPixel(canvas, r.x, y, color);
    putPixel(canvas, r.x + r.w - 1, y, color);
  }
}

void canvasText(const Canvas& canvas, int x, int y, const char* text, uint32_t color,
                int maxWidth) {
  for (int used = FONT_GLYPH_WIDTH; *text && used <= maxWidth;
       text++, x += FONT_ADVANCE, used += FONT_ADVANCE)
    for (int gy = 0; gy < FONT_LINE_HEIGHT; gy++)
      for (int gx = 0; gx < FONT_GLYPH_WIDTH; gx++)
        if (fontPixel(*text, gx, gy)) putPixel(canvas, x + gx, y + gy, color);
}

void canvasImage(const Canvas& canvas, int x, int y, const Bitmap& image) {
  for (int iy = 0; iy < image.height; iy++)
    for (int ix = 0; ix < image.width; ix++) {
      uint32_t color = image.pixels[iy * image.width + ix];
      if (color >> 24) putPixel(canvas, x + ix, y + iy, color);
    }
}

void canvasDisc(const Canvas& canvas, int cx, int cy, int radius, uint32_t color) {
  for (int dy = -radius; dy <= radius; dy++)
    for (int dx = -radius; dx <= radius; dx++)
      if (dx * dx + dy * dy <= radius * radius) putPixel(canvas, cx + dx, cy + dy, color);
}

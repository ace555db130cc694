// Clipped drawing primitives on a 32-bit pixel buffer.
#include "platform/sdl/canvas.h"

#include <cstring>

namespace {

const int MAX_TEXT_CHARS = 255;     // longer text is cut; no box is that wide
const uint32_t WHITE = 0xFFFFFFFF;  // the background a disabled image drops

void putPixel(const Canvas& canvas, int x, int y, uint32_t color) {
  if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) return;
  canvas.pixels[y * canvas.width + x] = color;
}

// (a * weight + b * (255 - weight)) / 255 for each 8-bit channel, rounded.
uint32_t mix(uint32_t a, uint32_t b, unsigned weight) {
  uint32_t out = 0xFF000000;
  for (int shift = 0; shift < 24; shift += 8) {
    unsigned ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    out |= static_cast<uint32_t>((ca * weight + cb * (255 - weight) + 127) / 255) << shift;
  }
  return out;
}

// The scalable font's text, cut to the longest start that fits `maxWidth`.
void scalableText(const Canvas& canvas, const ScalableFont& font, int x, int y, const char* text,
                  uint32_t color, int maxWidth) {
  char line[MAX_TEXT_CHARS + 1];
  size_t n = std::strlen(text);
  if (n > MAX_TEXT_CHARS) n = MAX_TEXT_CHARS;
  std::memcpy(line, text, n);
  line[n] = '\0';
  while (n > 0 && font.width(line) > maxWidth) line[--n] = '\0';
  TextMask mask;
  if (n > 0 && font.render(line, &mask)) canvasBlend(canvas, x, y, mask, color);
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
  if (const ScalableFont* font = fontScalable()) {
    scalableText(canvas, *font, x, y, text, color, maxWidth);
    return;
  }
  for (int used = FONT_GLYPH_WIDTH; *text && used <= maxWidth;
       text++, x += FONT_ADVANCE, used += FONT_ADVANCE)
    for (int gy = 0; gy < FONT_LINE_HEIGHT; gy++)
      for (int gx = 0; gx < FONT_GLYPH_WIDTH; gx++)
        if (fontPixel(*text, gx, gy)) putPixel(canvas, x + gx, y + gy, color);
}

void canvasDisabledText(const Canvas& canvas, int x, int y, const char* text, int maxWidth) {
  canvasText(canvas, x + 1, y + 1, text, COLOR_3D_HIGHLIGHT, maxWidth);
  canvasText(canvas, x, y, text, COLOR_3D_SHADOW, maxWidth);
}

void canvasBlend(const Canvas& canvas, int x, int y, const TextMask& mask, uint32_t color) {
  for (int my = 0; my < mask.height; my++)
    for (int mx = 0; mx < mask.width; mx++) {
      int cx = x + mx, cy = y + my;
      if (cx < 0 || cy < 0 || cx >= canvas.width || cy >= canvas.height) continue;
      uint32_t& pixel = canvas.pixels[cy * canvas.width + cx];
      pixel = mix(color, pixel, mask.coverage[my * mask.pitch + mx]);
    }
}

void canvasImage(const Canvas& canvas, int x, int y, const Bitmap& image) {
  for (int iy = 0; iy < image.height; iy++)
    for (int ix = 0; ix < image.width; ix++) {
      uint32_t color = image.pixels[iy * image.width + ix];
      if (color >> 24) putPixel(canvas, x + ix, y + iy, color);
    }
}

void canvasDisabledImage(const Canvas& canvas, int x, int y, const Bitmap& image) {
  for (int pass = 0; pass < 2; pass++) {
    int offset = pass == 0 ? 1 : 0;
    uint32_t ink = pass == 0 ? COLOR_3D_HIGHLIGHT : COLOR_3D_SHADOW;
    for (int iy = 0; iy < image.height; iy++)
      for (int ix = 0; ix < image.width; ix++) {
        uint32_t color = image.pixels[iy * image.width + ix];
        if ((color >> 24) && color != WHITE)
          putPixel(canvas, x + ix + offset, y + iy + offset, ink);
      }
  }
}

void canvasDisc(const Canvas& canvas, int cx, int cy, int radius, uint32_t color) {
  for (int dy = -radius; dy <= radius; dy++)
    for (int dx = -radius; dx <= radius; dx++)
      if (dx * dx + dy * dy <= radius * radius) putPixel(canvas, cx + dx, cy + dy, color);
}

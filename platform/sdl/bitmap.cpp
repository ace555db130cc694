// Windows device-independent bitmaps as found in .bmp and .ico files.
#include "platform/sdl/bitmap.h"

namespace {

const size_t FILE_HEADER_SIZE = 14;
const size_t INFO_HEADER_SIZE = 40;

uint32_t readU16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t readU32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
int32_t readI32(const uint8_t* p) { return static_cast<int32_t>(readU32(p)); }

uint32_t map3dColor(uint32_t rgb) {
  switch (rgb & 0xFFFFFF) {
    case 0x808080:
      return COLOR_3D_SHADOW;
    case 0xC0C0C0:
      return COLOR_3D_FACE;
    case 0xDFDFDF:
      return COLOR_3D_LIGHT;
    default:
      return rgb | 0xFF000000u;
  }
}

// Decodes the bitmap whose BITMAPINFOHEADER starts at `dib` (`size` bytes
// from there to the end of the file). `pixelOffset` is where the pixel rows
// start, counted from `dib`, or 0 when they follow the palette. An icon's
// image is twice as high as its picture, the AND mask below the colours.
bool decodeDib(const uint8_t* dib, size_t size, size_t pixelOffset, bool icon, bool map3dColors,
               Bitmap* out) {
  if (size < INFO_HEADER_SIZE) return false;
  uint32_t headerSize = readU32(dib);
  if (headerSize < INFO_HEADER_SIZE || headerSize > size) return false;
  int32_t width = readI32(dib + 4);
  int32_t height = readI32(dib + 8);
  uint32_t planes = readU16(dib + 12);
  uint32_t bitCount = readU16(dib + 14);
  uint32_t compression = readU32(dib + 16);
  uint32_t colorsUsed = readU32(dib + 32);
  if (planes != 1 || compression != 0) return false;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8) return false;
  bool topDown = height < 0;
  if (icon) {
    if (topDown || height % 2 != 0) return false;
    height /= 2;
  } else if (topDown) {
    if (height == INT32_MIN) return false;
    height = -height;
  }
  if (width < 1 || width > IMAGE_MAX_SIDE || height < 1 || height > IMAGE_MAX_SIDE) return false;

  uint32_t paletteSize = colorsUsed ? colorsUsed : (1u << bitCount);
  if (paletteSize > (1u << bitCount)) return false;
  size_t paletteAt = headerSize;
  if (paletteAt + 4 * static_cast<size_t>(paletteSize) > size) return false;
  uint32_t palette[256];
  for (uint32_t i = 0; i < paletteSize; i++) {
    const uint8_t* q = dib + paletteAt + 4 * i;
    uint32_t rgb = (static_cast<uint32_t>(q[2]) << 16) | (q[1] << 8) | q[0];
    palette[i] = map3dColors ? map3dColor(rgb) : (rgb | 0xFF000000u);
  }

  size_t rowBytes = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
  size_t maskRowBytes = ((static_cast<size_t>(width) + 31) / 32) * 4;
  size_t colorsAt = pixelOffset ? pixelOffset : paletteAt + 4 * static_cast<size_t>(paletteSize);
  size_t maskAt = colorsAt + rowBytes * height;
  size_t end = icon ? maskAt + maskRowBytes * height : maskAt;
  if (colorsAt > size || end > size) return false;

  out->width = width;
  out->height = height;
  uint32_t mask = (1u << bitCount) - 1;
  for (int row = 0; row < height; row++) {
    int y = topDown ? row : height - 1 - row;
    const uint8_t* bits = dib + colorsAt + rowBytes * row;
    const uint8_t* maskBits = dib + maskAt + maskRowBytes * row;
    for (int x = 0; x < width; x++) {
      size_t bit = static_cast<size_t>(x) * bitCount;
      uint32_t index = (bits[bit / 8] >> (8 - bitCount - bit % 8)) & mask;
      uint32_t color = index < paletteSize ? palette[index] : 0xFF000000u;
      if (icon && ((maskBits[x / 8] >> (7 - x % 8)) & 1)) color = 0;
      out->pixels[y * width + x] = color;
    }
  }
  return true;
}

}  // namespace

bool decodeBmp(const uint8_t* file, size_t size, bool map3dColors, Bitmap* out) {
  if (!file || size < FILE_HEADER_SIZE + INFO_HEADER_SIZE) return false;
  if (file[0] != 'B' || file[1] != 'M') return false;
  uint32_t pixelOffset = readU32(file + 10);
  if (pixelOffset < FILE_HEADER_SIZE + INFO_HEADER_SIZE || pixelOffset > size) return false;
  return decodeDib(file + FILE_HEADER_SIZE, size - FILE_HEADER_SIZE, pixelOffset - FILE_HEADER_SIZE,
                   false, map3dColors, out);
}

bool decodeIcon(const uint8_t* file, size_t size, Bitmap* out) {
  const size_t DIR_SIZE = 6, ENTRY_SIZE = 16;
  if (!file || size < DIR_SIZE + ENTRY_SIZE) return false;
  if (readU16(file) != 0 || readU16(file + 2) != 1 || readU16(file + 4) < 1) return false;
  const uint8_t* entry = file + DIR_SIZE;
  uint32_t length = readU32(entry + 8);
  uint32_t offset = readU32(entry + 12);
  if (offset > size || length > size - offset) return false;
  return decodeDib(file + offset, length, 0, true, false, out);
}

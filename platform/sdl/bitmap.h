// Decoding of the player's bitmap and icon resources (Windows .bmp and .ico
// files with 1-, 4- or 8-bit palettes) into 32-bit pixels, without heap.
#pragma once

#include <cstddef>
#include <cstdint>

const int IMAGE_MAX_SIDE = 32;

// Pixels are 0xAARRGGBB, top row first; alpha 0 marks a transparent pixel.
struct Bitmap {
  int width;
  int height;
  uint32_t pixels[IMAGE_MAX_SIDE * IMAGE_MAX_SIDE];
};

// The fixed 3-D colours of the Linux dialog, standing in for the system's.
const uint32_t COLOR_3D_FACE = 0xFFD4D0C8;
const uint32_t COLOR_3D_SHADOW = 0xFF808080;
const uint32_t COLOR_3D_LIGHT = 0xFFE4E2DE;
const uint32_t COLOR_3D_HIGHLIGHT = 0xFFFFFFFF;
const uint32_t COLOR_3D_DARK_SHADOW = 0xFF404040;
const uint32_t COLOR_TEXT = 0xFF000000;

// Decodes a .bmp file of at most IMAGE_MAX_SIDE pixels a side. With
// `map3dColors` the palette's greys follow the 3-D colours: 128,128,128 is
// drawn as the shadow, 192,192,192 as the face and 223,223,223 as the light.
// False for anything malformed, compressed, too large or truncated.
bool decodeBmp(const uint8_t* file, size_t size, bool map3dColors, Bitmap* out);

// Decodes the first image of an .ico file; pixels its mask marks are
// transparent. False for anything malformed, too large or truncated.
bool decodeIcon(const uint8_t* file, size_t size, Bitmap* out);

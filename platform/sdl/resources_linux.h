// The player's bitmaps and icon, built into the Linux programs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/sdl/bitmap.h"

enum ResourceKind { RESOURCE_BITMAP, RESOURCE_ICON };

struct EmbeddedResource {
  ResourceKind kind;
  int id;
  const uint8_t* data;  // the file's bytes
  size_t size;
};

// Defined by the build from the files in resources/.
extern const EmbeddedResource EMBEDDED_RESOURCES[];
extern const int EMBEDDED_RESOURCE_COUNT;

// The resource of `kind` and `id`, or null.
const EmbeddedResource* findEmbeddedResource(ResourceKind kind, int id);

// Bitmap `id` decoded with 3-D colour mapping; each bitmap is decoded once and
// stays for the program run. Null when it does not exist or does not decode.
const Bitmap* loadResourceBitmap(int id);

// Icon group `id` decoded; null when it does not exist or does not decode.
const Bitmap* loadResourceIcon(int id);

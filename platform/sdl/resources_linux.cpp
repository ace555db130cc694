// Lookup and one-time decoding of the built-in bitmaps and icon.
#include "platform/sdl/resources_linux.h"

namespace {

const int CACHE_SLOTS = 8;

struct ResourceCache {
  const EmbeddedResource* source[CACHE_SLOTS];  // null: slot free
  bool decoded[CACHE_SLOTS];
  Bitmap image[CACHE_SLOTS];
};

ResourceCache cache;

const Bitmap* load(ResourceKind kind, int id) {
  const EmbeddedResource* r = findEmbeddedResource(kind, id);
  if (!r) return nullptr;
  for (int i = 0; i < CACHE_SLOTS; i++) {
    if (cache.source[i] == r) return cache.decoded[i] ? &cache.image[i] : nullptr;
    if (!cache.source[i]) {
      cache.source[i] = r;
      cache.decoded[i] = kind == RESOURCE_BITMAP
                             ? decodeBmp(r->data, r->size, true, &cache.image[i])
                             : decodeIcon(r->data, r->size, &cache.image[i]);
      return cache.decoded[i] ? &cache.image[i] : nullptr;
    }
  }
  return nullptr;
}

}  // namespace

const EmbeddedResource* findEmbeddedResource(ResourceKind kind, int id) {
  for (int i = 0; i < EMBEDDED_RESOURCE_COUNT; i++)
    if (EMBEDDED_RESOURCES[i].kind == kind && EMBEDDED_RESOURCES[i].id == id)
      return &EMBEDDED_RESOURCES[i];
  return nullptr;
}

const Bitmap* loadResourceBitmap(int id) { return load(RESOURCE_BITMAP, id); }
const Bitmap* loadResourceIcon(int id) { return load(RESOURCE_ICON, id); }

#include "tools/quillo/riff_check.h"

#include <algorithm>
#include <cstring>

// A chunk length: little-endian in RIFF files, big-endian in RIFX ones.
static void put32(uint32_t v, bool big_endian, uint8_t* p) {
  for (int i = 0; i < 4; i++) p[big_endian ? 3 - i : i] = static_cast<uint8_t>(v >> (8 * i));
}
static uint32_t get32(const uint8_t* p, bool big_endian) {
  if (big_endian)
    return static_cast<uint32_t>(p[3]) | static_cast<uint32_t>(p[2]) << 8 |
           static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[0]) << 24;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A chunk name for a message: unprintable bytes as '?'.
static std::string chunkName(const uint8_t* id) {
  std::string name;
  for (int i = 0; i < 4; i++)
    name += id[i] >= 0x20 && id[i] < 0x7f ? static_cast<char>(id[i]) : '?';
  return name;
}

static bool needed(const uint8_t* id) {
  return std::memcmp(id, "fmt ", 4) == 0 || std::memcmp(id, "fact", 4) == 0 ||
         std::memcmp(id, "data", 4) == 0;
}

bool riffPrepare(const ReadAt& read, uint64_t size, RiffView* view, std::string* why) {
  *view = RiffView();
  uint8_t head[12];
  if (size < 12 || !read(0, head, 12) ||
      (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RIFX", 4) != 0) ||
      std::memcmp(head + 8, "WAVE", 4) != 0)
    return true;
  view->riff = true;
  const bool big_endian = head[3] == 'X';
  for (uint64_t pos = 12; size - pos >= 8;) {
    uint8_t chunk[8];
    if (!read(pos, chunk, 8)) return true;
    uint64_t length = get32(chunk + 4, big_endian);
    uint64_t remaining = size - pos - 8;
    if (length > remaining) {
      if (std::memcmp(chunk, "data", 4) == 0) {  // a cut-off recording
        RiffPatch cut = {pos + 4, {}};
        put32(static_cast<uint32_t>(remaining), big_endian, cut.bytes);
        view->patches.push_back(cut);
        view->pad_byte = remaining & 1;
        return true;
      }
      *why = "damaged WAV file: its '" + chunkName(chunk) + "' chunk claims " +
             std::to_string(length) + " bytes, more than the " + std::to_string(remaining) +
             " left in the file";
      return false;
    }
    if (!needed(chunk)) view->patches.push_back({pos, {'J', 'U', 'N', 'K'}});
    pos += 8 + length + (length & 1);
    if (pos > size) {
      view->pad_byte = true;  // an odd-sized last chunk without its pad byte
      return true;
    }
  }
  return true;
}

void riffApply(const RiffView& view, uint64_t offset, uint8_t* data, size_t n) {
  // The patches from the first that can reach `offset` on.
  auto it = std::lower_bound(view.patches.begin(), view.patches.end(), offset < 3 ? 0 : offset - 3,
                             [](const RiffPatch& p, uint64_t at) { return p.at < at; });
  for (; it != view.patches.end() && it->at < offset + n; ++it)
    for (uint64_t k = 0; k < 4; k++)
      if (it->at + k >= offset && it->at + k < offset + n) data[it->at + k - offset] = it->bytes[k];
}

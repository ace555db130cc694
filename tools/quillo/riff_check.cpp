#include "tools/quillo/riff_check.h"

#include <cstring>

// A chunk length: little-endian in RIFF files, big-endian in RIFX ones.
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
  for (int i = 0; i < 4; i++) name += id[i] >= 0x20 && id[i] < 0x7f ? static_cast<char>(id[i]) : '?';
  return name;
}

// The chunks from `begin` up to `end`: each must end by `end`, except a
// sound data chunk at the top level. A LIST chunk's sub-chunks (after its
// 4-byte list type) must each end inside it.
static bool chunksFit(const ReadAt& read, uint64_t begin, uint64_t end, bool big_endian,
                      bool top, std::string* why) {
  for (uint64_t pos = begin; end - pos >= 8;) {
    uint8_t chunk[8];
    if (!read(pos, chunk, 8)) return true;
    uint64_t length = get32(chunk + 4, big_endian);
    uint64_t remaining = end - pos - 8;
    if (length > remaining) {
      if (top && std::memcmp(chunk, "data", 4) == 0) return true;  // a cut-off recording
      *why = "damaged WAV file: its '" + chunkName(chunk) + "' chunk claims " +
             std::to_string(length) + " bytes, more than the " + std::to_string(remaining) +
             (top ? " left in the file" : " left in its LIST chunk");
      return false;
    }
    if (top && std::memcmp(chunk, "LIST", 4) == 0 && length >= 4 &&
        !chunksFit(read, pos + 12, pos + 8 + length, big_endian, false, why))
      return false;
    pos += 8 + length + (length & 1);
    if (pos > end) return true;
  }
  return true;
}

bool riffChunksFit(const ReadAt& read, uint64_t size, std::string* why) {
  uint8_t head[12];
  if (size < 12 || !read(0, head, 12) ||
      (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RIFX", 4) != 0) ||
      std::memcmp(head + 8, "WAVE", 4) != 0)
    return true;
  return chunksFit(read, 12, size, head[3] == 'X', true, why);
}

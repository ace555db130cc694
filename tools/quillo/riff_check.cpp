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

bool riffChunksFit(const ReadAt& read, uint64_t size, std::string* why) {
  uint8_t head[12];
  if (size < 12 || !read(0, head, 12) ||
      (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head, "RIFX", 4) != 0) ||
      std::memcmp(head + 8, "WAVE", 4) != 0)
    return true;
  bool big_endian = head[3] == 'X';
  for (uint64_t pos = 12; size - pos >= 8;) {
    uint8_t chunk[8];
    if (!read(pos, chunk, 8)) return true;
    uint64_t length = get32(chunk + 4, big_endian);
    uint64_t remaining = size - pos - 8;
    if (length > remaining) {
      if (std::memcmp(chunk, "data", 4) == 0) return true;  // a cut-off recording
      *why = "damaged WAV file: its '" + std::string(reinterpret_cast<char*>(chunk), 4) +
             "' chunk claims " + std::to_string(length) + " bytes, more than the " +
             std::to_string(remaining) + " left in the file";
      return false;
    }
    pos += 8 + length + (length & 1);
    if (pos > size) return true;
  }
  return true;
}

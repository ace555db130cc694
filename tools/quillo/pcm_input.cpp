#include "tools/quillo/pcm_input.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

static uint16_t get16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

static uint32_t get32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static bool endsWithNoCase(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; i++) {
    char c = s[s.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

bool isRawPcmName(const std::string& path) {
  return endsWithNoCase(path, ".raw") || endsWithNoCase(path, ".pcm");
}

// Little-endian 16-bit samples from `count` * 2 bytes.
static void toSamples(const uint8_t* p, size_t count, std::vector<int16_t>* out) {
  out->resize(count);
  for (size_t i = 0; i < count; i++) (*out)[i] = (int16_t)get16(p + 2 * i);
}

enum { WAV_FORMAT_PCM = 1, WAV_FORMAT_EXTENSIBLE = 0xFFFE };

bool wav_parse(const uint8_t* data, size_t size, PcmInput* in, std::string* error) {
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) {
    *error = "not a WAV file";
    return false;
  }
  const uint8_t* fmt = nullptr;
  const uint8_t* body = nullptr;
  size_t bodySize = 0;
  size_t pos = 12;
  while (size - pos >= 8) {
    const uint8_t* chunk = data + pos;
    size_t chunkSize = get32(chunk + 4);
    size_t remaining = size - pos - 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0 && !fmt) {
      if (chunkSize < 16 || chunkSize > remaining) {
        *error = "WAV format chunk is damaged";
        return false;
      }
      fmt = chunk + 8;
      if (get16(fmt) == WAV_FORMAT_EXTENSIBLE && chunkSize < 40) {
        *error = "WAV format chunk is damaged";
        return false;
      }
    } else if (std::memcmp(chunk, "data", 4) == 0 && !body) {
      body = chunk + 8;
      bodySize = chunkSize < remaining ? chunkSize : remaining;
    }
    if (fmt && body) break;
    if (chunkSize >= remaining) break;  // the last chunk (or a cut-off one)
    pos += 8 + chunkSize + (chunkSize & 1);
  }
  if (!fmt) {
    *error = "WAV file has no format chunk";
    return false;
  }
  if (!body) {
    *error = "WAV file has no data chunk";
    return false;
  }
  uint16_t format = get16(fmt);
  if (format == WAV_FORMAT_EXTENSIBLE) format = get16(fmt + 24);  // sub-format GUID
  uint16_t channels = get16(fmt + 2);
  uint16_t bits = get16(fmt + 14);
  if (format != WAV_FORMAT_PCM) {
    *error = "WAV file is not PCM (format " + std::to_string(format) + "); need 16-bit mono PCM";
    return false;
  }
  if (channels != 1 || bits != 16) {
    *error = "WAV file has " + std::to_string(channels) + " channel(s) of " + std::to_string(bits) +
             "-bit samples; need 16-bit mono";
    return false;
  }
  in->sampleRate = get32(fmt + 4);
  toSamples(body, bodySize / 2, &in->samples);
  return true;
}

static bool readWholeFile(const char* path, std::vector<uint8_t>* bytes, std::string* error) {
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    *error = std::string(path) + ": cannot read: " + std::strerror(errno);
    return false;
  }
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes->insert(bytes->end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) *error = std::string(path) + ": read failed";
  return ok;
}

bool pcm_input_read(const char* path, PcmInput* in, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!readWholeFile(path, &bytes, error)) return false;
  if (isRawPcmName(path)) {
    if (bytes.size() % 2 != 0) {
      *error = std::string(path) + ": odd number of bytes for 16-bit samples";
      return false;
    }
    in->sampleRate = 8000;
    toSamples(bytes.data(), bytes.size() / 2, &in->samples);
    return true;
  }
  std::string why;
  if (!wav_parse(bytes.data(), bytes.size(), in, &why)) {
    *error = std::string(path) + ": " + why;
    return false;
  }
  return true;
}

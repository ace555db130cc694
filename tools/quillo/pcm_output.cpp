#include "tools/quillo/pcm_output.h"

#include "tools/quillo/pcm_input.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

static void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}

static void put16(uint8_t* p, uint16_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}

// 44-byte header of a PCM WAV file with `samples` samples of 8 kHz mono 16-bit.
static void wavHeader(uint8_t* h, uint64_t samples) {
  uint64_t bytes64 = samples * 2;
  uint32_t bytes = bytes64 > 0xFFFFFFD3u ? 0xFFFFFFD3u : (uint32_t)bytes64;
  std::memcpy(h, "RIFF", 4);
  put32(h + 4, 36 + bytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, 1);     // PCM
  put16(h + 22, 1);     // mono
  put32(h + 24, 8000);  // samples per second
  put32(h + 28, 16000);
  put16(h + 32, 2);
  put16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  put32(h + 40, bytes);
}

bool pcm_output_open(PcmOutput* out, const char* path, std::string* error) {
  out->path = path;
  out->samples = 0;
  if (out->path == "-") {
    out->file = stdout;
    out->wav = false;
    out->tempPath.clear();
    return true;
  }
  out->wav = !isRawPcmName(out->path);
  out->tempPath = out->path + ".part";
  out->file = std::fopen(out->tempPath.c_str(), "wb");
  if (!out->file) {
    *error = out->path + ": cannot write: " + std::strerror(errno);
    return false;
  }
  if (out->wav) {
    uint8_t h[44];
    wavHeader(h, 0);
    if (std::fwrite(h, 1, sizeof h, out->file) != sizeof h) {
      *error = out->path + ": write failed";
      pcm_output_abort(out);
      return false;
    }
  }
  return true;
}

bool pcm_output_write(PcmOutput* out, const int16_t* samples, size_t count, std::string* error) {
  uint8_t buf[4096];
  size_t done = 0;
  while (done < count) {
    size_t n = count - done < sizeof buf / 2 ? count - done : sizeof buf / 2;
    for (size_t i = 0; i < n; i++) put16(buf + 2 * i, (uint16_t)samples[done + i]);
    if (std::fwrite(buf, 2, n, out->file) != n) {
      *error = out->path + ": write failed";
      return false;
    }
    done += n;
  }
  out->samples += count;
  return true;
}

bool pcm_output_close(PcmOutput* out, std::string* error) {
  if (!out->file) return false;
  if (out->file == stdout) {
    out->file = nullptr;
    if (std::fflush(stdout) != 0) {
      *error = "standard output: write failed";
      return false;
    }
    return true;
  }
  bool ok = true;
  if (out->wav) {
    uint8_t h[44];
    wavHeader(h, out->samples);
    ok = std::fseek(out->file, 0, SEEK_SET) == 0 &&
         std::fwrite(h, 1, sizeof h, out->file) == sizeof h;
  }
  ok = (std::fclose(out->file) == 0) && ok;
  out->file = nullptr;
  if (!ok || std::rename(out->tempPath.c_str(), out->path.c_str()) != 0) {
    *error = out->path + ": write failed";
    std::remove(out->tempPath.c_str());
    return false;
  }
  return true;
}

void pcm_output_abort(PcmOutput* out) {
  if (out->file && out->file != stdout) {
    std::fclose(out->file);
    std::remove(out->tempPath.c_str());
  }
  out->file = nullptr;
}

#include "tools/quillo/message_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "app/title.h"
#include "playback/message_format.h"

// Opens a regular file for reading; on failure fills `error`.
static FILE* openRegular(const char* path, std::string* error) {
  struct stat st;
  if (stat(path, &st) != 0) {
    *error = std::string(path) + ": " + std::strerror(errno);
    return nullptr;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = std::string(path) + ": is a directory";
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = std::string(path) + ": not a regular file";
    return nullptr;
  }
  FILE* file = std::fopen(path, "rb");
  if (!file) *error = std::string(path) + ": cannot open: " + std::strerror(errno);
  return file;
}

bool readInputFile(const char* path, std::vector<uint8_t>* data, std::string* error) {
  data->clear();
  FILE* file = openRegular(path, error);
  if (!file) return false;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    data->insert(data->end(), chunk, chunk + n);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) *error = std::string(path) + ": read error";
  return !failed;
}

int64_t checkMessageFile(const char* path, std::string* error) {
  FILE* file = openRegular(path, error);
  if (!file) return -1;
  uint8_t chunk[65536];
  int64_t length = 0;
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) length += static_cast<int64_t>(n);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    *error = std::string(path) + ": read error";
    return -1;
  }
  if (length < PAYLOAD_OFFSET) {
    *error = std::string(path) + ": not a message: " + std::to_string(length) +
             " bytes, fewer than the player's " + std::to_string(PAYLOAD_OFFSET);
    return -1;
  }
  return length;
}

bool readProgramPart(const char* path, std::vector<uint8_t>* program, std::string* error) {
  program->assign(static_cast<size_t>(PAYLOAD_OFFSET), 0);
  FILE* file = openRegular(path, error);
  if (!file) return false;
  bool ok = std::fread(program->data(), 1, program->size(), file) == program->size();
  std::fclose(file);
  if (!ok) *error = std::string(path) + ": read error";
  return ok;
}

std::string clockText(int32_t s) {
  char text[24];
  formatClock(text, sizeof text, s);
  return text;
}

const char* effectFamily(int effectId) {
  if (effectId == 0) return "none";
  if (effectId >= 1 && effectId <= 4) return "reverberation";
  if (effectId >= 5 && effectId <= 10) return "modulated delay";
  if (effectId >= 11 && effectId <= 16) return "pitch shift";
  return "unknown (plays without effect)";
}

const char* rateName(int rateCode) {
  if (rateCode == 0) return "6.4";
  if (rateCode == 1) return "8";
  return "11.8";
}

int rateModeOfName(const char* name) {
  for (int mode = 0; mode < 3; mode++)
    if (std::strcmp(name, rateName(mode)) == 0) return mode;
  return -1;
}

bool parseWholeNumber(const char* text, int low, int high, int* value) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  *value = static_cast<int>(v);
  return true;
}

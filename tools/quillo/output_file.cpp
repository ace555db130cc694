#include "tools/quillo/output_file.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

bool output_open(OutputFile* out, const char* path, std::string* error) {
  out->path = path;
  if (out->path == "-") {
    out->tempPath.clear();
    out->file = stdout;
    return true;
  }
  out->tempPath = out->path + ".part";
  out->file = std::fopen(out->tempPath.c_str(), "wb");
  if (!out->file) {
    *error = out->path + ": cannot write: " + std::strerror(errno);
    return false;
  }
  return true;
}

bool output_write(OutputFile* out, const void* data, size_t size, std::string* error) {
  if (size == 0 || std::fwrite(data, 1, size, out->file) == size) return true;
  *error = (out->file == stdout ? std::string("standard output") : out->path) + ": write failed";
  return false;
}

bool output_commit(OutputFile* out, unsigned mode, std::string* error) {
  if (!out->file) return false;
  if (out->file == stdout) {
    out->file = nullptr;
    if (std::fflush(stdout) == 0) return true;
    *error = "standard output: write failed";
    return false;
  }
  bool ok = std::fclose(out->file) == 0;
  out->file = nullptr;
  if (ok && mode != 0) ok = chmod(out->tempPath.c_str(), static_cast<mode_t>(mode)) == 0;
  if (ok && std::rename(out->tempPath.c_str(), out->path.c_str()) == 0) return true;
  *error = out->path + ": write failed";
  std::remove(out->tempPath.c_str());
  return false;
}

void output_abort(OutputFile* out) {
  if (out->file && out->file != stdout) {
    std::fclose(out->file);
    std::remove(out->tempPath.c_str());
  }
  out->file = nullptr;
}

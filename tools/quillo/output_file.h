// An output file of the tool that appears under its own name only when it
// is complete: it is written as NAME.part and renamed at output_commit, so a
// failed run leaves nothing named NAME behind. "-" is standard output.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

struct OutputFile {
  std::string path;      // as given by the user
  std::string tempPath;  // file being written; empty for standard output
  FILE* file = nullptr;
};

// Opens `path` for writing; on failure returns false with "PATH: <problem>".
bool output_open(OutputFile* out, const char* path, std::string* error);

// Appends `size` bytes.
bool output_write(OutputFile* out, const void* data, size_t size, std::string* error);

// Closes the file, sets its permission bits to `mode` (when not 0) and gives
// it its name. On failure nothing named PATH is left.
bool output_commit(OutputFile* out, unsigned mode, std::string* error);

// Drops a partly written output.
void output_abort(OutputFile* out);

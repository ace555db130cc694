// Where the tool writes decoded PCM: a WAV file (8 kHz, mono, 16-bit), raw
// little-endian samples for names ending in .raw or .pcm, or raw samples on
// standard output for "-". A file is written under a temporary name and only
// renamed to its own at pcm_output_close, so a failed run leaves no OUT.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct PcmOutput {
  std::string path;      // as given by the user
  std::string tempPath;  // file being written; empty for standard output
  FILE* file = nullptr;
  bool wav = false;
  uint64_t samples = 0;
};

// Opens the output; on failure returns false with a message in `error`.
bool pcm_output_open(PcmOutput* out, const char* path, std::string* error);

// Appends `count` samples.
bool pcm_output_write(PcmOutput* out, const int16_t* samples, size_t count, std::string* error);

// Finishes the file (WAV sizes) and gives it its name.
bool pcm_output_close(PcmOutput* out, std::string* error);

// Drops a partly written output: nothing named OUT is left behind.
void pcm_output_abort(PcmOutput* out);

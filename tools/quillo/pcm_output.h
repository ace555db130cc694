// Where the tool writes 8 kHz mono 16-bit PCM: a WAV file, raw little-endian
// samples for names ending in .raw or .pcm, or raw samples on standard output
// for "-". Written through libsndfile under a temporary name and renamed at
// pcm_output_close, so a failed run leaves no OUT.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/quillo/output_file.h"

struct PcmOutput {
  OutputFile out;
  SNDFILE* file = nullptr;
};

// Opens the output; on failure returns false with a message in `error`.
bool pcm_output_open(PcmOutput* out, const char* path, std::string* error);

// Appends `count` samples.
bool pcm_output_write(PcmOutput* out, const int16_t* samples, size_t count, std::string* error);

// Finishes the file (WAV sizes) and gives it its name.
bool pcm_output_close(PcmOutput* out, std::string* error);

// Drops a partly written output: nothing named OUT is left behind.
void pcm_output_abort(PcmOutput* out);

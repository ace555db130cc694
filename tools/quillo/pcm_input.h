// Reading 16-bit mono PCM for the tool: a WAV file (PCM, one channel, 16
// bits), or raw little-endian samples for names ending in .raw or .pcm.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PcmInput {
  std::vector<int16_t> samples;
  uint32_t sampleRate = 8000;  // from the WAV header; raw files are taken as 8000 Hz
};

// Reads the whole file at `path`. On failure returns false with a one-line
// message naming the file in `error`.
bool pcm_input_read(const char* path, PcmInput* in, std::string* error);

// Parses a WAV file held in `data` (exactly `size` bytes). Accepts format 1
// (PCM) or WAVE_FORMAT_EXTENSIBLE with a PCM sub-format, one channel, 16
// bits; chunks are walked with every length checked against what remains. A
// data chunk longer than the file (a cut-off recording) yields the samples
// present. On failure returns false with a message in `error`.
bool wav_parse(const uint8_t* data, size_t size, PcmInput* in, std::string* error);

// True for file names that mean raw 16-bit little-endian samples (.raw, .pcm,
// any case) rather than a WAV file.
bool isRawPcmName(const std::string& path);

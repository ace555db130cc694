// Reading sound for the tool, through libsndfile: any format it recognises
// (WAV in its variants, FLAC, Ogg Vorbis, Opus, MP3, ...), raw 16-bit
// little-endian samples at 8000 Hz for names ending in .raw or .pcm, or
// standard input for "-". Samples are read a run at a time, so memory does
// not grow with the input.
#pragma once

#include "tools/quillo/riff_check.h"

#include <sndfile.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct AudioInput {
  SNDFILE* file = nullptr;
  SF_INFO info = {};
  std::string name;       // the file name for messages ("standard input" for -)
  FILE* spool = nullptr;  // standard input copied to a temporary file
  // What libsndfile reads through the virtual I/O (memory inputs and WAV
  // files): the bytes of audio_input_open_memory, or else the descriptor fd
  // (closed with the input when ownFd); their size, the read position, and
  // the view of a WAV file's chunks.
  const uint8_t* memory = nullptr;
  int fd = -1;
  bool ownFd = false;
  sf_count_t size = 0, at = 0;
  RiffView view;
};

// How input is taken: "-" as raw samples (quillo encode and effect) or as
// a recording in any format (quillo make); or every input as raw samples,
// whatever its name (quillo encode --raw, for headerless files such as the
// conformance inputs).
enum InputKind { INPUT_RAW_STDIN, INPUT_ANY_STDIN, INPUT_RAW };

// Opens `path`. On failure returns false with "PATH: <problem>" in `error`.
bool audio_input_open(AudioInput* in, const char* path, InputKind kind, std::string* error);

// Opens a sound file held in memory (exactly `size` bytes, which must stay
// in place until audio_input_close).
bool audio_input_open_memory(AudioInput* in, const uint8_t* data, size_t size, std::string* error);

// True for input the exact-sample commands take: 16-bit PCM, one channel,
// 8000 Hz. Otherwise false with "NAME: <what it is>; need <what>" in `error`.
bool audio_input_is_8k_mono16(const AudioInput& in, std::string* error);

// Reads up to `frames` frames (one sample per channel each, interleaved);
// returns the frames read, 0 at the end.
size_t audio_input_read16(AudioInput* in, int16_t* samples, size_t frames);
size_t audio_input_read_float(AudioInput* in, float* samples, size_t frames);

// Starts reading again from the first sample; false when the input cannot.
bool audio_input_rewind(AudioInput* in);

// "FLAC, 44100 Hz, 2 channels" and the like.
std::string audio_input_describe(const AudioInput& in);

void audio_input_close(AudioInput* in);

// True for file names that mean raw 16-bit little-endian samples (.raw, .pcm,
// any case) rather than a sound file with a header.
bool isRawPcmName(const std::string& path);

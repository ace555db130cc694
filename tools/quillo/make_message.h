// Making a message from a recording, for `quillo make` and `quillo record`:
// any sound file libsndfile reads, mixed to mono, resampled to 8 kHz with
// libsoxr at high quality, encoded and packed behind a player (or into the
// self-playing page's template), all as one stream (one block of the
// message and a few thousand samples held at a time). The output appears
// only when complete.
#pragma once

#include <string>

struct MakeOptions {
  const char* input = nullptr;   // sound file, or "-" for standard input
  const char* output = nullptr;  // -o OUTPUT
  int rate = 1;                  // RateMode; 8 kbit/s unless --rate
  int effect = 0;                // header byte 10
  int depthByte = 0;             // header byte 11 (--mix or --depth-byte)
  int mixPercent = 100;          // what --mix said (for the summary)
  bool depthByteGiven = false;
  const char* player = nullptr;  // --player windows|linux|none|html|FILE
  bool normalize = false;
  double seconds = 0;          // quillo record --seconds N (0: until Enter)
  const char* save = nullptr;  // quillo record --save FILE.wav
};

// Reads the options of make (`record` true: of record, which has no INPUT
// but --seconds and --save). Returns 0, or 2 with the problem in `error`.
int parseMakeOptions(int argc, char** argv, bool record, MakeOptions* options, std::string* error);

// Makes the message; prints the summary line on standard output and the
// level warnings on standard error. Returns the exit status (0, or 1 with
// the one-line problem printed).
int makeMessage(const MakeOptions& options);

// The depth byte of a mix of `percent` (0..100) of the effect.
int depthByteForMix(int percent);

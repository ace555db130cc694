// Making a message from frames, for `quillo pack` and the fuzz target that
// feeds it arbitrary arguments and frame files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/quillo/message_writer.h"

// What `quillo pack` was asked for.
struct PackOptions {
  int rate = -1;                     // RateMode of the frames; -1 when not given
  int effect = 0;                    // header byte 10, 0..16
  int depthByte = 0;                 // header byte 11, 0..255
  const char* playerPath = nullptr;  // --player FILE
  const char* framesPath = nullptr;  // FRAMES
  const char* outPath = nullptr;     // -o MESSAGE
};

// Reads pack's arguments (those after "pack"). Returns 0, or the exit status
// 2 with the problem (or the usage line) in `error`.
int parsePackArguments(int argc, char* const* argv, PackOptions* options, std::string* error);

// Builds the message in memory with a MessageWriter (see message_writer.h):
// `player` (at most PAYLOAD_OFFSET bytes, padded with zeros to it), the
// header, then the frames in blocks.
// `unplayable` receives the numbers of the blocks whose first bytes read as
// another rate's block header, which the player plays as silence.
// Returns false with the problem in `error` (without the file name) when
// `frames` is not a whole number of frames or `player` is too large.
bool buildMessage(const PackOptions& options, const std::vector<uint8_t>& player,
                  const std::vector<uint8_t>& frames, std::vector<uint8_t>* message,
                  std::vector<int>* unplayable, std::string* error);

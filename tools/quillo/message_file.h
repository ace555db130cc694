// Helpers of the message subcommands: reading input files with one-line
// errors that name the file, and the title's time format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Reads a whole regular file. On failure returns false with
// "PATH: <problem>" in `error`.
bool readInputFile(const char* path, std::vector<uint8_t>* data, std::string* error);

// Checks that `path` is a message the player could be: a regular file of at
// least the player's 98,304 bytes, readable to its end. Returns its length,
// or -1 with "PATH: <problem>" in `error`.
int64_t checkMessageFile(const char* path, std::string* error);

// Reads the first PAYLOAD_OFFSET bytes of a message file (which
// checkMessageFile accepted): the program part in front of the payload.
bool readProgramPart(const char* path, std::vector<uint8_t>* program, std::string* error);

// "hh:mm:ss" as the player's title shows a time (formatClock).
std::string clockText(int32_t seconds);

// Effect family name of an effect id: "none", "reverberation",
// "modulated delay", "pitch shift", or "unknown (plays without effect)".
const char* effectFamily(int effectId);

// Rate of a rate code as the user names it: "6.4", "8" or "11.8".
const char* rateName(int rateCode);

// Parses a whole decimal number in [low, high] (the whole text, no sign
// games beyond strtol's); false for anything else.
bool parseWholeNumber(const char* text, int low, int high, int* value);

// The RateMode a user's rate name ("6.4", "8", "11.8") stands for, or -1.
int rateModeOfName(const char* name);

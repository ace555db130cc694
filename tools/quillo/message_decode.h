// Decoding a message file as the player plays it, for `quillo decode
// MESSAGE` and the fuzz target that feeds it arbitrary files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Receives one PCM buffer; returns false to stop the decoding.
typedef std::function<bool(const int16_t* samples, size_t count)> PcmBufferSink;

// Plays the message file at `path`, which checkMessageFile accepted, from
// the state of a freshly started program: reads the header, starts the refills with the header's
// effect (none when `dry`) and depth, then reads the payload block by block and hands every
// refilled buffer (bufferBytes of the header's rate, the effect applied) to `sink`, until a read
// delivers nothing. Memory does not grow with the message: one block and one buffer at a time.
//
// Returns false with "PATH: path too long" in `error` for a path the
// player's state cannot hold, or false with `error` untouched when `sink`
// stopped.
bool decodeMessage(const char* path, bool dry, const PcmBufferSink& sink, std::string* error);

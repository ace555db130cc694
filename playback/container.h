// The player's container: the message read from the player's own program
// file (programPath) through the message reader, into playerState.
//
// Set programPath first, then readMessageHeader once; openPayloadAt /
// readBlock / closePayload for each playback. The file is opened through
// the platform, which takes the path as it names files
// (platformOpenForReading).
//
// A program file that cannot be opened reads as a message without payload:
// header bytes zero (6.4 kbit/s, no effect, depth 127), 0 s, 10,240-byte
// buffers, and readBlock delivers 0 bytes, so a playback ends by itself after
// its two silent buffers.
#pragma once

#include <cstdint>

#include "playback/message_format.h"
#include "playback/player_state.h"

// Copies programPath (at most PROGRAM_PATH_SIZE - 1 characters). Returns
// false, leaving the path empty, for a longer one.
bool setProgramPath(const char* path);

// Reads the header from programPath into headerBytes, rateCode, effectId and
// depthByte, and sets totalSeconds and bufferBytes. Returns totalSeconds.
int32_t readMessageHeader();

// Opens programPath into payloadFile positioned by the resume rule: a
// blockPosition above 0 first steps back by one block, then reading starts
// at block blockPosition.
void openPayloadAt();

// Reads the next block (BLOCK_BYTES) into blockBuffer; returns the number of
// bytes read, 0 when the payload is exhausted (or no file is open). Bytes
// beyond those read keep their previous content.
int readBlock();

// Closes payloadFile (if open).
void closePayload();

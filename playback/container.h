// The message container: the program file is the player (PAYLOAD_OFFSET
// bytes), then the 12-byte message header (plain), then 512-byte scrambled
// payload blocks to the end of the file. No block count is stored.
//
// These operations work on playerState: set programPath first, then
// readMessageHeader once; openPayloadAt / readBlock / closePayload for each
// playback. The file is opened through the platform, which takes the path
// as it names files (platformOpenForReading).
//
// A program file that cannot be opened reads as a message without payload:
// header bytes zero (6.4 kbit/s, no effect, depth 127), 0 s, 10,240-byte
// buffers, and readBlock delivers 0 bytes, so a playback ends by itself after
// its two silent buffers.
#pragma once

#include <cstdint>

#include "playback/player_state.h"

// File offset of the message header: the size of the player program.
const int32_t PAYLOAD_OFFSET = 98304;

// File offset of payload block 0.
const int32_t FIRST_BLOCK_OFFSET = PAYLOAD_OFFSET + HEADER_BYTES;

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

// The block a playback that starts at `blockPosition` reads first: one block
// before it, or block 0.
int32_t resumeBlock(int32_t blockPosition);

// Reads up to 512 bytes into blockBuffer; returns the number read, 0 when the
// payload is exhausted (or no file is open). Bytes beyond those read keep
// their previous content.
int readBlock();

// Closes payloadFile (if open).
void closePayload();

// Seconds per payload byte and per block of a rate code, single precision.
float secondsPerByte(uint8_t rateCode);
float secondsPerBlock(uint8_t rateCode);

// Bytes of one PCM buffer for a rate code: 10,240, 8,160 or 4,480.
int32_t bufferBytesForRate(uint8_t rateCode);

// Whole seconds of a file of `fileLength` bytes: (P - 12) * secondsPerByte
// + 0.5, truncated, with P the payload length; the product is formed in
// double precision, so exact half seconds round down. A file shorter than a
// header's worth of payload gives 0.
int32_t totalSecondsFor(uint8_t rateCode, int64_t fileLength);

// Whole seconds at block `position`, as the title shows them:
// position * secondsPerBlock + 0.5 truncated, formed in double precision.
int32_t positionSeconds(uint8_t rateCode, int32_t position);

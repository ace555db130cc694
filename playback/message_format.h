// The layout of a message file and the rules the player derives from it,
// each written once: where the header and the blocks lie, what the header's
// bytes mean, the per-rate timing and buffer sizes, the title's clock and
// the resume rule.
//
// A message file is the player program (PAYLOAD_OFFSET bytes), then the
// 12-byte header (plain), then BLOCK_BYTES-byte scrambled payload blocks to
// the end of the file. No block count is stored.
#pragma once

#include <cstdint>

#include "codec/block_decoder.h"

// File offset of the message header: the size of the player program.
const int32_t PAYLOAD_OFFSET = 98304;

// Bytes of the message header, and the header bytes that carry meaning.
const int HEADER_BYTES = 12;
const int HEADER_RATE_CODE = 8;    // 0 6.4, 1 8, anything else 11.8 kbit/s
const int HEADER_EFFECT_ID = 10;   // signed: 0 none, 1..16 a voice effect
const int HEADER_DEPTH_BYTE = 11;  // the effect depth is depthOfByte of it

// File offset of payload block 0; block i starts BLOCK_BYTES * i later.
const int32_t FIRST_BLOCK_OFFSET = PAYLOAD_OFFSET + HEADER_BYTES;
int64_t blockOffset(int64_t index);

// The RateMode (Rate64, Rate80, Rate118) a header's rate code selects.
int rateOfCode(uint8_t rateCode);

// The effect depth of a depth byte: 127 - depthByte as a signed 8-bit value
// (0 gives 127, 127 gives 0, 255 gives -128).
int8_t depthOfByte(uint8_t depthByte);

// Seconds per payload byte and per block of a rate code, single precision.
float secondsPerByte(uint8_t rateCode);
float secondsPerBlock(uint8_t rateCode);

// Bytes of one PCM buffer for a rate code: the PCM of one block, 10,240,
// 8,160 or 4,480.
int32_t bufferBytesForRate(uint8_t rateCode);

// Whole seconds of a file of `fileLength` bytes: (P - 12) * secondsPerByte
// + 0.5, truncated, with P the payload length; the product is formed in
// double precision, so exact half seconds round down. A file shorter than a
// header's worth of payload gives 0.
int32_t totalSecondsFor(uint8_t rateCode, int64_t fileLength);

// Whole seconds at block `position`, as the title shows them:
// position * secondsPerBlock + 0.5 truncated, formed in double precision.
int32_t positionSeconds(uint8_t rateCode, int32_t position);

// The block a playback that starts at `blockPosition` reads first: one block
// before it, or block 0.
int32_t resumeBlock(int32_t blockPosition);

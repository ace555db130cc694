// Block decoding: one 512-byte payload block (scrambled) in, the PCM of its
// frames out. The block decoder unscrambles a private copy, recognises the
// block's layout, checks it against the rate of the blocks before it and
// hands every frame to decode_frame.
//
// Layouts, told by the unscrambled bytes (t = byte 0 OR byte 1):
//   t = 0x10                       8 kbit/s:  2-byte header, 51 frames of 10 bytes
//   t = 0x20, bytes 0..7 OR = 0x20 11.8 kbit/s: 8-byte header, 28 frames of 18 bytes
//   anything else                  6.4 kbit/s: 64 frames of 8 bytes, or, for the
//                                  first block after a reset, an 8-byte header
//                                  and 63 frames
// After the first block, an 8 or 11.8 kbit/s block is accepted only when the
// last accepted block had the same layout; 6.4 kbit/s blocks always are.
#pragma once

#include <cstdint>

#include "codec/basicop/basicop.h"
#include "codec/decoder.h"

// Bytes of one payload block.
const int BLOCK_BYTES = 512;

// Every byte of a block is stored XORed with this mask.
const uint8_t SCRAMBLE_MASK = 0x6E;

// Largest number of samples one block yields (64 frames of 6.4 kbit/s).
const int BLOCK_MAX_SAMPLES = 5120;

// How decode_block takes a block: `result` is the layout (0, 1, 2 as
// RateMode) or BLOCK_REJECTED; for an accepted block the frames start at
// byte `first_byte` of the unscrambled block, one every FRAME_BYTES[result].
struct BlockLayout {
  int result;
  int first_byte;
  int frames;
};

// Starts a stream: no block accepted yet, block counter 0; then resets the
// frame decoder.
void reset_block_decoder();

// Decodes one scrambled block (BLOCK_BYTES, not modified) into `pcm`, frame i
// at samples 80 i .. 80 i + 79. Returns the accepted layout (0, 1, 2) and sets
// *samples to the number of samples written (5,120, 5,040, 4,080 or 2,240),
// or returns BLOCK_REJECTED, writing no sample and leaving *samples alone.
// `pcm` must hold BLOCK_MAX_SAMPLES samples.
int decode_block(const uint8_t* block, Word16* pcm, int* samples);

// The layout decode_block would give an unscrambled block, for a block that
// is (first_block != 0) or is not the first after a reset and a given
// previous accepted layout (15 when none). Changes no state.
BlockLayout block_layout(const uint8_t* unscrambled, int first_block, int previous_rate);

// XORs `count` bytes with SCRAMBLE_MASK, from `in` to `out` (may be equal).
void scramble_bytes(const uint8_t* in, uint8_t* out, int count);

// The frame decoder that decode_block calls; nullptr restores decode_frame.
// Tests install a recording one to see which frames a block hands on.
typedef void (*BlockFrameDecoder)(const uint8_t* frame_bytes, int rate_mode, Word16* pcm);
void set_block_frame_decoder(BlockFrameDecoder decoder);

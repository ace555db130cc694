// The refill sequence of the playback engine: turning the block read last
// into one PCM buffer, written once for the player and the quillo tool.
//
// Per playback:
//   startRefills(effectId, depth);        // at every start, before the first refill
//   refillPcm(buffer, bufferBytes, block); // for every buffer handed back, then queue it
//
// refillPcm never writes beyond bufferBytes: a block whose own rate yields
// more samples than the buffer holds (the header's rate disagrees with the
// block's) is decoded in full into a scratch buffer, so the decoder advances
// exactly as for any block, and only what fits is copied.
#pragma once

#include <cstdint>

// Starts a stream of refills: resets the block decoder (and with it the
// frame decoder), arms the priming decode of the next refill, and resets the
// voice effect `effectId` with `depth` (-128..127). Effect 0 leaves the PCM
// untouched.
void startRefills(int8_t effectId, int8_t depth);

// Fills the PCM buffer of `bufferBytes` bytes (bufferBytes / 2 samples) from
// one scrambled 512-byte block:
//   1. zero the whole buffer;
//   2. after startRefills, decode the block once more before the real decode
//      (the priming decode; its result is ignored);
//   3. decode the block: frame i at samples 80 i onward, as many as fit;
//   4. a rejected block leaves the buffer silent;
//   5. the voice effect and mix run over the whole buffer.
// Returns what decode_block returned: the block's layout (0 6.4, 1 8,
// 2 11.8 kbit/s) or BLOCK_REJECTED (15).
int refillPcm(int16_t* buffer, int32_t bufferBytes, const uint8_t* block);

// Decodes one block into `buffer` of `bufferSamples` samples, copying at most
// that many; samples the block does not reach are left as they were. Returns
// true for an accepted block, false for a rejected one (nothing written).
bool decodeBlockInto(const uint8_t* block, int16_t* buffer, int32_t bufferSamples);

#include "playback/refill.h"

#include <cstring>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "effects/effects.h"

static struct RefillState {
  bool primingPending;                // the next refill decodes its block twice
  int lastResult;                     // decode_block's result of the last decode
  Word16 scratch[BLOCK_MAX_SAMPLES];  // one block's PCM before it is copied to the buffer
} refill;  // zero at program start, and so not stored in the program file

void startRefills(int8_t effectId, int8_t depth) {
  reset_block_decoder();
  refill.primingPending = true;
  refill.lastResult = BLOCK_REJECTED;
  resetEffect(effectId, depth);
}

bool decodeBlockInto(const uint8_t* block, int16_t* buffer, int32_t bufferSamples) {
  int samples = 0;
  refill.lastResult = decode_block(block, refill.scratch, &samples);
  if (refill.lastResult == BLOCK_REJECTED) return false;
  int32_t count = samples < bufferSamples ? samples : bufferSamples;
  if (count > 0) std::memcpy(buffer, refill.scratch, static_cast<size_t>(count) * sizeof(int16_t));
  return true;
}

int refillPcm(int16_t* buffer, int32_t bufferBytes, const uint8_t* block) {
  int32_t samples = bufferBytes > 0 ? bufferBytes / 2 : 0;
  std::memset(buffer, 0, static_cast<size_t>(samples) * sizeof(int16_t));
  if (refill.primingPending) {
    decodeBlockInto(block, buffer, samples);
    refill.primingPending = false;
  }
  if (!decodeBlockInto(block, buffer, samples))
    std::memset(buffer, 0, static_cast<size_t>(samples) * sizeof(int16_t));
  applyEffect(buffer, samples);
  return refill.lastResult;
}

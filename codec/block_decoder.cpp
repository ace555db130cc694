#include "codec/block_decoder.h"

#include "codec/decoder.h"

static struct BlockDecoderState {
  uint64_t block_counter;           // blocks submitted since the reset, rejected ones included
  int32_t previous_rate;            // layout of the last accepted block; 15 when none
  uint8_t block_copy[BLOCK_BYTES];  // unscrambled copy of the block being decoded (scratch)
  BlockFrameDecoder frame_decoder;  // decode_frame unless a test replaced it
} block_state = {0, BLOCK_REJECTED, {0}, decode_frame};

void reset_block_decoder() {
  block_state.block_counter = 0;
  block_state.previous_rate = BLOCK_REJECTED;
  reset_frame_decoder();
}

void scramble_bytes(const uint8_t* in, uint8_t* out, int count) {
  for (int i = 0; i < count; i++) out[i] = static_cast<uint8_t>(in[i] ^ SCRAMBLE_MASK);
}

BlockLayout block_layout(const uint8_t* unscrambled, int first_block, int previous_rate) {
  const BlockLayout rejected = {BLOCK_REJECTED, 0, 0};
  int t = unscrambled[0] | unscrambled[1];
  if (t == 0x10) {
    if (previous_rate != Rate80 && !first_block) return rejected;
    return BlockLayout{Rate80, 2, 51};
  }
  if (t == 0x20) {
    if (previous_rate != Rate118 && !first_block) return rejected;
    int all = 0;
    for (int i = 0; i < 8; i++) all |= unscrambled[i];
    if (all != 0x20) return rejected;
    return BlockLayout{Rate118, 8, 28};
  }
  if (first_block) return BlockLayout{Rate64, 8, 63};
  return BlockLayout{Rate64, 0, 64};
}

int decode_block(const uint8_t* block, Word16* pcm, int* samples) {
  block_state.block_counter++;
  int first_block = block_state.block_counter == 1;
  scramble_bytes(block, block_state.block_copy, BLOCK_BYTES);
  BlockLayout layout = block_layout(block_state.block_copy, first_block, block_state.previous_rate);
  if (layout.result == BLOCK_REJECTED) return BLOCK_REJECTED;
  const int frame_bytes = FRAME_BYTES[layout.result];
  for (int i = 0; i < layout.frames; i++)
    block_state.frame_decoder(block_state.block_copy + layout.first_byte + i * frame_bytes,
                              layout.result, pcm + i * FRAME_SAMPLES);
  *samples = layout.frames * FRAME_SAMPLES;
  block_state.previous_rate = layout.result;
  return layout.result;
}

void set_block_frame_decoder(BlockFrameDecoder decoder) {
  block_state.frame_decoder = decoder ? decoder : decode_frame;
}

// Placeholder until the frame decoder lands: every frame decodes to silence.
#include "codec/decoder.h"

void decoder_program_start() { reset_frame_decoder(); }

void reset_frame_decoder() {}

void decode_frame(const uint8_t* frame_bytes, int rate_mode, Word16* pcm) {
  (void)frame_bytes;
  (void)rate_mode;
  for (int i = 0; i < FRAME_SAMPLES; i++) pcm[i] = 0;
}

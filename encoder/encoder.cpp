// The frame encoder: one 10 ms frame of speech in, the frame's parameters out.
#include "encoder/encoder.h"

#include "codec/decoder.h"

void encoder_program_start() {}

void encode_frame_params(const Word16* speech, int rate_mode, Word16* params) {
  (void)speech;
  for (int i = 0; i < FRAME_PARAMS_WORDS; i++) params[i] = 0;
  if (rate_mode != Rate64 && rate_mode != Rate80) rate_mode = Rate118;
  params[1] = (Word16)(rate_mode + 2);
}

void encode_frame(const Word16* speech, int rate_mode, uint8_t* frame_bytes) {
  Word16 params[FRAME_PARAMS_WORDS];
  encode_frame_params(speech, rate_mode, params);
  pack_frame(params, rate_mode, frame_bytes);
}

void encoder_use_reference_paths(bool on) { (void)on; }

// The frame decoder: one 10 ms frame of any of the three rates in, 80
// samples out. It unpacks the frame, checks the pitch parity, synthesizes
// the frame from the spectral, pitch, codebook and gain parameters, then
// post-filters and high-pass filters it.
#pragma once

#include "codec/decoder.h"

const Word16 SPEECH_HISTORY = 65;       // past speech samples kept before the frame
const Word16 EXCITATION_HISTORY = 154;  // past excitation: largest delay 143 + 11

const Word16 SHARPENING_MIN = 3277;   // 0.2, Q14
const Word16 SHARPENING_MAX = 13017;  // 0.7945, Q14

struct FrameDecoderState {
  // Reset at every start of a stream (reset_frame_decoder):
  Word16 speech_buffer[145];      // Q0: 65 past samples, then the frame (subframes at 65 and 105)
  Word16 excitation_buffer[234];  // Q0: 154 past samples, then the frame (154 and 194)
  Word16 synthesis_memory[30];    // Q0: last 30 synthesized samples, oldest first
  Word16 sharpening;              // Q14 pitch-sharpening factor, 3277..13017
  Word16 last_delay;              // integer delay of the last decoded subframe, 19..144
  Word16 last_frac;               // its fraction, -1..1 thirds of a sample
  Word16 pf_den_weight;           // Q15 post-filter denominator weight
  Word16 pf_num_weight;           // Q15 post-filter numerator weight
  Word16 pf_pitch_weight;         // Q15 long-term post-filter weight
  // Not reset; every frame writes them before they are read:
  Word16 lpc_filters[22];     // Q12 a0..a10 of subframe 1, then of subframe 2
  Word16 first_delay;         // integer delay of subframe 1, used by the post-filter
  Word16 pf_response_length;  // impulse-response length of the post-filter: 20 or 32
};

extern FrameDecoderState frame_decoder_state;

// 0 when `parity` agrees with bits 2 to 7 of the 8-bit pitch index, else 1.
Word16 check_pitch_parity(Word16 index, Word16 parity);

// Frame synthesis from an unpacked, parity-checked FrameParams: the 80
// samples into speech_buffer[65..144], the filters into lpc_filters and the
// subframe 1 delay into first_delay.
void synthesize_frame(const Word16* params);

// Adds the pitch-sharpening contribution to the fixed-codebook vector in
// place: code[i] += code[i - T0] * 2 * sharpening for i = T0..39 (Q14
// factor), reading entries already changed. Delays of 40 or more do nothing.
void sharpen_code(Word16* code, Word16 T0, Word16 sharpening);

// The subframe's excitation from the adaptive vector in exc and the
// fixed-codebook vector: exc[i] = round(L_shl(L_mac(L_mult(exc[i],
// gain_pitch), code[i], gain_code), 1)) for i = 0..39.
void build_excitation(Word16* exc, const Word16* code, Word16 gain_pitch, Word16 gain_code);

// Sets the post-filter weights and response length for a frame of `rate_mode`.
void adapt_postfilter_weights(int rate_mode);

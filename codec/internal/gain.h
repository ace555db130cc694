// Gain decoding: the adaptive-codebook gain (Q14) and the fixed-codebook
// gain (Q1) of a subframe from the transmitted index, the fixed-codebook
// gain being a quantised correction factor to a gain predicted from the
// innovation energy and the energies of the last four subframes.
#pragma once

#include "codec/basicop/basicop.h"

// Moving-average prediction memory shared by all three rates. Set only at
// program start; the decoder reset does not touch it, so it carries over
// from one playback to the next.
struct GainPredictorState {
  Word16 past_energy[4];  // quantised energies of the last four subframes, dB Q10, newest first
};

extern GainPredictorState gain_predictor_state;

// Program start: -14336 (-14 dB) in each word.
void gain_predictor_program_start();

// 8 and 11.8 kbit/s: 7-bit index (3 bits first stage, 4 bits second) and the
// sharpened innovation code[0..length-1] (Q13) to *gain_pitch (Q14) and
// *gain_code (Q1). Advances gain_predictor_state.
void decode_gains_80(Word16 index, const Word16* code, Word16 length, Word16* gain_pitch,
                     Word16* gain_code);

// 6.4 kbit/s: as decode_gains_80 with the 6-bit index (3 + 3 bits) and the
// 6.4 kbit/s codebooks. Advances gain_predictor_state.
void decode_gains_64(Word16 index, const Word16* code, Word16 length, Word16* gain_pitch,
                     Word16* gain_code);

// Predicted fixed-codebook gain from the energy of code[0..length-1] (Q13)
// and the MA prediction over past_energy: the gain is *gain / 2^*exponent,
// *gain being a mantissa in 16384..32767.
void predict_code_gain(const Word16* past_energy, const Word16* code, Word16 length, Word16* gain,
                       Word16* exponent);

// The fixed-codebook gain (Q1) from the quantised correction factor and
// the predicted gain g0 / 2^exponent: at 8 and 11.8 kbit/s the factor is the
// Q13 sum of the two stages' entries, at 6.4 kbit/s the halved sum.
Word16 corrected_code_gain_80(Word32 factor, Word16 g0, Word16 exponent);
Word16 corrected_code_gain_64(Word32 factor, Word16 g0, Word16 exponent);

// Shifts past_energy by one and stores 20 log10 of the quantised gain
// factor `factor` (Q13 at 8 kbit/s, the halved sum at 6.4) as the newest
// energy, dB Q10.
void update_gain_predictor(Word16* past_energy, Word32 factor);

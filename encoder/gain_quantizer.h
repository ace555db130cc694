// Gain quantisation of the 8 kbit/s mode: the adaptive and fixed codebook
// gains of a subframe jointly, by the two-stage conjugate-structure
// codebook searched around a pre-selection from the unquantised optimum,
// minimising the weighted error; the fixed-codebook gain as a correction of
// the gain predicted from past energies.
#pragma once

#include "codec/basicop/basicop.h"

struct GainQuantizerState {
  Word16 past_energy[4];  // quantised energies of the last four subframes, dB Q10, newest first
};

extern GainQuantizerState gain_quantizer_state;

void reset_gain_quantizer();

// The correlations the gain search needs beside those of pitch_gain:
// coeff[2..4] = y2.y2, -2 xn.y2, 2 y1.y2 with their exponents exp_coeff[2..4]
// (y2 Q12: the filtered innovation).
void gain_correlations(const Word16* xn, const Word16* y1, const Word16* y2, Word16* coeff,
                       Word16* exp_coeff);

// Searches the gains for the innovation code (Q13) and the five correlation
// terms coeff[0..4] (y1.y1, -2 xn.y1, y2.y2, -2 xn.y2, 2 y1.y2) with their
// exponents; with `taming` the pitch gain stays below 1. Writes the
// quantised gains (*gain_pit Q14, *gain_code Q1), advances the predictor
// memory and returns the 7-bit index.
Word16 quantize_gains_80(const Word16* code, const Word16* coeff, const Word16* exp_coeff,
                         Word16 taming, Word16* gain_pit, Word16* gain_code);

// The same with the 6.4 kbit/s codebooks; returns the 6-bit index.
Word16 quantize_gains_64(const Word16* code, const Word16* coeff, const Word16* exp_coeff,
                         Word16 taming, Word16* gain_pit, Word16* gain_code);

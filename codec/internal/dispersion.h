// Phase dispersion of the 6.4 kbit/s innovation: the fixed-codebook part of
// the excitation is spread by a circular convolution with a strong, a medium
// or no dispersion response, chosen from the recent pitch gains and an
// onset detector on the fixed-codebook gain. The other rates only keep the
// state current.
#pragma once

#include "codec/basicop/basicop.h"

// Dispersion memory, one instance. Zero at program start; the decoder reset
// does not touch any field, so it carries over from one playback to the next.
struct DispersionState {
  Word16 gain_history[6];     // pitch gains of the last six subframes, Q14, newest first
  Word16 previous_state;      // dispersion chosen last subframe: 0 strong, 1 medium, 2 none
  Word16 previous_code_gain;  // fixed-codebook gain of the last subframe, Q1
  Word16 onset_count;         // onset hold counter, 0..2
};

extern DispersionState dispersion_state;

// Program start: every field 0.
void dispersion_program_start();

// 6.4 kbit/s: out[0..39] = exc with its fixed-codebook part gain_code * code
// replaced by gain_code times the dispersed innovation. code (in/out, Q13)
// is left holding the dispersed innovation. gain_code Q1, gain_pitch Q14.
// exc and out may be the same array. Advances dispersion_state.
void phase_dispersion(const Word16* exc, Word16* out, Word16 gain_code, Word16 gain_pitch,
                      Word16* code);

// 8 and 11.8 kbit/s: advances dispersion_state as an undispersed subframe
// with these gains would (gain_pitch Q14, gain_code Q1).
void update_dispersion_state(Word16 gain_pitch, Word16 gain_code);

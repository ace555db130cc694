// Input pre-processing: the 140 Hz second-order high-pass filter that also
// halves the input, applied in place to each new frame of speech.
#pragma once

#include "codec/basicop/basicop.h"

struct InputHighpassState {
  Word16 y1_hi, y1_lo;  // last output, DPF
  Word16 y2_hi, y2_lo;  // the one before
  Word16 x0, x1;        // last two inputs
};

extern InputHighpassState input_highpass_state;

void reset_input_highpass();

// Filters signal[0..n-1] in place.
void input_highpass(Word16* signal, Word16 n);

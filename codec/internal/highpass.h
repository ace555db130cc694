// Output high-pass filter: a second-order 100 Hz high-pass that also doubles
// the level, the decoder's last stage. Its recursive part is kept in double
// precision.
#pragma once

#include "codec/basicop/basicop.h"

struct HighpassState {
  Word16 y1_hi, y1_lo;  // y(n-1), DPF (the undoubled output)
  Word16 y2_hi, y2_lo;  // y(n-2), DPF
  Word16 x0, x1;        // the last two input samples, newest first
};

extern HighpassState highpass_state;

// Filters n samples of `signal` in place (Q0 in, doubled Q0 out); n <= 0
// does nothing.
void output_highpass(Word16* signal, int n);

// Clears the filter memory.
void output_highpass_reset();

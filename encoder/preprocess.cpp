#include "encoder/preprocess.h"

#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"

InputHighpassState input_highpass_state;

void reset_input_highpass() { input_highpass_state = InputHighpassState{}; }

// y[i] = b0 x[i] + b1 x[i-1] + b2 x[i-2] + a1 y[i-1] + a2 y[i-2], the b
// halved so that the output is half the filtered input. The sum is Q12 in a
// Q28 accumulator; three left shifts make it Q31 before the rounding to 16
// bits, and the 32-bit output is kept as the next step's memory.
void input_highpass(Word16* signal, Word16 n) {
  InputHighpassState& s = input_highpass_state;
  for (int i = 0; i < n; i++) {
    Word16 x2 = s.x1;
    s.x1 = s.x0;
    s.x0 = signal[i];
    Word32 acc = dpf_mpy16(s.y1_hi, s.y1_lo, INPUT_HIGHPASS_A[1]);
    acc = L_add(acc, dpf_mpy16(s.y2_hi, s.y2_lo, INPUT_HIGHPASS_A[2]));
    acc = L_mac(acc, s.x0, INPUT_HIGHPASS_B[0]);
    acc = L_mac(acc, s.x1, INPUT_HIGHPASS_B[1]);
    acc = L_mac(acc, x2, INPUT_HIGHPASS_B[2]);
    acc = L_shl(acc, 3);
    signal[i] = round(acc);
    s.y2_hi = s.y1_hi;
    s.y2_lo = s.y1_lo;
    dpf_split(acc, &s.y1_hi, &s.y1_lo);
  }
}

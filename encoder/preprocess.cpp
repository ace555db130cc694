#include "encoder/preprocess.h"

#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"
#include "encoder/reference_paths.h"

InputHighpassState input_highpass_state;

void reset_input_highpass() { input_highpass_state = InputHighpassState{}; }

// y[i] = b0 x[i] + b1 x[i-1] + b2 x[i-2] + a1 y[i-1] + a2 y[i-2], the b
// halved so that the output is half the filtered input. The sum is Q12 in a
// Q28 accumulator; three left shifts make it Q31 before the rounding to 16
// bits, and the 32-bit output is kept as the next step's memory.
// Longest run the fast form takes at once.
static const int FAST_RUN = 80;

// Fast form of input_highpass on n <= FAST_RUN samples. A DPF value
// (hi, lo) stands for Y = hi 65536 + 2 lo, and dpf_mpy16 of it by a is
// 2 ((Y a) >> 16). With these coefficients (|a1| = 7807, |a2| = 3733,
// |b0| = |b2| = 1899, |b1| = 3798) every partial sum of the five terms stays
// below 1.25e9 in magnitude, so the sum is exact: 2 q, where q adds the
// halved terms. The input terms are summed for the whole run first. L_shl by
// 3 and the rounding limit only when 2 q leaves [-2^28, 2^28 - 2^12); inside
// it the output is the rounding of 16 q.
static void input_highpass_fast(Word16* signal, int n) {
  InputHighpassState& s = input_highpass_state;
  const int64_t a1 = INPUT_HIGHPASS_A[1], a2 = INPUT_HIGHPASS_A[2];
  const Word32 b0 = INPUT_HIGHPASS_B[0], b1 = INPUT_HIGHPASS_B[1], b2 = INPUT_HIGHPASS_B[2];
  Word16 in[2 + FAST_RUN];  // x(n-2), x(n-1), then the run
  in[0] = s.x1;
  in[1] = s.x0;
  for (int i = 0; i < n; i++) in[2 + i] = signal[i];
  Word32 fir[FAST_RUN];
  for (int i = 0; i < n; i++) fir[i] = in[i + 2] * b0 + in[i + 1] * b1 + in[i] * b2;
  int64_t y1 = s.y1_hi * 65536 + 2 * s.y1_lo, y2 = s.y2_hi * 65536 + 2 * s.y2_lo;
  for (int i = 0; i < n; i++) {
    int64_t q = ((y1 * a1) >> 16) + ((y2 * a2) >> 16) + fir[i];
    Word32 acc;  // L_shl(sum, 3)
    if (q >= -(1 << 27) && q < (1 << 27) - (1 << 11)) {
      acc = (Word32)q * 16;
      signal[i] = (Word16)((acc + 0x8000) >> 16);
    } else {
      acc = q < 0 ? MIN_32 : MAX_32;  // |2 q| >= 2^28: the shift limits
      if (q >= -(1 << 27) && q < (1 << 27)) acc = (Word32)q * 16;
      signal[i] = acc > MAX_32 - 0x8000 ? MAX_16 : (Word16)((acc + 0x8000) >> 16);
    }
    y2 = y1;
    y1 = acc & ~1;
  }
  s = InputHighpassState{(Word16)(y1 >> 16), (Word16)((y1 >> 1) & 0x7fff),
                         (Word16)(y2 >> 16), (Word16)((y2 >> 1) & 0x7fff),
                         in[n + 1],          in[n]};
}

void input_highpass(Word16* signal, Word16 n) {
  if (!encoder_reference_paths) {
    for (int i = 0; i < n; i += FAST_RUN)
      input_highpass_fast(signal + i, n - i < FAST_RUN ? n - i : FAST_RUN);
    return;
  }
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

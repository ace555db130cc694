#include "codec/highpass.h"

#include "codec/basicop/dpf.h"
#include "codec/fast_paths.h"
#include "codec/tables/tables.h"

HighpassState highpass_state;

void output_highpass_reset() { highpass_state = HighpassState{0, 0, 0, 0, 0, 0}; }

// Fast form of output_highpass. A DPF value (hi, lo) is the 32-bit value
// Y = hi 65536 + 2 lo, and its dpf_mpy16 with a is 2 hi a + 2 ((lo a) >> 15),
// which is 2 ((Y a) >> 16). With the filter's coefficients (|a1| = 15836,
// |a2| = 7667, |b0| = 7699) the two products of the past outputs and the
// first input term sum to less than 2^31 in magnitude whatever the state
// holds, so they are plain sums. The two later input terms and the shifts
// can saturate; the common case, where none does, takes the plain sums, the
// others limit step by step as the operators do. dpf_split of L is L >> 16
// and (L >> 1) & 0x7fff, that is Y = L with its lowest bit cleared.
static void output_highpass_wide(Word16* signal, int n) {
  HighpassState& st = highpass_state;
  const int64_t a1 = HIGHPASS_A[1], a2 = HIGHPASS_A[2];
  const Word32 b0 = HIGHPASS_B[0], b1 = HIGHPASS_B[1], b2 = HIGHPASS_B[2];
  int64_t y1 = st.y1_hi * 65536 + 2 * st.y1_lo, y2 = st.y2_hi * 65536 + 2 * st.y2_lo;
  Word32 x0 = st.x0, x1 = st.x1;
  for (int i = 0; i < n; i++) {
    Word32 x2 = x1;
    x1 = x0;
    x0 = signal[i];

    int64_t L1 = 2 * ((y1 * a1) >> 16) + 2 * ((y2 * a2) >> 16) + 2 * x0 * b0 + 2 * x1 * b1;
    int64_t L2 = L1 + 2 * x2 * b2;
    Word32 L;
    if (L1 == (Word32)L1 && L2 >= -(1 << 28) && L2 < (1 << 28) - (1 << 12)) {
      // Nothing saturates: y(n) = 4 L2 and 2 y(n) rounds without limit.
      L = (Word32)L2 * 4;
      signal[i] = (Word16)((2 * L + 0x8000) >> 16);
    } else {
      L = saturate32(saturate32(L1) + (int64_t)(2 * x2 * b2));
      L = saturate32((int64_t)L * 4);          // y(n) with 16 fractional bits
      signal[i] = round_wide((int64_t)L * 2);  // 2 y(n)
    }

    y2 = y1;
    y1 = L & ~1;
  }
  st = HighpassState{(Word16)(y1 >> 16), (Word16)((y1 >> 1) & 0x7fff),
                     (Word16)(y2 >> 16), (Word16)((y2 >> 1) & 0x7fff),
                     (Word16)x0,         (Word16)x1};
}

void output_highpass(Word16* signal, int n) {
  if (!decoder_reference_paths) return output_highpass_wide(signal, n);
  HighpassState& st = highpass_state;
  for (int i = 0; i < n; i++) {
    Word16 x2 = st.x1;
    st.x1 = st.x0;
    st.x0 = signal[i];

    Word32 L = dpf_mpy16(st.y1_hi, st.y1_lo, HIGHPASS_A[1]);
    L = L_add(L, dpf_mpy16(st.y2_hi, st.y2_lo, HIGHPASS_A[2]));
    L = L_mac(L, st.x0, HIGHPASS_B[0]);
    L = L_mac(L, st.x1, HIGHPASS_B[1]);
    L = L_mac(L, x2, HIGHPASS_B[2]);
    L = L_shl(L, 2);  // y(n) with 16 fractional bits

    signal[i] = round(L_shl(L, 1));  // 2 y(n)

    st.y2_hi = st.y1_hi;
    st.y2_lo = st.y1_lo;
    dpf_split(L, &st.y1_hi, &st.y1_lo);
  }
}

#include "highpass.h"

#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"

#include "fast_paths.h"

HighpassState highpass_state;

void output_highpass_reset() { highpass_state = HighpassState{0, 0, 0, 0, 0, 0}; }

// Longest run the fast form takes at once (longer ones go in such runs).
static const int WIDE_RUN = 80;

// Fast form of output_highpass. A DPF value (hi, lo) is the 32-bit value
// Y = hi 65536 + 2 lo, and its dpf_mpy16 with a is 2 hi a + 2 ((lo a) >> 15),
// which is 2 ((Y a) >> 16). With the filter's coefficients (|a1| = 15836,
// |a2| = 7667, |b0| = 7699) the two products of the past outputs and the
// first input term sum to less than 2^31 in magnitude whatever the state
// holds, so they are plain sums. The two later input terms and the shifts
// can saturate; the common case, where none does, takes the plain sums, the
// others limit step by step as the operators do. dpf_split of L is L >> 16
// and (L >> 1) & 0x7fff, that is Y = L with its lowest bit cleared.
//
// The input terms, which do not depend on the outputs, are summed for the
// whole run first (fir). With q the halved sum of all five terms, the common
// case is 2 q in [-2^28, 2^28 - 2^12): the partial sum before the last input
// term is then below 2^28 + 2 * 32768 * 7699 < 2^31, nothing saturates,
// y(n) = 8 q and the output is the rounding of 16 q.
static void highpass_run(Word16* signal, int n) {
  HighpassState& st = highpass_state;
  const int64_t a1 = HIGHPASS_A[1], a2 = HIGHPASS_A[2];
  const Word32 b0 = HIGHPASS_B[0], b1 = HIGHPASS_B[1], b2 = HIGHPASS_B[2];
  Word16 in[2 + WIDE_RUN];  // x(n-2), x(n-1), then the run's inputs
  in[0] = st.x1;
  in[1] = st.x0;
  for (int i = 0; i < n; i++) in[2 + i] = signal[i];
  Word32 fir[WIDE_RUN];
  for (int i = 0; i < n; i++) fir[i] = in[i + 2] * b0 + in[i + 1] * b1 + in[i] * b2;

  int64_t y1 = st.y1_hi * 65536 + 2 * st.y1_lo, y2 = st.y2_hi * 65536 + 2 * st.y2_lo;
  for (int i = 0; i < n; i++) {
    int64_t past = ((y1 * a1) >> 16) + ((y2 * a2) >> 16);
    int64_t q = past + fir[i];
    Word32 L;
    if (q >= -(1 << 27) && q < (1 << 27) - (1 << 11)) {
      L = (Word32)q * 8;
      signal[i] = (Word16)((L * 2 + 0x8000) >> 16);
    } else {
      Word32 x0 = in[i + 2], x1 = in[i + 1], x2 = in[i];
      L = saturate32(2 * (past + x0 * b0) + 2 * x1 * b1);  // |2 (past + x0 b0)| < 2^31
      L = saturate32((int64_t)L + 2 * x2 * b2);
      L = saturate32((int64_t)L * 4);          // y(n) with 16 fractional bits
      signal[i] = round_wide((int64_t)L * 2);  // 2 y(n)
    }
    y2 = y1;
    y1 = L & ~1;
  }
  st = HighpassState{(Word16)(y1 >> 16), (Word16)((y1 >> 1) & 0x7fff),
                     (Word16)(y2 >> 16), (Word16)((y2 >> 1) & 0x7fff),
                     in[n + 1],          in[n]};
}

static void output_highpass_wide(Word16* signal, int n) {
  for (int i = 0; i < n; i += WIDE_RUN)
    highpass_run(signal + i, n - i < WIDE_RUN ? n - i : WIDE_RUN);
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

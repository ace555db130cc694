#include "codec/highpass.h"

#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"

HighpassState highpass_state;

void output_highpass_reset() { highpass_state = HighpassState{0, 0, 0, 0, 0, 0}; }

void output_highpass(Word16* signal, int n) {
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

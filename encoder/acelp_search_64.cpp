#include "encoder/acelp_search_64.h"

#include "codec/frame_decoder.h"
#include "codec/tables/tables.h"
#include "encoder/acelp_common.h"

namespace {

const Word16 W_DIAG = 8192;    // 1/4: energy weights
const Word16 W_CROSS = 16384;  // 1/2

}  // namespace

Word16 acelp_search_64(const Word16* x, Word16* h, Word16 T0, Word16 sharp, Word16* code, Word16* y,
                       Word16* sign) {
  sharpen_code(h, T0, sharp);
  static ResponseCorrelation corr;
  correlate_response(h, &corr);
  Word16 dn[ACELP_SUBFRAME], p_sign[ACELP_SUBFRAME];
  target_correlation(h, x, dn);
  choose_signs(dn, p_sign);

  Word16 psc = 0, alpha = MAX_16;
  int best0 = 0, best1 = 0;
  for (int a = 0; a < 16; a++) {
    int i0 = TRACK_A_64[a];
    Word16 ps0 = dn[i0];
    Word32 alp0 = L_mult(pulse_correlation(corr, i0, i0), W_DIAG);
    for (int b = 0; b < 32; b++) {
      int i1 = TRACK_B_64[b];
      Word16 ps1 = add(ps0, dn[i1]);
      Word32 alp1 = L_mac(alp0, pulse_correlation(corr, i1, i1), W_DIAG);
      alp1 =
          L_mac(alp1, mult(pulse_correlation(corr, i0, i1), mult(p_sign[i0], p_sign[i1])), W_CROSS);
      Word16 alp = extract_h(alp1);
      Word16 ps1c = mult(ps1, ps1);
      if (L_msu(L_mult(ps1c, alpha), psc, alp) > 0L) {
        psc = ps1c;
        alpha = alp;
        best0 = a;
        best1 = b;
      }
    }
  }

  for (int i = 0; i < ACELP_SUBFRAME; i++) code[i] = y[i] = 0;
  Word16 p0 = TRACK_A_64[best0], p1 = TRACK_B_64[best1];
  add_pulse(p0, p_sign[p0], h, code, y);
  add_pulse(p1, p_sign[p1], h, code, y);
  *sign = (Word16)((p_sign[p0] > 0 ? 1 : 0) | (p_sign[p1] > 0 ? 2 : 0));
  sharpen_code(code, T0, sharp);
  return (Word16)(GRAY_ENCODE_32[best0] | GRAY_ENCODE_32[best1] << 4);
}

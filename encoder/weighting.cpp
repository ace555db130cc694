#include "encoder/weighting.h"

WeightingState weighting_state;

namespace {

// log10((1 + x) / (1 - x)) in four linear pieces: y = x up to SEG1, then
// y = A x - B (A Q11, B Q22); result Q11. These constants and the
// hysteresis thresholds below are the values that reproduce the standard's
// bitstreams on every conformance input (several decisions there lie within
// a few units of a threshold).
const Word16 SEG1 = 20784;  // 0.6343
const Word16 SEG2 = 29043;  // 0.8863
const Word16 SEG3 = 31099;  // 0.9491
const Word16 A1 = 4567;     // 2.23
const Word32 L_B1 = 3271557;
const Word16 A2 = 11776;  // 5.75
const Word32 L_B2 = 16357018;
const Word16 A3 = 27443;  // 13.4
const Word32 L_B3 = 46826000;

// Hysteresis of the tilt decision on the two log-area ratios, Q11.
const Word16 THRESH_L1 = -3562;  // -1.74
const Word16 THRESH_L2 = -3123;  // -1.525
const Word16 THRESH_H1 = 1336;   // 0.65
const Word16 THRESH_H2 = 901;    // 0.44

const Word16 GAMMA1_TILTED = 32113;  // 0.98
const Word16 GAMMA2_MAX = 22938;     // 0.7
const Word16 GAMMA2_MIN = 13107;     // 0.4
const Word16 GAMMA1_FLAT = 30802;    // 0.94
const Word16 GAMMA2_FLAT = 19661;    // 0.6
// gamma2 = 1 - 6 * d_min with d_min in radians (2 pi times the 0..0.5
// scale), formed in Q10 from the distance doubled.
const Word16 ALPHA = 19302;  // 6 * 2 pi, Q9
const Word16 BETA = 1024;    // 1.0, Q10

Word16 log_area_ratio(Word16 rc) {
  Word16 x = abs_s(rc);
  Word16 y;
  if (sub(x, SEG1) <= 0) {
    y = shr(x, 4);
  } else {
    Word16 a = A3;
    Word32 b = L_B3;
    if (sub(x, SEG2) <= 0) {
      a = A1;
      b = L_B1;
    } else if (sub(x, SEG3) <= 0) {
      a = A2;
      b = L_B2;
    }
    Word32 L = L_shr(L_mult(x, a), 5);  // Q22
    y = extract_l(L_shr(L_sub(L, b), 11));
  }
  return rc < 0 ? negate(y) : y;
}

}  // namespace

void reset_weighting() {
  weighting_state.flat = 1;
  weighting_state.lar_old[0] = weighting_state.lar_old[1] = 0;
}

void adapt_weighting(const Word16* lsf_int, const Word16* lsf_new, const Word16* rc, Word16* gamma1,
                     Word16* gamma2) {
  WeightingState& s = weighting_state;
  Word16 lar[4];  // subframe 1 (interpolated), then subframe 2
  for (int i = 0; i < 2; i++) {
    lar[2 + i] = log_area_ratio(rc[i]);
    lar[i] = add(shr(s.lar_old[i], 1), shr(lar[2 + i], 1));
    s.lar_old[i] = lar[2 + i];
  }
  for (int k = 0; k < 2; k++) {
    Word16 lar0 = lar[2 * k], lar1 = lar[2 * k + 1];
    if (s.flat != 0) {
      if (sub(lar0, THRESH_L1) < 0 && sub(lar1, THRESH_H1) > 0) s.flat = 0;
    } else if (sub(lar0, THRESH_L2) > 0 || sub(lar1, THRESH_H2) < 0) {
      s.flat = 1;
    }
    if (s.flat == 0) {
      const Word16* lsf = k == 0 ? lsf_int : lsf_new;
      Word16 d_min = sub(lsf[1], lsf[0]);
      for (int i = 1; i < 9; i++) {
        Word16 d = sub(lsf[i + 1], lsf[i]);
        if (sub(d, d_min) < 0) d_min = d;
      }
      Word16 g = shl(sub(BETA, mult(ALPHA, shl(d_min, 1))), 5);
      if (sub(g, GAMMA2_MAX) > 0) g = GAMMA2_MAX;
      if (sub(g, GAMMA2_MIN) < 0) g = GAMMA2_MIN;
      gamma1[k] = GAMMA1_TILTED;
      gamma2[k] = g;
    } else {
      gamma1[k] = GAMMA1_FLAT;
      gamma2[k] = GAMMA2_FLAT;
    }
  }
}

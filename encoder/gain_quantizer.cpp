#include "encoder/gain_quantizer.h"

#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"
#include "encoder/reference_paths.h"

#include "gain.h"

GainQuantizerState gain_quantizer_state;

namespace {

const Word16 SUBFRAME = 40;
const Word16 GPCLIP2 = 481;   // 0.94, Q9: optimum pitch gain limit when taming
const Word16 GP0999 = 16383;  // 0.9999, Q14: quantised pitch gain limit when taming

// A two-stage gain codebook with its pre-selection.
struct GainCodebook {
  const Word16 (*cb1)[2];  // first stage: pitch gain Q14, code factor
  const Word16 (*cb2)[2];  // second stage
  Word16 ncode1, ncode2;   // sizes
  Word16 ncan1, ncan2;     // candidates searched in each
  const Word16* thr1;      // pre-selection thresholds, ncode - ncan of each
  const Word16* thr2;
  const Word16 (*coef)[2];
  const Word32 (*L_coef)[2];
  Word16 inv_coef;     // Q19: -1 / (coef[0][0] - coef[1][0]), scale of both coordinates
  Word16 sft_gain_x;   // brings the optimum code gain (Q2) to the second stage's numerator
  Word16 sft_y;        // aligns thr1 * gcode0 with the first stage's coordinate
  Word16 factor_q;     // Q of the code factors: 13, or 14 (the sum is halved)
  const Word16* map1;  // stage entry -> transmitted index
  const Word16* map2;
};

// clang-format off
const GainCodebook CODEBOOK_80 = {
    GAIN_CB1, GAIN_CB2, 8, 16, 4, 8, GAIN_THR1, GAIN_THR2, GAIN_COEF, GAIN_L_COEF,
    -17103, 7, 3, 13, GAIN_MAP1_ENC, GAIN_MAP2_ENC};
// 6.4 kbit/s: the same pre-selection in the coordinates of the halved code
// factors. The second stage's numerator takes half the optimum code gain,
// coef[1][0] is Q17 (so inv_coef = -1 / (18756 / 2^10 - 26166 / 2^17)) and
// thr1 is Q13. The vectors at 6.4 kbit/s and at alternating rates decided:
// of the shift variants that reproduce all their pre-selections, this is the
// one that keeps the 8 kbit/s shifts everywhere else, and with it both
// stages accept any scale from -28952 to -28916.
const GainCodebook CODEBOOK_64 = {
    GAIN_CB1_64, GAIN_CB2_64, 8, 8, 6, 6, GAIN_THR1_64, GAIN_THR2_64, GAIN_COEF_64,
    GAIN_L_COEF_64, -28939, 6, 2, 14, GAIN_MAP1_ENC_64, GAIN_MAP2_ENC_64};
// clang-format on

// 16-bit mantissa and exponent of the dot product a.b (starting from 1) with
// a Q shift: *exp = norm + q - 16.
Word16 normalized_dot(const Word16* a, const Word16* b, Word16 q, Word16* exp) {
  Word32 L = 1;
  for (int i = 0; i < SUBFRAME; i++) L = L_mac(L, a[i], b[i]);
  Word16 e = norm_l(L);
  *exp = add(e, q - 16);
  return round(L_shl(L, e));
}

// (a * b - c * d) from terms with exponents, as a normalised mantissa with
// its exponent; `half` halves both products first (as the numerators do).
Word16 difference_of_products(Word32 L1, Word16 exp1, Word32 L2, Word16 exp2, bool half,
                              Word16* exp_out) {
  Word32 L;
  Word16 exp;
  if (!half) {
    if (sub(exp1, exp2) > 0) {
      L = L_sub(L_shr(L1, sub(exp1, exp2)), L2);
      exp = exp2;
    } else {
      L = L_sub(L1, L_shr(L2, sub(exp2, exp1)));
      exp = exp1;
    }
  } else if (sub(exp1, exp2) > 0) {
    L = L_sub(L_shr(L1, add(sub(exp1, exp2), 1)), L_shr(L2, 1));
    exp = sub(exp2, 1);
  } else {
    L = L_sub(L_shr(L1, 1), L_shr(L2, add(sub(exp2, exp1), 1)));
    exp = sub(exp1, 1);
  }
  Word16 sft = norm_l(L);
  *exp_out = sub(add(exp, sft), 16);
  return extract_h(L_shl(L, sft));
}

// The first candidates of both stages around the optimum gains
// (best_gain[0] Q9 pitch, best_gain[1] Q2 code) with gcode0 in Q4.
void preselect(const GainCodebook& cb, const Word16* best_gain, Word16 gcode0, Word16* cand1,
               Word16* cand2) {
  Word32 L_cfbg = L_mult(cb.coef[0][0], best_gain[0]);
  Word32 L_acc = L_shr(cb.L_coef[1][1], 15);
  L_acc = L_add(L_cfbg, L_acc);
  Word16 acc_h = extract_h(L_acc);
  Word32 L_preg = L_mult(acc_h, gcode0);
  L_acc = L_shl(L_deposit_l(best_gain[1]), cb.sft_gain_x);
  L_acc = L_sub(L_acc, L_preg);
  acc_h = extract_h(L_shl(L_acc, 2));
  Word32 L_tmp_x = L_mult(acc_h, cb.inv_coef);

  L_acc = L_shr(cb.L_coef[0][1], 10);
  L_acc = L_sub(L_cfbg, L_acc);
  acc_h = extract_h(L_acc);
  acc_h = mult(acc_h, gcode0);
  Word32 L_tmp = L_mult(acc_h, cb.coef[1][0]);
  L_preg = L_mult(cb.coef[0][0], best_gain[1]);
  L_acc = L_sub(L_tmp, L_shr(L_preg, 3));
  acc_h = extract_h(L_shl(L_acc, 2));
  Word32 L_tmp_y = L_mult(acc_h, cb.inv_coef);

  const Word16 sft_y = cb.sft_y;
  const Word16 sft_x = (15 + 4 + 1) - 15;
  // With a positive prediction the candidates move up while the optimum is
  // above the thresholds, with a negative one while it is below.
  Word16 sense = gcode0 > 0 ? 1 : -1;
  *cand1 = 0;
  do {
    Word32 d = L_sub(L_tmp_y, L_shr(L_mult(cb.thr1[*cand1], gcode0), sft_y));
    if (sense > 0 ? d > 0L : d < 0L)
      *cand1 = add(*cand1, 1);
    else
      break;
  } while (sub(*cand1, cb.ncode1 - cb.ncan1) < 0);
  *cand2 = 0;
  do {
    Word32 d = L_sub(L_tmp_x, L_shr(L_mult(cb.thr2[*cand2], gcode0), sft_x));
    if (sense > 0 ? d > 0L : d < 0L)
      *cand2 = add(*cand2, 1);
    else
      break;
  } while (sub(*cand2, cb.ncode2 - cb.ncan2) < 0);
}

}  // namespace

void reset_gain_quantizer() {
  for (int i = 0; i < 4; i++) gain_quantizer_state.past_energy[i] = -14336;
}

void gain_correlations(const Word16* xn, const Word16* y1, const Word16* y2, Word16* coeff,
                       Word16* exp_coeff) {
  Word16 scaled_y2[SUBFRAME];  // Q9
  for (int i = 0; i < SUBFRAME; i++) scaled_y2[i] = shr(y2[i], 3);
  Word16 e;
  coeff[2] = normalized_dot(scaled_y2, scaled_y2, 19, &e);
  exp_coeff[2] = e;
  coeff[3] = negate(normalized_dot(xn, scaled_y2, 10, &e));
  exp_coeff[3] = sub(e, 1);
  coeff[4] = normalized_dot(y1, scaled_y2, 10, &e);
  exp_coeff[4] = sub(e, 1);
}

// The error of one pair of gains: the sum of the terms (c_hi, c_lo) times
// g, each term and each partial sum saturating. In plain arithmetic when no
// term and no partial sum leaves the 32-bit range (L_mult cannot saturate:
// the gains are not negative), exactly otherwise.
static Word32 gain_error(const Word16* c_hi, const Word16* c_lo, const Word16* g) {
  if (!encoder_reference_paths) {
    int64_t d = 0;
    bool fits = true;
    for (int i = 0; i < 5; i++) {
      int64_t term = 2 * (int64_t)c_hi[i] * g[i] + 2 * ((c_lo[i] * g[i]) >> 15);
      d += term;
      fits &= g[i] >= 0 && term >= MIN_32 && term <= MAX_32 && d >= MIN_32 && d <= MAX_32;
    }
    if (fits) return (Word32)d;
  }
  Word32 d = dpf_mpy16(c_hi[0], c_lo[0], g[0]);
  for (int i = 1; i < 5; i++) d = L_add(d, dpf_mpy16(c_hi[i], c_lo[i], g[i]));
  return d;
}

// The search of either codebook; writes the quantised gains and the factor
// the predictor memory takes.
static Word16 quantize_gains(const GainCodebook& cb, const Word16* code, const Word16* coeff,
                             const Word16* exp_coeff, Word16 taming, Word16* gain_pit,
                             Word16* gain_code) {
  Word16* past = gain_quantizer_state.past_energy;
  Word16 gcode0, exp_gcode0;
  predict_code_gain(past, code, SUBFRAME, &gcode0, &exp_gcode0);

  // The unquantised optimum: -1 / (4 c0 c2 - c4^2) times the numerators.
  Word16 exp_denom;
  Word16 denom = difference_of_products(
      L_mult(coeff[0], coeff[2]), add(add(exp_coeff[0], exp_coeff[2]), 1 - 2),
      L_mult(coeff[4], coeff[4]), add(add(exp_coeff[4], exp_coeff[4]), 1), false, &exp_denom);
  Word16 inv_denom = negate(div_s(16384, denom));
  Word16 exp_inv_denom = sub(14 + 15, exp_denom);

  Word16 best_gain[2], exp_nume;
  Word16 nume = difference_of_products(L_mult(coeff[2], coeff[1]), add(exp_coeff[2], exp_coeff[1]),
                                       L_mult(coeff[3], coeff[4]),
                                       add(add(exp_coeff[3], exp_coeff[4]), 1), true, &exp_nume);
  Word16 sft = sub(add(exp_nume, exp_inv_denom), 9 + 16 - 1);
  best_gain[0] = extract_h(L_shr(L_mult(nume, inv_denom), sft));  // Q9
  if (taming == 1 && sub(best_gain[0], GPCLIP2) > 0) best_gain[0] = GPCLIP2;

  nume = difference_of_products(L_mult(coeff[0], coeff[3]), add(exp_coeff[0], exp_coeff[3]),
                                L_mult(coeff[1], coeff[4]), add(add(exp_coeff[1], exp_coeff[4]), 1),
                                true, &exp_nume);
  sft = sub(add(exp_nume, exp_inv_denom), 2 + 16 - 1);
  best_gain[1] = extract_h(L_shr(L_mult(nume, inv_denom), sft));  // Q2

  Word16 gcode0_q4;
  if (sub(exp_gcode0, 4) >= 0)
    gcode0_q4 = shr(gcode0, sub(exp_gcode0, 4));
  else
    gcode0_q4 = extract_h(L_shl(L_deposit_l(gcode0), sub(4 + 16, exp_gcode0)));
  Word16 cand1, cand2;
  preselect(cb, best_gain, gcode0_q4, &cand1, &cand2);

  // The error terms aligned to one exponent, as DPF values.
  Word16 exp_min[5];
  exp_min[0] = add(exp_coeff[0], 13);
  exp_min[1] = add(exp_coeff[1], 14);
  // g_code carries one more bit when the factors do.
  Word16 extra = sub(cb.factor_q, 13);
  exp_min[2] = add(exp_coeff[2], sub(shl(exp_gcode0, 1), sub(21, shl(extra, 1))));
  exp_min[3] = add(exp_coeff[3], sub(exp_gcode0, sub(3, extra)));
  exp_min[4] = add(exp_coeff[4], sub(exp_gcode0, sub(4, extra)));
  Word16 e_min = exp_min[0];
  for (int i = 1; i < 5; i++)
    if (sub(exp_min[i], e_min) < 0) e_min = exp_min[i];
  Word16 c_hi[5], c_lo[5];
  for (int i = 0; i < 5; i++)
    dpf_split(L_shr(L_deposit_h(coeff[i]), sub(exp_min[i], e_min)), &c_hi[i], &c_lo[i]);

  Word32 dist_min = MAX_32;
  Word16 index1 = cand1, index2 = cand2;
  for (Word16 i = 0; i < cb.ncan1; i++)
    for (Word16 j = 0; j < cb.ncan2; j++) {
      Word16 g_pitch = add(cb.cb1[cand1 + i][0], cb.cb2[cand2 + j][0]);  // Q14
      if (taming == 1 && g_pitch >= GP0999) continue;
      Word32 L = L_add(L_deposit_l(cb.cb1[cand1 + i][1]), L_deposit_l(cb.cb2[cand2 + j][1]));
      Word16 g_code = mult(gcode0, extract_l(L_shr(L, 1)));
      Word16 g2_pitch = mult(g_pitch, g_pitch);
      Word16 g2_code = mult(g_code, g_code);
      Word16 g_pit_cod = mult(g_code, g_pitch);
      const Word16 g[5] = {g2_pitch, g_pitch, g2_code, g_code, g_pit_cod};
      Word32 d = gain_error(c_hi, c_lo, g);
      if (L_sub(d, dist_min) < 0L) {
        dist_min = d;
        index1 = add(cand1, i);
        index2 = add(cand2, j);
      }
    }

  *gain_pit = add(cb.cb1[index1][0], cb.cb2[index2][0]);
  Word32 factor = L_add(L_deposit_l(cb.cb1[index1][1]), L_deposit_l(cb.cb2[index2][1]));
  if (cb.factor_q == 13) {
    *gain_code = corrected_code_gain_80(factor, gcode0, exp_gcode0);
  } else {
    factor = L_shr(factor, 1);
    *gain_code = corrected_code_gain_64(factor, gcode0, exp_gcode0);
  }
  update_gain_predictor(past, factor);
  return add((Word16)(cb.map1[index1] * cb.ncode2), cb.map2[index2]);
}

Word16 quantize_gains_80(const Word16* code, const Word16* coeff, const Word16* exp_coeff,
                         Word16 taming, Word16* gain_pit, Word16* gain_code) {
  return quantize_gains(CODEBOOK_80, code, coeff, exp_coeff, taming, gain_pit, gain_code);
}

Word16 quantize_gains_64(const Word16* code, const Word16* coeff, const Word16* exp_coeff,
                         Word16 taming, Word16* gain_pit, Word16* gain_code) {
  return quantize_gains(CODEBOOK_64, code, coeff, exp_coeff, taming, gain_pit, gain_code);
}

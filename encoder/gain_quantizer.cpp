#include "encoder/gain_quantizer.h"

#include "codec/basicop/dpf.h"
#include "codec/gain.h"
#include "codec/tables/tables.h"

GainQuantizerState gain_quantizer_state;

namespace {

const Word16 SUBFRAME = 40;
const Word16 NCODE1 = 8, NCODE2 = 16;  // sizes of the two stages
const Word16 NCAN1 = 4, NCAN2 = 8;     // candidates searched in each
const Word16 GPCLIP2 = 481;            // 0.94, Q9: optimum pitch gain limit when taming
const Word16 GP0999 = 16383;           // 0.9999, Q14: quantised pitch gain limit when taming
const Word16 INV_COEF = -17103;        // Q19

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
void preselect(const Word16* best_gain, Word16 gcode0, Word16* cand1, Word16* cand2) {
  Word32 L_cfbg = L_mult(GAIN_COEF[0][0], best_gain[0]);
  Word32 L_acc = L_shr(GAIN_L_COEF[1][1], 15);
  L_acc = L_add(L_cfbg, L_acc);
  Word16 acc_h = extract_h(L_acc);
  Word32 L_preg = L_mult(acc_h, gcode0);
  L_acc = L_shl(L_deposit_l(best_gain[1]), 7);
  L_acc = L_sub(L_acc, L_preg);
  acc_h = extract_h(L_shl(L_acc, 2));
  Word32 L_tmp_x = L_mult(acc_h, INV_COEF);

  L_acc = L_shr(GAIN_L_COEF[0][1], 10);
  L_acc = L_sub(L_cfbg, L_acc);
  acc_h = extract_h(L_acc);
  acc_h = mult(acc_h, gcode0);
  Word32 L_tmp = L_mult(acc_h, GAIN_COEF[1][0]);
  L_preg = L_mult(GAIN_COEF[0][0], best_gain[1]);
  L_acc = L_sub(L_tmp, L_shr(L_preg, 3));
  acc_h = extract_h(L_shl(L_acc, 2));
  Word32 L_tmp_y = L_mult(acc_h, INV_COEF);

  const Word16 sft_y = (14 + 4 + 1) - 16;
  const Word16 sft_x = (15 + 4 + 1) - 15;
  // With a positive prediction the candidates move up while the optimum is
  // above the thresholds, with a negative one while it is below.
  Word16 sense = gcode0 > 0 ? 1 : -1;
  *cand1 = 0;
  do {
    Word32 d = L_sub(L_tmp_y, L_shr(L_mult(GAIN_THR1[*cand1], gcode0), sft_y));
    if (sense > 0 ? d > 0L : d < 0L)
      *cand1 = add(*cand1, 1);
    else
      break;
  } while (sub(*cand1, NCODE1 - NCAN1) < 0);
  *cand2 = 0;
  do {
    Word32 d = L_sub(L_tmp_x, L_shr(L_mult(GAIN_THR2[*cand2], gcode0), sft_x));
    if (sense > 0 ? d > 0L : d < 0L)
      *cand2 = add(*cand2, 1);
    else
      break;
  } while (sub(*cand2, NCODE2 - NCAN2) < 0);
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

Word16 quantize_gains_80(const Word16* code, const Word16* coeff, const Word16* exp_coeff,
                         Word16 taming, Word16* gain_pit, Word16* gain_code) {
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
  preselect(best_gain, gcode0_q4, &cand1, &cand2);

  // The error terms aligned to one exponent, as DPF values.
  Word16 exp_min[5];
  exp_min[0] = add(exp_coeff[0], 13);
  exp_min[1] = add(exp_coeff[1], 14);
  exp_min[2] = add(exp_coeff[2], sub(shl(exp_gcode0, 1), 21));
  exp_min[3] = add(exp_coeff[3], sub(exp_gcode0, 3));
  exp_min[4] = add(exp_coeff[4], sub(exp_gcode0, 4));
  Word16 e_min = exp_min[0];
  for (int i = 1; i < 5; i++)
    if (sub(exp_min[i], e_min) < 0) e_min = exp_min[i];
  Word16 c_hi[5], c_lo[5];
  for (int i = 0; i < 5; i++)
    dpf_split(L_shr(L_deposit_h(coeff[i]), sub(exp_min[i], e_min)), &c_hi[i], &c_lo[i]);

  Word32 dist_min = MAX_32;
  Word16 index1 = cand1, index2 = cand2;
  for (Word16 i = 0; i < NCAN1; i++)
    for (Word16 j = 0; j < NCAN2; j++) {
      Word16 g_pitch = add(GAIN_CB1[cand1 + i][0], GAIN_CB2[cand2 + j][0]);  // Q14
      if (taming == 1 && g_pitch >= GP0999) continue;
      Word32 L = L_add(L_deposit_l(GAIN_CB1[cand1 + i][1]), L_deposit_l(GAIN_CB2[cand2 + j][1]));
      Word16 g_code = mult(gcode0, extract_l(L_shr(L, 1)));
      Word16 g2_pitch = mult(g_pitch, g_pitch);
      Word16 g2_code = mult(g_code, g_code);
      Word16 g_pit_cod = mult(g_code, g_pitch);
      Word32 d = dpf_mpy16(c_hi[0], c_lo[0], g2_pitch);
      d = L_add(d, dpf_mpy16(c_hi[1], c_lo[1], g_pitch));
      d = L_add(d, dpf_mpy16(c_hi[2], c_lo[2], g2_code));
      d = L_add(d, dpf_mpy16(c_hi[3], c_lo[3], g_code));
      d = L_add(d, dpf_mpy16(c_hi[4], c_lo[4], g_pit_cod));
      if (L_sub(d, dist_min) < 0L) {
        dist_min = d;
        index1 = add(cand1, i);
        index2 = add(cand2, j);
      }
    }

  *gain_pit = add(GAIN_CB1[index1][0], GAIN_CB2[index2][0]);
  Word32 L_gbk12 = L_add(L_deposit_l(GAIN_CB1[index1][1]), L_deposit_l(GAIN_CB2[index2][1]));
  Word16 tmp = extract_l(L_shr(L_gbk12, 1));
  Word32 L_acc = L_mult(tmp, gcode0);
  L_acc = L_shl(L_acc, add(negate(exp_gcode0), -12 - 1 + 1 + 16));
  *gain_code = extract_h(L_acc);
  update_gain_predictor(past, L_gbk12);
  return add((Word16)(GAIN_MAP1_ENC[index1] * NCODE2), GAIN_MAP2_ENC[index2]);
}

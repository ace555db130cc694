// Gain decoding with MA prediction of the fixed-codebook gain.
#include "gain.h"

#include "codec/basicop/dpf.h"
#include "codec/basicop/mathfunc.h"
#include "codec/tables/tables.h"

#include "fast_paths.h"

GainPredictorState gain_predictor_state;

// Memory start value: -14 dB in Q10.
static const Word16 PAST_ENERGY_START = -14336;

void gain_predictor_program_start() {
  for (Word16& e : gain_predictor_state.past_energy) e = PAST_ENERGY_START;
}

void predict_code_gain(const Word16* past_energy, const Word16* code, Word16 length, Word16* gain,
                       Word16* exponent) {
  // Innovation energy.
  Word32 L = 0;
  if (!decoder_reference_paths) {
    L = energy(code, length);
  } else {
    for (Word16 i = 0; i < length; i++) L = L_mac(L, code[i], code[i]);
  }

  // Mean energy less 10 log10(energy / length), Q14 (-24660 is -3.0103 in
  // Q13, 32588 * 32 is 127.298 in Q14).
  Word16 e, f;
  L_log2(L, &e, &f);
  L = dpf_mpy16(e, f, -24660);
  L = L_mac(L, 32588, 32);

  // Plus the predicted energy, Q24.
  L = L_shl(L, 10);
  for (int i = 0; i < 4; i++) L = L_mac(L, GAIN_PRED[i], past_energy[i]);

  // 10^(dB / 20) = 2^(0.166 dB), 5439 is 0.166 in Q15; to Q16.
  Word16 g = extract_h(L);
  L = L_shr(L_mult(g, 5439), 8);
  dpf_split(L, &e, &f);

  *gain = extract_l(L_pow2(14, f));
  *exponent = sub(14, e);
}

void update_gain_predictor(Word16* past_energy, Word32 factor) {
  for (int i = 3; i > 0; i--) past_energy[i] = past_energy[i - 1];

  // 20 log10(factor) = 6.0205 log2(factor); 24660 is 6.0205 in Q12.
  Word16 e, f;
  L_log2(factor, &e, &f);
  Word32 L = dpf_join(sub(e, 13), f);
  Word16 t = extract_h(L_shl(L, 13));
  past_energy[0] = mult(t, 24660);
}

Word16 corrected_code_gain_80(Word32 factor, Word16 g0, Word16 exponent) {
  // Correction factor, Q13, then Q12 for the product.
  Word16 t = extract_l(L_shr(factor, 1));
  return extract_h(L_shl(L_mult(t, g0), sub(4, exponent)));
}

Word16 corrected_code_gain_64(Word32 factor, Word16 g0, Word16 exponent) {
  Word16 t = extract_l(factor);
  return extract_h(L_shl(L_mult(t, g0), sub(3, exponent)));
}

void decode_gains_80(Word16 index, const Word16* code, Word16 length, Word16* gain_pitch,
                     Word16* gain_code) {
  Word16 i1 = GAIN_MAP1[shr(index, 4) & 7];
  Word16 i2 = GAIN_MAP2[index & 15];
  *gain_pitch = add(GAIN_CB1[i1][0], GAIN_CB2[i2][0]);

  Word16 g0, x;
  predict_code_gain(gain_predictor_state.past_energy, code, length, &g0, &x);

  Word32 S = L_add(GAIN_CB1[i1][1], GAIN_CB2[i2][1]);
  *gain_code = corrected_code_gain_80(S, g0, x);

  update_gain_predictor(gain_predictor_state.past_energy, S);
}

void decode_gains_64(Word16 index, const Word16* code, Word16 length, Word16* gain_pitch,
                     Word16* gain_code) {
  Word16 i1 = GAIN_MAP1_64[shr(index, 3) & 7];
  Word16 i2 = GAIN_MAP2_64[index & 7];
  *gain_pitch = add(GAIN_CB1_64[i1][0], GAIN_CB2_64[i2][0]);

  Word16 g0, x;
  predict_code_gain(gain_predictor_state.past_energy, code, length, &g0, &x);

  // The tables carry one more fractional bit: the factor is halved before
  // both the gain and the memory update use it.
  Word32 S = L_shr(L_add(GAIN_CB1_64[i1][1], GAIN_CB2_64[i2][1]), 1);
  *gain_code = corrected_code_gain_64(S, g0, x);

  update_gain_predictor(gain_predictor_state.past_energy, S);
}

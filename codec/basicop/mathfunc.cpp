#include "codec/basicop/mathfunc.h"

#include "codec/basicop/dpf.h"
#include "codec/basicop/mathfunc_tables.h"

Word32 dpf_div(Word32 N, Word16 dhi, Word16 dlo) {
  Word16 approx = div_s(0x3fff, dhi);  // 1/D in Q14, first approximation
  Word32 L = dpf_mpy16(dhi, dlo, approx);
  L = L_sub(MAX_32, L);  // 2 - D/approx
  Word16 hi, lo;
  dpf_split(L, &hi, &lo);
  L = dpf_mpy16(hi, lo, approx);  // 1/D in Q30 after one Newton step
  dpf_split(L, &hi, &lo);
  Word16 nhi, nlo;
  dpf_split(N, &nhi, &nlo);
  L = dpf_mpy(nhi, nlo, hi, lo);
  return L_shl(L, 2);
}

void L_log2(Word32 L, Word16* exponent, Word16* fraction) {
  if (L <= 0) {
    *exponent = 0;
    *fraction = 0;
    return;
  }
  Word16 e = norm_l(L);
  L = L_shl(L, e);
  *exponent = sub(30, e);
  L = L_shr(L, 9);
  Word16 i = extract_h(L);  // 32..63
  L = L_shr(L, 1);
  Word16 a = (Word16)(extract_l(L) & 0x7fff);
  i = sub(i, 32);
  L = L_deposit_h(LOG2_TABLE[i]);
  Word16 t = sub(LOG2_TABLE[i], LOG2_TABLE[i + 1]);
  L = L_msu(L, t, a);
  *fraction = extract_h(L);
}

Word32 L_pow2(Word16 exponent, Word16 fraction) {
  Word32 L = L_mult(fraction, 32);
  Word16 i = extract_h(L);  // 0..31
  L = L_shr(L, 1);
  Word16 a = (Word16)(extract_l(L) & 0x7fff);
  L = L_deposit_h(POW2_TABLE[i]);
  Word16 t = sub(POW2_TABLE[i], POW2_TABLE[i + 1]);
  L = L_msu(L, t, a);
  return L_shr_r(L, sub(30, exponent));
}

Word32 L_inv_sqrt(Word32 L) {
  if (L <= 0) return 0x3fffffff;
  Word16 e = norm_l(L);
  L = L_shl(L, e);
  e = sub(30, e);
  if ((e & 1) == 0) L = L_shr(L, 1);
  e = add(shr(e, 1), 1);
  L = L_shr(L, 9);
  Word16 i = extract_h(L);  // 16..63
  L = L_shr(L, 1);
  Word16 a = (Word16)(extract_l(L) & 0x7fff);
  i = sub(i, 16);
  L = L_deposit_h(INV_SQRT_TABLE[i]);
  Word16 t = sub(INV_SQRT_TABLE[i], INV_SQRT_TABLE[i + 1]);
  L = L_msu(L, t, a);
  return L_shr(L, e);
}

Word16 next_random(Word16* seed) {
  *seed = extract_l(L_add(L_shr(L_mult(*seed, 31821), 1), 13849));
  return *seed;
}

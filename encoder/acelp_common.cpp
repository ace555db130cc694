#include "encoder/acelp_common.h"

#include "encoder/reference_paths.h"

void correlate_response(const Word16* H, ResponseCorrelation* c) {
  Word16 h[ACELP_SUBFRAME];
  Word32 cor = 0;
  int64_t energy = 2 * energy64(H, ACELP_SUBFRAME);  // partial sums only grow
  if (!encoder_reference_paths)
    cor = energy > MAX_32 ? MAX_32 : (Word32)energy;
  else
    for (int i = 0; i < ACELP_SUBFRAME; i++) cor = L_mac(cor, H[i], H[i]);
  if (sub(extract_h(cor), 32000) > 0) {
    for (int i = 0; i < ACELP_SUBFRAME; i++) h[i] = shr(H[i], 1);
  } else {
    Word16 k = shr(norm_l(cor), 1);
    for (int i = 0; i < ACELP_SUBFRAME; i++) h[i] = shl(H[i], k);
  }
  // Within the scaled energy no partial correlation saturates.
  bool exact = !encoder_reference_paths && 2 * energy64(h, ACELP_SUBFRAME) <= MAX_32;
  for (int d = 0; d < ACELP_SUBFRAME; d++) {
    Word32 s = 0;
    for (int l = 0; l + d < ACELP_SUBFRAME; l++) {
      s = exact ? s + 2 * (h[l] * h[l + d]) : L_mac(s, h[l], h[l + d]);
      c->cum[d][l] = s;
    }
  }
}

void target_products(const Word16* h, const Word16* x, Word32* y32) {
  // Every partial sum is at most twice the target's peak times the
  // response's magnitude sum.
  bool exact =
      !encoder_reference_paths &&
      (int64_t)max_magnitude(x, ACELP_SUBFRAME) * magnitude_sum(h, ACELP_SUBFRAME) < (1 << 30);
  for (int i = 0; i < ACELP_SUBFRAME; i++) {
    Word32 s = 0;
    if (exact)
      s = plain_mac(x + i, h, ACELP_SUBFRAME - i);
    else
      for (int j = i; j < ACELP_SUBFRAME; j++) s = L_mac(s, x[j], h[j - i]);
    y32[i] = s;
  }
}

void target_correlation(const Word16* h, const Word16* x, Word16* dn) {
  Word32 y32[ACELP_SUBFRAME];
  Word32 max = 0;
  target_products(h, x, y32);
  for (int i = 0; i < ACELP_SUBFRAME; i++) {
    Word32 s = L_abs(y32[i]);
    if (L_sub(s, max) > 0L) max = s;
  }
  Word16 j = norm_l(max);
  if (sub(j, 16) > 0) j = 16;
  j = sub(18, j);
  for (int i = 0; i < ACELP_SUBFRAME; i++) dn[i] = extract_l(L_shr(y32[i], j));
}

void choose_signs(Word16* dn, Word16* sign) {
  for (int i = 0; i < ACELP_SUBFRAME; i++) {
    if (dn[i] >= 0) {
      sign[i] = 0x7fff;
    } else {
      sign[i] = (Word16)0x8000;
      dn[i] = negate(dn[i]);
    }
  }
}

void add_pulse(Word16 pos, Word16 sign, const Word16* h, Word16* code, Word16* y) {
  code[pos] = add(code[pos], shr(sign, 2));
  add_filtered_pulse(pos, sign, h, y);
}

void add_filtered_pulse(Word16 pos, Word16 sign, const Word16* h, Word16* y) {
  for (int i = pos, j = 0; i < ACELP_SUBFRAME; i++, j++)
    y[i] = sign > 0 ? add(y[i], h[j]) : sub(y[i], h[j]);
}

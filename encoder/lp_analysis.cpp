#include "encoder/lp_analysis.h"

#include "encoder/reference_paths.h"

#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"

#include "lsp.h"

LevinsonState levinson_state;

void reset_lp_analysis() {
  levinson_state = LevinsonState{};
  levinson_state.old_a[0] = 4096;
}

void lp_autocorrelation(const Word16* x, Word16* r_h, Word16* r_l) {
  Word16 y[LP_WINDOW_LENGTH];
  for (int i = 0; i < LP_WINDOW_LENGTH; i++) y[i] = mult_r(x[i], LP_WINDOW[i]);

  // r[0], starting from 1 so that silence still normalises; while the energy
  // saturates, the windowed signal is divided by 4 and the sum taken again.
  Word32 sum;
  for (;;) {
    if (!encoder_reference_paths) {
      // The partial sums only grow: the sum saturates exactly when its total
      // does (-32768 squared counting as 2^31).
      int64_t total = 1 + 2 * energy64(y, LP_WINDOW_LENGTH);
      sum = (Word32)(total > MAX_32 ? MAX_32 : total);
      if (total <= MAX_32) break;
    } else {
      Overflow = 0;
      sum = 1;
      for (int i = 0; i < LP_WINDOW_LENGTH; i++) sum = L_mac(sum, y[i], y[i]);
      if (Overflow == 0) break;
    }
    for (int i = 0; i < LP_WINDOW_LENGTH; i++) y[i] = shr(y[i], 2);
  }

  // The white-noise correction is part of the lag window (its entries are
  // divided by 1.0001), so r[0] is the energy itself, normalised; r[1..10]
  // take the same shift.
  Word16 norm = norm_l(sum);
  dpf_split(L_shl(sum, norm), &r_h[0], &r_l[0]);
  // Within that energy no partial sum of a correlation saturates.
  for (int k = 1; k <= LSP_ORDER; k++) {
    sum = 0;
    if (!encoder_reference_paths)
      sum = plain_mac(y, y + k, LP_WINDOW_LENGTH - k);
    else
      for (int i = 0; i < LP_WINDOW_LENGTH - k; i++) sum = L_mac(sum, y[i], y[i + k]);
    dpf_split(L_shl(sum, norm), &r_h[k], &r_l[k]);
  }
}

void lp_lag_window(Word16* r_h, Word16* r_l) {
  for (int k = 1; k <= LSP_ORDER; k++) {
    Word32 v = dpf_mpy(r_h[k], r_l[k], LAG_WINDOW_HIGH[k - 1], LAG_WINDOW_LOW[k - 1]);
    dpf_split(v, &r_h[k], &r_l[k]);
  }
}

// -num / (alpha_h, alpha_l) in Q31, the quotient formed on |num|.
static Word32 negated_quotient(Word32 num, Word16 alpha_h, Word16 alpha_l) {
  Word32 q = dpf_div(L_abs(num), alpha_h, alpha_l);
  return num > 0 ? L_negate(q) : q;
}

// alpha (1 - k^2) for a normalised alpha and the reflection coefficient k
// (both DPF), normalised again: the new alpha and its added shift (out).
static void shrink_alpha(Word16* alpha_h, Word16* alpha_l, Word16 k_h, Word16 k_l, Word16* shift) {
  Word32 t = L_abs(dpf_mpy(k_h, k_l, k_h, k_l));  // k^2 can come out slightly negative
  Word16 hi, lo;
  dpf_split(L_sub(MAX_32, t), &hi, &lo);
  t = dpf_mpy(*alpha_h, *alpha_l, hi, lo);
  *shift = norm_l(t);
  dpf_split(L_shl(t, *shift), alpha_h, alpha_l);
}

// The recursion keeps the coefficients as DPF in Q27 and the prediction
// error alpha normalised (mantissa and a running shift). A reflection
// coefficient beyond 32750 (Q15) means an unstable filter: the last stable
// filter and its first two reflection coefficients are returned instead.
void levinson(const Word16* r_h, const Word16* r_l, Word16* a, Word16* rc) {
  LevinsonState& s = levinson_state;
  Word16 a_h[11], a_l[11], next_h[11], next_l[11];
  Word16 k_h, k_l, alpha_h, alpha_l, alpha_shift;

  Word32 t = negated_quotient(dpf_join(r_h[1], r_l[1]), r_h[0], r_l[0]);
  dpf_split(t, &k_h, &k_l);
  rc[0] = k_h;
  dpf_split(L_shr(t, 4), &a_h[1], &a_l[1]);
  alpha_h = r_h[0];
  alpha_l = r_l[0];
  shrink_alpha(&alpha_h, &alpha_l, k_h, k_l, &alpha_shift);

  for (int i = 2; i <= LSP_ORDER; i++) {
    t = 0;
    for (int j = 1; j < i; j++) t = L_add(t, dpf_mpy(r_h[j], r_l[j], a_h[i - j], a_l[i - j]));
    t = L_add(L_shl(t, 4), dpf_join(r_h[i], r_l[i]));  // Q27 -> Q31, plus r[i]

    Word32 k = L_shl(negated_quotient(t, alpha_h, alpha_l), alpha_shift);
    dpf_split(k, &k_h, &k_l);
    rc[i - 1] = k_h;
    if (sub(abs_s(k_h), 32750) > 0) {
      for (int j = 0; j < LPC_WORDS; j++) a[j] = s.old_a[j];
      rc[0] = s.old_rc[0];
      rc[1] = s.old_rc[1];
      return;
    }

    for (int j = 1; j < i; j++) {
      t = L_add(dpf_mpy(k_h, k_l, a_h[i - j], a_l[i - j]), dpf_join(a_h[j], a_l[j]));
      dpf_split(t, &next_h[j], &next_l[j]);
    }
    dpf_split(L_shr(k, 4), &next_h[i], &next_l[i]);

    Word16 shift;
    shrink_alpha(&alpha_h, &alpha_l, k_h, k_l, &shift);
    alpha_shift = add(alpha_shift, shift);
    for (int j = 1; j <= i; j++) {
      a_h[j] = next_h[j];
      a_l[j] = next_l[j];
    }
  }

  a[0] = 4096;
  for (int i = 1; i <= LSP_ORDER; i++)
    s.old_a[i] = a[i] = round(L_shl(dpf_join(a_h[i], a_l[i]), 1));  // Q27 -> Q12, rounded
  s.old_rc[0] = rc[0];
  s.old_rc[1] = rc[1];
}

// LSPs (Q15 cosines) -> LSFs on the 0..0.5 normalised frequency scale (Q15),
// by the arc-cosine table: the table is searched downwards from its end, as
// the LSPs fall with rising index.
static void lsp_to_normalized_lsf(const Word16* lsp, Word16* lsf) {
  Word16 ind = 63;
  for (int i = LSP_ORDER - 1; i >= 0; i--) {
    while (sub(LSP_ACOS_TABLE[ind], lsp[i]) < 0) ind = sub(ind, 1);
    Word32 t = L_mult(sub(lsp[i], LSP_ACOS_TABLE[ind]), LSP_ACOS_SLOPE[ind]);
    lsf[i] = add(round(L_shl(t, 3)), shl(ind, 8));
  }
}

void interpolate_unquantized(const Word16* old_lsp, const Word16* new_lsp, Word16* a_first,
                             Word16* lsf_int, Word16* lsf_new) {
  Word16 mid[10];
  lsp_midpoint(old_lsp, new_lsp, mid);
  lsp_to_lpc(mid, a_first);
  lsp_to_normalized_lsf(mid, lsf_int);
  lsp_to_normalized_lsf(new_lsp, lsf_new);
}

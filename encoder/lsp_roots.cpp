// lpc_to_lsp: the LSPs are the roots of the sum and difference polynomials
// of A(z), each divided by its trivial root, searched on a cosine grid.
#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"
#include "encoder/lp_analysis.h"
#include "encoder/reference_paths.h"

#include "lsp.h"

namespace {

const Word16 GRID_INTERVALS = 60;  // LSP_GRID holds their 61 end points
const Word16 HALF_ORDER = 5;

}  // namespace

// The coefficients f1[0..5] of F1(z) = (A(z) + z^-11 A(1/z)) / (1 + z^-1)
// and f2[0..5] of F2(z) = (A(z) - z^-11 A(1/z)) / (1 - z^-1), from a (Q12),
// scaled by `half` / 32768 (16384 gives Q11, 8192 Q10). True when a step
// saturated.
static bool sum_difference_polynomials(const Word16* a, Word16 half, Word16* f1, Word16* f2) {
  bool saturated = false;
  f1[0] = f2[0] = shr(half, 3);  // 1.0
  for (int i = 0; i < HALF_ORDER; i++) {
    Overflow = 0;
    Word16 x = extract_h(L_mac(L_mult(a[i + 1], half), a[LSP_ORDER - i], half));
    saturated |= Overflow != 0;
    Overflow = 0;
    f1[i + 1] = sub(x, f1[i]);
    saturated |= Overflow != 0;
    Overflow = 0;
    x = extract_h(L_msu(L_mult(a[i + 1], half), a[LSP_ORDER - i], half));
    saturated |= Overflow != 0;
    Overflow = 0;
    f2[i + 1] = add(x, f2[i]);
    saturated |= Overflow != 0;
  }
  return saturated;
}

// The polynomial f[0..5] at cos w = x (Q15) as a Chebyshev series,
// C(x) = T5(x) + f1 T4(x) + ... + f5 / 2, by the backward recursion
// b_k = 2 x b_(k+1) - b_(k+2) + f_k in DPF Q24. `unit` brings f to Q24
// (4096 for Q11 coefficients, 8192 for Q10). Result Q14, saturated.
// The same recursion in 64-bit arithmetic: every operator above is exact
// while its result stays within 32 bits, and the DPF halves are the shifts
// they stand for. Returns false, leaving *out alone, when a step would
// leave the 32-bit range (where the operators saturate).
static bool chebyshev_plain(Word16 x, const Word16* f, Word16 unit, Word16* out) {
  auto fits = [](int64_t v) { return v >= MIN_32 && v <= MAX_32; };
  // L_mult saturates on -32768 * -32768: with a high half of -32768 the
  // recursion takes the exact form.
  auto plain_half = [](int64_t v) { return (v >> 16) != MIN_16; };
  auto mpy16 = [](int64_t t, Word16 x) {  // dpf_mpy16 of t's halves
    int64_t hi = t >> 16, lo = (t >> 1) & 0x7fff;
    return 2 * hi * x + 2 * ((lo * x) >> 15);
  };
  int64_t b2 = 256 * 65536;  // 1.0
  int64_t b1 = 2 * (int64_t)x * 512 + 2 * (int64_t)f[1] * unit;
  if (!fits(b1)) return false;
  for (int i = 2; i < HALF_ORDER; i++) {
    if (!plain_half(b1) || !plain_half(b2)) return false;
    int64_t t = 2 * mpy16(b1, x);
    if (!fits(t)) return false;
    // b2's halves: - 65536 hi - 2 lo is - (b2 with its lowest bit dropped).
    t -= (b2 >> 16) * 65536;
    if (!fits(t)) return false;
    t -= 2 * ((b2 >> 1) & 0x7fff);
    if (!fits(t)) return false;
    t += 2 * (int64_t)f[i] * unit;
    if (!fits(t)) return false;
    b2 = b1;
    b1 = t;
  }
  if (!plain_half(b1) || !plain_half(b2)) return false;
  int64_t t = mpy16(b1, x);
  if (!fits(t)) return false;
  t -= (b2 >> 16) * 65536;
  if (!fits(t)) return false;
  t -= 2 * ((b2 >> 1) & 0x7fff);
  if (!fits(t)) return false;
  t += 2 * (int64_t)f[HALF_ORDER] * (unit >> 1);
  if (!fits(t)) return false;
  *out = extract_h(L_shl((Word32)t, 6));
  return true;
}

static Word16 chebyshev(Word16 x, const Word16* f, Word16 unit) {
  Word16 fast;
  if (!encoder_reference_paths && chebyshev_plain(x, f, unit, &fast)) return fast;
  Word16 b2_h = 256, b2_l = 0;  // 1.0
  Word16 b1_h, b1_l, b0_h, b0_l;
  Word32 t = L_mac(L_mult(x, 512), f[1], unit);  // 2 x + f1
  dpf_split(t, &b1_h, &b1_l);
  for (int i = 2; i < HALF_ORDER; i++) {
    t = L_shl(dpf_mpy16(b1_h, b1_l, x), 1);
    t = L_mac(t, b2_h, MIN_16);
    t = L_msu(t, b2_l, 1);
    t = L_mac(t, f[i], unit);
    dpf_split(t, &b0_h, &b0_l);
    b2_h = b1_h;
    b2_l = b1_l;
    b1_h = b0_h;
    b1_l = b0_l;
  }
  t = dpf_mpy16(b1_h, b1_l, x);
  t = L_mac(t, b2_h, MIN_16);
  t = L_msu(t, b2_l, 1);
  t = L_mac(t, f[HALF_ORDER], shr(unit, 1));
  return extract_h(L_shl(t, 6));  // Q24 -> Q30
}

// The zero crossing between (x_low, y_low) and (x_high, y_high) by linear
// interpolation: x_low - y_low (x_high - x_low) / (y_high - y_low).
static Word16 interpolate_root(Word16 x_low, Word16 y_low, Word16 x_high, Word16 y_high) {
  Word16 x = sub(x_high, x_low);
  Word16 y = sub(y_high, y_low);
  if (y == 0) return x_low;
  Word16 sign = y;
  y = abs_s(y);
  Word16 e = norm_s(y);
  y = div_s(16383, shl(y, e));
  y = extract_l(L_shr(L_mult(x, y), sub(20, e)));  // the slope's inverse, Q11
  if (sign < 0) y = negate(y);
  return sub(x_low, extract_l(L_shr(L_mult(y_low, y), 11)));
}

// The roots alternate between F1 and F2, so the search switches polynomial
// after each one. A sign change between two grid points is narrowed by four
// bisections and then interpolated; the search goes on from the root. When
// the coefficients saturate in Q11 the polynomials are formed and evaluated
// in Q10.
void lpc_to_lsp(const Word16* a, Word16* lsp, const Word16* old_lsp) {
  Word16 f1[HALF_ORDER + 1], f2[HALF_ORDER + 1];
  Word16 unit = 4096;
  if (sum_difference_polynomials(a, 16384, f1, f2)) {
    sum_difference_polynomials(a, 8192, f1, f2);
    unit = 8192;
  }

  const Word16* coef = f1;
  Word16 found = 0;
  Word16 x_low = LSP_GRID[0];
  Word16 y_low = chebyshev(x_low, coef, unit);
  for (int j = 1; j <= GRID_INTERVALS && found < LSP_ORDER; j++) {
    Word16 x_high = x_low, y_high = y_low;
    x_low = LSP_GRID[j];
    y_low = chebyshev(x_low, coef, unit);
    if (L_mult(y_low, y_high) > 0) continue;

    for (int i = 0; i < 4; i++) {
      Word16 x_mid = add(shr(x_low, 1), shr(x_high, 1));
      Word16 y_mid = chebyshev(x_mid, coef, unit);
      if (L_mult(y_low, y_mid) <= 0) {
        y_high = y_mid;
        x_high = x_mid;
      } else {
        y_low = y_mid;
        x_low = x_mid;
      }
    }
    x_low = interpolate_root(x_low, y_low, x_high, y_high);
    lsp[found] = x_low;
    found = add(found, 1);
    coef = coef == f1 ? f2 : f1;
    y_low = chebyshev(x_low, coef, unit);
  }

  if (found < LSP_ORDER)
    for (int i = 0; i < LSP_ORDER; i++) lsp[i] = old_lsp[i];
}

// LPC bandwidth expansion, inverse filter and synthesis filter.
#include "codec/filters.h"

#include <cstring>

#include "codec/fast_paths.h"

// The filter order of the decoder, the one order the fast forms handle.
static const int FAST_ORDER = 10;
// Longest signal the fast inverse filter handles: one subframe.
static const int WIDE_LENGTH = 40;

// gamma, gamma^2, .. gamma^10 (Q15, each rounded from the one before) for
// a gamma from 0 to 32767, from a cache of the last few gammas asked for.
static const Word32* gamma_powers(Word16 gamma) {
  const int ENTRIES = 4;
  static Word16 gammas[ENTRIES] = {-1, -1, -1, -1};
  static Word32 powers[ENTRIES][FAST_ORDER];
  static int next = 0;
  for (int e = 0; e < ENTRIES; e++)
    if (gammas[e] == gamma) return powers[e];
  int e = next;
  next = (next + 1) % ENTRIES;
  gammas[e] = gamma;
  Word32 fac = gamma;
  for (int i = 0; i < FAST_ORDER; i++) {
    powers[e][i] = fac;
    fac = (2 * fac * gamma + 0x8000) >> 16;
  }
  return powers[e];
}

void weight_lpc(const Word16* a, Word16 gamma, Word16 m, Word16* ap) {
  ap[0] = a[0];
  if (m <= 0) return;
  if (!decoder_reference_paths && gamma >= 0) {
    // With 0 <= fac <= 32767 nothing saturates: |2 a fac| + 2^15 < 2^31.
    // The powers of the few factors in use come from a small cache.
    if (m <= FAST_ORDER) {
      const Word32* fac = gamma_powers(gamma);
      for (int i = 1; i <= m; i++) ap[i] = (Word16)((a[i] * fac[i - 1] + 0x4000) >> 15);
      return;
    }
    Word32 fac = gamma;
    for (int i = 1; i < m; i++) {
      ap[i] = (Word16)((2 * a[i] * fac + 0x8000) >> 16);
      fac = (2 * fac * gamma + 0x8000) >> 16;
    }
    ap[m] = (Word16)((2 * a[m] * fac + 0x8000) >> 16);
    return;
  }
  Word16 fac = gamma;
  for (int i = 1; i < m; i++) {
    ap[i] = round(L_mult(a[i], fac));
    fac = round(L_mult(fac, gamma));
  }
  ap[m] = round(L_mult(a[m], fac));
}

// Fast form of residual_filter for order 10: with A the sum of the
// coefficient magnitudes and X the largest input magnitude, every partial sum
// is below 2 * A * X, so when that is below 2^31 the plain sum is exact.
// Returns false, writing nothing, when the bound fails. round(L_shl(2 s, 3))
// is then (s + 2^11) >> 12 limited to 16 bits, the limits standing for the
// saturations of the shift and of the rounding. Handles n up to WIDE_LENGTH.
static bool residual_filter_wide(const Word16* a, const Word16* x, Word16* y, Word16 n) {
  int64_t bound =
      2 * (int64_t)magnitude_sum(a, FAST_ORDER + 1) * max_magnitude(x - FAST_ORDER, FAST_ORDER + n);
  if (bound > MAX_32) return false;
  // The taps in the order of the samples they weigh, after a zero tap that
  // makes their number even; the samples copied behind a zero word, so that
  // the 8-output groups read nothing outside the copy.
  Word16 c[FAST_ORDER + 2];
  c[0] = 0;
  for (int k = 1; k <= FAST_ORDER + 1; k++) c[k] = a[FAST_ORDER + 1 - k];
  Word16 xx[1 + FAST_ORDER + WIDE_LENGTH + 8] = {};
  for (int i = 0; i < FAST_ORDER + n; i++) xx[1 + i] = x[i - FAST_ORDER];
  Word16 out[WIDE_LENGTH + 8];
  fir_rounded<FAST_ORDER + 2, 12>(xx, c, out, n);
  for (int i = 0; i < n; i++) y[i] = out[i];
  return true;
}

void residual_filter(Word16 m, const Word16* a, const Word16* x, Word16* y, Word16 n) {
  if (!decoder_reference_paths && m == FAST_ORDER && n <= WIDE_LENGTH &&
      residual_filter_wide(a, x, y, n))
    return;
  for (int i = 0; i < n; i++) {
    Word32 s = L_mult(x[i], a[0]);
    for (int j = 1; j <= m; j++) s = L_mac(s, a[j], x[i - j]);
    y[i] = round(L_shl(s, 3));
  }
}

// Zero words in front of the synthesis filter's work buffer: with them the
// fast form sums 16 products per sample, 6 of them with zero coefficients.
static const int WIDE_PAD = 16 - FAST_ORDER;

// One output of the fast synthesis from its sum s (modulo 2^32): the rounding
// of L_shl(2 s, 3), limited as round limits, which *limited records.
static inline Word16 synthesis_output(uint32_t s, bool* limited) {
  Word32 t = (Word32)(2 * s);
  if (round_shl3_saturates(t)) {
    *limited = true;
    return t < 0 ? MIN_16 : MAX_16;
  }
  return (Word16)((t * 8 + 0x8000) >> 16);
}

// Fast form of synthesis_filter for order 10, into yy[10..10+n-1] after the
// memory in yy[0..9], with WIDE_PAD zeros before yy[0]. The sums run modulo
// 2^32; afterwards, with X the
// largest input and Y the largest memory or output magnitude, every partial
// sum of the operator sequence is below 2 * (|a0| X + (|a1| + .. + |a10|) Y).
// When that is below 2^31, no partial sum saturated and, sample by sample,
// the outputs are the exact ones. Returns false when the bound fails; else
// *saturated tells whether a rounding limited (which sets Overflow).
static bool synthesis_filter_wide(const Word16* a, const Word16* x, Word16* yy, Word16 n,
                                  bool* saturated) {
  // c[1..16]: 0 (6 times), a10..a1, the weights of output i on the window
  // yy[i-6..i+9] (6 words unused, then the outputs i-10..i-1); c[0..15]:
  // the weights of output i+1 on the same window, leaving out its weight
  // a1 on output i, which is added once output i is known.
  Word16 c[17] = {};
  for (int k = 1; k <= FAST_ORDER; k++) c[17 - k] = a[k];
  const Taps16 taps = taps16(c + 1), next = taps16(c);
  uint32_t a0 = (uint32_t)a[0], a1 = (uint32_t)a[1];
  bool limited = false;
  int i = 0;
  for (; i + 2 <= n; i += 2) {
    uint32_t s0, s1;
    pair_sums_wrap(taps, next, a[0], x + i, yy + i - WIDE_PAD, &s0, &s1);
    Word16 y0 = yy[FAST_ORDER + i] = synthesis_output(s0, &limited);
    yy[FAST_ORDER + i + 1] = synthesis_output(s1 - a1 * (uint32_t)y0, &limited);
  }
  if (i < n)
    yy[FAST_ORDER + i] =
        synthesis_output(a0 * (uint32_t)x[i] - dot16_wrap(taps, yy + i - WIDE_PAD), &limited);
  int64_t bound = (int64_t)(a[0] < 0 ? -a[0] : a[0]) * max_magnitude(x, n) +
                  (int64_t)magnitude_sum(a + 1, FAST_ORDER) * max_magnitude(yy, FAST_ORDER + n);
  if (2 * bound > MAX_32) return false;
  *saturated = limited;
  return true;
}

void synthesis_filter(Word16 m, const Word16* a, const Word16* x, Word16* y, Word16 n, Word16* mem,
                      Word16 update) {
  if (m < 0 || n < 0 || m + n > SYNTHESIS_BUFFER_LENGTH) return;

  // yy[0..m-1] is the memory, yy[m + i] the output y[i]. Working apart from
  // y lets x and y be the same buffer.
  Word16 work[WIDE_PAD + SYNTHESIS_BUFFER_LENGTH];
  for (int i = 0; i < WIDE_PAD; i++) work[i] = 0;
  Word16* yy = work + WIDE_PAD;
  std::memcpy(yy, mem, sizeof(Word16) * (size_t)m);
  Word16* out = yy + m;
  bool saturated;
  if (!decoder_reference_paths && m == FAST_ORDER &&
      synthesis_filter_wide(a, x, yy, n, &saturated)) {
    // The operators that saturated would have set the flag.
    if (saturated) Overflow = 1;
  } else {
    for (int i = 0; i < n; i++) {
      Word32 s = L_mult(x[i], a[0]);
      for (int j = 1; j <= m; j++) s = L_msu(s, a[j], out[i - j]);
      out[i] = round(L_shl(s, 3));
    }
  }
  std::memcpy(y, out, sizeof(Word16) * (size_t)n);
  // The last m words of the work buffer: y[n-m..n-1], or, when n < m, the
  // older memory words followed by all n outputs.
  if (update != 0 && m > 0) {
    for (int i = 0; i < m; i++) mem[i] = yy[n + i];
  }
}

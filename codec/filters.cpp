// LPC bandwidth expansion, inverse filter and synthesis filter.
#include "codec/filters.h"

#include "codec/fast_paths.h"

// The filter order of the decoder, the one order the fast forms handle.
static const int FAST_ORDER = 10;

void weight_lpc(const Word16* a, Word16 gamma, Word16 m, Word16* ap) {
  ap[0] = a[0];
  if (m <= 0) return;
  if (!decoder_reference_paths && gamma >= 0) {
    // With 0 <= fac <= 32767 nothing saturates: |2 a fac| + 2^15 < 2^31.
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
// Returns false, writing nothing, when the bound fails.
static bool residual_filter_wide(const Word16* a, const Word16* x, Word16* y, Word16 n) {
  int64_t bound =
      2 * (int64_t)magnitude_sum(a, FAST_ORDER + 1) * max_magnitude(x - FAST_ORDER, FAST_ORDER + n);
  if (bound > MAX_32) return false;
  for (int i = 0; i < n; i++) {
    Word32 s = 0;
    for (int j = 0; j <= FAST_ORDER; j++) s += a[j] * x[i - j];
    y[i] = round_shl3(2 * s);
  }
  return true;
}

void residual_filter(Word16 m, const Word16* a, const Word16* x, Word16* y, Word16 n) {
  if (!decoder_reference_paths && m == FAST_ORDER && residual_filter_wide(a, x, y, n)) return;
  for (int i = 0; i < n; i++) {
    Word32 s = L_mult(x[i], a[0]);
    for (int j = 1; j <= m; j++) s = L_mac(s, a[j], x[i - j]);
    y[i] = round(L_shl(s, 3));
  }
}

// Fast form of synthesis_filter for order 10, into yy[10..10+n-1] after the
// memory in yy[0..9]. The sums run modulo 2^32; afterwards, with X the
// largest input and Y the largest memory or output magnitude, every partial
// sum of the operator sequence is below 2 * (|a0| X + (|a1| + .. + |a10|) Y).
// When that is below 2^31, no partial sum saturated and, sample by sample,
// the outputs are the exact ones. Returns false when the bound fails; else
// *saturated tells whether a rounding limited (which sets Overflow).
static bool synthesis_filter_wide(const Word16* a, const Word16* x, Word16* yy, Word16 n,
                                  bool* saturated) {
  Word16 c[8];  // a8..a1, in the order of the outputs they weigh
  for (int k = 0; k < 8; k++) c[k] = a[8 - k];
  const Taps8 taps = taps8(c);
  uint32_t a0 = (uint32_t)a[0], a9 = (uint32_t)a[9], a10 = (uint32_t)a[10];
  bool limited = false;
  for (int i = 0; i < n; i++) {
    const Word16* h = yy + i;  // outputs i-10..i-1
    uint32_t s =
        a0 * (uint32_t)x[i] - a10 * (uint32_t)h[0] - a9 * (uint32_t)h[1] - dot8_wrap(taps, h + 2);
    Word32 t = (Word32)(2 * s);
    if (round_shl3_saturates(t)) {
      limited = true;
      yy[FAST_ORDER + i] = t < 0 ? MIN_16 : MAX_16;
    } else {
      yy[FAST_ORDER + i] = (Word16)((t * 8 + 0x8000) >> 16);
    }
  }
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
  Word16 yy[SYNTHESIS_BUFFER_LENGTH];
  for (int i = 0; i < m; i++) yy[i] = mem[i];
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
  for (int i = 0; i < n; i++) y[i] = out[i];
  // The last m words of the work buffer: y[n-m..n-1], or, when n < m, the
  // older memory words followed by all n outputs.
  if (update != 0 && m > 0) {
    for (int i = 0; i < m; i++) mem[i] = yy[n + i];
  }
}

// Fast paths of the decoder's hot loops and the switch that turns them off.
//
// Every hot loop keeps its exact reference form, which applies the saturating
// operators one after the other, and gains a fast form with the same result
// bit for bit. A sum of products accumulated with L_mac or L_msu from 0 equals
// the plain integer sum as long as no partial sum leaves the 32-bit range, and
// none can when the sum of the magnitudes of all terms stays below 2^31; a
// fast form checks such a bound on its inputs (largest sample magnitude times
// the sum of the coefficient magnitudes, or a limit the inputs are known to
// keep) and runs the reference form when the bound fails. The plain sums are
// written so that the compiler vectorises them.
//
// Fast forms never write Overflow. The flag is read in exactly one place, the
// frame decoder's test after its trial synthesis, which clears the flag just
// before that filtering; every other write of the flag is dead (see
// synthesize_frame).
#pragma once

#include "codec/basicop/basicop.h"

// True while the decoder takes only the exact reference forms (tests compare
// the two); false, the default, selects the fast forms.
extern bool decoder_reference_paths;

// Sum of x[i] * y[i] for i = 0..n-1 in plain 32-bit arithmetic. The caller
// guarantees that the sum of the magnitudes of the products is below 2^30, so
// that twice the sum, what L_mac accumulates, fits as well.
static inline Word32 dot_product(const Word16* x, const Word16* y, int n) {
  Word32 s = 0;
  for (int i = 0; i < n; i++) s += x[i] * y[i];
  return s;
}

// Eight coefficients c[0..7] and the sum of c[k] * h[k] over them, modulo
// 2^32, for the recursive filters, which need one such sum per sample and
// cannot be vectorised across samples. The compiler does not vectorise an
// eight-term sum inside such a loop; with SSE2 it is one multiply-add
// instruction and a horizontal sum.
#if defined(__SSE2__)
#include <emmintrin.h>

struct Taps8 {
  __m128i c;
};

static inline Taps8 taps8(const Word16* c) {
  return Taps8{_mm_loadu_si128(reinterpret_cast<const __m128i*>(c))};
}

static inline uint32_t dot8_wrap(Taps8 t, const Word16* h) {
  __m128i p = _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), t.c);
  p = _mm_add_epi32(p, _mm_shuffle_epi32(p, 0x4e));
  p = _mm_add_epi32(p, _mm_shuffle_epi32(p, 0xb1));
  return (uint32_t)_mm_cvtsi128_si32(p);
}
#else
struct Taps8 {
  Word16 c[8];
};

static inline Taps8 taps8(const Word16* c) {
  Taps8 t;
  for (int k = 0; k < 8; k++) t.c[k] = c[k];
  return t;
}

static inline uint32_t dot8_wrap(const Taps8& t, const Word16* h) {
  uint32_t s = 0;
  for (int k = 0; k < 8; k++) s += (uint32_t)(t.c[k] * h[k]);
  return s;
}
#endif

// out[n] = round(sum over k = 0..3 of 2 t[k] x[n + 1 - k]), for n = 0..count-1
// in steps of 8 (count is rounded up to a multiple of 8, and out must hold
// that many words): a 4-tap filter whose sums the caller has bounded below
// 2^30 - 2^15 in magnitude, so that neither they nor the rounding saturate,
// and whose results fit in 16 bits.
#if defined(__SSE2__)
static inline void filter4_rounded(const Word16* x, const Word16* t, Word16* out, int count) {
  // Tap pairs (t0, t1) and (t2, t3) against sample pairs (x[n+1], x[n]) and
  // (x[n-1], x[n-2]): one multiply-add gives four two-tap sums.
  const __m128i t01 =
      _mm_set1_epi32((int)((uint32_t)(uint16_t)t[0] | (uint32_t)(uint16_t)t[1] << 16));
  const __m128i t23 =
      _mm_set1_epi32((int)((uint32_t)(uint16_t)t[2] | (uint32_t)(uint16_t)t[3] << 16));
  const __m128i half = _mm_set1_epi32(0x8000);
  for (int n = 0; n < count; n += 8) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n + 1));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n - 1));
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n - 2));
    __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), t01),
                               _mm_madd_epi16(_mm_unpacklo_epi16(c, d), t23));
    __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), t01),
                               _mm_madd_epi16(_mm_unpackhi_epi16(c, d), t23));
    lo = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(lo, lo), half), 16);
    hi = _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(hi, hi), half), 16);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_packs_epi32(lo, hi));
  }
}
#else
static inline void filter4_rounded(const Word16* x, const Word16* t, Word16* out, int count) {
  for (int n = 0; n < (count + 7) / 8 * 8; n++) {
    Word32 s = t[0] * x[n + 1] + t[1] * x[n] + t[2] * x[n - 1] + t[3] * x[n - 2];
    out[n] = (Word16)((2 * s + 0x8000) >> 16);
  }
}
#endif

// Largest magnitude among x[0..n-1]; -32768 counts as 32768.
static inline Word32 max_magnitude(const Word16* x, int n) {
  Word16 hi = 0, lo = 0;
  for (int i = 0; i < n; i++) {
    hi = x[i] > hi ? x[i] : hi;
    lo = x[i] < lo ? x[i] : lo;
  }
  Word32 neg = -(Word32)lo;
  return hi > neg ? hi : neg;
}

// Sum of the magnitudes of c[0..n-1].
static inline Word32 magnitude_sum(const Word16* c, int n) {
  Word32 s = 0;
  for (int i = 0; i < n; i++) s += c[i] < 0 ? -(Word32)c[i] : c[i];
  return s;
}

// The energy of x[0..n-1] as L_mac accumulates it from 0: the sum of
// 2 x[i]^2, limited to MAX_32. The terms are never negative, so the partial
// sums only grow: the exact sequence saturates exactly when the total passes
// MAX_32 and then stays there, which is the total limited once. The plain
// 32-bit sum serves when 2 * largest * sum of magnitudes stays below 2^31.
static inline Word32 energy(const Word16* x, int n) {
  if ((int64_t)magnitude_sum(x, n) * max_magnitude(x, n) < (1 << 30))
    return 2 * dot_product(x, x, n);
  int64_t s = 0;
  for (int i = 0; i < n; i++) s += x[i] * x[i];
  return 2 * s > MAX_32 ? MAX_32 : (Word32)(2 * s);
}

// Flag-free forms of the operators for the fast paths: the same results as
// the operators of basicop.h, without touching Overflow.

// sature(L) without the flag.
static inline Word16 saturate16(Word32 L) {
  return (Word16)(L > MAX_16 ? MAX_16 : L < MIN_16 ? MIN_16 : L);
}

// A 64-bit value limited to the 32-bit range, as L_add and L_sub limit.
static inline Word32 saturate32(int64_t L) {
  return (Word32)(L > MAX_32 ? MAX_32 : L < MIN_32 ? MIN_32 : L);
}

// round(L_shl(s, 3)) for an s that no saturation has touched: L_shl limits
// below -2^28 and from 2^28 on, round from 0x0ffff000 on; the clamped s
// gives the same 16-bit results.
static inline Word16 round_shl3(Word32 s) {
  Word32 c = s < -(1 << 28) ? -(1 << 28) : s > 0x0fffefff ? 0x0fffefff : s;
  return (Word16)((c * 8 + 0x8000) >> 16);
}

// True when round(L_shl(s, 3)) saturates (and so sets Overflow).
static inline bool round_shl3_saturates(Word32 s) { return s < -(1 << 28) || s > 0x0fffefff; }

// round(L) for an exactly known wide value: extract_h(L_add(L, 0x8000)) when
// L is in the 32-bit range, and the limit the operators would reach when L
// is beyond it on either side (which an L_shl that saturated gives).
static inline Word16 round_wide(int64_t L) {
  int64_t r = (L + 0x8000) >> 16;
  return (Word16)(r > MAX_16 ? MAX_16 : r < MIN_16 ? MIN_16 : r);
}

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

#include <cstring>

#include "codec/basicop/basicop.h"

// True while the decoder takes only the exact reference forms (tests compare
// the two); false, the default, selects the fast forms. Set through
// decoder_use_reference_paths (decoder.h).
extern bool decoder_reference_paths;

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

// round(L) for an exactly known wide value: extract_h(L_add(L, 0x8000)) when
// L is in the 32-bit range, and the limit the operators would reach when L
// is beyond it on either side (which an L_shl that saturated gives).
static inline Word16 round_wide(int64_t L) {
  int64_t r = (L + 0x8000) >> 16;
  return (Word16)(r > MAX_16 ? MAX_16 : r < MIN_16 ? MIN_16 : r);
}

// Sum of x[i] * y[i] for i = 0..n-1 in plain 32-bit arithmetic. The caller
// guarantees that the sum of the magnitudes of the products is below 2^30, so
// that twice the sum, what L_mac accumulates, fits as well.
#if defined(__SSE2__)
#include <emmintrin.h>

// Lanes from 8 - r on of the eight words at TAIL_MASK + r are all ones.
alignas(16) static const Word16 TAIL_MASK[16] = {0,  0,  0,  0,  0,  0,  0,  0,
                                                 -1, -1, -1, -1, -1, -1, -1, -1};
#endif

static inline Word32 dot_product(const Word16* x, const Word16* y, int n) {
  Word32 s = 0;
  int i = 0;
#if defined(__SSE2__)
  if (n >= 8) {
    // Eight products a step; the last words, fewer than eight, from the last
    // eight with those already summed masked off.
    __m128i acc = _mm_setzero_si128();
    for (; i + 8 <= n; i += 8)
      acc = _mm_add_epi32(acc,
                          _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i)),
                                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i))));
    if (i < n) {
      __m128i xs =
          _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n - 8)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(TAIL_MASK + (n - i))));
      acc = _mm_add_epi32(
          acc, _mm_madd_epi16(xs, _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + n - 8))));
    }
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0x4e));
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0xb1));
    return _mm_cvtsi128_si32(acc);
  }
#endif
  for (; i < n; i++) s += x[i] * y[i];
  return s;
}

#if defined(__SSE2__)
// The sum of the four 32-bit lanes of v, modulo 2^32.
static inline Word32 horizontal_sum(__m128i v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4e));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xb1));
  return _mm_cvtsi128_si32(v);
}
#endif

// A filter whose sums the caller has bounded: out[n] = the 16-bit saturation
// of (s[n] + 2^(SHIFT-1)) >> SHIFT, with s[n] = c[0] x[n] + c[1] x[n+1] + ..
// + c[TAPS-1] x[n+TAPS-1], for n = 0..count-1. TAPS is even; the caller
// guarantees that the magnitudes of the products of each s[n] sum to at most
// 2^31 - 2^(SHIFT-1) - 1, so that no sum overflows. The work runs in whole
// groups of 8 outputs: out must hold count rounded up to a multiple of 8
// words, and x must be readable for that many outputs (the extra outputs are
// of no meaning).
#if defined(__SSE2__)
// Taps in pairs (c[k], c[k+1]) against sample pairs (x[n+k], x[n+k+1]): one
// multiply-add gives four two-tap sums, the samples of 8 outputs take two.
template <int TAPS, int SHIFT>
static inline void fir_rounded(const Word16* x, const Word16* c, Word16* out, int count) {
  __m128i pairs[TAPS / 2];
  for (int k = 0; k < TAPS; k += 2)
    pairs[k / 2] =
        _mm_set1_epi32((int)((uint32_t)(uint16_t)c[k] | (uint32_t)(uint16_t)c[k + 1] << 16));
  const __m128i half = _mm_set1_epi32(1 << (SHIFT - 1));
  for (int n = 0; n < count; n += 8) {
    __m128i lo = half, hi = half;
    for (int k = 0; k < TAPS; k += 2) {
      __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n + k));
      __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + n + k + 1));
      lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), pairs[k / 2]));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), pairs[k / 2]));
    }
    lo = _mm_srai_epi32(lo, SHIFT);
    hi = _mm_srai_epi32(hi, SHIFT);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_packs_epi32(lo, hi));
  }
}
#else
template <int TAPS, int SHIFT>
static inline void fir_rounded(const Word16* x, const Word16* c, Word16* out, int count) {
  for (int n = 0; n < (count + 7) / 8 * 8; n++) {
    Word32 s = 1 << (SHIFT - 1);
    for (int k = 0; k < TAPS; k++) s += c[k] * x[n + k];
    out[n] = saturate16(s >> SHIFT);
  }
}
#endif

// Largest magnitude among x[0..n-1]; -32768 counts as 32768.
static inline Word32 max_magnitude(const Word16* x, int n) {
  Word16 hi = 0, lo = 0;
#if defined(__SSE2__)
  if (n >= 8) {
    // Eight lanes of largest and smallest; the last eight samples, which may
    // overlap the ones before, close the run. Folded into one at the end.
    __m128i vhi = _mm_setzero_si128(), vlo = _mm_setzero_si128();
    for (int i = 0;; i += 8) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + (i + 8 <= n ? i : n - 8)));
      vhi = _mm_max_epi16(vhi, v);
      vlo = _mm_min_epi16(vlo, v);
      if (i + 8 >= n) break;
    }
    vhi = _mm_max_epi16(vhi, _mm_shuffle_epi32(vhi, 0x4e));
    vlo = _mm_min_epi16(vlo, _mm_shuffle_epi32(vlo, 0x4e));
    vhi = _mm_max_epi16(vhi, _mm_shuffle_epi32(vhi, 0xb1));
    vlo = _mm_min_epi16(vlo, _mm_shuffle_epi32(vlo, 0xb1));
    vhi = _mm_max_epi16(vhi, _mm_shufflelo_epi16(vhi, 0xb1));
    vlo = _mm_min_epi16(vlo, _mm_shufflelo_epi16(vlo, 0xb1));
    hi = (Word16)_mm_cvtsi128_si32(vhi);
    lo = (Word16)_mm_cvtsi128_si32(vlo);
    n = 0;
  }
#endif
  for (int i = 0; i < n; i++) {
    hi = x[i] > hi ? x[i] : hi;
    lo = x[i] < lo ? x[i] : lo;
  }
  Word32 neg = -(Word32)lo;
  return hi > neg ? hi : neg;
}

// Sum of the magnitudes of c[0..n-1].
static inline Word32 magnitude_sum(const Word16* c, int n) {
#if defined(__SSE2__)
  if (n >= 8) {
    // |c| as c times its sign (-1 or 1), two such products to a lane; a lane
    // sums at most 2 n 32768, far below 2^31 for the lengths used here. The
    // last words, fewer than eight, come from the last eight with the ones
    // already counted masked off.
    __m128i acc = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(v, _mm_or_si128(_mm_srai_epi16(v, 15), one)));
    }
    if (i < n) {
      __m128i v =
          _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + n - 8)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(TAIL_MASK + (n - i))));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(v, _mm_or_si128(_mm_srai_epi16(v, 15), one)));
    }
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0x4e));
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0xb1));
    return _mm_cvtsi128_si32(acc);
  }
#endif
  Word32 s = 0;
  for (int i = 0; i < n; i++) s += c[i] < 0 ? -(Word32)c[i] : c[i];
  return s;
}

// out[i] = the 16-bit saturation of (x[i] g[i] + half) >> shift, for
// i = 0..n-1 with n a multiple of 8, where g[i] is the one factor g
// (scaled_rounded) or gains[i] (products_rounded); 1 <= shift <= 31. The
// sum is exact in 32 bits for every 16-bit x, g and half. out may be x.
#if defined(__SSE2__)
static inline __m128i rounded8(__m128i x, __m128i g, __m128i half, __m128i shift) {
  const __m128i one = _mm_set1_epi16(1);
  __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(x, one), _mm_unpacklo_epi16(g, half));
  __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(x, one), _mm_unpackhi_epi16(g, half));
  return _mm_packs_epi32(_mm_sra_epi32(lo, shift), _mm_sra_epi32(hi, shift));
}

static inline void scaled_rounded(const Word16* x, Word16 g, Word16 half, int shift, Word16* out,
                                  int n) {
  const __m128i gv = _mm_set1_epi16(g), hv = _mm_set1_epi16(half);
  const __m128i sv = _mm_cvtsi32_si128(shift);
  for (int i = 0; i < n; i += 8)
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(out + i),
        rounded8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i)), gv, hv, sv));
}

static inline void products_rounded(const Word16* x, const Word16* gains, Word16 half, int shift,
                                    Word16* out, int n) {
  const __m128i hv = _mm_set1_epi16(half), sv = _mm_cvtsi32_si128(shift);
  for (int i = 0; i < n; i += 8)
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(out + i),
        rounded8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i)),
                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(gains + i)), hv, sv));
}
#else
static inline void scaled_rounded(const Word16* x, Word16 g, Word16 half, int shift, Word16* out,
                                  int n) {
  for (int i = 0; i < n; i++) out[i] = saturate16((x[i] * g + half) >> shift);
}

static inline void products_rounded(const Word16* x, const Word16* gains, Word16 half, int shift,
                                    Word16* out, int n) {
  for (int i = 0; i < n; i++) out[i] = saturate16((x[i] * gains[i] + half) >> shift);
}
#endif

// out[i] = (x[i] gx + y[i] gy + 2^(SHIFT-1)) >> SHIFT for i = 0..39
// (subframe-long vectors), for sums the caller knows to fit 32 bits with
// results that fit 16 bits. out may be x.
static inline void weighted_sum_rounded(const Word16* x, Word16 gx, const Word16* y, Word16 gy,
                                        Word16* out, int shift) {
#if defined(__SSE2__)
  // (x, y) pairs against (gx, gy): one multiply-add per four samples.
  const __m128i g = _mm_set1_epi32((int)((uint32_t)(uint16_t)gx | (uint32_t)(uint16_t)gy << 16));
  const __m128i half = _mm_set1_epi32(1 << (shift - 1)), count = _mm_cvtsi32_si128(shift);
  for (int i = 0; i < 40; i += 8) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i));
    __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(a, b), g), half);
    __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(a, b), g), half);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_packs_epi32(_mm_sra_epi32(lo, count), _mm_sra_epi32(hi, count)));
  }
#else
  for (int i = 0; i < 40; i++)
    out[i] = (Word16)((x[i] * gx + y[i] * gy + (1 << (shift - 1))) >> shift);
#endif
}

// out[i] = saturate16(x[i] + y[i]) (add_saturating) or saturate16(x[i] -
// y[i]) (sub_saturating) for i = 0..n-1, n a multiple of 8: add and sub of
// basicop.h without the flag. out may be x or y.
#if defined(__SSE2__)
static inline void add_saturating(const Word16* x, const Word16* y, Word16* out, int n) {
  for (int i = 0; i < n; i += 8)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_adds_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i))));
}

static inline void sub_saturating(const Word16* x, const Word16* y, Word16* out, int n) {
  for (int i = 0; i < n; i += 8)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_subs_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i))));
}
#else
static inline void add_saturating(const Word16* x, const Word16* y, Word16* out, int n) {
  for (int i = 0; i < n; i++) out[i] = saturate16(x[i] + y[i]);
}

static inline void sub_saturating(const Word16* x, const Word16* y, Word16* out, int n) {
  for (int i = 0; i < n; i++) out[i] = saturate16(x[i] - y[i]);
}
#endif

// acc[i] += (a h[i]) >> 15 for i = 0..n-1, n a multiple of 8, for sums the
// caller knows to stay within 16 bits (each (a h[i]) >> 15 does).
static inline void add_products_q15(Word16* acc, const Word16* h, Word16 a, int n) {
#if defined(__SSE2__)
  // (a h) >> 15 from the high and low halves of the product: the high half
  // doubled, and the low half's top bit.
  const __m128i av = _mm_set1_epi16(a);
  for (int i = 0; i < n; i += 8) {
    __m128i hv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
    __m128i p = _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epi16(av, hv), 1),
                             _mm_srli_epi16(_mm_mullo_epi16(av, hv), 15));
    __m128i* out = reinterpret_cast<__m128i*>(acc + i);
    _mm_storeu_si128(out, _mm_add_epi16(_mm_loadu_si128(out), p));
  }
#else
  for (int i = 0; i < n; i++) acc[i] = (Word16)(acc[i] + ((a * h[i]) >> 15));
#endif
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

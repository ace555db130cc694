// LPC bandwidth expansion, inverse filter and synthesis filter.
#include "filters.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "fast_paths.h"

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
      if (m == FAST_ORDER) {  // the decoder's order: a loop of known length
        for (int i = 1; i <= FAST_ORDER; i++) ap[i] = (Word16)((a[i] * fac[i - 1] + 0x4000) >> 15);
        return;
      }
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

// The bound of the fast synthesis (synthesis_filter_wide) on the inputs x,
// the memory yy[0..9] and the n outputs after it: below 2^31, no partial sum
// of the operator sequence saturated.
static bool synthesis_bound_holds(const Word16* a, const Word16* x, const Word16* yy, Word16 n) {
  int64_t bound = (int64_t)(a[0] < 0 ? -a[0] : a[0]) * max_magnitude(x, n) +
                  (int64_t)magnitude_sum(a + 1, FAST_ORDER) * max_magnitude(yy, FAST_ORDER + n);
  return 2 * bound <= MAX_32;
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
  if (!synthesis_bound_holds(a, x, yy, n)) return false;
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

#if defined(__SSE2__)
// The rounding of L_shl(2 s, 3) in each 32-bit lane, for sums that no
// saturation touches: (16 s + 2^15) >> 16, whose low 16 bits are the output.
static inline __m128i synthesis_round4(__m128i s) {
  return _mm_srai_epi32(_mm_add_epi32(_mm_slli_epi32(s, 4), _mm_set1_epi32(0x8000)), 16);
}

// The taps of synthesis_filter_wide for the filter a: the weights of output
// i and, without its weight a1 on output i, of output i+1 on one window.
static void pair_taps(const Word16* a, Taps16* taps, Taps16* next) {
  Word16 c[17] = {};
  for (int k = 1; k <= FAST_ORDER; k++) c[17 - k] = a[k];
  *taps = taps16(c + 1);
  *next = taps16(c);
}

// Two 16-bit values as the lanes (u, u, v, v) of 32 bits.
static inline __m128i pair_lanes(Word16 u, Word16 v) {
  return _mm_set_epi32((uint16_t)v, (uint16_t)v, (uint16_t)u, (uint16_t)u);
}

bool synthesis_filter_pair(const SynthesisSignal& f0, const SynthesisSignal& f1, Word16 n) {
  if (n <= 0 || n > PAIR_LENGTH || n % 2 != 0) return false;
  // Two work buffers laid out as synthesis_filter_wide's, the two signals'
  // pair steps summed together: lanes (f0's i, i+1, f1's i, i+1).
  Word16 w0[WIDE_PAD + FAST_ORDER + PAIR_LENGTH] = {}, w1[WIDE_PAD + FAST_ORDER + PAIR_LENGTH] = {};
  Word16 *yy0 = w0 + WIDE_PAD, *yy1 = w1 + WIDE_PAD;
  std::memcpy(yy0, f0.mem, sizeof(Word16) * FAST_ORDER);
  std::memcpy(yy1, f1.mem, sizeof(Word16) * FAST_ORDER);
  Taps16 taps0, next0, taps1, next1;
  pair_taps(f0.a, &taps0, &next0);
  if (f1.a == f0.a)
    taps1 = taps0, next1 = next0;
  else
    pair_taps(f1.a, &taps1, &next1);
  const __m128i a0 = pair_lanes(f0.a[0], f1.a[0]), a1 = pair_lanes(f0.a[1], f1.a[1]);
  // A rounding limits where 2 s < -2^28 or 2 s > 0x0fffefff.
  const __m128i low = _mm_set1_epi32(-(1 << 27)), high = _mm_set1_epi32(0x07fff7ff);
  __m128i limited = _mm_setzero_si128(), largest = _mm_setzero_si128(), smallest = largest;
  for (int i = 0; i < n; i += 2) {
    const __m128i* h0 = reinterpret_cast<const __m128i*>(yy0 + i - WIDE_PAD);
    const __m128i* h1 = reinterpret_cast<const __m128i*>(yy1 + i - WIDE_PAD);
    __m128i u0 = _mm_loadu_si128(h0), u1 = _mm_loadu_si128(h0 + 1);
    __m128i v0 = _mm_loadu_si128(h1), v1 = _mm_loadu_si128(h1 + 1);
    __m128i p = _mm_add_epi32(_mm_madd_epi16(u0, taps0.lo), _mm_madd_epi16(u1, taps0.hi));
    __m128i q = _mm_add_epi32(_mm_madd_epi16(u0, next0.lo), _mm_madd_epi16(u1, next0.hi));
    __m128i r = _mm_add_epi32(_mm_madd_epi16(v0, taps1.lo), _mm_madd_epi16(v1, taps1.hi));
    __m128i t = _mm_add_epi32(_mm_madd_epi16(v0, next1.lo), _mm_madd_epi16(v1, next1.hi));
    __m128i pq = _mm_add_epi32(_mm_unpacklo_epi32(p, q), _mm_unpackhi_epi32(p, q));
    __m128i rt = _mm_add_epi32(_mm_unpacklo_epi32(r, t), _mm_unpackhi_epi32(r, t));
    __m128i sums = _mm_add_epi32(_mm_unpacklo_epi64(pq, rt), _mm_unpackhi_epi64(pq, rt));
    int32_t xa, xb;
    std::memcpy(&xa, f0.x + i, sizeof xa);
    std::memcpy(&xb, f1.x + i, sizeof xb);
    __m128i xs = _mm_unpacklo_epi32(_mm_cvtsi32_si128(xa), _mm_cvtsi32_si128(xb));
    __m128i s =
        _mm_sub_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(xs, _mm_setzero_si128()), a0), sums);
    // Each signal's output i into the next lane, where output i+1 takes its
    // weight a1 on it.
    __m128i first = _mm_slli_epi64(synthesis_round4(s), 32);
    s = _mm_sub_epi32(s, _mm_madd_epi16(first, a1));
    limited =
        _mm_or_si128(limited, _mm_or_si128(_mm_cmplt_epi32(s, low), _mm_cmpgt_epi32(s, high)));
    __m128i out = _mm_packs_epi32(synthesis_round4(s), synthesis_round4(s));
    largest = _mm_max_epi16(largest, out);
    smallest = _mm_min_epi16(smallest, out);
    int32_t o0 = _mm_cvtsi128_si32(out), o1 = _mm_cvtsi128_si32(_mm_srli_si128(out, 4));
    std::memcpy(yy0 + FAST_ORDER + i, &o0, sizeof o0);
    std::memcpy(yy1 + FAST_ORDER + i, &o1, sizeof o1);
  }
  if (_mm_movemask_epi8(limited) != 0) return false;
  // synthesis_filter_wide's bound for both signals at once, from the larger
  // of their first coefficients, of their other coefficients' magnitude sums,
  // of their largest inputs and of their largest memory or output magnitudes
  // (the outputs' from the lanes' extremes).
  Word16 extremes[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(extremes), largest);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(extremes + 8), smallest);
  // (The same filter or memory for both is counted once.)
  Word32 y = std::max(max_magnitude(extremes, 16), max_magnitude(f0.mem, FAST_ORDER));
  if (f1.mem != f0.mem) y = std::max(y, max_magnitude(f1.mem, FAST_ORDER));
  Word32 x = std::max(max_magnitude(f0.x, n), max_magnitude(f1.x, n));
  Word32 first = std::max(std::abs((Word32)f0.a[0]), std::abs((Word32)f1.a[0]));
  Word32 rest = magnitude_sum(f0.a + 1, FAST_ORDER);
  if (f1.a != f0.a) rest = std::max(rest, magnitude_sum(f1.a + 1, FAST_ORDER));
  if (2 * ((int64_t)first * x + (int64_t)rest * y) > MAX_32) return false;
  if (f0.y) std::memcpy(f0.y, yy0 + FAST_ORDER, sizeof(Word16) * (size_t)n);
  if (f1.y) std::memcpy(f1.y, yy1 + FAST_ORDER, sizeof(Word16) * (size_t)n);
  return true;
}
#else
bool synthesis_filter_pair(const SynthesisSignal&, const SynthesisSignal&, Word16) { return false; }
#endif

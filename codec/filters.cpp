// LPC bandwidth expansion, inverse filter and synthesis filter.
#include "filters.h"

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

// The fast synthesis of order 10 works in a buffer yy that holds the memory
// in yy[0..9] and output i in yy[10 + i]. An output's sum s = a0 x[i] - (a1
// y[i-1] + .. + a10 y[i-10]) runs modulo 2^32, with the rounding term 2^11
// added from the start; the output is (s + 2^11) >> 12 limited to 16 bits.
// For an s that no saturation touched that is the exact filter's output, the
// rounding of L_shl(2 s, 3), which limits (and sets Overflow) exactly where
// s < -2^27 or s > 0x07fff7ff.
static const Word32 SYNTHESIS_HALF = 1 << 11;

#if defined(__SSE2__)
// Output LANE of the four sums in s, rounded, in every lane.
template <int LANE>
static inline __m128i lane_output(__m128i s) {
  return _mm_srai_epi32(_mm_shuffle_epi32(s, LANE * 0x55), 12);
}

// The taps of the fast synthesis's four-output steps (synthesis_step).
struct StepTaps {
  // The pair yy[i + 2q], yy[i + 2q + 1] (outputs i - 10 + 2q and i - 9 + 2q)
  // weighs on output i + k with (a[10 + k - 2q], a[9 + k - 2q]), zero past
  // a[10], in lane k.
  __m128i known[5];
  // Output i + j weighs on output i + k with a[k - j] (zero for k <= j), in
  // the low word of lane k.
  __m128i later[3];
  // (a[0], 2^11) in every lane, against an input paired with 1.
  __m128i first;
};

static StepTaps step_taps(const Word16* a) {
  // z[8 + m] = a[m] for m = 1..10, zero for the other m from -8 to 23.
  alignas(16) Word16 z[32] = {};
  std::memcpy(z + 9, a + 1, sizeof(Word16) * FAST_ORDER);
  StepTaps t;
  for (int q = 0; q < 5; q++)
    t.known[q] =
        _mm_unpacklo_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(z + 18 - 2 * q)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(z + 17 - 2 * q)));
  for (int j = 0; j < 3; j++)
    t.later[j] = _mm_unpacklo_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(z + 8 - j)),
                                    _mm_setzero_si128());
  t.first = _mm_set1_epi32((int)((uint32_t)(uint16_t)a[0] | (uint32_t)SYNTHESIS_HALF << 16));
  return t;
}

// Outputs i..i+3 into yy[10 + i..], from the inputs xs (four words) and the
// ten outputs before them, two at a time; then each of the first three
// outputs, rounded, is taken off the sums of the outputs after it. That uses
// the output's low 16 bits, which are the output itself where its rounding
// does not limit. Returns the four outputs, twice.
static inline __m128i synthesis_step(const StepTaps& t, __m128i xs, Word16* yy, int i) {
  __m128i s = _mm_madd_epi16(_mm_unpacklo_epi16(xs, _mm_set1_epi16(1)), t.first);
  __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yy + i));
  int32_t last;
  std::memcpy(&last, yy + i + 8, sizeof last);
  s = _mm_sub_epi32(s, _mm_madd_epi16(_mm_shuffle_epi32(w, 0x00), t.known[0]));
  s = _mm_sub_epi32(s, _mm_madd_epi16(_mm_shuffle_epi32(w, 0x55), t.known[1]));
  s = _mm_sub_epi32(s, _mm_madd_epi16(_mm_shuffle_epi32(w, 0xaa), t.known[2]));
  s = _mm_sub_epi32(s, _mm_madd_epi16(_mm_shuffle_epi32(w, 0xff), t.known[3]));
  s = _mm_sub_epi32(s, _mm_madd_epi16(_mm_set1_epi32(last), t.known[4]));
  s = _mm_sub_epi32(s, _mm_madd_epi16(lane_output<0>(s), t.later[0]));
  s = _mm_sub_epi32(s, _mm_madd_epi16(lane_output<1>(s), t.later[1]));
  s = _mm_sub_epi32(s, _mm_madd_epi16(lane_output<2>(s), t.later[2]));
  __m128i out = _mm_srai_epi32(s, 12);
  out = _mm_packs_epi32(out, out);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(yy + FAST_ORDER + i), out);
  return out;
}

// The outputs of the fast synthesis into yy[10..], four a step; the last
// step's outputs past n are of no meaning (yy must hold n rounded up to 4 of
// them). Returns the largest magnitude among all the outputs written
// (-32768 counting as 32768).
static Word32 synthesis_blocks(const StepTaps& t, const Word16* x, Word16* yy, int n) {
  __m128i hi = _mm_setzero_si128(), lo = hi;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i out =
        synthesis_step(t, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + i)), yy, i);
    hi = _mm_max_epi16(hi, out);
    lo = _mm_min_epi16(lo, out);
  }
  if (i < n) {
    Word16 tail[4] = {};
    std::memcpy(tail, x + i, sizeof(Word16) * (size_t)(n - i));
    __m128i out = synthesis_step(t, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(tail)), yy, i);
    hi = _mm_max_epi16(hi, out);
    lo = _mm_min_epi16(lo, out);
  }
  // Four words in each, folded into one.
  hi = _mm_max_epi16(hi, _mm_shufflelo_epi16(hi, 0x4e));
  lo = _mm_min_epi16(lo, _mm_shufflelo_epi16(lo, 0x4e));
  hi = _mm_max_epi16(hi, _mm_shufflelo_epi16(hi, 0xb1));
  lo = _mm_min_epi16(lo, _mm_shufflelo_epi16(lo, 0xb1));
  Word32 largest = (Word16)_mm_cvtsi128_si32(hi), smallest = (Word16)_mm_cvtsi128_si32(lo);
  return largest > -smallest ? largest : -smallest;
}
#else
struct StepTaps {
  const Word16* a;
};

static StepTaps step_taps(const Word16* a) { return StepTaps{a}; }

static Word32 synthesis_blocks(const StepTaps& t, const Word16* x, Word16* yy, int n) {
  const Word16* a = t.a;
  Word32 largest = 0;
  for (int i = 0; i < n; i++) {
    uint32_t s = (uint32_t)(a[0] * x[i]) + SYNTHESIS_HALF;
    for (int j = 1; j <= FAST_ORDER; j++) s -= (uint32_t)(a[j] * yy[FAST_ORDER + i - j]);
    Word16 y = saturate16((Word32)s >> 12);
    yy[FAST_ORDER + i] = y;
    Word32 magnitude = y < 0 ? -(Word32)y : y;
    if (magnitude > largest) largest = magnitude;
  }
  return largest;
}
#endif

// Whether the outputs of synthesis_blocks for the filter a, the inputs
// x[0..n-1] and the memory mem[0..9] are the exact ones, y_out being the
// largest output magnitude synthesis_blocks returned. Where they are, the
// exact filter does not saturate and leaves Overflow as it is.
//
// With X the largest input and Y the largest memory or output magnitude,
// every partial sum of the exact operator sequence is below B = 2 (|a0| X +
// (|a1| + .. + |a10|) Y). Where B is below 2^31 and every output magnitude
// below 32767, sample by sample the sum is the exact one (no partial sum
// saturated), so its rounding gives an output within -32767..32766, which
// does not limit, and the output is the exact one. An output whose rounding
// limits is 32767 or -32768 and fails the test.
static bool synthesis_exact(const Word16* a, const Word16* x, const Word16* mem, int n,
                            Word32 y_out) {
  if (y_out >= MAX_16) return false;
  Word32 y = max_magnitude(mem, FAST_ORDER);
  if (y_out > y) y = y_out;
  int64_t rest = (int64_t)magnitude_sum(a + 1, FAST_ORDER) * y;
  int64_t first = a[0] < 0 ? -a[0] : a[0];
  // No input exceeds 32768 in magnitude; their largest only where that
  // does not do.
  return 2 * (first * 32768 + rest) <= MAX_32 || 2 * (first * max_magnitude(x, n) + rest) <= MAX_32;
}

// Fast form of synthesis_filter for order 10 in the buffer yy (memory in
// yy[0..9], room for n rounded up to 4 outputs after it): true when the
// outputs in yy[10..9+n] are the exact ones and nothing saturated.
static bool synthesis_filter_wide(const Word16* a, const Word16* x, Word16* yy, int n) {
  return synthesis_exact(a, x, yy, n, synthesis_blocks(step_taps(a), x, yy, n));
}

void synthesis_filter(Word16 m, const Word16* a, const Word16* x, Word16* y, Word16 n, Word16* mem,
                      Word16 update) {
  if (m < 0 || n < 0 || m + n > SYNTHESIS_BUFFER_LENGTH) return;

  // yy[0..m-1] is the memory, yy[m + i] the output y[i]; the fast form's
  // last step may write up to 3 words past the last output. Working apart
  // from y lets x and y be the same buffer.
  Word16 work[SYNTHESIS_BUFFER_LENGTH + 4];
  Word16* yy = work;
  std::memcpy(yy, mem, sizeof(Word16) * (size_t)m);
  Word16* out = yy + m;
  if (decoder_reference_paths || m != FAST_ORDER || !synthesis_filter_wide(a, x, yy, n)) {
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

static_assert(PAIR_LENGTH % 4 == 0, "the fast synthesis writes outputs in groups of four");

bool synthesis_filter_pair(const SynthesisSignal& f0, const SynthesisSignal& f1, Word16 n) {
  if (n <= 0 || n > PAIR_LENGTH) return false;
  Word16 yy0[FAST_ORDER + PAIR_LENGTH], yy1[FAST_ORDER + PAIR_LENGTH];
  std::memcpy(yy0, f0.mem, sizeof(Word16) * FAST_ORDER);
  std::memcpy(yy1, f1.mem, sizeof(Word16) * FAST_ORDER);
  const StepTaps t0 = step_taps(f0.a);
  Word32 y0 = synthesis_blocks(t0, f0.x, yy0, n);
  Word32 y1 = synthesis_blocks(f1.a == f0.a ? t0 : step_taps(f1.a), f1.x, yy1, n);
  if (!synthesis_exact(f0.a, f0.x, f0.mem, n, y0) || !synthesis_exact(f1.a, f1.x, f1.mem, n, y1))
    return false;
  if (f0.y) std::memcpy(f0.y, yy0 + FAST_ORDER, sizeof(Word16) * (size_t)n);
  if (f1.y) std::memcpy(f1.y, yy1 + FAST_ORDER, sizeof(Word16) * (size_t)n);
  return true;
}

// Long-term post-filter: fractional pitch search on a scaled copy of the
// residual, 4- or 16-tap interpolation of the delayed residual, and the
// weighted mix with the current one.
#include "ltp_postfilter.h"

#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"

#include "fast_paths.h"

namespace {

constexpr Word16 MIN_DELAY = 19;
constexpr Word16 MAX_DELAY = 144;
constexpr Word16 UNIT_WEIGHT = 16384;  // 0.5 in Q15, the fixed-rate weight

// Largest magnitude of the scaled residual: the scaling leaves every sample
// below 2^12. The search's sums stay in range for such a signal: a 4-tap
// block sample is below 2 * 39084 * 4095 / 2^16 < 4885 (39084 being the
// largest sum of tap magnitudes), so 40 products of two such values, doubled,
// stay below 2 * 40 * 4885^2 < 2^31.
constexpr Word32 SCALED_LIMIT = 4095;
// Largest 16-tap sample for which the 16-tap result's energy and correlation
// with the scaled residual stay in range: 2 * 40 * 5180^2 < 2^31.
constexpr Word32 LONG_LIMIT = 5180;

// Sum of x[n] * y[n] for n = 0..39, from 0, with L_mac. `wide`: the caller
// has shown that no partial sum can saturate.
inline Word32 correlate(const Word16* x, const Word16* y, bool wide) {
  if (wide) return 2 * dot_product(x, y, SUBFRAME_SAMPLES);
  Word32 s = 0;
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) s = L_mac(s, x[n], y[n]);
  return s;
}

// Block p of the short interpolation: block[n] = round(sum over k = 0..3 of
// taps[k] * past[n + 1 - k]) for n = 0..40.
void short_interpolation(const Word16* past, const Word16* taps, Word16* block, bool wide) {
  if (wide) {
    // |sum| <= 2 * 39084 * 4095: neither the sum nor the rounding saturates;
    // round(2 s) is (s + 2^14) >> 15. Fills the block storage (reading up to
    // past[48], within the scaled copy for the delays of at least 18 that
    // the search uses).
    const Word16 reversed[4] = {taps[3], taps[2], taps[1], taps[0]};
    fir_rounded<4, 15>(past - 2, reversed, block, LTP_BLOCK);
    return;
  }
  for (int n = 0; n < LTP_BLOCK; n++) {
    const Word16* src = past + n + 1;
    Word32 s = 0;
    for (int k = 0; k < 4; k++) s = L_mac(s, taps[k], src[-k]);
    block[n] = round(s);
  }
}

// The correlation and energy fixups of one block (see short_blocks_wide),
// from its sums e over block[0..39] and s0, s1 of x[n] block[n] and
// x[n - 1] block[n] over n = 0..39.
void block_sums(const Word16* x, const Word16* block, Word32 e, Word32 s0, Word32 s1, Word32* e0,
                Word32* e1, Word32* correlation) {
  // s1 ran over x[n - 1] block[n], n = 0..39: less n = 0, plus n = 40.
  Word16 b0 = block[0], b40 = block[SUBFRAME_SAMPLES];
  *e0 = 2 * e;
  *e1 = 2 * (e - b0 * b0 + b40 * b40);
  correlation[0] = 2 * s0;
  correlation[1] = 2 * (s1 - x[-1] * b0 + x[SUBFRAME_SAMPLES - 1] * b40);
}

// short_interpolation's wide form for all seven phases, together with each
// block's energies as delay_search sums them (e0 over block[0..39], e1 over
// block[1..40]) and its correlations with x at offsets 0 and 1
// (correlation[p][o], the sum of x[n] block[n + o] doubled), all plain sums
// of values below 4885.
void short_blocks_wide(const Word16* past, const Word16* x, ShortInterpolation* blocks,
                       Word32 (*correlation)[2]) {
#if defined(__SSE2__)
  // The sample pairs (past[n-2], past[n-1]) and (past[n], past[n+1]) of each
  // group of eight n, low and high four, and the current samples x[n] and
  // x[n-1]: the same for every phase.
  constexpr int GROUPS = SUBFRAME_SAMPLES / 8;
  __m128i pairs[GROUPS][4], current[GROUPS][2];
  for (int g = 0; g < GROUPS; g++) {
    const Word16* v = past + 8 * g;
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v - 2));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v - 1));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + 1));
    pairs[g][0] = _mm_unpacklo_epi16(a, b);
    pairs[g][1] = _mm_unpackhi_epi16(a, b);
    pairs[g][2] = _mm_unpacklo_epi16(c, d);
    pairs[g][3] = _mm_unpackhi_epi16(c, d);
    current[g][0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 8 * g));
    current[g][1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 8 * g - 1));
  }
  const __m128i half = _mm_set1_epi32(1 << 14);
  for (int p = 0; p < LTP_PHASES; p++) {
    const Word16* taps = SHORT_INTERP_TABLE[p];
    Word16* block = blocks->block[p];
    // Taps in pairs (taps[3], taps[2]) and (taps[1], taps[0]) against the
    // sample pairs.
    const __m128i c0 =
        _mm_set1_epi32((int)((uint32_t)(uint16_t)taps[3] | (uint32_t)(uint16_t)taps[2] << 16));
    const __m128i c1 =
        _mm_set1_epi32((int)((uint32_t)(uint16_t)taps[1] | (uint32_t)(uint16_t)taps[0] << 16));
    __m128i energy = _mm_setzero_si128(), r0 = energy, r1 = energy;
    for (int g = 0; g < GROUPS; g++) {
      __m128i lo = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(pairs[g][0], c0), half),
                                 _mm_madd_epi16(pairs[g][2], c1));
      __m128i hi = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(pairs[g][1], c0), half),
                                 _mm_madd_epi16(pairs[g][3], c1));
      __m128i v = _mm_packs_epi32(_mm_srai_epi32(lo, 15), _mm_srai_epi32(hi, 15));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * g), v);
      energy = _mm_add_epi32(energy, _mm_madd_epi16(v, v));
      r0 = _mm_add_epi32(r0, _mm_madd_epi16(v, current[g][0]));
      r1 = _mm_add_epi32(r1, _mm_madd_epi16(v, current[g][1]));
    }
    Word32 last = taps[0] * past[SUBFRAME_SAMPLES + 1] + taps[1] * past[SUBFRAME_SAMPLES] +
                  taps[2] * past[SUBFRAME_SAMPLES - 1] + taps[3] * past[SUBFRAME_SAMPLES - 2];
    block[SUBFRAME_SAMPLES] = (Word16)((last + (1 << 14)) >> 15);
    block_sums(x, block, horizontal_sum(energy), horizontal_sum(r0), horizontal_sum(r1),
               &blocks->e0[p], &blocks->e1[p], correlation[p]);
  }
#else
  for (int p = 0; p < LTP_PHASES; p++) {
    Word16* block = blocks->block[p];
    short_interpolation(past, SHORT_INTERP_TABLE[p], block, true);
    block_sums(x, block, dot_product(block, block, SUBFRAME_SAMPLES),
               dot_product(x, block, SUBFRAME_SAMPLES), dot_product(x - 1, block, SUBFRAME_SAMPLES),
               &blocks->e0[p], &blocks->e1[p], correlation[p]);
  }
#endif
}

// dpf_mpy16(dpf_split(L_mult(num, num)), den) > the same of num_b and den_b,
// for num, num_b, den and den_b from 0 to 32767. L_mult(num, num) = 2 num^2
// does not saturate and splits into num^2 >> 15 and num^2 & 0x7fff, so the
// product is 2 (num^2 >> 15) den + 2 (((num^2 & 0x7fff) den) >> 15), which is
// twice (num^2 den) >> 15 (the first part's product a multiple of 2^15);
// neither side can saturate. Compared here in 64 bits.
inline bool weighted_square_above(Word16 num, Word16 den, Word16 num_b, Word16 den_b) {
  return ((int64_t)(num * num) * den) >> 15 > ((int64_t)(num_b * num_b) * den_b) >> 15;
}

// The fraction choice of delay_search from the wide sums: the candidates'
// num and den (shifts of 1..16 of unsaturated sums, plain shifts), phase by
// phase and offset 0 before offset 1, each replacing the best (*num_b,
// *den_b) where weighted_square_above says so.
void best_fraction_wide(const Word32 (*correlation)[2], const ShortInterpolation* blocks,
                        Word16 sh_num, Word16 sh_den, Word16* num_b, Word16* den_b, Word16* p_b,
                        Word16* o_b) {
  constexpr int CANDIDATES = 2 * LTP_PHASES;
  Word16 num[CANDIDATES], den[CANDIDATES];
  for (int p = 0; p < LTP_PHASES; p++) {
    for (int o = 0; o < 2; o++) {
      Word32 R = correlation[p][o];
      num[2 * p + o] = R < 0 ? (Word16)0 : (Word16)(R >> sh_num);
    }
    den[2 * p] = (Word16)(blocks->e0[p] >> sh_den);
    den[2 * p + 1] = (Word16)(blocks->e1[p] >> sh_den);
  }
  int best = -1;
  Word16 nb = *num_b, db = *den_b;
  for (int c = 0; c < CANDIDATES; c++) {
    if (weighted_square_above(num[c], db, nb, den[c])) {
      nb = num[c];
      db = den[c];
      best = c;
    }
  }
  if (best < 0) return;
  *num_b = nb;
  *den_b = db;
  *p_b = (Word16)(best / 2 + 1);
  *o_b = (Word16)(best % 2);
}

// Shift that brings a positive energy into 15 bits, never negative.
Word16 energy_shift(Word32 e) {
  Word16 s = sub(16, norm_l(e));
  return s < 0 ? (Word16)0 : s;
}

void set_off(DelaySearchResult* r) {
  r->num = 0;
  r->den = 1;
  r->D = 0;
  r->p = 0;
  r->o = 0;
  r->sh_num = 0;
  r->sh_den = 0;
}

}  // namespace

// The search of fractional_delay_search; `wide`: no sample of x it reads
// exceeds SCALED_LIMIT.
static void delay_search(Word16 delay, const Word16* x, ShortInterpolation* blocks,
                         DelaySearchResult* r, bool wide) {
  // Energy of the current subframe.
  Word32 E = correlate(x, x, wide);
  if (E == 0) return set_off(r);
  Word16 sh_e = sub(16, norm_l(E));
  Word16 e16;
  if (sh_e <= 0) {
    sh_e = 0;
    e16 = extract_l(E);
  } else {
    e16 = extract_l(L_shr(E, sh_e));
  }

  // Integer delays delay-1, delay, delay+1; ties keep the smaller one.
  Word32 Rmax = -1;
  Word16 D0 = 0;
  for (Word16 k = sub(delay, 1); k <= add(delay, 1); k++) {
    Word32 R = correlate(x, x - k, wide);
    if (R < 0) R = 0;
    if (L_sub(R, Rmax) > 0) {
      Rmax = R;
      D0 = k;
    }
  }
  if (Rmax == 0) return set_off(r);

  const Word16* past = x - D0;  // the integer-delayed signal
  Word32 E0 = correlate(past, past, wide);
  if (E0 == 0) return set_off(r);

  // Short interpolation blocks: block p at offset 0 is the delay
  // D0 + 1 - p/8, at offset 1 the delay D0 - p/8. The wide form also gives
  // each block's correlations with x at both offsets (correlation[p][o]).
  Word32 correlation[LTP_PHASES][2];
  if (wide) short_blocks_wide(past, x, blocks, correlation);
  for (int p = 0; p < LTP_PHASES && !wide; p++) {
    Word16* block = blocks->block[p];
    short_interpolation(past, SHORT_INTERP_TABLE[p], block, wide);
    Word32 c = 0;
    for (int n = 1; n < SUBFRAME_SAMPLES; n++) c = L_mac(c, block[n], block[n]);
    blocks->e0[p] = L_mac(c, block[0], block[0]);
    blocks->e1[p] = L_mac(c, block[SUBFRAME_SAMPLES], block[SUBFRAME_SAMPLES]);
  }

  // Largest energy among the delayed candidates sets the denominator scale.
  Word32 Emax = E0;
  for (int p = 0; p < LTP_PHASES; p++) {
    const Word16* block = blocks->block[p];
    Word32 candidate =
        sub(abs_s(block[0]), abs_s(block[SUBFRAME_SAMPLES])) > 0 ? blocks->e0[p] : blocks->e1[p];
    if (L_sub(candidate, Emax) > 0) Emax = candidate;
  }
  if (Emax == 0) return set_off(r);
  Word16 sh_den = sub(16, norm_l(Emax));
  if (sh_den <= 0) return set_off(r);
  Word16 sh_num = sh_den >= sh_e ? sh_den : sh_e;

  // Best so far: the integer delay D0 (phase 0, offset 1).
  Word16 num_b = extract_l(L_shr(Rmax, sh_num));
  Word16 den_b = extract_l(L_shr(E0, sh_den));
  Word16 hi_b, lo_b;
  dpf_split(L_mult(num_b, num_b), &hi_b, &lo_b);
  Word16 p_b = 0;
  Word16 o_b = 1;

  // A fraction replaces the best only when num^2 / den is strictly larger.
  // (L_sub(A, B) > 0 exactly when A > B: a saturated difference keeps its
  // sign.)
  if (wide) {
    best_fraction_wide(correlation, blocks, sh_num, sh_den, &num_b, &den_b, &p_b, &o_b);
  } else {
    for (Word16 p = 1; p <= LTP_PHASES; p++) {
      for (Word16 o = 0; o <= 1; o++) {
        Word32 R = correlate(x, blocks->block[p - 1] + o, false);
        Word16 num = L_shr(R, sh_num) < 0 ? (Word16)0 : extract_l(L_shr(R, sh_num));
        Word16 hi, lo;
        dpf_split(L_mult(num, num), &hi, &lo);
        Word16 den = extract_l(L_shr(o == 0 ? blocks->e0[p - 1] : blocks->e1[p - 1], sh_den));
        if (L_sub(dpf_mpy16(hi, lo, den_b), dpf_mpy16(hi_b, lo_b, den)) > 0) {
          num_b = num;
          den_b = den;
          hi_b = hi;
          lo_b = lo;
          p_b = p;
          o_b = o;
        }
      }
    }
  }
  if (num_b == 0 || den_b <= 1) return set_off(r);
  if (wide) dpf_split(L_mult(num_b, num_b), &hi_b, &lo_b);

  // Voicing test: normalised squared correlation at least 1/2.
  Word32 L0 = L_mult(den_b, e16);
  Word32 L1 = dpf_join(hi_b, lo_b);
  Word16 t = add(sub(sub(shl(sh_num, 1), sh_den), sh_e), 1);
  if (t < 0) {
    L1 = L_shr(L1, negate(t));
  } else if (t > 0) {
    L0 = L_shr(L0, t);
  }
  if (L_sub(L1, L0) < 0) return set_off(r);

  r->D = sub(add(D0, 1), o_b);
  r->p = p_b;
  r->o = o_b;
  r->num = num_b;
  r->den = den_b;
  r->sh_num = sh_num;
  r->sh_den = sh_den;
}

void fractional_delay_search(Word16 delay, const Word16* x, ShortInterpolation* blocks,
                             DelaySearchResult* r) {
  // Reads at most x[-LTP_HISTORY..SUBFRAME_SAMPLES-1].
  bool wide = !decoder_reference_paths &&
              max_magnitude(x - LTP_HISTORY, LTP_HISTORY + SUBFRAME_SAMPLES) <= SCALED_LIMIT;
  delay_search(delay, x, blocks, r, wide);
}

// long_interpolation; `wide`: no sample of x it reads exceeds SCALED_LIMIT.
static void interpolate_long(const Word16* x, Word16 D, Word16 p, Word16* y,
                             LongInterpolationResult* r, bool wide) {
  const Word16* taps = LONG_INTERP_TABLE[p - 1];
  if (wide) {
    // |sum| <= 2 * 68486 * 4095 (68486 the largest sum of tap magnitudes):
    // neither the sum nor the rounding saturates; round(2 s) is
    // (s + 2^14) >> 15.
    Word16 reversed[16];
    for (int k = 0; k < 16; k++) reversed[k] = taps[15 - k];
    fir_rounded<16, 15>(x + 8 - D - 15, reversed, y, SUBFRAME_SAMPLES);
    wide = max_magnitude(y, SUBFRAME_SAMPLES) <= LONG_LIMIT;
  } else {
    for (int n = 0; n < SUBFRAME_SAMPLES; n++) {
      const Word16* src = x + n + 8 - D;
      Word32 s = 0;
      for (int k = 0; k < 16; k++) s = L_mac(s, taps[k], src[-k]);
      y[n] = round(s);
    }
  }

  Word32 R2 = correlate(y, x, wide);
  if (R2 < 0) {
    r->num2 = 0;
    r->sh_num2 = 0;
  } else {
    Word16 s = energy_shift(R2);
    r->num2 = extract_l(L_shr(R2, s));
    r->sh_num2 = s;
  }
  Word32 E2 = correlate(y, y, wide);
  Word16 s = energy_shift(E2);
  r->den2 = extract_l(L_shr(E2, s));
  r->sh_den2 = s;
}

void long_interpolation(const Word16* x, Word16 D, Word16 p, Word16* y,
                        LongInterpolationResult* r) {
  // Reads x[-D-8..39-D+8], within x[-LTP_HISTORY-1..SUBFRAME_SAMPLES-1].
  bool wide =
      !decoder_reference_paths &&
      max_magnitude(x - LTP_HISTORY - 1, LTP_HISTORY + 1 + SUBFRAME_SAMPLES) <= SCALED_LIMIT;
  interpolate_long(x, D, p, y, r, wide);
}

Word16 choose_interpolation(Word16 num, Word16 den, Word16 sh_num, Word16 sh_den, Word16 num2,
                            Word16 den2, Word16 sh_num2, Word16 sh_den2) {
  if (den2 == 0) return 1;
  Word16 hi, lo;
  dpf_split(L_mult(num, num), &hi, &lo);
  Word32 L1 = dpf_mpy16(hi, lo, den2);
  dpf_split(L_mult(num2, num2), &hi, &lo);
  Word32 L2 = dpf_mpy16(hi, lo, den);

  Word16 e1 = add(shl(sh_num, 1), sh_den2);
  Word16 e2 = add(shl(sh_num2, 1), sh_den);
  if (e2 > e1) {
    L1 = L_shr(L1, sub(e2, e1));
  } else if (e1 > e2) {
    L2 = L_shr(L2, sub(e1, e2));
  }
  return L_sub(L2, L1) > 0 ? (Word16)2 : (Word16)1;
}

void harmonic_filter(const Word16* res, const Word16* y, Word16* out, Word16 g) {
  Word16 g1 = add(sub(32767, g), 1);
  if (!decoder_reference_paths && g >= 0) {
    // g + g1 <= 32768: the sum lies in [-2^31, 0x7fff0000] and neither it
    // nor the rounding saturates; (2 s + 2^15) >> 16 is (s + 2^14) >> 15.
    weighted_sum_rounded(res, g, y, g1, out, 15);
    return;
  }
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) out[n] = round(L_mac(L_mult(g, res[n]), g1, y[n]));
}

// x[i] = shr(past[i], sh) for i = 0..n-1, where the shift cannot saturate
// (sh = 3 - norm_s of the OR of the magnitudes).
static void scale_residual(const Word16* past, Word16* x, int n, Word16 sh) {
  if (decoder_reference_paths) {
    for (int i = 0; i < n; i++) x[i] = shr(past[i], sh);
  } else if (sh >= 0) {
    for (int i = 0; i < n; i++) x[i] = (Word16)(past[i] >> sh);
  } else {
    Word16 f = (Word16)(1 << -sh);
    for (int i = 0; i < n; i++) x[i] = (Word16)(past[i] * f);
  }
}

// y[n] = shl(y[n], sh) for n = 0..39, saturated.
static void unscale(Word16* y, Word16 sh) {
  if (decoder_reference_paths || sh < 0) {
    for (int n = 0; n < SUBFRAME_SAMPLES; n++) y[n] = shl(y[n], sh);
    return;
  }
  Word32 f = 1 << sh;
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) y[n] = saturate16(y[n] * f);
}

void long_term_postfilter(Word16 delay, const Word16* res, Word16* out, Word16* voicing,
                          Word16 pitch_weight) {
  // The frame decoder's delays are 19..144; the buffers are sized for them.
  if (delay < MIN_DELAY) delay = MIN_DELAY;
  if (delay > MAX_DELAY) delay = MAX_DELAY;

  const Word16* past = res - LTP_HISTORY;
  constexpr int SPAN = LTP_HISTORY + SUBFRAME_SAMPLES;

  // Scaled working copy. One zero sample in front of it serves the 16-tap
  // interpolation of the longest delay (146 - 1/8 from a decoded 144), which
  // reaches one sample before the history.
  Word16 scaled[1 + SPAN];
  scaled[0] = 0;
  Word16* x = scaled + 1 + LTP_HISTORY;
  Word16 all = 0;
  if (!decoder_reference_paths) {
    // Only the highest bit of the OR of the magnitudes counts, and that is
    // the highest bit of the largest magnitude (abs_s making 32768 32767).
    Word32 largest = max_magnitude(past, SPAN);
    all = (Word16)(largest > MAX_16 ? MAX_16 : largest);
  } else {
    for (int i = 0; i < SPAN; i++) all = (Word16)(all | abs_s(past[i]));
  }
  Word16 sh = sub(3, norm_s(all));
  scale_residual(past, scaled + 1, SPAN, sh);
  // Every scaled sample is below 2^12 in magnitude, what the wide sums need.
  bool wide = !decoder_reference_paths;

  ShortInterpolation blocks;
  DelaySearchResult r;
  delay_search(delay, x, &blocks, &r, wide);
  *voicing = r.D;
  if (r.num == 0) {
    for (int n = 0; n < SUBFRAME_SAMPLES; n++) out[n] = res[n];
    return;
  }

  // The delayed residual y.
  Word16 num = r.num, den = r.den, sh_num = r.sh_num, sh_den = r.sh_den;
  const Word16* y;
  if (r.p == 0) {
    y = res - r.D;
  } else {
    LongInterpolationResult lr;
    interpolate_long(x, r.D, r.p, out, &lr, wide);
    Word16* yy;
    if (choose_interpolation(num, den, sh_num, sh_den, lr.num2, lr.den2, lr.sh_num2, lr.sh_den2) ==
        1) {
      yy = blocks.block[r.p - 1] + r.o;
    } else {
      yy = out;
      num = lr.num2;
      den = lr.den2;
      sh_num = lr.sh_num2;
      sh_den = lr.sh_den2;
    }
    unscale(yy, sh);
    y = yy;
  }

  // Bring num and den to a common exponent.
  Word16 d = sub(sh_num, sh_den);
  if (d < 0) {
    num = shl(num, d);
  } else {
    den = shr(den, d);
  }

  // Gain of the current residual, g = 1 / (1 + weight * min(num / den, 1)).
  Word16 g;
  if (num >= den && pitch_weight == UNIT_WEIGHT) {
    g = 21845;  // 2/3
  } else {
    Word16 nn;
    if (num >= den) {
      nn = shr(mult_r(den, pitch_weight), 1);
    } else if (pitch_weight == UNIT_WEIGHT) {
      nn = shr(num, 2);
    } else {
      nn = shr(mult_r(num, pitch_weight), 1);
    }
    Word16 dd = shr(den, 1);
    Word16 total = add(dd, nn);
    // A den shifted down to 0 or 1 leaves 0/0: keep the residual as it is.
    g = total == 0 ? (Word16)32767 : div_s(dd, total);
  }
  harmonic_filter(res, y, out, g);
}

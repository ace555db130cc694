#include "encoder/pitch_search.h"

#include "codec/basicop/dpf.h"
#include "codec/basicop/mathfunc.h"
#include "codec/tables/tables.h"
#include "encoder/reference_paths.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const Word16 SUBFRAME = 40;
const Word16 FRAME = 80;
const Word16 THRESHPIT = 27853;  // 0.85: a shorter delay wins above this share
const Word16 INTERP_TAPS = 4;    // taps on each side of the correlation interpolation
const Word16 UP_SAMP = 3;

// Largest correlation of signal[0..length-1] with signal[-lag..] over
// lag_max down to lag_min (ties to the shorter lag), normalised by the
// energy at that lag: *cor_max. Returns the lag.
// `exact`: no partial sum can saturate (the signal's energy over every
// sample read is known to fit), so the correlations are plain sums.
Word16 lag_max(const Word16* signal, Word16 length, Word16 lag_max_, Word16 lag_min, bool exact,
               Word16* cor_max) {
  Word32 max = MIN_32;
  Word16 best = lag_max_;
  for (Word16 i = lag_max_; i >= lag_min; i--) {
    Word32 t = 0;
    if (exact)
      t = plain_mac(signal, signal - i, length);
    else
      for (int j = 0; j < length; j++) t = L_mac(t, signal[j], signal[j - i]);
    if (L_sub(t, max) >= 0) {
      max = t;
      best = i;
    }
  }
  Word32 energy = 0;
  if (exact)
    energy = plain_mac(signal - best, signal - best, length);
  else
    for (int j = 0; j < length; j++) energy = L_mac(energy, signal[j - best], signal[j - best]);
  energy = L_inv_sqrt(energy);
  Word16 max_h, max_l, ener_h, ener_l;
  dpf_split(max, &max_h, &max_l);
  dpf_split(energy, &ener_h, &ener_l);
  *cor_max = extract_l(dpf_mpy(max_h, max_l, ener_h, ener_l));
  return best;
}

// The fast form of the filtered excitation's step to the next delay:
// sig[j] = add(extract_h(L_shl(L_mult(e, h[j]), 15 - shift)), sig[j - 1])
// for j = 39 down to 1 (each from the sig[j - 1] before the step), for an e
// with |e h[j]| < 2^(15 + shift) (shift 12 or 14): then neither operator
// saturates and the upper half is (e h[j]) >> shift, a 16-bit value.
void shift_in_product(Word16* sig, const Word16* h, Word16 e, int shift) {
  Word16 before[SUBFRAME + 1];  // before[j] = sig[j - 1]
  before[0] = 0;
  for (int j = 0; j < SUBFRAME; j++) before[j + 1] = sig[j];
#if defined(__SSE2__)
  // (e h) >> shift from the product's halves: the high half moved up by
  // 16 - shift, the low half's top bits down by shift.
  const __m128i ev = _mm_set1_epi16(e);
  const __m128i up = _mm_cvtsi32_si128(16 - shift), down = _mm_cvtsi32_si128(shift);
  for (int j = 0; j < SUBFRAME; j += 8) {
    __m128i hv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + j));
    __m128i p = _mm_or_si128(_mm_sll_epi16(_mm_mulhi_epi16(ev, hv), up),
                             _mm_srl_epi16(_mm_mullo_epi16(ev, hv), down));
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(sig + j),
        _mm_adds_epi16(p, _mm_loadu_si128(reinterpret_cast<const __m128i*>(before + j))));
  }
#else
  for (int j = 1; j < SUBFRAME; j++) {
    Word32 v = ((e * h[j]) >> shift) + before[j];
    sig[j] = (Word16)(v > MAX_16 ? MAX_16 : v < MIN_16 ? MIN_16 : v);
  }
#endif
}

// Normalised correlations corr[t_min..t_max] (corr indexed by delay) of xn
// with the past excitation at each delay filtered by h.
void normalized_correlation(const Word16* exc, const Word16* xn, const Word16* h, Word16 t_min,
                            Word16 t_max, Word16* corr) {
  Word16 excf[SUBFRAME], scaled[SUBFRAME];
  int k = -t_min;
  convolve_subframe(&exc[k], h, excf);
  for (int j = 0; j < SUBFRAME; j++) scaled[j] = shr(excf[j], 2);
  Word32 s = 0;
  for (int j = 0; j < SUBFRAME; j++) s = L_mac(s, excf[j], excf[j]);
  Word16* sig = excf;
  Word16 h_fac = 15 - 12, scaling = 0;
  if (L_sub(s, 67108864L) > 0) {  // energy above 2^26: work on excf / 4
    sig = scaled;
    h_fac = 15 - 12 - 2;
    scaling = 2;
  }
  // With both energies within 32 bits (doubled), no partial sum of the
  // energy or of the correlation saturates.
  bool target_fits = !encoder_reference_paths && 2 * energy64(xn, SUBFRAME) <= MAX_32;
  int32_t h_peak = max_magnitude(h, SUBFRAME);
  for (Word16 i = t_min; i <= t_max; i++) {
    bool exact = target_fits && 2 * energy64(sig, SUBFRAME) <= MAX_32;
    s = 0;
    if (exact)
      s = plain_mac(sig, sig, SUBFRAME);
    else
      for (int j = 0; j < SUBFRAME; j++) s = L_mac(s, sig[j], sig[j]);
    s = L_inv_sqrt(s);
    Word16 norm_h, norm_l, corr_h, corr_l;
    dpf_split(s, &norm_h, &norm_l);
    s = 0;
    if (exact)
      s = plain_mac(xn, sig, SUBFRAME);
    else
      for (int j = 0; j < SUBFRAME; j++) s = L_mac(s, xn[j], sig[j]);
    dpf_split(s, &corr_h, &corr_l);
    s = dpf_mpy(corr_h, corr_l, norm_h, norm_l);
    corr[i] = extract_h(L_shl(s, 16));
    if (i != t_max) {
      k--;
      if (!encoder_reference_paths &&
          (int64_t)(exc[k] < 0 ? -exc[k] : exc[k]) * h_peak < ((int64_t)1 << (30 - h_fac))) {
        shift_in_product(sig, h, exc[k], 15 - h_fac);
      } else {
        for (int j = SUBFRAME - 1; j > 0; j--) {
          s = L_shl(L_mult(exc[k], h[j]), h_fac);
          sig[j] = add(extract_h(s), sig[j - 1]);
        }
      }
      sig[0] = shr(exc[k], scaling);
    }
  }
}

// The correlation interpolated at x + frac/3 (frac -2..2).
Word16 interpolate_correlation(const Word16* x, Word16 frac) {
  if (frac < 0) {
    frac = add(frac, UP_SAMP);
    x--;
  }
  const Word16* c1 = &PITCH_INTERP_3[frac];
  const Word16* c2 = &PITCH_INTERP_3[sub(UP_SAMP, frac)];
  Word32 s = 0;
  for (int i = 0, k = 0; i < INTERP_TAPS; i++, k += UP_SAMP) {
    s = L_mac(s, x[-i], c1[k]);
    s = L_mac(s, x[1 + i], c2[k]);
  }
  return round(s);
}

}  // namespace

Word16 open_loop_pitch(const Word16* wsp, Word16 length) {
  Word16 scaled_buffer[FRAME + PIT_MAX];
  Word16* scaled = scaled_buffer + PIT_MAX;
  if (length > FRAME) length = FRAME;
  // Scaled down when the energy overflows, up when it is below 2^20.
  Word16 shift = 0;
  if (encoder_reference_paths) {
    Overflow = 0;
    Word32 t = 0;
    for (int i = -PIT_MAX; i < length; i++) t = L_mac(t, wsp[i], wsp[i]);
    if (Overflow == 1)
      shift = -3;
    else if (L_sub(t, 1048576L) < 0)
      shift = 3;
  } else {
    // The partial sums only grow: the sum saturates exactly when its total
    // (with -32768 squared as 2^31) is beyond the 32-bit range.
    int64_t t = 2 * energy64(wsp - PIT_MAX, PIT_MAX + length);
    if (t > MAX_32)
      shift = -3;
    else if (t < 1048576L)
      shift = 3;
  }
  for (int i = -PIT_MAX; i < length; i++)
    scaled[i] = shift < 0 ? shr(wsp[i], 3) : shift > 0 ? shl(wsp[i], 3) : wsp[i];
  // Every correlation and energy below reads only these samples: when their
  // energy fits, no partial sum of either can saturate.
  bool exact =
      !encoder_reference_paths && 2 * energy64(scaled - PIT_MAX, PIT_MAX + length) <= MAX_32;

  // Three ranges, none holding a multiple of another's delays.
  Word16 max1, max2, max3;
  Word16 j = shl(PIT_MIN, 2);
  Word16 p1 = lag_max(scaled, length, PIT_MAX, j, exact, &max1);
  Word16 i = sub(j, 1);
  j = shl(PIT_MIN, 1);
  Word16 p2 = lag_max(scaled, length, i, j, exact, &max2);
  i = sub(j, 1);
  Word16 p3 = lag_max(scaled, length, i, PIT_MIN, exact, &max3);
  if (sub(mult(max1, THRESHPIT), max2) < 0) {
    max1 = max2;
    p1 = p2;
  }
  if (sub(mult(max1, THRESHPIT), max3) < 0) p1 = p3;
  return p1;
}

Word16 closed_loop_pitch(const Word16* exc, const Word16* xn, const Word16* h, Word16 t0_min,
                         Word16 t0_max, Word16 subframe_start, bool coarse, Word16* frac) {
  Word16 corr_v[PIT_MAX + INTERP_TAPS + 1];
  Word16 t_min = sub(t0_min, INTERP_TAPS);
  Word16 t_max = add(t0_max, INTERP_TAPS);
  Word16* corr = corr_v;  // indexed by delay
  normalized_correlation(exc, xn, h, t_min, t_max, corr);

  Word16 max = corr[t0_min];
  Word16 lag = t0_min;
  for (Word16 i = add(t0_min, 1); i <= t0_max; i++)
    if (sub(corr[i], max) >= 0) {
      max = corr[i];
      lag = i;
    }
  if (subframe_start == 0 && sub(lag, 84) > 0) {
    *frac = 0;
    return lag;
  }
  // The 4-bit index has thirds only from t0_min + 3 1/3 to t0_min + 5 2/3:
  // only fractions that stay within t0_min + 3 .. t0_min + 6 are tried.
  Word16 f_min = -2, f_max = 2;
  if (coarse) {
    Word16 rel = sub(lag, t0_min);
    if (sub(rel, 3) < 0 || sub(rel, 6) > 0) f_min = f_max = 0;
    if (sub(rel, 3) == 0) f_min = 0;
    if (sub(rel, 6) == 0) f_max = 0;
  }
  max = interpolate_correlation(&corr[lag], f_min);
  Word16 best = f_min;
  for (Word16 f = add(f_min, 1); f <= f_max; f++) {
    Word16 c = interpolate_correlation(&corr[lag], f);
    if (sub(c, max) > 0) {
      max = c;
      best = f;
    }
  }
  if (best == -2) {
    best = 1;
    lag = sub(lag, 1);
  }
  if (best == 2) {
    best = -1;
    lag = add(lag, 1);
  }
  *frac = best;
  return lag;
}

Word16 encode_pitch_lag(Word16 T0, Word16 frac, Word16* t0_min, Word16* t0_max,
                        Word16 subframe_start) {
  if (subframe_start != 0) {
    Word16 i = sub(T0, *t0_min);
    i = add(add(i, i), i);
    return add(add(i, 2), frac);
  }
  Word16 index;
  if (sub(T0, 85) <= 0)
    index = add(sub(add(add(T0, T0), T0), 58), frac);
  else
    index = add(T0, 112);
  *t0_min = sub(T0, 5);
  if (sub(*t0_min, PIT_MIN) < 0) *t0_min = PIT_MIN;
  *t0_max = add(*t0_min, 9);
  if (sub(*t0_max, PIT_MAX) > 0) {
    *t0_max = PIT_MAX;
    *t0_min = sub(*t0_max, 9);
  }
  return index;
}

Word16 encode_pitch_lag_64(Word16 T0, Word16 frac, Word16 t0_min) {
  Word16 rel = sub(T0, t0_min);
  Word16 thirds = add(add(add(rel, rel), rel), frac);
  if (sub(thirds, 9) <= 0) return rel;              // 0, 1, 2, 3
  if (sub(thirds, 17) <= 0) return sub(thirds, 6);  // 3 1/3 .. 5 2/3
  return add(rel, 6);                               // 6 .. 9
}

void convolve_subframe(const Word16* x, const Word16* h, Word16* y) {
  // With every product sum below 2^30 in magnitude no partial sum saturates;
  // L_shl by 3 then limits from 2^28 on.
  if (!encoder_reference_paths &&
      (int64_t)max_magnitude(x, SUBFRAME) * magnitude_sum(h, SUBFRAME) < (1 << 30)) {
#if defined(__SSE2__)
    // y[n] is the dot product of x with g from 39 - n on, g being h reversed
    // and followed by zeros: eight products at a time, the chunks past n
    // (all zero) left out.
    Word32 acc[SUBFRAME];
    Word16 g[2 * SUBFRAME] = {};
    for (int k = 0; k < SUBFRAME; k++) g[SUBFRAME - 1 - k] = h[k];
    for (int n = 0; n < SUBFRAME; n++) {
      __m128i sum = _mm_setzero_si128();
      for (int c = 0; 8 * c <= n; c++)
        sum = _mm_add_epi32(
            sum, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 8 * c)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + SUBFRAME - 1 -
                                                                                 n + 8 * c))));
      sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4e));
      sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xb1));
      acc[n] = _mm_cvtsi128_si32(sum);
    }
#else
    Word32 acc[SUBFRAME] = {};
    for (int i = 0; i < SUBFRAME; i++) {
      Word32 xi = x[i];
      for (int n = i; n < SUBFRAME; n++) acc[n] += xi * h[n - i];
    }
#endif
    for (int n = 0; n < SUBFRAME; n++) {
      Word32 s = acc[n];
      y[n] = s >= (1 << 27) ? MAX_16 : s < -(1 << 27) ? MIN_16 : (Word16)((s * 16) >> 16);
    }
    return;
  }
  for (int n = 0; n < SUBFRAME; n++) {
    Word32 s = 0;
    for (int i = 0; i <= n; i++) s = L_mac(s, x[i], h[n - i]);
    y[n] = extract_h(L_shl(s, 3));
  }
}

Word16 pitch_gain(const Word16* xn, const Word16* y1, Word16* g_coeff) {
  Word16 scaled[SUBFRAME];
  for (int i = 0; i < SUBFRAME; i++) scaled[i] = shr(y1[i], 2);

  Word16 exp_yy, yy, exp_xy, xy;
  Overflow = 0;
  Word32 s = 1;
  for (int i = 0; i < SUBFRAME; i++) s = L_mac(s, y1[i], y1[i]);
  if (Overflow == 0) {
    exp_yy = norm_l(s);
    yy = round(L_shl(s, exp_yy));
  } else {
    s = 1;
    for (int i = 0; i < SUBFRAME; i++) s = L_mac(s, scaled[i], scaled[i]);
    exp_yy = norm_l(s);
    yy = round(L_shl(s, exp_yy));
    exp_yy = sub(exp_yy, 4);
  }
  Overflow = 0;
  s = 0;
  for (int i = 0; i < SUBFRAME; i++) s = L_mac(s, xn[i], y1[i]);
  if (Overflow == 0) {
    exp_xy = norm_l(s);
    xy = round(L_shl(s, exp_xy));
  } else {
    s = 0;
    for (int i = 0; i < SUBFRAME; i++) s = L_mac(s, xn[i], scaled[i]);
    exp_xy = norm_l(s);
    xy = round(L_shl(s, exp_xy));
    exp_xy = sub(exp_xy, 2);
  }
  g_coeff[0] = yy;
  g_coeff[1] = sub(15, exp_yy);
  g_coeff[2] = xy;
  g_coeff[3] = sub(15, exp_xy);
  if (xy <= 0) {
    g_coeff[3] = -15;
    return 0;
  }
  Word16 gain = div_s(shr(xy, 1), yy);
  gain = shr(gain, sub(exp_xy, exp_yy));
  if (sub(gain, 19661) > 0) gain = 19661;  // 1.2
  return gain;
}

// Adaptive post-filter of a subframe and its helpers.
#include "postfilter.h"

#include "fast_paths.h"
#include "filters.h"
#include "ltp_postfilter.h"

// Unit gain from program start, as after a reset.
PostfilterState postfilter_state = {{}, {}, {}, {}, 16384};

void postfilter_reset() {
  PostfilterState& st = postfilter_state;
  st = PostfilterState{};
  // All zero (the current part of residual_history is written before it is
  // read, num_filter entries 0..30 for each subframe), and unit gain.
  st.agc_gain = 16384;
}

// rc0 from the response's energy and first correlation; plain tells that
// their sums may be formed plainly: every partial sum of both stays below
// 2 * largest * sum of magnitudes, which the caller found below 2^31.
static void reflection_from(const Word16* h, Word16* rc0, Word16 L, bool plain) {
  Word32 A0 = 0, A1 = 0;
  if (plain) {
    A0 = 2 * dot_product(h, h, L);
    A1 = 2 * dot_product(h, h + 1, L - 1);
  } else {
    for (int i = 0; i < L; i++) A0 = L_mac(A0, h[i], h[i]);
    for (int i = 0; i < L - 1; i++) A1 = L_mac(A1, h[i], h[i + 1]);
  }
  Word16 s = norm_l(A0);
  Word16 a0 = extract_h(L_shl(A0, s));
  Word16 a1 = extract_h(L_shl(A1, s));

  // a0 is never 0 for a response that starts at 1.0; the guard keeps a
  // degenerate filter from reaching a 0/0 division.
  if (sub(a0, abs_s(a1)) < 0 || a0 == 0) {
    *rc0 = 0;
    return;
  }
  Word16 r = div_s(abs_s(a1), a0);
  *rc0 = a1 > 0 ? negate(r) : r;
}

// The bound of reflection_from's plain sums from the response's largest
// magnitude and the sum of its magnitudes.
static bool reflection_sums_plain(Word16 L, Word32 peak, Word32 total) {
  return !decoder_reference_paths && L > 0 && (int64_t)total * peak < (1 << 30);
}

void first_reflection(const Word16* h, Word16* rc0, Word16 L) {
  bool plain = reflection_sums_plain(L, max_magnitude(h, L), magnitude_sum(h, L));
  reflection_from(h, rc0, L, plain);
}

// short_term_gain_control from the response h[0..response_length-1].
static void short_term_gain_from(const Word16* h, Word16* rc0, Word16* sig,
                                 Word16 response_length) {
  // At most 32 magnitudes of at most 32767: the sum never saturates. abs_s
  // counts -32768 as 32767; without it among the samples (largest magnitude
  // below 32768) the sum is the plain sum of magnitudes, which the first
  // reflection's bound needs as well.
  Word32 G = 0;
  if (!decoder_reference_paths && response_length > 0) {
    Word32 peak = max_magnitude(h, response_length);
    Word32 total = magnitude_sum(h, response_length);
    reflection_from(h, rc0, response_length, reflection_sums_plain(response_length, peak, total));
    G = total;
    if (peak > MAX_16)
      for (int i = 0; i < response_length; i++) G -= h[i] == MIN_16;
  } else {
    first_reflection(h, rc0, response_length);
    for (int i = 0; i < response_length; i++) G = L_add(G, L_deposit_l(abs_s(h[i])));
  }
  Word16 g0 = extract_h(L_shl(G, 14));  // Q10
  if (sub(g0, 1024) > 0) {
    Word16 f = div_s(1024, g0);
    if (!decoder_reference_paths) {
      // 0 <= f <= 32767: the rounded products never saturate.
      scaled_rounded(sig, f, 16384, 15, sig, SUBFRAME_SAMPLES);
    } else {
      for (int n = 0; n < SUBFRAME_SAMPLES; n++) sig[n] = mult_r(sig[n], f);
    }
  }
}

void short_term_gain_control(const Word16* num_filter, const Word16* den, Word16* rc0, Word16* sig,
                             Word16 response_length, Word16 m) {
  Word16 h[PF_MAX_RESPONSE];
  synthesis_filter(m, den, num_filter, h, response_length, postfilter_state.zero_memory, 0);
  short_term_gain_from(h, rc0, sig, response_length);
}

// The tilt filter's loop with its operators replaced by plain arithmetic:
// s[n+1] * 2^15 + 2 mu2 s[n] stays within +-2^31 (|mu2| <= 14746), the
// rounding sum too, and 2 t16 ginv + base as well (0 <= ginv <= 32767,
// base <= 16384); only the final limit to 16 bits acts.
// Both roundings then shrink to 16-bit products: (s[n+1] 2^15 + 2 mu2 s[n] +
// 2^14) >> 15 is s[n+1] + ((mu2 s[n] + 2^13) >> 14), and (2 t16 ginv + base)
// >> shift is (t16 ginv + base / 2) >> (shift - 1).
// (|mu2 s[n]| + 2^13) >> 14 is below 2^15: its limit to 16 bits never acts.
static void tilt_filter_wide(const Word16* s, Word16* out, Word16 mu2, Word16 ginv, Word16 base,
                             Word16 shift) {
  Word16 t16[SUBFRAME_SAMPLES];
  scaled_rounded(s, mu2, 0x2000, 14, t16, SUBFRAME_SAMPLES);
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) t16[n] = (Word16)(s[n + 1] + t16[n]);
  scaled_rounded(t16, ginv, (Word16)(base / 2), shift - 1, out, SUBFRAME_SAMPLES);
}

void tilt_compensation(const Word16* s, Word16* out, Word16 rc0) {
  Word16 mu, shift, base;
  if (rc0 > 0) {
    mu = mult_r(rc0, 6554);  // 0.2
    shift = 15;
    base = 16384;
  } else {
    mu = mult_r(rc0, 29491);  // 0.9
    shift = 12;
    base = 2048;
  }
  Word16 ga = add(32767, sub(1, abs_s(mu)));  // 1 - |mu|, Q15
  Word16 ginv = div_s(base, ga);
  Word16 mu2 = shr(mu, 1);
  if (!decoder_reference_paths) return tilt_filter_wide(s, out, mu2, ginv, base, shift);
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) {
    Word32 t = L_mac(L_shl(L_deposit_l(s[n + 1]), 15), mu2, s[n]);
    Word16 t16 = extract_l(L_shr(L_add(t, 16384), 15));
    out[n] = sature(L_shr(L_add(L_mult(t16, ginv), base), shift));
  }
}

// Sum of |x[n]| over the 40 samples, accumulated with L_add; 40 magnitudes
// of at most 32768 never saturate it, so the fast form is the plain sum.
static Word32 magnitude_sum40(const Word16* x) {
  if (!decoder_reference_paths) return magnitude_sum(x, SUBFRAME_SAMPLES);
  Word32 S = 0;
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) S = L_add(S, L_abs(L_deposit_l(x[n])));
  return S;
}

// The gain control's loop with flag-free operators: mult_r(32358, gain)
// cannot saturate, and round(L_shl(L_mult(gain, x), 1)) is the rounding of
// the exact 4 gain x with the limits of the operators.
// The rounding of 4 gain x is (gain x + 2^13) >> 14, limited to 16 bits; the
// product of two 16-bit values fits in 32 bits, and the one product that
// L_mult limits, (-32768)^2, rounds to 32767 either way.
static void apply_gain_wide(Word16* out, Word16 g0, Word16* agc_gain) {
  Word16 gains[SUBFRAME_SAMPLES];
  Word32 gain = *agc_gain;
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) {
    gain = saturate16(((32358 * gain + 16384) >> 15) + g0);
    gains[n] = (Word16)gain;
  }
  products_rounded(out, gains, 0x2000, 14, out, SUBFRAME_SAMPLES);
  *agc_gain = (Word16)gain;
}

void gain_control(const Word16* speech, Word16* out, Word16* agc_gain) {
  Word16 g0 = 0;
  Word32 Sin = magnitude_sum40(speech);
  if (Sin != 0) {
    Word16 si = norm_l(Sin);
    Word16 gin = extract_h(L_shl(Sin, si));
    Word32 Sout = magnitude_sum40(out);
    if (Sout == 0) {
      *agc_gain = 0;
      return;
    }
    Word16 so = norm_l(Sout);
    Word16 gout = extract_h(L_shl(Sout, so));
    Word16 e = sub(add(si, 1), so);
    Word16 g;
    if (sub(gin, gout) < 0) {
      g = div_s(gin, gout);
    } else {
      g = add(shr(div_s(sub(gin, gout), gout), 1), 16384);
      e = sub(e, 1);
    }
    g0 = mult_r(shr(g, e), 410);  // Sin / Sout in Q14, times 0.0125
  }

  if (!decoder_reference_paths) return apply_gain_wide(out, g0, agc_gain);
  Word16 gain = *agc_gain;
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) {
    gain = add(mult_r(32358, gain), g0);  // 0.9875 gain + 0.0125 ratio
    out[n] = round(L_shl(L_mult(gain, out[n]), 1));
  }
  *agc_gain = gain;
}

// A subframe's bandwidth-expanded filters A(z/gd) and A(z/gn) (zeros after
// the order), and the truncated impulse response of their quotient where it
// was found in advance.
struct SubframeFilters {
  Word16 den[PF_MAX_RESPONSE];
  Word16 num[PF_MAX_RESPONSE];
  Word16 response[PF_MAX_RESPONSE];
  bool have_response;
};

static void expand_filters(const Word16* lpc, Word16 den_weight, Word16 num_weight, Word16 order,
                           SubframeFilters* f) {
  weight_lpc(lpc, den_weight, order, f->den);
  weight_lpc(lpc, num_weight, order, f->num);
  for (int i = order + 1; i < PF_MAX_RESPONSE; i++) f->num[i] = 0;
  f->have_response = false;
}

// The limits the work buffers are made for; the decoder uses 10 and 20 or 32.
static void limit_sizes(Word16* order, Word16* response_length) {
  if (*order < 0) *order = 0;
  if (*order > PF_MAX_ORDER) *order = PF_MAX_ORDER;
  if (*response_length < 0) *response_length = 0;
  if (*response_length > PF_MAX_RESPONSE) *response_length = PF_MAX_RESPONSE;
}

static void postfilter_with(Word16 delay, const Word16* speech, Word16* out, Word16* voicing,
                            Word16 pitch_weight, Word16 response_length, Word16 order,
                            Word16 frame_type, const SubframeFilters& f) {
  PostfilterState& st = postfilter_state;
  for (int i = 0; i <= PF_MAX_ORDER; i++) st.num_filter[i] = f.num[i];

  Word16* residual = st.residual_history + PF_HISTORY;
  residual_filter(order, st.num_filter, speech, residual, SUBFRAME_SAMPLES);

  // Long-term output with the previous subframe's last output in front.
  Word16 ltp_buffer[1 + SUBFRAME_SAMPLES];
  Word16* ltp = ltp_buffer + 1;
  if (sub(frame_type, 1) > 0) {
    long_term_postfilter(delay, residual, ltp, voicing, pitch_weight);
  } else {
    *voicing = 0;
    for (int n = 0; n < SUBFRAME_SAMPLES; n++) ltp[n] = residual[n];
  }
  ltp[-1] = st.pf_synth_memory[PF_MAX_ORDER - 1];

  Word16 rc0;
  if (f.have_response)
    short_term_gain_from(f.response, &rc0, ltp, response_length);
  else
    short_term_gain_control(st.num_filter, f.den, &rc0, ltp, response_length, order);
  synthesis_filter(order, f.den, ltp, ltp, SUBFRAME_SAMPLES,
                   st.pf_synth_memory + PF_MAX_ORDER - order, 0);
  for (int i = 0; i < PF_MAX_ORDER; i++)
    st.pf_synth_memory[i] = ltp[SUBFRAME_SAMPLES - PF_MAX_ORDER + i];

  tilt_compensation(ltp - 1, out, rc0);
  gain_control(speech, out, &st.agc_gain);

  for (int i = 0; i < PF_HISTORY; i++)
    st.residual_history[i] = st.residual_history[i + SUBFRAME_SAMPLES];
}

void postfilter_subframe(Word16 delay, const Word16* speech, const Word16* lpc, Word16* out,
                         Word16* voicing, Word16 den_weight, Word16 num_weight, Word16 pitch_weight,
                         Word16 response_length, Word16 order, Word16 frame_type) {
  limit_sizes(&order, &response_length);
  SubframeFilters f;
  expand_filters(lpc, den_weight, num_weight, order, &f);
  postfilter_with(delay, speech, out, voicing, pitch_weight, response_length, order, frame_type, f);
}

void postfilter_frame(Word16 delay, const Word16* speech, const Word16* lpc, Word16 lpc_words,
                      Word16* out, Word16 den_weight, Word16 num_weight, Word16 pitch_weight,
                      Word16 response_length, Word16 order, Word16 frame_type) {
  limit_sizes(&order, &response_length);
  SubframeFilters f[2];
  for (int k = 0; k < 2; k++)
    expand_filters(lpc + lpc_words * k, den_weight, num_weight, order, &f[k]);
  // The responses depend on the subframes' filters alone: both at once, where
  // neither synthesis saturates.
  if (!decoder_reference_paths && order == 10) {
    const Word16* zero = postfilter_state.zero_memory;
    bool both = synthesis_filter_pair({f[0].den, f[0].num, zero, f[0].response},
                                      {f[1].den, f[1].num, zero, f[1].response}, response_length);
    f[0].have_response = f[1].have_response = both;
  }
  for (int k = 0; k < 2; k++) {
    Word16 voicing;
    postfilter_with(delay, speech + SUBFRAME_SAMPLES * k, out + SUBFRAME_SAMPLES * k, &voicing,
                    pitch_weight, response_length, order, frame_type, f[k]);
  }
}

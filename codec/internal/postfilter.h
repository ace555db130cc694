// Adaptive post-filter of one 40-sample subframe: the numerator A(z/gn)
// forms a residual, the long-term post-filter emphasises its pitch, the
// residual is scaled down where the short-term filter would amplify and goes
// through 1/A(z/gd), a first-order filter compensates the spectral tilt, and
// an adaptive gain control restores the level of the unfiltered speech.
#pragma once

#include "codec/basicop/basicop.h"
#include "codec/decoder.h"

constexpr int PF_MAX_ORDER = 30;
constexpr int PF_MAX_RESPONSE = 32;  // longest truncated impulse response
constexpr int PF_HISTORY = 152;      // past residual samples kept

// Kept from subframe to subframe, across frames and blocks; everything is
// set by postfilter_reset.
struct PostfilterState {
  Word16 num_filter[PF_MAX_RESPONSE];                      // A(z/gn), Q12: 0..order, then zeros
  Word16 pf_synth_memory[PF_MAX_ORDER];                    // last 1/A(z/gd) outputs, oldest first
  Word16 residual_history[PF_HISTORY + SUBFRAME_SAMPLES];  // past residual, then current
  Word16 zero_memory[PF_MAX_ORDER];                        // always zero: impulse-response memory
  Word16 agc_gain;  // Q14, gain control at the end of the last subframe
};

extern PostfilterState postfilter_state;

// Sets every field of postfilter_state to its start value.
void postfilter_reset();

// Post-filters one subframe. speech: the 40 decoded samples, preceded in
// memory by at least `order` earlier ones (read only). lpc: order + 1
// coefficients, Q12. out: 40 results, not overlapping speech. *voicing: the
// long-term filter's delay, 0 when it is off or bypassed. den_weight and
// num_weight: gd and gn, Q15; pitch_weight: long-term weight, Q15;
// response_length: impulse-response length, at most 32; order: at most 30;
// frame_type: the long-term stage runs only above 1.
void postfilter_subframe(Word16 delay, const Word16* speech, const Word16* lpc, Word16* out,
                         Word16* voicing, Word16 den_weight, Word16 num_weight, Word16 pitch_weight,
                         Word16 response_length, Word16 order, Word16 frame_type);

// postfilter_subframe for the two subframes of a frame: speech and out of 80
// samples, the second subframe's filter lpc_words words after the first's.
void postfilter_frame(Word16 delay, const Word16* speech, const Word16* lpc, Word16 lpc_words,
                      Word16* out, Word16 den_weight, Word16 num_weight, Word16 pitch_weight,
                      Word16 response_length, Word16 order, Word16 frame_type);

// Scales sig[0..39] down by the absolute sum of the first response_length
// samples of the impulse response of num_filter / den (order m) when that
// sum exceeds 1.0, and gives the response's first reflection coefficient in
// *rc0 (Q15). num_filter holds PF_MAX_RESPONSE words, zero beyond m.
void short_term_gain_control(const Word16* num_filter, const Word16* den, Word16* rc0, Word16* sig,
                             Word16 response_length, Word16 m);

// First reflection coefficient -r1/r0 (Q15) of the autocorrelation of
// h[0..L-1]; 0 when |r1| > r0.
void first_reflection(const Word16* h, Word16* rc0, Word16 L);

// out[n] = (s[n+1] + mu * s[n]) / (1 - |mu|) for n = 0..39, with mu = 0.2 rc0
// for a positive rc0, 0.9 rc0 otherwise. s[0] is the sample before the
// subframe.
void tilt_compensation(const Word16* s, Word16* out, Word16 rc0);

// Brings out[0..39] towards the level of speech[0..39], the gain *agc_gain
// (Q14) following the level ratio smoothly from sample to sample.
void gain_control(const Word16* speech, Word16* out, Word16* agc_gain);

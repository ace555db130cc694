// Pitch analysis of the encoder: the open-loop estimate on the weighted
// speech of the frame, the closed-loop fractional search around it in each
// subframe (1/3-sample resolution), the delay index, and the adaptive
// codebook gain.
#pragma once

#include "codec/basicop/basicop.h"

const Word16 PIT_MIN = 20;
const Word16 PIT_MAX = 143;

// Open-loop pitch delay (PIT_MIN..PIT_MAX) of wsp[0..length-1], which must
// have PIT_MAX samples of history before it. Favours short delays over
// their multiples.
Word16 open_loop_pitch(const Word16* wsp, Word16 length);

// Closed-loop search over t0_min..t0_max: the delay maximising the
// normalised correlation of the target xn with the past excitation filtered
// by h (Q12), refined to thirds of a sample (no fraction in the first
// subframe above 84). exc points at the subframe in the excitation buffer
// (at least t0_max + 5 samples of history); its own 40 samples are read for
// delays shorter than the subframe. `coarse` (the 6.4 kbit/s second
// subframe) allows fractions only where its 4-bit index has them. Returns
// the delay, *frac in -1..1.
Word16 closed_loop_pitch(const Word16* exc, const Word16* xn, const Word16* h, Word16 t0_min,
                         Word16 t0_max, Word16 subframe_start, bool coarse, Word16* frac);

// The delay index of a subframe (8 bits in the first, 5 bits relative to
// *t0_min in the second); the first subframe also sets the search range
// *t0_min..*t0_max of the second.
Word16 encode_pitch_lag(Word16 T0, Word16 frac, Word16* t0_min, Word16* t0_max,
                        Word16 subframe_start);

// The 4-bit index of the 6.4 kbit/s second subframe relative to t0_min:
// 0..3, then thirds from 3 1/3 to 5 2/3, then 6..9.
Word16 encode_pitch_lag_64(Word16 T0, Word16 frac, Word16 t0_min);

// y[n] = sum over i <= n of x[i] h[n - i] (h Q12), n = 0..39.
void convolve_subframe(const Word16* x, const Word16* h, Word16* y);

// Adaptive codebook gain xn.y1 / y1.y1 in Q14, limited to 0..1.2; fills
// g_coeff with y1.y1, its exponent, xn.y1 and its exponent for the gain
// quantiser.
Word16 pitch_gain(const Word16* xn, const Word16* y1, Word16* g_coeff);

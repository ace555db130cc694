// LP analysis of the encoder: the asymmetric window and autocorrelation, the
// lag window, Levinson-Durbin recursion, LPC -> LSP conversion by the root
// search on the cosine grid, and the interpolation of the unquantised LSPs.
#pragma once

#include "codec/basicop/basicop.h"

const Word16 LP_WINDOW_LENGTH = 240;  // samples under the analysis window

struct LevinsonState {
  Word16 old_a[11];  // last stable filter, Q12, used when a recursion turns unstable
  Word16 old_rc[2];  // its first two reflection coefficients, Q15
};

extern LevinsonState levinson_state;

void reset_lp_analysis();

// Windowed autocorrelation r[0..10] of x[0..239] as DPF halves (r_h, r_l),
// normalised. The white-noise correction (r[0] times 1.0001) is applied by
// the lag window, whose entries carry the factor 1 / 1.0001.
void lp_autocorrelation(const Word16* x, Word16* r_h, Word16* r_l);

// Multiplies r[1..10] by the lag window, in place.
void lp_lag_window(Word16* r_h, Word16* r_l);

// Levinson-Durbin: a[0..10] (Q12, a[0] = 4096) and the reflection
// coefficients rc[0..9] (Q15) from r. Falls back on the last stable filter.
void levinson(const Word16* r_h, const Word16* r_l, Word16* a, Word16* rc);

// a[0..10] (Q12) -> 10 LSPs (Q15); old_lsp is used when fewer than 10 roots
// are found. (In lsp_roots.cpp.)
void lpc_to_lsp(const Word16* a, Word16* lsp, const Word16* old_lsp);

// The unquantised filter of the first subframe from the mid-point of old_lsp
// and new_lsp (a_first, 11 words Q12), and the LSFs of that mid-point
// (lsf_int) and of new_lsp (lsf_new) on the 0..0.5 normalised frequency
// scale (Q15) for the weighting adaptation.
void interpolate_unquantized(const Word16* old_lsp, const Word16* new_lsp, Word16* a_first,
                             Word16* lsf_int, Word16* lsf_new);

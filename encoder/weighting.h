// Adaptive perceptual weighting: the bandwidth-expansion factors gamma1 and
// gamma2 of W(z) = A(z/gamma1) / A(z/gamma2) for both subframes, from the
// spectral tilt (log-area ratios of the first two reflection coefficients,
// with hysteresis) and the smallest distance between neighbouring LSFs.
#pragma once

#include "codec/basicop/basicop.h"

struct WeightingState {
  Word16 flat;        // 1: flat spectrum (fixed factors), 0: tilted (adaptive gamma2)
  Word16 lar_old[2];  // log-area ratios of the previous frame, Q11
};

extern WeightingState weighting_state;

void reset_weighting();

// lsf_int, lsf_new: LSFs of subframes 1 and 2 on the 0..0.5 scale (Q15);
// rc: the frame's reflection coefficients (Q15). Writes gamma1[0..1] and
// gamma2[0..1] (Q15).
void adapt_weighting(const Word16* lsf_int, const Word16* lsf_new, const Word16* rc, Word16* gamma1,
                     Word16* gamma2);

// The switch between the encoder's fast paths and its exact reference paths.
//
// As in the decoder, every hot loop keeps its exact form, which applies the
// saturating operators one after the other, and gains a fast form that gives
// the same result bit for bit where a bound on its inputs proves that no
// partial sum can saturate; where the bound fails, the exact form runs.
// Fast forms never write Overflow; the encoder reads the flag only right
// after clearing it for the loop whose saturation it tests.
#pragma once

#include <cstdint>

#include "codec/basicop/basicop.h"

#include "fast_paths.h"

// True while the encoder takes only its exact reference forms.
extern bool encoder_reference_paths;

// Sum of x[i]^2 over n samples, exactly.
static inline int64_t energy64(const Word16* x, int n) {
  int64_t e = 0;
  for (int i = 0; i < n; i++) e += x[i] * x[i];
  return e;
}

// Sum of x[i] * y[i] over n terms doubled, as L_mac accumulates it, for sums
// whose partial sums the caller knows to stay within 32 bits.
static inline Word32 plain_mac(const Word16* x, const Word16* y, int n) {
  Word32 s = 0;
  for (int i = 0; i < n; i++) s += x[i] * y[i];
  return (Word32)((uint32_t)s * 2u);
}

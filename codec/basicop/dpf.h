// Double-precision format: a 32-bit value L carried as two 16-bit halves,
// hi = L >> 16 and lo = (L - hi * 65536) >> 1, so L = hi * 65536 + 2 * lo
// (the lowest bit is dropped; lo is in 0..32767).
#pragma once

#include "codec/basicop/basicop.h"

// L -> (hi, lo).
static inline void dpf_split(Word32 L, Word16* hi, Word16* lo) {
  *hi = extract_h(L);
  *lo = extract_l(L_msu(L_shr(L, 1), *hi, 16384));
}

// (hi, lo) -> hi * 65536 + 2 * lo.
static inline Word32 dpf_join(Word16 hi, Word16 lo) { return L_mac(L_deposit_h(hi), lo, 1); }

// Product of two DPF values in Q31; the lo * lo term is not formed.
static inline Word32 dpf_mpy(Word16 hi1, Word16 lo1, Word16 hi2, Word16 lo2) {
  Word32 L = L_mult(hi1, hi2);
  L = L_mac(L, mult(hi1, lo2), 1);
  return L_mac(L, mult(lo1, hi2), 1);
}

// Product of a DPF value and a 16-bit value in Q31.
static inline Word32 dpf_mpy16(Word16 hi, Word16 lo, Word16 n) {
  Word32 L = L_mult(hi, n);
  return L_mac(L, mult(lo, n), 1);
}

// N / D in Q31 for a denominator D = (dhi, dlo) with 0.5 <= D < 1 and
// 0 <= N < D: one Newton step on div_s's first approximation of 1/D.
Word32 dpf_div(Word32 N, Word16 dhi, Word16 dlo);

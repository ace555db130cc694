// Table-driven base-2 logarithm, power of two and inverse square root, and
// the 16-bit pseudo-random generator, all in the fixed-point operators.
#pragma once

#include "codec/basicop/basicop.h"

// log2(L) ~= exponent + fraction / 32768 for L > 0 (exponent 0..30,
// fraction Q15); L <= 0 gives 0, 0.
void L_log2(Word32 L, Word16* exponent, Word16* fraction);

// 2^(exponent + fraction / 32768), exponent 0..30, fraction Q15.
Word32 L_pow2(Word16 exponent, Word16 fraction);

// 1 / sqrt(L) in Q30 (2^30 / sqrt(L)); L <= 0 gives 0x3FFFFFFF.
Word32 L_inv_sqrt(Word32 L);

// seed = seed * 31821 + 13849 modulo 2^16 (signed); returns the new seed.
Word16 next_random(Word16* seed);

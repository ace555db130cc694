// Arithmetic helpers shared by the effect families (private to effects/).
#pragma once

#include <cstdint>

// 32-bit product, sum and difference that wrap modulo 2^32 as the effects'
// 32-bit integers do; computed through unsigned, so no signed overflow.
static inline int32_t wrapMul32(int32_t a, int32_t b) {
  return (int32_t)((uint32_t)a * (uint32_t)b);
}
static inline int32_t wrapAdd32(int32_t a, int32_t b) {
  return (int32_t)((uint32_t)a + (uint32_t)b);
}
static inline int32_t wrapSub32(int32_t a, int32_t b) {
  return (int32_t)((uint32_t)a - (uint32_t)b);
}

// A float or double made an integer: truncated toward zero. Values beyond
// the 32-bit range saturate to INT32_MIN / INT32_MAX and NaN gives 0, where a
// plain cast would be undefined. With 16-bit input and the preset gains the
// effects never come near that range; the guard is for corrupted state only.
static inline int32_t truncToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483648.0) return INT32_MAX;
  if (v <= -2147483649.0) return INT32_MIN;
  return (int32_t)v;
}

// Saturating 16/32-bit fixed-point operators under their ITU-T names.
//
// Every operator states its operand widths, saturation and rounding. The
// global `Overflow` flag is set by every saturation of sature (and so add,
// sub, mult, mult_r), shl, L_mult, L_add, L_sub (and so L_mac, L_msu, round)
// and L_shl; only sature clears it, when it does not limit.
//
// No operator relies on signed overflow or shifts a negative value left:
// products are formed in 32 or 64 bits, wrap-around goes through unsigned.
// Right shifts of negative values are arithmetic (implementation-defined in
// C++17, arithmetic on every compiler we build with).
#pragma once

#include <cstdint>

typedef int16_t Word16;
typedef int32_t Word32;
typedef int Flag;

#define MAX_16 ((Word16)0x7fff)
#define MIN_16 ((Word16)-32768)
#define MAX_32 ((Word32)0x7fffffff)
#define MIN_32 ((Word32)(-2147483647 - 1))

// Set by every saturation, cleared only by a sature() that does not limit.
extern Flag Overflow;

// 32-bit sum/difference that wraps modulo 2^32 (no signed overflow).
static inline Word32 wrap_add32(Word32 a, Word32 b) { return (Word32)((uint32_t)a + (uint32_t)b); }
static inline Word32 wrap_sub32(Word32 a, Word32 b) { return (Word32)((uint32_t)a - (uint32_t)b); }

// 32 -> 16 bits, limited to [-32768, 32767]; clears Overflow when in range.
static inline Word16 sature(Word32 L) {
  if (L > 0x7fff) {
    Overflow = 1;
    return MAX_16;
  }
  if (L < -32768) {
    Overflow = 1;
    return MIN_16;
  }
  Overflow = 0;
  return (Word16)L;
}

// 16 + 16 -> 16, saturated.
static inline Word16 add(Word16 a, Word16 b) { return sature((Word32)a + b); }

// 16 - 16 -> 16, saturated.
static inline Word16 sub(Word16 a, Word16 b) { return sature((Word32)a - b); }

// |a| in 16 bits; -32768 gives 32767. Flag untouched.
static inline Word16 abs_s(Word16 a) {
  if (a == MIN_16) return MAX_16;
  return a < 0 ? (Word16)-a : a;
}

// -a in 16 bits; -32768 gives 32767. Flag untouched.
static inline Word16 negate(Word16 a) { return a == MIN_16 ? MAX_16 : (Word16)-a; }

static inline Word16 shl(Word16 a, Word16 n);

// Arithmetic right shift of 16 bits (toward minus infinity); negative n
// shifts left. n >= 15 gives 0 or -1. Flag untouched.
static inline Word16 shr(Word16 a, Word16 n) {
  if (n < 0) return shl(a, (Word16)(n == MIN_16 ? MAX_16 : -n));
  if (n >= 15) return a < 0 ? (Word16)-1 : (Word16)0;
  return (Word16)(a >> n);
}

// Left shift of 16 bits, saturated; negative n shifts right.
static inline Word16 shl(Word16 a, Word16 n) {
  if (n < 0) return shr(a, (Word16)(n == MIN_16 ? MAX_16 : -n));
  if (n > 15) {
    if (a == 0) return 0;
    Overflow = 1;
    return a > 0 ? MAX_16 : MIN_16;
  }
  Word32 p = (Word32)a * ((Word32)1 << n);
  if (p != (Word16)p) {
    Overflow = 1;
    return a > 0 ? MAX_16 : MIN_16;
  }
  return (Word16)p;
}

// (a * b) >> 15 in Q15, truncated; only (-32768)*(-32768) saturates.
static inline Word16 mult(Word16 a, Word16 b) { return sature(((Word32)a * b) >> 15); }

// (a * b + 2^14) >> 15 in Q15, rounded; saturated.
static inline Word16 mult_r(Word16 a, Word16 b) { return sature(((Word32)a * b + 16384) >> 15); }

// 2 * a * b in 32 bits; (-32768)*(-32768) saturates to MAX_32.
static inline Word32 L_mult(Word16 a, Word16 b) {
  Word32 p = (Word32)a * b;
  if (p == 0x40000000) {
    Overflow = 1;
    return MAX_32;
  }
  return p * 2;
}

// 32 + 32 -> 32, saturated; sets but never clears Overflow.
static inline Word32 L_add(Word32 A, Word32 B) {
  Word32 s = wrap_add32(A, B);
  if (((A ^ B) & MIN_32) == 0 && ((s ^ A) & MIN_32) != 0) {
    Overflow = 1;
    return A < 0 ? MIN_32 : MAX_32;
  }
  return s;
}

// 32 - 32 -> 32, saturated; sets but never clears Overflow.
static inline Word32 L_sub(Word32 A, Word32 B) {
  Word32 s = wrap_sub32(A, B);
  if (((A ^ B) & MIN_32) != 0 && ((s ^ A) & MIN_32) != 0) {
    Overflow = 1;
    return A < 0 ? MIN_32 : MAX_32;
  }
  return s;
}

// A + 2*a*b, each step saturated.
static inline Word32 L_mac(Word32 A, Word16 a, Word16 b) { return L_add(A, L_mult(a, b)); }

// A - 2*a*b, each step saturated.
static inline Word32 L_msu(Word32 A, Word16 a, Word16 b) { return L_sub(A, L_mult(a, b)); }

// -A in 32 bits; MIN_32 gives MAX_32. Flag untouched.
static inline Word32 L_negate(Word32 A) { return A == MIN_32 ? MAX_32 : -A; }

// |A| in 32 bits; MIN_32 gives MAX_32. Flag untouched.
static inline Word32 L_abs(Word32 A) {
  if (A == MIN_32) return MAX_32;
  return A < 0 ? -A : A;
}

static inline Word32 L_shl(Word32 A, Word16 n);

// Arithmetic right shift of 32 bits; negative n shifts left. n >= 31 gives
// 0 or -1. Flag untouched.
static inline Word32 L_shr(Word32 A, Word16 n) {
  if (n < 0) return L_shl(A, (Word16)(n == MIN_16 ? MAX_16 : -n));
  if (n >= 31) return A < 0 ? -1 : 0;
  return A >> n;
}

// Left shift of 32 bits, saturated (as n doublings, each limited); n <= 0
// shifts right.
static inline Word32 L_shl(Word32 A, Word16 n) {
  if (n <= 0) return L_shr(A, (Word16)(n == MIN_16 ? MAX_16 : -n));
  if (A == 0) return 0;
  if (n < 32) {
    int64_t p = (int64_t)A * ((int64_t)1 << n);
    if (p >= MIN_32 && p <= MAX_32) return (Word32)p;
  }
  Overflow = 1;
  return A < 0 ? MIN_32 : MAX_32;
}

// Right shift of 16 bits rounded to nearest (ties up); n > 15 gives 0.
static inline Word16 shr_r(Word16 a, Word16 n) {
  if (n > 15) return 0;
  Word16 r = shr(a, n);
  if (n > 0 && (a & (1 << (n - 1))) != 0) r++;
  return r;
}

// Right shift of 32 bits rounded to nearest (ties up); n > 31 gives 0.
static inline Word32 L_shr_r(Word32 A, Word16 n) {
  if (n > 31) return 0;
  Word32 r = L_shr(A, n);
  if (n > 0 && (((uint32_t)A >> (n - 1)) & 1u) != 0) r++;
  return r;
}

// High 16 bits of a 32-bit value (arithmetic).
static inline Word16 extract_h(Word32 A) { return (Word16)(A >> 16); }

// Low 16 bits of a 32-bit value.
static inline Word16 extract_l(Word32 A) { return (Word16)(uint16_t)(uint32_t)A; }

// High half of A + 2^15, saturated: a 32-bit value rounded to 16 bits.
static inline Word16 round(Word32 A) { return extract_h(L_add(A, 0x8000)); }

// a * 65536.
static inline Word32 L_deposit_h(Word16 a) { return (Word32)a * 65536; }

// a sign-extended to 32 bits.
static inline Word32 L_deposit_l(Word16 a) { return a; }

// Left shifts that normalise a 16-bit value into [0x4000, 0x7fff] (or its
// negative counterpart); 0 gives 0 and -1 gives 15.
static inline Word16 norm_s(Word16 a) {
  if (a == 0) return 0;
  if (a == -1) return 15;
  uint32_t v = (uint32_t)(a < 0 ? ~a : a);
  return (Word16)(__builtin_clz(v) - 17);
}

// Left shifts that normalise a 32-bit value into [0x40000000, 0x7fffffff]
// (or its negative counterpart); 0 gives 0 and -1 gives 31.
static inline Word16 norm_l(Word32 A) {
  if (A == 0) return 0;
  if (A == -1) return 31;
  uint32_t v = (uint32_t)(A < 0 ? ~A : A);
  return (Word16)(__builtin_clz(v) - 1);
}

// div_s for every operand: the exact long division (whose steps clear
// Overflow, as add does), a == b and the invalid operands (basicop.cpp).
Word16 div_s_general(Word16 a, Word16 b);

// a / b in Q15 for 0 <= a <= b, b > 0; a == b gives 32767. Invalid
// operands print a diagnostic line and yield a bounded value (see basicop.cpp).
// For 0 <= a < b the fifteen steps of the long division give
// floor(a 2^15 / b), which one division gives inline. Flag untouched.
static inline Word16 div_s(Word16 a, Word16 b) {
  if (a >= 0 && a < b) return (Word16)(((Word32)a << 15) / b);
  return div_s_general(a, b);
}

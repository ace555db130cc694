#include "codec/basicop/basicop.h"

#include "codec/basicop/diagnostics.h"

#include <cstdio>

Flag Overflow = 0;

// Operands outside 0 <= a <= b, b > 0 are reported on the diagnostic line.
// The decoder then goes on with the nearest meaningful quotient instead of
// ending the process: a > b or b == 0 gives the full-scale 32767, a negative
// operand gives 0. A damaged message therefore cannot stop the player.
static Word16 div_s_invalid(Word16 a, Word16 b) {
  char line[64];
  if (a > b || a < 0 || b < 0) {
    std::snprintf(line, sizeof line, "Division Error var1=%d  var2=%d\n", a, b);
    decoder_message(line);
    if (a < 0 || b < 0) return 0;
    return MAX_16;
  }
  decoder_message("Division by 0, Fatal error \n");
  return MAX_16;
}

Word16 div_s_general(Word16 a, Word16 b) {
  if (a > b || a < 0 || b <= 0) return div_s_invalid(a, b);
  if (a == 0) return 0;
  if (a == b) return MAX_16;
  // Binary long division: the quotient is floor(a * 2^15 / b) for 0 < a < b.
  Word32 num = a, den = b;
  Word16 result = 0;
  for (int i = 0; i < 15; i++) {
    num <<= 1;
    result = (Word16)(result << 1);
    if (num >= den) {
      num = L_sub(num, den);
      result = add(result, 1);
    }
  }
  return result;
}

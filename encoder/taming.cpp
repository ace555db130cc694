#include "encoder/taming.h"

#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"

TamingState taming_state;

namespace {

const Word16 SUBFRAME = 40;
const Word16 INTERP_SPAN = 10;         // reach of the interpolation filter
const Word32 THRESH_ERR = 983040000L;  // 60000.0, Q14
const Word32 ONE_Q14 = 0x00004000L;

// 1 + gain * err, Q14.
Word32 grown_error(Word32 err, Word16 gain_pit) {
  Word16 hi, lo;
  dpf_split(err, &hi, &lo);
  return L_add(ONE_Q14, L_shl(dpf_mpy16(hi, lo, gain_pit), 1));
}

}  // namespace

void reset_taming() {
  for (int i = 0; i < 4; i++) taming_state.exc_err[i] = ONE_Q14;
}

Word16 taming_needed(Word16 T0, Word16 frac) {
  Word16 t1 = frac > 0 ? add(T0, 1) : T0;
  Word16 i = sub(t1, SUBFRAME + INTERP_SPAN);
  if (i < 0) i = 0;
  Word16 zone1 = TAMING_ZONE[i];
  Word16 zone2 = TAMING_ZONE[add(t1, INTERP_SPAN - 2)];
  Word32 max = -1L;
  for (Word16 z = zone2; z >= zone1; z--)
    if (L_sub(taming_state.exc_err[z], max) > 0L) max = taming_state.exc_err[z];
  return L_sub(max, THRESH_ERR) > 0L ? 1 : 0;
}

void update_taming(Word16 gain_pit, Word16 T0) {
  Word32* err = taming_state.exc_err;
  Word32 worst = -1L;
  Word16 n = sub(T0, SUBFRAME);
  if (n < 0) {
    // The delay reads the subframe itself: the error grows twice.
    Word32 e = grown_error(err[0], gain_pit);
    if (L_sub(e, worst) > 0L) worst = e;
    e = grown_error(e, gain_pit);
    if (L_sub(e, worst) > 0L) worst = e;
  } else {
    Word16 zone1 = TAMING_ZONE[n];
    Word16 zone2 = TAMING_ZONE[sub(T0, 1)];
    for (Word16 z = zone1; z <= zone2; z++) {
      Word32 e = grown_error(err[z], gain_pit);
      if (L_sub(e, worst) > 0L) worst = e;
    }
  }
  for (int i = 3; i >= 1; i--) err[i] = err[i - 1];
  err[0] = worst;
}

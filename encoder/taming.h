// Taming: guards against the unbounded build-up of the adaptive-codebook
// contribution when the pitch gain stays near 1 over delays that feed back
// into each other. A running worst-case error of the excitation is kept in
// four zones of delay; when the zone that a delay reads from is above a
// threshold, the pitch gain is limited.
#pragma once

#include "codec/basicop/basicop.h"

struct TamingState {
  Word32 exc_err[4];  // worst excitation error per delay zone, Q14
};

extern TamingState taming_state;

void reset_taming();

// 1 when the delay T0 + frac/3 reads from a zone whose error is too high.
Word16 taming_needed(Word16 T0, Word16 frac);

// Advances the zone errors after a subframe with pitch gain gain_pit (Q14)
// at integer delay T0.
void update_taming(Word16 gain_pit, Word16 T0);

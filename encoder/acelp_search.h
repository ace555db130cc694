// Algebraic codebook search of the 8 kbit/s mode: four signed pulses, one on
// each of the tracks 0, 1, 2 and one on track 3 or 4, chosen by a nested
// search that enters its last level only above a threshold and stops after
// a budget of such entries shared by the two subframes of a frame.
#pragma once

#include "codec/basicop/basicop.h"

struct AcelpSearchState {
  Word16 extra;  // entries of the last level the first subframe left unused
};

extern AcelpSearchState acelp_search_state;

// Target x and impulse response h (Q12, sharpened in place by the pitch
// contribution when T0 < 40), sharpening factor `sharp` (Q14): writes the
// innovation code (Q13, sharpened), its filtered form y (Q12), *sign (4 bits)
// and returns the 13-bit position index.
Word16 acelp_search_80(const Word16* x, Word16* h, Word16 T0, Word16 sharp, Word16 subframe_start,
                       Word16* code, Word16* y, Word16* sign);

// Algebraic codebook search of the 11.8 kbit/s mode: ten unit pulses, two on
// each of the five tracks, coded in 7 bits a track. Each round starts on the
// best positions of two neighbouring tracks and adds the other eight pulses
// a pair at a time, each pair searched jointly over its two tracks; three of
// the five rounds are searched, those with the strongest starting pairs, and
// the best of them is kept.
#pragma once

#include "codec/basicop/basicop.h"

// Target x, the residual after the pitch contribution res (which sets the
// pulse signs) and the impulse response h (Q12, sharpened in place by the
// pitch contribution when T0 < 40), sharpening factor `sharp` (Q14): writes
// the innovation code (pulses of 4096, sharpened), its filtered form y (Q12)
// and the five track words into indices[0..4].
void acelp_search_118(const Word16* x, const Word16* res, Word16* h, Word16 T0, Word16 sharp,
                      Word16* code, Word16* y, Word16* indices);

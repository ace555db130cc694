// Algebraic codebook search of the 6.4 kbit/s mode: two signed pulses, the
// first on the positions of tracks 1 and 3, the second on those of tracks 0,
// 2, 4 and 1, searched exhaustively.
#pragma once

#include "codec/basicop/basicop.h"

// Target x and impulse response h (Q12, sharpened in place by the pitch
// contribution when T0 < 40), sharpening factor `sharp` (Q14): writes the
// innovation code (Q13, sharpened), its filtered form y (Q12), *sign (2 bits)
// and returns the 9-bit position index (Gray-coded track entries).
Word16 acelp_search_64(const Word16* x, Word16* h, Word16 T0, Word16 sharp, Word16* code, Word16* y,
                       Word16* sign);

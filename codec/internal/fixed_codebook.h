// Fixed (algebraic) codebook of the three rates: the innovation vector of a
// 40-sample subframe, zero except at a few signed pulses (Q13). Positions
// fall into five interleaved tracks: track t holds t, t + 5, ..., t + 35.
#pragma once

#include "codec/basicop/basicop.h"

// 8 kbit/s: four pulses of +8191 / -8192 from the 13-bit position index and
// the 4-bit sign index (bit k set gives pulse k +8191). Clears code first.
void decode_fixed_codebook_80(Word16 sign_index, Word16 position_index, Word16* code);

// 6.4 kbit/s: two pulses from the 9-bit position index (Gray-coded track
// entries) and the 2-bit sign index; coinciding pulses add up. Clears code
// first.
void decode_fixed_codebook_64(Word16 sign_index, Word16 position_index, Word16* code);

// 11.8 kbit/s: two pulses of +-4096 on each of the five tracks, one 7-bit
// index per track (track_index[0] for track 0). Clears code first.
void decode_fixed_codebook_118(const Word16* track_index, Word16* code);

// Adds the pulses of one track (0..4) from its 7-bit index to code (in/out):
// the first pulse (bits 0-2 position, bit 3 sign set = -4096) is assigned;
// a second one (pulse_count 2; bits 4-6 position) takes the first's sign
// when it lies at or before it, the opposite sign when after, and is added.
// A track outside 0..4 leaves code unchanged.
void decode_track_pulses(Word16 index, Word16 track, Word16 pulse_count, Word16* code);

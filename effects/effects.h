// Voice effects: the optional effect a message asks for, run over every
// refilled PCM buffer and mixed with the dry voice.
//
// Effect ids: 0 none, 1-4 reverberation, 5-10 modulated delay (echoes,
// flanging, chorus), 11-16 pitch shift. Any other id plays dry, as 0.
#pragma once

#include <cstdint>

// Selects the effect of the coming playback and resets its state.
// effectId: the message's effect id; depth: d, the weight of the wet signal
// in the mix, -128..127 (127 - the header's depth byte).
void resetEffect(int8_t effectId, int8_t depth);

// Runs the selected effect over `count` samples in place and mixes each wet
// sample w with its dry sample x:
//   y = ((128 - d) * x + k * d * w) / 128, truncated toward zero, saturated
// to 16 bits, with k = 12 for the reverberator (which hears x / 4) and k = 1
// otherwise. With effect 0 the samples are left untouched.
void applyEffect(int16_t* samples, int count);

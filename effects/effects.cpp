#include "effects/effects.h"

#include "effects/mod_delay.h"
#include "effects/pitch_shift.h"
#include "effects/reverb.h"

// Effect ids of the three families.
enum {
  EFFECT_NONE = 0,
  EFFECT_REVERB_FIRST = 1,
  EFFECT_REVERB_LAST = 4,
  EFFECT_MOD_DELAY_FIRST = 5,
  EFFECT_MOD_DELAY_LAST = 10,
  EFFECT_PITCH_SHIFT_FIRST = 11,
  EFFECT_PITCH_SHIFT_LAST = 16,
};

// Weight of the reverberator's wet sample per unit of depth, in 1/128: it
// hears a quarter of the input level.
static const int32_t REVERB_WET_SCALE = 12;

struct EffectState {
  int8_t activeEffect;  // effect id of the running playback, 0..16 (0: none)
  int8_t effectDepth;   // d: weight of the wet signal in the mix, -128..127
};

static EffectState state;

void resetEffect(int8_t effectId, int8_t depth) {
  state.activeEffect = EFFECT_NONE;
  state.effectDepth = depth;
  if (effectId >= EFFECT_REVERB_FIRST && effectId <= EFFECT_REVERB_LAST) {
    resetReverb(effectId);
  } else if (effectId >= EFFECT_MOD_DELAY_FIRST && effectId <= EFFECT_MOD_DELAY_LAST) {
    resetModDelay(effectId - EFFECT_MOD_DELAY_FIRST);
  } else if (effectId >= EFFECT_PITCH_SHIFT_FIRST && effectId <= EFFECT_PITCH_SHIFT_LAST) {
    resetPitchShift(effectId - EFFECT_PITCH_SHIFT_FIRST);
  } else {
    return;  // 0, and ids no family knows, play dry
  }
  state.activeEffect = effectId;
}

// (dryWeight * x + wetWeight * w) / 128, truncated toward zero and saturated
// to 16 bits. Formed in 64 bits: for 16-bit input it equals the 32-bit sum,
// and a wet sample too large for that still saturates instead of wrapping.
static int16_t mix(int32_t x, int32_t dryWeight, int32_t w, int32_t wetWeight) {
  int64_t m = (int64_t)dryWeight * x + (int64_t)wetWeight * w;
  int64_t y = m / 128;
  if (y > 32767) return 32767;
  if (y < -32768) return -32768;
  return (int16_t)y;
}

void applyEffect(int16_t* samples, int count) {
  const int32_t effect = state.activeEffect;
  const int32_t d = state.effectDepth;
  if (effect == EFFECT_NONE) return;
  for (int i = 0; i < count; i++) {
    int32_t x = samples[i];
    if (effect <= EFFECT_REVERB_LAST)
      samples[i] = mix(x, 128 - d, reverbSample(x / 4), REVERB_WET_SCALE * d);
    else if (effect <= EFFECT_MOD_DELAY_LAST)
      samples[i] = mix(x, 128 - d, modDelaySample(x), d);
    else
      samples[i] = mix(x, 128 - d, pitchShiftSample(x), d);
  }
}

// Storage shared by the modulated delay and the pitch shifter (private to
// effects/): only one effect runs at a time, so their states overlap. `owner`
// says which of the two the storage currently holds; each family's reset
// claims it, and each family's sample step does nothing while it does not
// own it.
#pragma once

#include <cstdint>

#include "effects/mod_delay.h"
#include "effects/pitch_shift.h"

enum DelayStorageOwner : int32_t {
  DELAY_OWNER_NONE = 0,
  DELAY_OWNER_MOD_DELAY = 1,
  DELAY_OWNER_PITCH_SHIFT = 2,
};

struct DelayEffectStorage {
  DelayStorageOwner owner;
  union {
    ModDelayState modDelay;
    PitchShiftState pitchShift;
  };
};

extern DelayEffectStorage delayStorage;

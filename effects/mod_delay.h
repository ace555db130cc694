// Modulated delay (effects 5-10): one delay line read at a position that
// sweeps linearly back and forth between two bounds, with linear
// interpolation, feedback and an output gain. A zero rate makes a fixed echo.
// Values are stored in single precision; products are formed in double.
#pragma once

#include <cstdint>

enum {
  DELAY_LINE_CAPACITY = 8000,  // floats of the line shared with the pitch shifter
  MOD_DELAY_PRESET_ROWS = 6,   // rows 0..5 (effect ids 5..10)
  MOD_DELAY_PRESET_FIELDS = 5,
};

// Per row: output gain, feedback gain, rate (thousandths of a sample per
// sample, >= 0), sweep and offset (units of 16 samples; 2 * 16 * (sweep +
// offset) must not exceed DELAY_LINE_CAPACITY).
extern const float MOD_DELAY_PRESET[MOD_DELAY_PRESET_ROWS][MOD_DELAY_PRESET_FIELDS];

struct ModDelayState {
  float delayLine[DELAY_LINE_CAPACITY];  // circular line; lineLength entries used
  int32_t lineLength;                    // N = 2 * (sweep + offset) samples
  int32_t writeIndex;                    // position written by the current sample
  uint32_t phase;      // read position: whole part D in the high 16 bits, fraction (1/65536) low
  int32_t phaseStep;   // added to phase every sample; negated at the bounds
  int32_t tapA, tapB;  // line positions read for the next sample; tapA is one below tapB
  int32_t upperBound, lowerBound;  // the range allowed for D
  float outputGain;                // gain of the wet output
  float feedbackGain;              // gain of the delayed signal written back into the line
  float wetOut;                    // the last wet output
};

// Resets the modulated delay for preset row 0..5 (effect id - 5); any other
// row is ignored.
void resetModDelay(int row);

// Feeds one dry sample and returns the wet sample (truncated toward zero).
// Returns 0 while the shared line belongs to the pitch shifter or was never
// reset.
int32_t modDelaySample(int32_t x);

// The modulated delay's state, read-only; null while the shared storage does
// not hold it.
const ModDelayState* modDelayState();

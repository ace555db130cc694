// Pitch shifter (effects 11-16): the voice is written into a delay line at
// one sample per sample while two read voices move through it at 1 + r
// positions per sample. Before the moving voice runs into the write position
// (raising) or too far behind it (lowering), the other voice is placed back
// at a fixed distance and the two are crossfaded over FADE_LENGTH samples with
// sine and cosine weights. Feedback and a longer line (the offset) give an
// echo of rising or falling pitch. Values are stored in single precision;
// products are formed in double.
#pragma once

#include <cstdint>

#include "effects/mod_delay.h"

enum {
  FADE_LENGTH = 192,            // samples of a crossfade
  PITCH_SHIFT_PRESET_ROWS = 6,  // rows 0..5 (effect ids 11..16)
  PITCH_SHIFT_PRESET_FIELDS = 5,
};

// Per row: output gain, feedback gain, rate r (pitch factor 1 + r, -1 < r <=
// 1), window and offset (units of 16 samples; 2 * 16 * (window + offset) must
// not exceed DELAY_LINE_CAPACITY).
extern const float PITCH_SHIFT_PRESET[PITCH_SHIFT_PRESET_ROWS][PITCH_SHIFT_PRESET_FIELDS];

// Shares its storage with ModDelayState; the first ten fields mean the same.
struct PitchShiftState {
  float delayLine[DELAY_LINE_CAPACITY];  // circular line; lineLength entries used
  int32_t lineLength;                    // N = 2 * (window + offset) samples
  int32_t writeIndex;                    // position written by the current sample
  uint32_t phase;           // voice advance: whole part high 16 bits, fraction (1/65536) low
  int32_t phaseStep;        // r * 65535: added to phase every sample
  int32_t upperBound;       // base of a repositioned voice when lowering (F + 2 behind the writer)
  int32_t lowerBound;       // base of a repositioned voice when raising (E + F + 2 behind)
  float outputGain;         // gain of the wet output
  float feedbackGain;       // gain of the shifted signal written back into the line
  float wetOut;             // the last wet output
  bool raising;             // the preset's rate is greater than 0
  int32_t readA0, readA1;   // voice A: the two neighbouring positions it interpolates between
  int32_t readB0, readB1;   // voice B, likewise
  float gainA, gainB;       // current weights of the two voices
  bool voiceAActive;        // voice A is the voice faded in (or held)
  int32_t fadeCount;        // samples left in the running crossfade; 0 when none runs
  const float* fadeTableA;  // sinTable or cosTable: where gainA comes from during a fade
  const float* fadeTableB;  // likewise for gainB
  float sinTable[FADE_LENGTH];  // sin(i * theta), theta = pi / 384: a quarter period
  float cosTable[FADE_LENGTH];  // cos(i * theta)
  int32_t segmentCount;   // carries (raising) or borrows (lowering) left until the next switch
  int32_t segmentLength;  // segmentCount's reload value at each switch: E - K - 2
};

// Resets the pitch shifter for preset row 0..5 (effect id - 11); any other
// row is ignored.
void resetPitchShift(int row);

// Feeds one dry sample and returns the wet sample (truncated toward zero).
// Returns 0 while the shared line belongs to the modulated delay or was
// never reset.
int32_t pitchShiftSample(int32_t x);

// The pitch shifter's state, read-only; null while the shared storage does
// not hold it.
const PitchShiftState* pitchShiftState();

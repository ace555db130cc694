// Fixed-point reverberator (effects 1-4): eight early-reflection taps on an
// input history, six damped comb filters in parallel, and a final all-pass
// stage. All arithmetic is 32-bit integer; Q15 gains; every shift right by 15
// is arithmetic (rounds toward minus infinity); products and sums wrap
// modulo 2^32.
#pragma once

#include <cstdint>

enum {
  REVERB_HISTORY_LENGTH = 4096,   // entries of the input history
  REVERB_TAP_COUNT = 8,           // early-reflection taps
  REVERB_COMB_COUNT = 6,          // comb filters
  REVERB_COMB_CAPACITY = 2048,    // entries of each comb line
  REVERB_DIFFUSER_CAPACITY = 64,  // entries of the all-pass line
  REVERB_PRESET_FIELDS = 19,
  REVERB_PRESET_ROWS = 4,  // rows 1..4 (effect ids 1..4)
};

// One preset row, 19 values in this order: 7 tap steps, comb input gain
// (Q15), feedback base (Q15), damping (Q15), damping step (Q15 per line),
// 6 comb lengths (<= 2048), diffuser length (<= 64), diffuser gain (Q15).
extern const int32_t REVERB_PRESET[REVERB_PRESET_ROWS][REVERB_PRESET_FIELDS];

// Q15 weights of the eight early-reflection taps, the same for every row.
extern const int32_t REVERB_TAP_WEIGHTS[REVERB_TAP_COUNT];

struct ReverbState {
  int32_t history[REVERB_HISTORY_LENGTH];  // input history, written at decreasing positions
  int32_t historyIndex;                    // next write position in history
  int32_t tapSteps[REVERB_TAP_COUNT - 1];  // distances between successive taps
  int32_t earlySum;                        // weighted tap sum of the current sample, >> 15
  int32_t combLine[REVERB_COMB_COUNT][REVERB_COMB_CAPACITY];  // delay lines, written downward
  int32_t combLength[REVERB_COMB_COUNT];       // entries used of each line (delay in samples)
  int32_t combIndex[REVERB_COMB_COUNT];        // current position in each line
  int32_t combFeedback[REVERB_COMB_COUNT];     // Q15 loop gain of each line
  int32_t combLowpass[REVERB_COMB_COUNT];      // Q15 state of each loop's one-pole filter
  int32_t combDamping;                         // Q15 coefficient of that filter (all lines)
  int32_t combInputGain;                       // Q15 gain of earlySum into every line
  int32_t diffuser[REVERB_DIFFUSER_CAPACITY];  // circular line of the all-pass stage
  int32_t diffuserLength;                      // entries used of diffuser
  int32_t diffuserIndex;                       // current position in diffuser
  int32_t diffuserGain;                        // Q15 coefficient of the all-pass stage
};

// Resets the reverberator for preset row 1..4 (effect id 1..4); any other
// row is ignored and leaves the state as it was.
void resetReverb(int row);

// Feeds one input sample (the dry sample / 4 in the mix) and returns the wet
// sample.
int32_t reverbSample(int32_t input);

// The reverberator's state, read-only (for inspection and tests).
const ReverbState& reverbState();

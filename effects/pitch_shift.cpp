#include "effects/pitch_shift.h"

#include <cmath>

#include "effects/delay_storage.h"
#include "effects/effect_math.h"

const float PITCH_SHIFT_PRESET[PITCH_SHIFT_PRESET_ROWS][PITCH_SHIFT_PRESET_FIELDS] = {
    // output gain, feedback, rate r, window, offset
    {1.2f, 0.0f, -0.35f, 25.0f, 0.0f},     // pitch x 0.65
    {1.7f, 0.0f, 0.2599f, 35.0f, 0.0f},    // pitch x 1.2599
    {1.5f, 0.0f, 1.0f, 40.0f, 0.0f},       // pitch x 2
    {1.0f, 0.4f, 0.3348f, 35.0f, 0.0f},    // pitch x 1.3348 with feedback
    {1.1f, 0.5f, -0.2f, 35.0f, 120.0f},    // pitch x 0.8, falling echo
    {1.0f, 0.4f, 0.2599f, 35.0f, 120.0f},  // pitch x 1.2599, rising echo
};

// Angle step of the fade tables: a quarter period over 192 entries.
static const double FADE_THETA = 3.141592654 / 384.0;

const PitchShiftState* pitchShiftState() {
  return delayStorage.owner == DELAY_OWNER_PITCH_SHIFT ? &delayStorage.pitchShift : nullptr;
}

void resetPitchShift(int row) {
  if (row < 0 || row >= PITCH_SHIFT_PRESET_ROWS) return;
  const float* p = PITCH_SHIFT_PRESET[row];
  const double rate = p[2];
  int32_t window = truncToInt32((double)p[3] * 16.0);  // E, samples
  int32_t offset = truncToInt32((double)p[4] * 16.0);  // F, samples
  int32_t drift = truncToInt32(rate * 192.0);          // K: drift of a voice during one crossfade
  int64_t length = 2 * ((int64_t)window + offset);
  if (window < 0 || offset < 0 || length < 2 || length > DELAY_LINE_CAPACITY) return;

  delayStorage.owner = DELAY_OWNER_PITCH_SHIFT;
  PitchShiftState& s = delayStorage.pitchShift;
  s.outputGain = p[0];
  s.feedbackGain = p[1];
  s.phaseStep = truncToInt32(rate * 65535.0);
  s.raising = rate > 0.0;
  s.lineLength = (int32_t)length;
  for (int32_t i = 0; i < s.lineLength; i++) s.delayLine[i] = 0.0f;
  s.upperBound = s.lineLength - offset - 2;
  s.lowerBound = s.upperBound - window;
  s.segmentLength = s.upperBound - drift - s.lowerBound - 2;
  for (int i = 0; i < FADE_LENGTH; i++) {
    double angle = (double)i * FADE_THETA;
    s.cosTable[i] = (float)std::cos(angle);
    s.sinTable[i] = (float)std::sin(angle);
  }
  s.fadeCount = 0;
  s.readB0 = 0;
  s.readB1 = 0;
  s.writeIndex = 0;
  s.phase = 0;
  s.readA0 = s.readA1 = s.raising ? s.lowerBound : s.upperBound;
  s.segmentCount = s.segmentLength;
  s.gainA = 1.0f;
  s.gainB = 0.0f;
  s.fadeTableA = s.sinTable;
  s.fadeTableB = s.cosTable;
  s.voiceAActive = true;
  s.wetOut = 0.0f;
}

// Moves both voices one position on.
static void stepVoices(PitchShiftState& s) {
  s.readA0 = s.readA1;
  s.readA1 = (s.readA1 + 1) % s.lineLength;
  s.readB0 = s.readB1;
  s.readB1 = (s.readB1 + 1) % s.lineLength;
}

// Places the voice that is not active at line position (base + writeIndex)
// mod N, makes it the active one and starts a crossfade towards it. The
// repositioned voice keeps its other position; it has weight 0 until the
// gains move.
static void switchVoices(PitchShiftState& s, int32_t base) {
  s.fadeCount = FADE_LENGTH;
  s.segmentCount = s.segmentLength;
  int32_t position = (int32_t)(((int64_t)base + s.writeIndex) % s.lineLength);
  if (s.voiceAActive) {
    s.voiceAActive = false;
    s.readB1 = position;
    s.fadeTableA = s.sinTable;  // gainA falls to 0
    s.fadeTableB = s.cosTable;  // gainB rises to 1
  } else {
    s.voiceAActive = true;
    s.readA1 = position;
    s.fadeTableA = s.cosTable;
    s.fadeTableB = s.sinTable;
  }
}

// One carry (raising) or borrow (lowering) of the phase: counts down to the
// next voice switch.
static void countSegment(PitchShiftState& s, int32_t base) {
  if (s.segmentCount == 0)
    switchVoices(s, base);
  else
    s.segmentCount--;
}

int32_t pitchShiftSample(int32_t x) {
  if (delayStorage.owner != DELAY_OWNER_PITCH_SHIFT) return 0;
  PitchShiftState& s = delayStorage.pitchShift;
  const float* line = s.delayLine;

  // Both voices interpolated with the same fraction, then weighted.
  double f = (double)(s.phase & 0xFFFFu);
  double c = 65536.0 - f;
  double voiceA = f * (double)line[s.readA1] + c * (double)line[s.readA0];
  double voiceB = f * (double)line[s.readB1] + c * (double)line[s.readB0];
  double v = (voiceA * (double)s.gainA + voiceB * (double)s.gainB) / 65536.0;

  s.delayLine[s.writeIndex] = (float)(v * (double)s.feedbackGain + (double)x);
  s.wetOut = (float)(v * (double)s.outputGain);

  // The gains move only after this sample's output is formed.
  if (s.fadeCount > 0) {
    s.fadeCount--;
    s.gainA = s.fadeTableA[s.fadeCount];
    s.gainB = s.fadeTableB[s.fadeCount];
  }
  s.writeIndex = (s.writeIndex + 1) % s.lineLength;

  s.phase += (uint32_t)s.phaseStep;  // wraps modulo 2^32
  if (s.raising) {
    // 1 + phaseStep / 65536 positions per sample: one step, and a second
    // one whenever the fraction carries.
    stepVoices(s);
    if ((s.phase >> 16) != 0) {
      stepVoices(s);
      s.phase &= 0xFFFFu;
      countSegment(s, s.lowerBound);
    }
  } else if ((s.phase >> 16) == 0) {
    stepVoices(s);  // lowering: one step unless the fraction borrowed
  } else {
    s.phase &= 0xFFFFu;  // borrowed: the voices hold this sample
    countSegment(s, s.upperBound);
  }
  return truncToInt32(s.wetOut);
}

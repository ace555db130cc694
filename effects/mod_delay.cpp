#include "effects/mod_delay.h"

#include "effects/delay_storage.h"
#include "effects/effect_math.h"

const float MOD_DELAY_PRESET[MOD_DELAY_PRESET_ROWS][MOD_DELAY_PRESET_FIELDS] = {
    // output gain, feedback, rate, sweep, offset
    {1.3f, 0.7f, 0.0f, 0.0f, 250.0f},     // fixed echo of 4003 samples
    {1.8f, 0.0f, 2.0f, 6.0f, 0.0f},       // delay sweeping 3..99 samples
    {-1.8f, -0.7f, 2.0f, 6.0f, 0.0f},     // the same, inverted, with feedback
    {2.0f, 0.0f, 11.0f, 20.0f, 20.0f},    // delay sweeping 323..643 samples
    {0.8f, 0.75f, 0.0f, 0.0f, 12.5f},     // fixed echo of 203 samples
    {1.85f, 0.3f, 150.0f, 40.0f, 40.0f},  // delay sweeping 643..1283 samples
};

// Thousandths of a sample per sample to the 16.16 phase step (single-precision
// constant, product in double).
static const float PHASE_PER_RATE = 65.536f;

const ModDelayState* modDelayState() {
  return delayStorage.owner == DELAY_OWNER_MOD_DELAY ? &delayStorage.modDelay : nullptr;
}

void resetModDelay(int row) {
  if (row < 0 || row >= MOD_DELAY_PRESET_ROWS) return;
  const float* p = MOD_DELAY_PRESET[row];
  int32_t sweep = truncToInt32((double)p[3] * 16.0);   // E, samples
  int32_t offset = truncToInt32((double)p[4] * 16.0);  // F, samples
  int64_t length = 2 * ((int64_t)sweep + offset);
  if (sweep < 0 || offset < 0 || length < 2 || length > DELAY_LINE_CAPACITY) return;

  delayStorage.owner = DELAY_OWNER_MOD_DELAY;
  ModDelayState& s = delayStorage.modDelay;
  s.outputGain = p[0];
  s.feedbackGain = p[1];
  s.phaseStep = truncToInt32((double)p[2] * (double)PHASE_PER_RATE);
  s.lineLength = (int32_t)length;
  for (int32_t i = 0; i < s.lineLength; i++) s.delayLine[i] = 0.0f;
  s.upperBound = s.lineLength - offset - 2;
  s.lowerBound = s.upperBound - sweep;
  // D starts in the middle of the range, the fraction at 0.
  s.phase = (uint32_t)((s.lowerBound + s.upperBound) / 2) << 16;
  s.tapA = 0;
  s.tapB = 0;
  s.writeIndex = 0;
  s.wetOut = 0.0f;
}

int32_t modDelaySample(int32_t x) {
  if (delayStorage.owner != DELAY_OWNER_MOD_DELAY) return 0;
  ModDelayState& s = delayStorage.modDelay;
  const int32_t n = s.lineLength;

  // Linear interpolation between the two taps; exact in double.
  double f = (double)(s.phase & 0xFFFFu);
  double v =
      ((65536.0 - f) * (double)s.delayLine[s.tapA] + f * (double)s.delayLine[s.tapB]) / 65536.0;

  s.phase += (uint32_t)s.phaseStep;  // wraps modulo 2^32
  int32_t d = (int32_t)(s.phase >> 16);

  s.delayLine[s.writeIndex] = (float)(v * (double)s.feedbackGain + (double)x);
  s.wetOut = (float)(v * (double)s.outputGain);

  s.writeIndex = (s.writeIndex + 1) % n;
  s.tapB = (d + s.writeIndex) % n;
  s.tapA = s.tapB == 0 ? n - 1 : s.tapB - 1;

  // Triangle sweep: reverse as soon as D has left the range by one.
  if (d > s.upperBound || d < s.lowerBound) s.phaseStep = wrapSub32(0, s.phaseStep);
  return truncToInt32(s.wetOut);
}

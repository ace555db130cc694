// Gain decoding with its prediction memory, and the phase dispersion of the
// 6.4 kbit/s innovation with its adaptive state.
#include <gtest/gtest.h>

#include "codec/tables/tables.h"

#include "dispersion.h"
#include "gain.h"

#include <cmath>

// The predicted gain as a real number.
static double predicted(const Word16* past_energy, const Word16* code) {
  Word16 g, x;
  predict_code_gain(past_energy, code, 40, &g, &x);
  return g / std::pow(2.0, x);
}

TEST(Gain, PredictionFollowsEnergyAndMemoryInDecibels) {
  Word16 code[40] = {0};
  code[7] = 8192;  // one unit pulse
  // 30 dB mean energy, less 10 log10(1/40) for the pulse, plus the MA
  // prediction over -14 dB memories (coefficients sum to 1.7899).
  const Word16 past[4] = {-14336, -14336, -14336, -14336};
  double want = std::pow(10.0, (30.0 + 10 * std::log10(40.0) - 14 * 1.7899) / 20);
  EXPECT_NEAR(predicted(past, code), want, 0.01 * want);
  // 6.02 dB more in the newest memory raises it by 6.02 dB * 0.68.
  const Word16 louder[4] = {-14336 + 6165, -14336, -14336, -14336};
  EXPECT_NEAR(predicted(louder, code) / predicted(past, code), std::pow(2.0, 0.68), 0.01);
}

TEST(Gain, TablesAndCodeGainScaleOfBothQuantisers) {
  struct Case {
    int rate;
    Word16 index, gain_pitch;
    double factor;  // the code-gain factor the index selects
  } cases[] = {
      {80, 0, 3242 + 5142, (9949 + 592) / 8192.0},      // Q13 factors
      {80, 5, 3242 + 18973, (9949 + 5935) / 8192.0},    // largest pitch gain
      {64, 50, 9425 + 16423, (2731 + 15724) / 16384.0}  // Q14 factors, largest pitch gain
  };
  gain_predictor_program_start();
  Word16 code[40] = {0}, gp, gc;
  code[3] = 8192;
  for (const Case& c : cases) {
    Word16 before[4];
    for (int i = 0; i < 4; i++) before[i] = gain_predictor_state.past_energy[i];
    double g0 = predicted(before, code);
    (c.rate == 80 ? decode_gains_80 : decode_gains_64)(c.index, code, 40, &gp, &gc);
    EXPECT_EQ(gp, c.gain_pitch);
    EXPECT_NEAR(gc / 2.0, c.factor * g0, 0.5 + 0.01 * c.factor * g0) << "Q1, truncated";
    // The memory keeps 20 log10 of the factor, dB Q10.
    EXPECT_NEAR(gain_predictor_state.past_energy[0] / 1024.0, 20 * std::log10(c.factor), 0.05);
    EXPECT_EQ(gain_predictor_state.past_energy[1], before[0]);
  }
  decode_gains_64(4, code, 40, &gp, &gc);  // both code-gain factors 0
  EXPECT_EQ(gc, 0);
  EXPECT_EQ(gain_predictor_state.past_energy[0], -24660);
}

// Disperses a subframe whose innovation is one pulse; returns the state.
static Word16 disperse(Word16 gain_pitch, Word16 gain_code, int pos, Word16 amp, Word16* code,
                       Word16* out) {
  Word16 exc[40];
  for (int i = 0; i < 40; i++) code[i] = 0, exc[i] = (Word16)(100 * i);
  code[pos] = amp;
  phase_dispersion(exc, out, gain_code, gain_pitch, code);
  return dispersion_state.previous_state;
}

// Six undispersed subframes of strong voicing: previous state 2, no onset.
static void voicedHistory(Word16 gain_code) {
  dispersion_program_start();
  for (int i = 0; i < 6; i++) update_dispersion_state(16000, gain_code);
}

TEST(Dispersion, NoDispersionScalesAPulseByTheUnitImpulse) {
  voicedHistory(16384);
  Word16 code[40], out[40];
  EXPECT_EQ(disperse(14745, 16384, 5, 8191, code, out), 2);
  for (int i = 0; i < 40; i++) {
    EXPECT_EQ(code[i], i == 5 ? 8190 : 0);
    EXPECT_EQ(out[i], 100 * i - (i == 5 ? 1 : 0)) << "gain 8192: 8191 in, 8190 out";
  }
}

TEST(Dispersion, StateFallsAtOnceButRisesOneStepAtATime) {
  voicedHistory(100);
  Word16 code[40], out[40];
  EXPECT_EQ(disperse(9830, 100, 0, 8191, code, out), 0);
  EXPECT_EQ(code[1], (8191 * DISPERSION_STRONG[1]) >> 15);
  EXPECT_EQ(disperse(16000, 100, 0, 8191, code, out), 1);
  EXPECT_EQ(code[1], (8191 * DISPERSION_MEDIUM[1]) >> 15);
  EXPECT_EQ(disperse(16000, 100, 0, 8191, code, out), 2);
  // Three gains below 9830 among the last six force strong dispersion.
  for (int i = 0; i < 3; i++) disperse(9000, 100, 0, 8191, code, out);
  EXPECT_EQ(disperse(16000, 100, 0, 8191, code, out), 0);
}

TEST(Dispersion, OnsetRaisesTheStateForTwoSubframes) {
  dispersion_program_start();  // all gains 0: strong dispersion
  Word16 code[40], out[40];
  const Word16 gains[8] = {100, 100, 100, 200, 402, 402, 402, 1000};
  const Word16 pitch[8] = {5000, 5000, 5000, 5000, 5000, 5000, 5000, 16000};
  const Word16 want[8] = {1, 1, 0, 0, 1, 1, 0, 2};  // 200 is no onset, 402 is
  for (int i = 0; i < 8; i++) EXPECT_EQ(disperse(pitch[i], gains[i], 3, 8191, code, out), want[i]);
}

TEST(Dispersion, ConvolutionWrapsAroundAndSumsCoincidingPulses) {
  dispersion_program_start();
  Word16 code[40], out[40];
  ASSERT_EQ(disperse(0, 0, 39, 8191, code, out), 0);
  for (int k = 0; k < 40; k++)
    EXPECT_EQ(code[(39 + k) % 40], (8191 * DISPERSION_STRONG[k]) >> 15) << k;
  ASSERT_EQ(disperse(0, 0, 1, 16382, code, out), 0);
  EXPECT_EQ(code[2], (16382 * DISPERSION_STRONG[1]) >> 15);
}

// The pitch shifter: derived window sizes and segment lengths, the timing
// of the voice switches, impulse positions and the crossfade.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effects/pitch_shift.h"

TEST(PitchShift, DerivedValuesOfEveryRow) {
  // phaseStep, window E, offset F, N, upperBound, lowerBound, drift K,
  // segmentLength, start of voice A
  const int32_t expected[6][9] = {
      {-22937, 400, 0, 800, 798, 398, -67, 465, 798},
      {17032, 560, 0, 1120, 1118, 558, 49, 509, 558},
      {65535, 640, 0, 1280, 1278, 638, 192, 446, 638},
      {21941, 560, 0, 1120, 1118, 558, 64, 494, 558},
      {-13107, 560, 1920, 4960, 3038, 2478, -38, 596, 3038},
      {17032, 560, 1920, 4960, 3038, 2478, 49, 509, 2478},
  };
  for (int row = 0; row < 6; row++) {
    resetPitchShift(row);
    const PitchShiftState& s = *pitchShiftState();
    const int32_t window = s.upperBound - s.lowerBound;
    const int32_t got[9] = {
        s.phaseStep,  window,       s.lineLength - s.upperBound - 2, s.lineLength,
        s.upperBound, s.lowerBound, window - 2 - s.segmentLength,    s.segmentLength,
        s.readA1};
    for (int k = 0; k < 9; k++) EXPECT_EQ(got[k], expected[row][k]) << "row " << row << " " << k;
  }
}

TEST(PitchShift, FadeTablesCoverAQuarterPeriod) {
  // theta = pi / 384: the last entries sit one step short of pi / 2.
  resetPitchShift(0);
  const PitchShiftState& s = *pitchShiftState();
  EXPECT_EQ(s.sinTable[0], 0.0f);
  EXPECT_EQ(s.cosTable[0], 1.0f);
  EXPECT_NEAR(s.cosTable[191], 0.0081811, 1e-7);
  EXPECT_NEAR(s.sinTable[191], 0.9999665, 1e-7);
}

// Samples (counting from 0) at which the active voice changes.
static std::vector<int> switchSamples(int row, size_t count) {
  resetPitchShift(row);
  const PitchShiftState& s = *pitchShiftState();
  std::vector<int> at;
  bool active = s.voiceAActive;
  for (int n = 0; n < 20000 && at.size() < count; n++) {
    pitchShiftSample(0);
    if (s.voiceAActive != active) {
      at.push_back(n);
      active = s.voiceAActive;
      // Raising places the new voice E + F + 2 behind the writer, lowering
      // F + 2 behind it.
      int32_t base = s.raising ? s.lowerBound : s.upperBound;
      EXPECT_EQ(active ? s.readA1 : s.readB1, (base + s.writeIndex) % s.lineLength);
    }
  }
  return at;
}

TEST(PitchShift, VoiceSwitchTiming) {
  // Row 2 carries on every sample but the first: 447 carries per segment.
  EXPECT_EQ(switchSamples(2, 4), (std::vector<int>{447, 894, 1341, 1788}));
  EXPECT_EQ(switchSamples(1, 1), (std::vector<int>{1962}));
  // Lowering counts borrows, about 0.35 of the samples.
  EXPECT_EQ(switchSamples(0, 1), (std::vector<int>{1328}));
}

TEST(PitchShift, ImpulseComesOutOnTheReadVoice) {
  // Row 0 starts voice A two samples behind the writer and lets it fall
  // behind by 0.35 per sample: the impulse of 1000 is spread over samples
  // 4, 5 and 6 (the voice holds on the borrow at sample 5).
  resetPitchShift(0);
  std::vector<int32_t> out;
  for (int n = 0; n < 12; n++) out.push_back(pitchShiftSample(n == 0 ? 1000 : 0));
  EXPECT_EQ(out, (std::vector<int32_t>{0, 0, 0, 0, 720, 899, 119, 0, 0, 0, 0, 0}));

  // Row 4 starts 1922 behind and falls behind by 0.2 per sample.
  resetPitchShift(4);
  for (int n = 0; n < 2600; n++) {
    int32_t w = pitchShiftSample(n == 0 ? 1000 : 0);
    EXPECT_EQ(w != 0, n == 2403 || n == 2404) << "sample " << n << ": " << w;
  }
}

TEST(PitchShift, ConstantInputThroughACrossfade) {
  // Outside a fade the constant 1000 comes out times 1.2; the voices'
  // weights sum to sin + cos, about 1.41 halfway through the fade.
  resetPitchShift(0);
  const PitchShiftState& s = *pitchShiftState();
  int32_t peak = 0;
  for (int n = 0; n < 2000; n++) {
    bool fading = s.fadeCount > 0;
    int32_t w = pitchShiftSample(1000);
    if (n >= 1000 && !fading) {
      ASSERT_EQ(w, 1200) << "sample " << n;
    }
    peak = std::max(peak, w);
  }
  EXPECT_NEAR(peak, 1200 * std::sqrt(2.0), 5);
}

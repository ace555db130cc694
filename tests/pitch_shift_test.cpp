// The pitch shifter: derived window sizes and segment lengths, the timing
// of the voice switches, impulse positions and the crossfade.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effects/pitch_shift.h"

TEST(PitchShift, DerivedValuesOfEveryRow) {
  struct Derived {
    int32_t phaseStep, window, offset, length, upper, lower, drift, segment, voiceA;
  };
  const Derived expected[6] = {
      {-22937, 400, 0, 800, 798, 398, -67, 465, 798},
      {17032, 560, 0, 1120, 1118, 558, 49, 509, 558},
      {65535, 640, 0, 1280, 1278, 638, 192, 446, 638},
      {21941, 560, 0, 1120, 1118, 558, 64, 494, 558},
      {-13107, 560, 1920, 4960, 3038, 2478, -38, 596, 3038},
      {17032, 560, 1920, 4960, 3038, 2478, 49, 509, 2478},
  };
  for (int row = 0; row < 6; row++) {
    resetPitchShift(row);
    const PitchShiftState* s = pitchShiftState();
    ASSERT_NE(s, nullptr);
    const Derived& e = expected[row];
    const int32_t window = s->upperBound - s->lowerBound;
    EXPECT_EQ(s->phaseStep, e.phaseStep) << "row " << row;
    EXPECT_EQ(window, e.window) << "row " << row;
    EXPECT_EQ(s->lineLength - s->upperBound - 2, e.offset) << "row " << row;
    EXPECT_EQ(s->lineLength, e.length) << "row " << row;
    EXPECT_EQ(s->upperBound, e.upper) << "row " << row;
    EXPECT_EQ(s->lowerBound, e.lower) << "row " << row;
    EXPECT_EQ(window - 2 - s->segmentLength, e.drift) << "row " << row;
    EXPECT_EQ(s->segmentLength, e.segment) << "row " << row;
    EXPECT_EQ(s->segmentCount, e.segment) << "row " << row;
    EXPECT_EQ(s->readA0, e.voiceA) << "row " << row;
    EXPECT_EQ(s->readA1, e.voiceA) << "row " << row;
    EXPECT_EQ(s->raising, e.phaseStep > 0) << "row " << row;
  }
}

TEST(PitchShift, FadeTablesCoverAQuarterPeriod) {
  resetPitchShift(0);
  const PitchShiftState* s = pitchShiftState();
  EXPECT_EQ(s->sinTable[0], 0.0f);
  EXPECT_EQ(s->cosTable[0], 1.0f);
  // theta = pi / 384, so the last entries sit one step short of pi / 2:
  // cos(191 theta) = sin(theta) = 0.0081811, sin(191 theta) = 0.9999665.
  EXPECT_NEAR(s->cosTable[191], 0.0081811, 0.0000001);
  EXPECT_NEAR(s->sinTable[191], 0.9999665, 0.0000001);
  for (int i = 1; i < FADE_LENGTH; i++) {
    ASSERT_GT(s->sinTable[i], s->sinTable[i - 1]);
    ASSERT_LT(s->cosTable[i], s->cosTable[i - 1]);
    ASSERT_NEAR(s->sinTable[i] * s->sinTable[i] + s->cosTable[i] * s->cosTable[i], 1.0, 1e-6);
  }
}

// Samples (counting from 0) at which the active voice changes.
static std::vector<int> switchSamples(int row, int count, int limit) {
  resetPitchShift(row);
  const PitchShiftState* s = pitchShiftState();
  std::vector<int> at;
  bool active = s->voiceAActive;
  for (int n = 0; n < limit && (int)at.size() < count; n++) {
    pitchShiftSample(0);
    if (s->voiceAActive != active) {
      at.push_back(n);
      active = s->voiceAActive;
      EXPECT_EQ(s->fadeCount, FADE_LENGTH);
      EXPECT_EQ(s->segmentCount, s->segmentLength);
    }
  }
  return at;
}

TEST(PitchShift, VoiceSwitchTiming) {
  // Row 2 carries on every sample but the first: 447 carries per segment.
  EXPECT_EQ(switchSamples(2, 4, 5000), (std::vector<int>{447, 894, 1341, 1788}));
  EXPECT_EQ(switchSamples(1, 1, 5000), (std::vector<int>{1962}));
  // Lowering counts borrows, about 0.35 of the samples.
  EXPECT_EQ(switchSamples(0, 1, 5000), (std::vector<int>{1328}));
}

TEST(PitchShift, SwitchPlacesTheOtherVoiceAtItsBase) {
  // Raising places the new voice E + F + 2 behind the writer, lowering
  // F + 2 behind it (lowerBound and upperBound ahead, modulo N).
  for (int row : {2, 0, 4}) {
    resetPitchShift(row);
    const PitchShiftState* s = pitchShiftState();
    int32_t base = s->raising ? s->lowerBound : s->upperBound;
    while (s->voiceAActive) pitchShiftSample(0);
    EXPECT_EQ(s->readB1, (base + s->writeIndex) % s->lineLength) << "row " << row;
    while (!s->voiceAActive) pitchShiftSample(0);
    EXPECT_EQ(s->readA1, (base + s->writeIndex) % s->lineLength) << "row " << row;
  }
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
    if (n == 2403 || n == 2404)
      EXPECT_NE(w, 0) << "sample " << n;
    else
      ASSERT_EQ(w, 0) << "sample " << n;
  }
}

TEST(PitchShift, ConstantInputThroughACrossfade) {
  // Outside a fade the constant 1000 comes out times 1.2; the voices'
  // weights sum to sin + cos, about 1.41 halfway through the fade.
  resetPitchShift(0);
  const PitchShiftState* s = pitchShiftState();
  int32_t peak = 0;
  int held = 0;
  for (int n = 0; n < 2000; n++) {
    int32_t w = pitchShiftSample(1000);
    if (n < 1000) continue;
    if (s->fadeCount == 0 && w == 1200) held++;
    peak = w > peak ? w : peak;
  }
  EXPECT_GT(held, 500);
  EXPECT_NEAR(peak, 1200 * std::sqrt(2.0), 5);
}

TEST(PitchShift, VoicesStayInsideTheLine) {
  for (int row = 0; row < 6; row++) {
    resetPitchShift(row);
    const PitchShiftState* s = pitchShiftState();
    for (int n = 0; n < 100000; n++) {
      pitchShiftSample((n * 37) % 2000 - 1000);
      ASSERT_TRUE(s->readA0 >= 0 && s->readA0 < s->lineLength && s->readA1 >= 0 &&
                  s->readA1 < s->lineLength && s->readB0 >= 0 && s->readB0 < s->lineLength &&
                  s->readB1 >= 0 && s->readB1 < s->lineLength)
          << "row " << row << " sample " << n;
    }
  }
}

// The modulated delay: derived line sizes and bounds, echo times and levels
// (which depend on single-precision rounding of the gains), and the sweep.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "effects/mod_delay.h"

// The non-zero wet samples (sample -> value) for an impulse of 1000.
static std::map<int, int32_t> impulseResponse(int row, int count) {
  resetModDelay(row);
  std::map<int, int32_t> out;
  for (int n = 0; n < count; n++)
    if (int32_t w = modDelaySample(n == 0 ? 1000 : 0)) out[n] = w;
  return out;
}

TEST(ModDelay, DerivedValuesOfEveryRow) {
  // phaseStep, sweep E, offset F, N, upperBound, lowerBound, start D
  const int32_t expected[6][7] = {
      {0, 0, 4000, 8000, 3998, 3998, 3998}, {131, 96, 0, 192, 190, 94, 142},
      {131, 96, 0, 192, 190, 94, 142},      {720, 320, 320, 1280, 958, 638, 798},
      {0, 0, 200, 400, 198, 198, 198},      {9830, 640, 640, 2560, 1918, 1278, 1598},
  };
  for (int row = 0; row < 6; row++) {
    resetModDelay(row);
    const ModDelayState& s = *modDelayState();
    const int32_t got[7] = {s.phaseStep,
                            s.upperBound - s.lowerBound,
                            s.lineLength - s.upperBound - 2,
                            s.lineLength,
                            s.upperBound,
                            s.lowerBound,
                            (int32_t)(s.phase >> 16)};
    for (int k = 0; k < 7; k++) EXPECT_EQ(got[k], expected[row][k]) << "row " << row << " " << k;
  }
}

TEST(ModDelay, EchoTimesAndLevels) {
  // Row 0: 4003 samples; the second echo is 0.7f * 1000 -> 700, times 1.3f
  // gives 909.99994 in single precision, truncated to 909.
  EXPECT_EQ(impulseResponse(0, 8007), (std::map<int, int32_t>{{4003, 1300}, {8006, 909}}));
  EXPECT_EQ(impulseResponse(4, 813),
            (std::map<int, int32_t>{{203, 800}, {406, 600}, {609, 450}, {812, 337}}));
  // Rows 1 and 2: the swept delay lies between 50 and 51 samples, the
  // impulse is split by the fraction 50 * 131 / 65536; row 2 inverts and
  // repeats it through its feedback.
  EXPECT_EQ(impulseResponse(1, 160), (std::map<int, int32_t>{{50, 179}, {51, 1616}}));
  EXPECT_EQ(impulseResponse(2, 103),
            (std::map<int, int32_t>{{50, -179}, {51, -1616}, {100, 25}, {101, 328}, {102, 900}}));
}

TEST(ModDelay, SweepIsATriangleThatLeavesTheRangeByOne) {
  for (int row : {1, 3, 5}) {
    resetModDelay(row);
    const ModDelayState& s = *modDelayState();
    int32_t minD = 65536, maxD = -1, reversals = 0, step = s.phaseStep;
    for (int n = 0; n < 400000; n++) {
      modDelaySample(0);
      int32_t d = (int32_t)(s.phase >> 16);
      minD = std::min(minD, d);
      maxD = std::max(maxD, d);
      if (s.phaseStep != step) {
        reversals++;
        EXPECT_TRUE(d == s.upperBound + 1 || d == s.lowerBound - 1) << "row " << row << " " << d;
        step = s.phaseStep;
      }
    }
    EXPECT_EQ(maxD, s.upperBound + 1) << "row " << row;
    EXPECT_EQ(minD, s.lowerBound - 1) << "row " << row;
    EXPECT_GE(reversals, 2) << "row " << row;
  }
}

TEST(ModDelay, WetBeyondTheIntegerRangeSaturates) {
  // Far beyond 16-bit input the fed-back echo exceeds 32 bits; the wet
  // sample saturates instead of an undefined conversion (sanitizer build).
  resetModDelay(4);
  int32_t last = 0;
  for (int n = 0; n < 4000; n++) last = modDelaySample(INT32_MAX);
  EXPECT_EQ(last, INT32_MAX);
}

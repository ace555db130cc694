// The reverberator: derived loop gains, the delay of its shortest path, and
// the exact level of the first reflection.
#include <gtest/gtest.h>

#include "effects/reverb.h"

TEST(Reverb, LoopGainsFollowFromFeedbackBaseAndDamping) {
  const int32_t expected[4][6] = {
      {-17266, -17216, -17166, -17116, -17066, -17016},
      {-18928, -18872, -18817, -18762, -18707, -18651},
      {-21576, -21496, -21416, -21336, -21257, -21177},
      {-23616, -23518, -23420, -23321, -23223, -23125},
  };
  for (int row = 1; row <= 4; row++) {
    resetReverb(row);
    const ReverbState& s = reverbState();
    for (int i = 0; i < 6; i++) {
      EXPECT_EQ(s.combFeedback[i], expected[row - 1][i]) << "row " << row << " line " << i;
      EXPECT_EQ(s.combLength[i], REVERB_PRESET[row - 1][11 + i]);
    }
    EXPECT_EQ(s.diffuserLength, 63);
  }
}

TEST(Reverb, FirstReflectionOfAnImpulse) {
  // 5120 * 8000 >> 15 = 1250 from the 238-sample tap; 6656 * 1250 >> 15 = 253
  // into line 0 (1117 samples); 253 * 3072 >> 15 = 23 out of the all-pass.
  resetReverb(1);
  for (int n = 0; n < 1355; n++) ASSERT_EQ(reverbSample(n == 0 ? 8000 : 0), 0) << "sample " << n;
  EXPECT_EQ(reverbSample(0), 23);
}

TEST(Reverb, SilentForTheShortestPathWhateverTheInput) {
  // Full-scale input of either sign on every sample: nothing can come out
  // before the 238-sample tap has passed through the 1117-sample line.
  resetReverb(1);
  for (int n = 0; n < 1355; n++)
    ASSERT_EQ(reverbSample((n * 7919) % 3 == 0 ? -8192 : 8191), 0) << "sample " << n;
  EXPECT_NE(reverbSample(0), 0);
}

TEST(Reverb, ResetForgetsEverything) {
  resetReverb(4);
  for (int n = 0; n < 5000; n++) reverbSample(n % 100 < 50 ? 8000 : -8000);
  resetReverb(4);
  for (int n = 0; n < 1000; n++) ASSERT_EQ(reverbSample(0), 0) << "sample " << n;
}

TEST(Reverb, OldestHistorySampleIsTapZero) {
  // Tap 0 reads the sample 4095 before the current one; its weight 5632
  // reaches the shortest line 4095 + 1117 samples later.
  resetReverb(1);
  const ReverbState& s = reverbState();
  reverbSample(8000);
  for (int n = 1; n < 4095; n++) reverbSample(0);
  // Only the taps of the impulse have run so far; the tap sum now holds the
  // impulse through tap 0 alone.
  reverbSample(0);
  EXPECT_EQ(s.earlySum, (5632 * 8000) >> 15);
}

TEST(Reverb, ExtremeStateWrapsWithoutOverflow) {
  // Inputs far outside the 16-bit range drive the 32-bit products past
  // their limits; they must wrap (checked by the sanitizer build), not trap.
  resetReverb(4);
  for (int n = 0; n < 6000; n++) reverbSample(n % 2 ? INT32_MAX : INT32_MIN);
  SUCCEED();
}

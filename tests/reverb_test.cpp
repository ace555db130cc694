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
    for (int i = 0; i < 6; i++)
      EXPECT_EQ(reverbState().combFeedback[i], expected[row - 1][i]) << "row " << row << " " << i;
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
  for (int row = 1; row <= 4; row++) {
    resetReverb(row);
    int n = 0;
    while (reverbSample((n * 7919) % 3 == 0 ? -8192 : 8191) == 0) n++;
    const int32_t* p = REVERB_PRESET[row - 1];
    EXPECT_EQ(n, p[0] - 1 + p[11]) << "row " << row;  // first tap + shortest line
  }
}

TEST(Reverb, ExtremeStateWrapsWithoutOverflow) {
  // Inputs far outside the 16-bit range drive the 32-bit products past
  // their limits; they must wrap (checked by the sanitizer build), not trap.
  resetReverb(4);
  for (int n = 0; n < 6000; n++) reverbSample(n % 2 ? INT32_MAX : INT32_MIN);
  SUCCEED();
}

// Output high-pass filter: its response, the doubling and its saturation,
// and the state it carries from one call to the next.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "highpass.h"

TEST(Highpass, StepFromRestDecaysTowardZero) {
  output_highpass_reset();
  Word16 s[8];
  for (Word16& v : s) v = 1000;
  output_highpass(s, 8);
  EXPECT_EQ(s[0], 1880);
  EXPECT_EQ(s[1], 1754);
  EXPECT_EQ(s[2], 1631);
  EXPECT_EQ(s[3], 1512);
  for (int i = 4; i < 8; i++) EXPECT_LT(s[i], s[i - 1]);

  // A long constant input settles at (nearly) zero: the zero at 0 Hz.
  Word16 tail[400];
  for (Word16& v : tail) v = 1000;
  output_highpass(tail, 400);
  EXPECT_LE(std::abs(tail[399]), 2);
}

TEST(Highpass, DoublingSaturatesButStateKeepsTheTrueOutput) {
  output_highpass_reset();
  Word16 s[4] = {32767, 0, 0, 0};
  output_highpass(s, 1);
  EXPECT_EQ(s[0], 32767);
  EXPECT_NEAR(highpass_state.y1_hi, 30795, 1);  // y itself, not the limited 2 y
  output_highpass(s + 1, 3);
  EXPECT_EQ(s[1], -4120);
  EXPECT_EQ(s[2], -4017);
  EXPECT_EQ(s[3], -3910);
}

TEST(Highpass, SplitCallsEqualOneCallAndResetRestarts) {
  Word16 whole[80], split[80];
  uint32_t x = 12345;
  for (int i = 0; i < 80; i++) {
    x = x * 1103515245u + 12345u;
    whole[i] = split[i] = (Word16)((x >> 16) & 0x3FFF) - 8192;
  }
  output_highpass_reset();
  output_highpass(whole, 80);
  output_highpass_reset();
  output_highpass(split, 33);
  output_highpass(split + 33, 47);
  for (int i = 0; i < 80; i++) ASSERT_EQ(whole[i], split[i]) << i;

  // Empty calls change neither signal nor state; a reset starts from rest.
  HighpassState before = highpass_state;
  Word16 s[1] = {1000};
  output_highpass(s, 0);
  output_highpass(s, -5);
  EXPECT_EQ(s[0], 1000);
  EXPECT_EQ(0, std::memcmp(&before, &highpass_state, sizeof before));
  output_highpass_reset();
  output_highpass(s, 1);
  EXPECT_EQ(s[0], 1880);
}

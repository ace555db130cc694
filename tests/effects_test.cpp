// Effect selection and the dry/wet mix.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effects/effect_math.h"
#include "effects/effects.h"
#include "effects/mod_delay.h"
#include "effects/pitch_shift.h"
#include "effects/reverb.h"

static std::vector<int16_t> ramp(int count) {
  std::vector<int16_t> v(count);
  for (int i = 0; i < count; i++) v[i] = (int16_t)((i * 2654435761u) >> 16);
  return v;
}

TEST(Effects, NoneLeavesTheBufferExactlyAsIs) {
  for (int8_t depth : {0, 127, -128}) {
    resetEffect(0, depth);
    std::vector<int16_t> in = ramp(4080), buf = in;
    applyEffect(buf.data(), (int)buf.size());
    EXPECT_EQ(buf, in) << "depth " << (int)depth;
  }
}

TEST(Effects, UnknownIdsPlayDry) {
  for (int id : {-128, -1, 17, 18, 127}) {
    resetEffect((int8_t)id, -128);
    std::vector<int16_t> in = ramp(9000), buf = in;
    applyEffect(buf.data(), (int)buf.size());
    EXPECT_EQ(buf, in) << "id " << id;
  }
}

TEST(Effects, DepthZeroIsDryButTheEffectAdvances) {
  // 32000 / 4 = 8000 reaches the reverberator; the buffer stays dry, and the
  // reverberator, continued by hand, gives its first reflection on time.
  resetEffect(1, 0);
  std::vector<int16_t> buf(1355, 0);
  buf[0] = 32000;
  std::vector<int16_t> in = buf;
  applyEffect(buf.data(), (int)buf.size());
  EXPECT_EQ(buf, in);
  EXPECT_EQ(reverbSample(0), 23);
}

TEST(Effects, ReverbHearsAQuarterTowardZero) {
  // Inputs -3 and 3 become 0 for the reverberator, -5 becomes -1: an
  // impulse of -5 comes back while one of -3 does not.
  for (int x : {-3, 3, -5, 5}) {
    resetEffect(1, 127);
    std::vector<int16_t> buf(1356, 0);
    buf[0] = (int16_t)x;
    applyEffect(buf.data(), (int)buf.size());
    int expectQuarter = x / 4;
    // First sample: (1 * x + 1524 * 0) / 128 -> 0.
    EXPECT_EQ(buf[0], 0);
    resetReverb(1);
    int32_t w = 0;
    for (int n = 0; n < 1356; n++) w = reverbSample(n == 0 ? expectQuarter : 0);
    EXPECT_EQ(buf[1355], (int16_t)((1524 * w) / 128)) << "x " << x;
    if (x == -3 || x == 3) {
      for (int16_t y : buf) ASSERT_EQ(y, 0) << "x " << x;
    }
  }
}

TEST(Effects, MixAtDepth127And128) {
  // Echo of row 4 (effect 9): a constant line at 203 samples gives w = 800
  // for an impulse of 1000.
  resetEffect(9, 127);
  std::vector<int16_t> buf(204, 0);
  buf[0] = 1000;
  applyEffect(buf.data(), (int)buf.size());
  EXPECT_EQ(buf[0], 1000 / 128);           // (1 * 1000 + 127 * 0) / 128
  EXPECT_EQ(buf[203], (127 * 800) / 128);  // 793

  resetEffect(9, -128);
  buf.assign(204, 0);
  buf[0] = -1000;
  applyEffect(buf.data(), (int)buf.size());
  EXPECT_EQ(buf[0], -2000);                  // 256 * x / 128
  EXPECT_EQ(buf[203], (-128 * -800) / 128);  // 800
}

TEST(Effects, MixSaturatesAndTruncatesTowardZero) {
  // Depth -128 doubles the dry voice: full scale saturates on both sides.
  resetEffect(11, -128);
  int16_t buf[4] = {32767, -32768, 16384, -16385};
  applyEffect(buf, 4);
  EXPECT_EQ(buf[0], 32767);
  EXPECT_EQ(buf[1], -32768);
  EXPECT_EQ(buf[2], 32767);
  EXPECT_EQ(buf[3], -32768);

  // Depth 1, effect 9 still silent: y = 127 * x / 128 toward zero.
  resetEffect(9, 1);
  int16_t odd[4] = {1, -1, 129, -129};
  applyEffect(odd, 4);
  EXPECT_EQ(odd[0], 0);
  EXPECT_EQ(odd[1], 0);
  EXPECT_EQ(odd[2], 127);  // 16383 / 128 = 127.99
  EXPECT_EQ(odd[3], -127);
}

TEST(Effects, ResetSelectsTheFamilyOfEachId) {
  resetEffect(5, 0);
  ASSERT_NE(modDelayState(), nullptr);
  EXPECT_EQ(modDelayState()->lineLength, 8000);
  EXPECT_EQ(pitchShiftState(), nullptr);
  resetEffect(16, 0);
  ASSERT_NE(pitchShiftState(), nullptr);
  EXPECT_EQ(pitchShiftState()->lineLength, 4960);
  EXPECT_EQ(modDelayState(), nullptr);
  // The family not holding the shared line stays silent.
  EXPECT_EQ(modDelaySample(1000), 0);
  resetEffect(2, 0);
  EXPECT_EQ(reverbState().combLength[0], 1231);
}

TEST(Effects, BufferSplitDoesNotMatter) {
  for (int id = 1; id <= 16; id++) {
    std::vector<int16_t> whole = ramp(10000), parts = whole;
    resetEffect((int8_t)id, 100);
    applyEffect(whole.data(), (int)whole.size());
    resetEffect((int8_t)id, 100);
    int done = 0;
    for (int len : {1, 2239, 4080, 3680}) {
      applyEffect(parts.data() + done, len);
      done += len;
    }
    EXPECT_EQ(whole, parts) << "effect " << id;
  }
}

TEST(Effects, FloatToIntegerTruncatesAndSaturates) {
  EXPECT_EQ(truncToInt32(-1.9), -1);
  EXPECT_EQ(truncToInt32(1.9), 1);
  EXPECT_EQ(truncToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(truncToInt32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(truncToInt32(3e9), INT32_MAX);
  EXPECT_EQ(truncToInt32(-3e9), INT32_MIN);
  EXPECT_EQ(truncToInt32(1.0 / 0.0), INT32_MAX);
  EXPECT_EQ(truncToInt32(std::nan("")), 0);
}

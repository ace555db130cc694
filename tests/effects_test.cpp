// Effect selection and the dry/wet mix.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effects/effect_math.h"
#include "effects/effects.h"
#include "effects/reverb.h"

static std::vector<int16_t> run(int id, int depth, std::vector<int16_t> buf) {
  resetEffect((int8_t)id, (int8_t)depth);
  applyEffect(buf.data(), (int)buf.size());
  return buf;
}

static std::vector<int16_t> impulse(int count, int16_t height) {
  std::vector<int16_t> v(count, 0);
  v[0] = height;
  return v;
}

TEST(Effects, NoneAndUnknownIdsLeaveTheBufferAsIs) {
  std::vector<int16_t> in(9000);
  for (int i = 0; i < 9000; i++) in[i] = (int16_t)((i * 2654435761u) >> 16);
  for (int id : {0, -128, -1, 17, 127}) EXPECT_EQ(run(id, -128, in), in) << "id " << id;
}

TEST(Effects, DepthZeroIsDryButTheEffectAdvances) {
  // 32000 / 4 = 8000 reaches the reverberator; the buffer stays dry, and the
  // reverberator, continued by hand, gives its first reflection on time.
  std::vector<int16_t> in = impulse(1355, 32000);
  EXPECT_EQ(run(1, 0, in), in);
  EXPECT_EQ(reverbSample(0), 23);
}

TEST(Effects, ReverbHearsAQuarterTowardZero) {
  // At depth 127, y = (x + 1524 * w) / 128; -3 reaches the reverberator as
  // 0 and leaves nothing, -5 as -1 and comes back.
  for (int x : {-3, 3, -5}) {
    std::vector<int16_t> out = run(1, 127, impulse(40000, (int16_t)x));
    resetReverb(1);
    for (int n = 0; n < 40000; n++) {
      int32_t w = reverbSample(n == 0 ? x / 4 : 0);
      int32_t dry = n == 0 ? x : 0;
      ASSERT_EQ(out[n], (dry + 1524 * w) / 128) << "x " << x << " sample " << n;
    }
    bool silent = true;
    for (int16_t y : out) silent = silent && y == 0;
    EXPECT_EQ(silent, x != -5) << "x " << x;
  }
}

TEST(Effects, MixAtTheDepthLimits) {
  // The echo of effect 9 returns an impulse of 1000 as w = 800 at sample 203.
  std::vector<int16_t> out = run(9, 127, impulse(204, 1000));
  EXPECT_EQ(out[0], 1000 / 128);           // (1 * x + 127 * 0) / 128
  EXPECT_EQ(out[203], (127 * 800) / 128);  // 793
  out = run(9, -128, impulse(204, -1000));
  EXPECT_EQ(out[0], -2000);  // 256 * x / 128
  EXPECT_EQ(out[203], 800);  // -128 * -800 / 128

  // Depth -128 doubles the dry voice and saturates; depth 1 truncates
  // 127 * x / 128 toward zero.
  EXPECT_EQ(run(11, -128, {32767, -32768, 16384, -16385}),
            (std::vector<int16_t>{32767, -32768, 32767, -32768}));
  EXPECT_EQ(run(9, 1, {1, -1, 129, -129}), (std::vector<int16_t>{0, 0, 127, -127}));
}

TEST(Effects, BufferSplitDoesNotMatter) {
  std::vector<int16_t> in(10000);
  for (int i = 0; i < 10000; i++) in[i] = (int16_t)((i * 40503u) & 0xFFFF);
  for (int id = 1; id <= 16; id++) {
    std::vector<int16_t> parts = in;
    resetEffect((int8_t)id, 100);
    int done = 0;
    for (int len : {1, 2239, 4080, 3680}) {
      applyEffect(parts.data() + done, len);
      done += len;
    }
    EXPECT_EQ(parts, run(id, 100, in)) << "effect " << id;
  }
}

TEST(Effects, FloatToIntegerTruncatesAndSaturates) {
  EXPECT_EQ(truncToInt32(-1.9), -1);
  EXPECT_EQ(truncToInt32(1.9), 1);
  EXPECT_EQ(truncToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(truncToInt32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(truncToInt32(3e9), INT32_MAX);
  EXPECT_EQ(truncToInt32(-3e9), INT32_MIN);
  EXPECT_EQ(truncToInt32(HUGE_VAL), INT32_MAX);
  EXPECT_EQ(truncToInt32(std::nan("")), 0);
}

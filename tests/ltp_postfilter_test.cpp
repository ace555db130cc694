// Long-term post-filter: when it switches off, which delay it picks, the
// far end of its reach, and the gain it mixes with.
#include <gtest/gtest.h>

#include "codec/basicop/diagnostics.h"
#include "support/test_support.h"

#include "ltp_postfilter.h"

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int SPAN = LTP_HISTORY + SUBFRAME_SAMPLES;

// A residual history: 152 past samples and the 40 current ones, with room
// in front for the tests that check nothing before the history is read.
struct Residual {
  std::vector<Word16> buffer = std::vector<Word16>(8 + SPAN, 0);
  Word16* past() { return buffer.data() + 8; }
  Word16* current() { return past() + LTP_HISTORY; }
};

// Sum of harmonics of a fundamental with the given period (in samples).
Residual harmonicResidual(double period, double amplitude) {
  Residual r;
  for (int i = 0; i < SPAN; i++) {
    double t = (i - LTP_HISTORY) / period;
    double s = 0;
    for (int h = 1; h < 12; h++) s += std::cos(2 * M_PI * h * t + h);
    r.past()[i] = (Word16)(amplitude * s);
  }
  return r;
}

std::string captured;
void captureLine(const char* line) { captured += line; }

}  // namespace

TEST(LongTermPostfilter, SilenceSwitchesItOff) {
  Residual r;
  Word16 out[SUBFRAME_SAMPLES];
  Word16 voicing = 99;
  long_term_postfilter(60, r.current(), out, &voicing, 16384);
  EXPECT_EQ(voicing, 0);
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) EXPECT_EQ(out[n], 0);
}

TEST(LongTermPostfilter, UncorrelatedResidualPassesUnchanged) {
  uint32_t seed = testsupport::testSeed(4711);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dist(-3000, 3000);
  for (int trial = 0; trial < 20; trial++) {
    Residual r;
    for (int i = 0; i < SPAN; i++) r.past()[i] = (Word16)dist(rng);
    Word16 out[SUBFRAME_SAMPLES];
    Word16 voicing = 99;
    long_term_postfilter(80, r.current(), out, &voicing, 16384);
    EXPECT_EQ(voicing, 0) << "trial " << trial;
    for (int n = 0; n < SUBFRAME_SAMPLES; n++) ASSERT_EQ(out[n], r.current()[n]) << trial;
  }
}

TEST(LongTermPostfilter, ExactRepetitionIsFoundAndKeptAtFullLevel) {
  // A random pattern repeated every 50 samples: the integer delay predicts
  // perfectly, and the mix of two equal signals returns the signal.
  uint32_t seed = testsupport::testSeed(99);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dist(-5000, 5000);
  Residual r;
  for (int i = 0; i < 50; i++) r.past()[i] = (Word16)dist(rng);
  for (int i = 50; i < SPAN; i++) r.past()[i] = r.past()[i - 50];
  for (Word16 weight : {(Word16)16384, (Word16)8192, (Word16)0}) {
    Word16 out[SUBFRAME_SAMPLES];
    Word16 voicing = 0;
    long_term_postfilter(50, r.current(), out, &voicing, weight);
    EXPECT_EQ(voicing, 50) << "weight " << weight;
    for (int n = 0; n < SUBFRAME_SAMPLES; n++) EXPECT_NEAR(out[n], r.current()[n], 1) << n;
  }
}

TEST(LongTermPostfilter, LongestDelayReadsNothingBeforeTheHistory) {
  // Period 145 7/8 with a decoded delay of 144: the search settles on 146
  // minus one eighth, whose 16-tap interpolation reaches one sample before
  // the 152-sample history. Whatever lies there must not matter.
  Residual r = harmonicResidual(145.875, 800);
  Word16 out1[SUBFRAME_SAMPLES], out2[SUBFRAME_SAMPLES];
  Word16 voicing1 = 0, voicing2 = 0;
  r.past()[-1] = 0;
  long_term_postfilter(144, r.current(), out1, &voicing1, 16384);
  r.past()[-1] = 30000;
  long_term_postfilter(144, r.current(), out2, &voicing2, 16384);
  EXPECT_EQ(voicing1, 146);
  EXPECT_EQ(voicing2, 146);
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) EXPECT_EQ(out1[n], out2[n]) << n;

  Word16 x[1 + SPAN];
  x[0] = 0;
  for (int i = 0; i < SPAN; i++) x[1 + i] = r.past()[i];
  ShortInterpolation blocks;
  DelaySearchResult d;
  fractional_delay_search(144, x + 1 + LTP_HISTORY, &blocks, &d);
  EXPECT_EQ(d.D, 146);
  EXPECT_EQ(d.p, 1);
  EXPECT_EQ(d.o, 0);
}

TEST(LongTermPostfilter, ZeroOverZeroGainKeepsTheResidual) {
  // A quiet square wave followed by the same wave 160 times louder: the
  // correlation passes the voicing test but the delayed energy shifts down
  // to 0, so the weighted gain would divide 0 by 0. The residual passes
  // (nearly) unchanged, without a division error.
  Residual r;
  for (int i = 0; i < SPAN; i++) {
    int phase = ((i - LTP_HISTORY) % 60 + 60) % 60;
    int sign = phase < 30 ? 1 : -1;
    r.past()[i] = (Word16)(i >= LTP_HISTORY ? 32000 * sign : 200 * sign);
  }
  captured.clear();
  set_decoder_message_sink(captureLine);
  Word16 out[SUBFRAME_SAMPLES];
  Word16 voicing = 0;
  long_term_postfilter(60, r.current(), out, &voicing, 8192);
  set_decoder_message_sink(nullptr);
  EXPECT_EQ(captured, "");
  EXPECT_EQ(voicing, 60);
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) EXPECT_NEAR(out[n], r.current()[n], 1) << n;
}

TEST(FractionalDelaySearch, TiesKeepTheIntegerAndTheShorterDelay) {
  // A constant 64 correlates equally at every integer delay, and every
  // interpolated block (64 or 65 throughout) predicts it exactly as well in
  // the fixed-point criterion: 20800^2 / 21125 = 20480^2 / 20480 after the
  // shift by 4. The search keeps delay - 1 and phase 0.
  Word16 x[1 + SPAN];
  for (Word16& v : x) v = 64;
  ShortInterpolation blocks;
  DelaySearchResult d;
  fractional_delay_search(60, x + 1 + LTP_HISTORY, &blocks, &d);
  EXPECT_EQ(d.D, 59);
  EXPECT_EQ(d.p, 0);
  EXPECT_EQ(d.o, 1);
  EXPECT_EQ(d.num, 20480);
  EXPECT_EQ(d.den, 20480);
  EXPECT_EQ(d.sh_num, 4);
  EXPECT_EQ(d.sh_den, 4);
  EXPECT_EQ(blocks.block[0][7], 64);
  EXPECT_EQ(blocks.block[2][7], 65);
}

TEST(ChooseInterpolation, LongFilterMustBeStrictlyBetter) {
  EXPECT_EQ(choose_interpolation(100, 200, 5, 5, 100, 200, 5, 5), 1);  // tie
  EXPECT_EQ(choose_interpolation(100, 200, 5, 5, 101, 200, 5, 5), 2);
  EXPECT_EQ(choose_interpolation(100, 200, 5, 5, 99, 200, 5, 5), 1);
  // Mantissas alone would prefer the 4-tap result; the exponents decide.
  EXPECT_EQ(choose_interpolation(100, 200, 5, 5, 60, 200, 6, 5), 2);
  EXPECT_EQ(choose_interpolation(100, 200, 5, 5, 100, 120, 5, 6), 1);
  EXPECT_EQ(choose_interpolation(100, 200, 5, 5, 100, 120, 5, 5), 2);
  // A silent 16-tap result is never chosen.
  EXPECT_EQ(choose_interpolation(0, 200, 5, 5, 300, 0, 5, 5), 1);
}

// Long-term post-filter: when it switches off, which delay it picks, the
// far end of its reach, and the gain it mixes with.
#include <gtest/gtest.h>

#include "codec/basicop/diagnostics.h"
#include "codec/ltp_postfilter.h"
#include "support/test_support.h"

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int SPAN = LTP_HISTORY + LTP_SUBFRAME;

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
  Word16 out[LTP_SUBFRAME];
  Word16 voicing = 99;
  long_term_postfilter(60, r.current(), out, &voicing, 16384);
  EXPECT_EQ(voicing, 0);
  for (int n = 0; n < LTP_SUBFRAME; n++) EXPECT_EQ(out[n], 0);
}

TEST(LongTermPostfilter, UncorrelatedResidualPassesUnchanged) {
  uint32_t seed = testsupport::testSeed(4711);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dist(-3000, 3000);
  for (int trial = 0; trial < 20; trial++) {
    Residual r;
    for (int i = 0; i < SPAN; i++) r.past()[i] = (Word16)dist(rng);
    Word16 out[LTP_SUBFRAME];
    Word16 voicing = 99;
    long_term_postfilter(80, r.current(), out, &voicing, 16384);
    EXPECT_EQ(voicing, 0) << "trial " << trial;
    for (int n = 0; n < LTP_SUBFRAME; n++) ASSERT_EQ(out[n], r.current()[n]) << trial;
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
    Word16 out[LTP_SUBFRAME];
    Word16 voicing = 0;
    long_term_postfilter(50, r.current(), out, &voicing, weight);
    EXPECT_EQ(voicing, 50) << "weight " << weight;
    for (int n = 0; n < LTP_SUBFRAME; n++) EXPECT_NEAR(out[n], r.current()[n], 1) << n;
  }
}

TEST(LongTermPostfilter, AttenuatesTheUnpredictablePart) {
  // Current subframe = the periodic signal plus a small disturbance: the
  // output moves toward the prediction, so it is closer to the periodic
  // signal than the input was.
  Residual clean = harmonicResidual(57.0, 700);
  Residual noisy = clean;
  for (int n = 0; n < LTP_SUBFRAME; n++) noisy.current()[n] += (Word16)(n % 2 ? 400 : -400);
  Word16 out[LTP_SUBFRAME];
  Word16 voicing = 0;
  long_term_postfilter(57, noisy.current(), out, &voicing, 16384);
  EXPECT_GE(voicing, 56);
  EXPECT_LE(voicing, 58);
  double before = 0, after = 0;
  for (int n = 0; n < LTP_SUBFRAME; n++) {
    before += std::fabs(noisy.current()[n] - clean.current()[n]);
    after += std::fabs(out[n] - clean.current()[n]);
  }
  EXPECT_LT(after, before * 0.8);
}

TEST(LongTermPostfilter, LongestDelayReadsNothingBeforeTheHistory) {
  // Period 145 7/8 with a decoded delay of 144: the search settles on 146
  // minus one eighth, whose 16-tap interpolation reaches one sample before
  // the 152-sample history. Whatever lies there must not matter.
  Residual r = harmonicResidual(145.875, 800);
  Word16 out1[LTP_SUBFRAME], out2[LTP_SUBFRAME];
  Word16 voicing1 = 0, voicing2 = 0;
  r.past()[-1] = 0;
  long_term_postfilter(144, r.current(), out1, &voicing1, 16384);
  r.past()[-1] = 30000;
  long_term_postfilter(144, r.current(), out2, &voicing2, 16384);
  EXPECT_EQ(voicing1, 146);
  EXPECT_EQ(voicing2, 146);
  for (int n = 0; n < LTP_SUBFRAME; n++) EXPECT_EQ(out1[n], out2[n]) << n;

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
  Word16 out[LTP_SUBFRAME];
  Word16 voicing = 0;
  long_term_postfilter(60, r.current(), out, &voicing, 8192);
  set_decoder_message_sink(nullptr);
  EXPECT_EQ(captured, "");
  EXPECT_EQ(voicing, 60);
  for (int n = 0; n < LTP_SUBFRAME; n++) EXPECT_NEAR(out[n], r.current()[n], 1) << n;
}

TEST(FractionalDelaySearch, IntegerTiesKeepTheShorterDelay) {
  // A constant signal correlates equally at every delay; the search starts
  // from delay - 1, so the chosen delay never exceeds the decoded one.
  Word16 x[1 + SPAN];
  for (Word16& v : x) v = 1000;
  ShortInterpolation blocks;
  DelaySearchResult d;
  fractional_delay_search(60, x + 1 + LTP_HISTORY, &blocks, &d);
  EXPECT_GE(d.D, 59);
  EXPECT_LE(d.D, 60);
  EXPECT_GT(d.num, 0);
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

TEST(HarmonicFilter, MixesWithComplementaryWeights) {
  Word16 res[LTP_SUBFRAME], y[LTP_SUBFRAME], out[LTP_SUBFRAME];
  for (int n = 0; n < LTP_SUBFRAME; n++) {
    res[n] = (Word16)(n * 800 - 16000);
    y[n] = (Word16)(12000 - n * 500);
  }
  harmonic_filter(res, y, out, 16384);
  for (int n = 0; n < LTP_SUBFRAME; n++) EXPECT_EQ(out[n], (res[n] + y[n]) / 2) << n;
  harmonic_filter(res, y, out, 0);  // 1 - g saturates to 32767
  for (int n = 0; n < LTP_SUBFRAME; n++) EXPECT_NEAR(out[n], y[n], 1) << n;
  harmonic_filter(res, y, y, 32767);  // in place over y
  for (int n = 0; n < LTP_SUBFRAME; n++) EXPECT_NEAR(y[n], res[n], 1) << n;
}

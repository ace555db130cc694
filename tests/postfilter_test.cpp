// Subframe post-filter: the whole chain on signals whose result is known,
// the gain control's special levels, the tilt branches and the short-term
// gain limit.
#include <gtest/gtest.h>

#include "support/test_support.h"

#include "postfilter.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr Word16 ORDER = 10;
const Word16 FLAT[ORDER + 1] = {4096, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Word16 SPEECHLIKE[ORDER + 1] = {4096, -4800, 3500, -1900, 1200, -600,
                                      400,  -200,  100,  -60,   30};

// Decoded speech with ORDER samples of history in front of each subframe.
struct Speech {
  std::vector<Word16> samples;
  explicit Speech(int subframes) : samples(ORDER + subframes * SUBFRAME_SAMPLES, 0) {}
  Word16* subframe(int k) { return samples.data() + ORDER + k * SUBFRAME_SAMPLES; }
};

// Runs the post-filter over every subframe with the fixed-rate settings.
std::vector<Word16> postfilter(Speech& speech, int subframes, const Word16* lpc, Word16 frame_type,
                               Word16 delay, std::vector<Word16>* voicings = nullptr) {
  std::vector<Word16> out(subframes * SUBFRAME_SAMPLES);
  for (int k = 0; k < subframes; k++) {
    Word16 voicing = -1;
    postfilter_subframe(delay, speech.subframe(k), lpc, out.data() + k * SUBFRAME_SAMPLES, &voicing,
                        22938, 18022, 16384, 20, ORDER, frame_type);
    if (voicings) voicings->push_back(voicing);
  }
  return out;
}

// Gain after n steps of the decay 0.9875 per sample from g (Q14).
int decayed(int g, int n) {
  for (int i = 0; i < n; i++) g = (32358 * g + 16384) >> 15;
  return g;
}

}  // namespace

TEST(Postfilter, FlatFilterIsTransparent) {
  // With A(z) = 1 every stage is the identity: no short-term shaping, a unit
  // impulse response (sum exactly 1.0, first reflection 0), and a gain
  // control that finds equal levels at unit gain. Random speech does not
  // switch the long-term stage on; a bypassed one changes nothing either.
  uint32_t seed = testsupport::testSeed(1234);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dist(-20000, 20000);
  for (Word16 frame_type : {(Word16)1, (Word16)3}) {
    postfilter_reset();
    Speech speech(8);
    for (Word16& s : speech.samples) s = (Word16)dist(rng);
    std::vector<Word16> voicings;
    std::vector<Word16> out = postfilter(speech, 8, FLAT, frame_type, 70, &voicings);
    for (int i = 0; i < 8 * SUBFRAME_SAMPLES; i++)
      ASSERT_EQ(out[i], speech.subframe(0)[i]) << "frame type " << frame_type << " sample " << i;
    for (Word16 v : voicings) EXPECT_EQ(v, 0);
    EXPECT_EQ(postfilter_state.agc_gain, 16384);
  }
}

TEST(Postfilter, PeriodicSpeechVoicesOnlyWhenTheLongTermStageRuns) {
  // Period 50 with a slowly rising level, so that the delayed residual
  // predicts the current one well but not exactly.
  Speech speech(8);
  for (size_t i = 0; i < speech.samples.size(); i++) {
    double level = 1000 + 10.0 * i;
    double t = 2 * M_PI * (double)i / 50;
    speech.samples[i] = (Word16)(level * (std::sin(t) + 0.6 * std::sin(2 * t + 1) +
                                          0.4 * std::sin(3 * t + 2) + 0.3 * std::sin(5 * t)));
  }
  postfilter_reset();
  std::vector<Word16> voiced;
  std::vector<Word16> withLtp = postfilter(speech, 8, SPEECHLIKE, 3, 50, &voiced);
  postfilter_reset();
  std::vector<Word16> bypassed;
  std::vector<Word16> withoutLtp = postfilter(speech, 8, SPEECHLIKE, 1, 50, &bypassed);
  // From the third subframe on the history holds a whole period.
  for (int k = 2; k < 8; k++) {
    EXPECT_GE(voiced[k], 49) << "subframe " << k;
    EXPECT_LE(voiced[k], 51) << "subframe " << k;
  }
  for (Word16 v : bypassed) EXPECT_EQ(v, 0);
  EXPECT_NE(withLtp, withoutLtp);
}

TEST(Postfilter, SilenceAfterResetStaysSilentWhileTheGainDecays) {
  postfilter_reset();
  Speech speech(3);
  std::vector<Word16> out = postfilter(speech, 3, SPEECHLIKE, 2, 40);
  for (Word16 s : out) EXPECT_EQ(s, 0);
  EXPECT_EQ(postfilter_state.agc_gain, decayed(16384, 3 * SUBFRAME_SAMPLES));
}

TEST(Postfilter, ResetForgetsEverySubframeMemory) {
  postfilter_reset();
  Speech loud(4);
  for (size_t i = 0; i < loud.samples.size(); i++)
    loud.samples[i] = (Word16)((i * 7919) % 16001 - 8000);
  postfilter(loud, 4, SPEECHLIKE, 3, 60);

  // Silence right after loud speech still rings out of the memories ...
  Speech silence(1);
  std::vector<Word16> ringing = postfilter(silence, 1, SPEECHLIKE, 3, 60);
  bool any = false;
  for (Word16 s : ringing) any = any || s != 0;
  EXPECT_TRUE(any);

  // ... but not after a reset.
  postfilter(loud, 4, SPEECHLIKE, 3, 60);
  postfilter_reset();
  std::vector<Word16> quiet = postfilter(silence, 1, SPEECHLIKE, 3, 60);
  for (Word16 s : quiet) EXPECT_EQ(s, 0);
  EXPECT_EQ(postfilter_state.agc_gain, decayed(16384, SUBFRAME_SAMPLES));
}

TEST(GainControl, SilentInputDecaysTheGainOverWhatStillRings) {
  Word16 speech[SUBFRAME_SAMPLES] = {};
  Word16 out[SUBFRAME_SAMPLES];
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) out[n] = 10000;
  Word16 gain = 16384;
  gain_control(speech, out, &gain);
  int g = 16384;
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) {
    g = decayed(g, 1);
    EXPECT_EQ(out[n], (g * 10000 * 4 + 32768) >> 16) << n;
  }
  EXPECT_EQ(gain, g);
}

TEST(GainControl, SilentOutputZeroesTheGainAndTheNextStartsFromZero) {
  Word16 speech[SUBFRAME_SAMPLES];
  Word16 out[SUBFRAME_SAMPLES] = {};
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) speech[n] = (Word16)(n % 2 ? 1000 : -1000);
  Word16 gain = 16384;
  gain_control(speech, out, &gain);
  EXPECT_EQ(gain, 0);
  for (Word16 s : out) EXPECT_EQ(s, 0);

  // Equal levels: the ratio is 1.0, so each sample adds 0.0125 of it
  // (205 in Q14) to a gain that starts from 0.
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) out[n] = speech[n];
  gain_control(speech, out, &gain);
  EXPECT_EQ(out[0], -((205 * 1000 * 4 + 32768) >> 16));
  EXPECT_GT(gain, 205 * 30);
  EXPECT_LT(gain, 16384 / 2);
}

TEST(TiltCompensation, ReflectionSignSelectsTheFactor) {
  Word16 s[SUBFRAME_SAMPLES + 1], out[SUBFRAME_SAMPLES];
  // rc0 = 0: the input passes exactly, full scale included.
  for (int n = 0; n <= SUBFRAME_SAMPLES; n++) s[n] = (Word16)(n * 1637 - 32768);
  s[5] = 32767;
  tilt_compensation(s, out, 0);
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) EXPECT_EQ(out[n], s[n + 1]) << n;

  // rc0 > 0, mu = 0.2: (1000 + 0.2 * 1000) / 0.8 = 1500; the first sample
  // sees s[0] = 0.
  s[0] = 0;
  for (int n = 1; n <= SUBFRAME_SAMPLES; n++) s[n] = 1000;
  tilt_compensation(s, out, 32767);
  EXPECT_EQ(out[0], 1250);
  for (int n = 1; n < SUBFRAME_SAMPLES; n++) EXPECT_EQ(out[n], 1500) << n;

  // rc0 = -0.5, mu = -0.45: an impulse of 1000 becomes 1000 / 0.55
  // followed by -0.45 * 1000 / 0.55.
  for (int n = 2; n <= SUBFRAME_SAMPLES; n++) s[n] = 0;
  tilt_compensation(s, out, -16384);
  EXPECT_NEAR(out[0], 1818, 2);
  EXPECT_NEAR(out[1], -818, 2);
  for (int n = 2; n < SUBFRAME_SAMPLES; n++) EXPECT_EQ(out[n], 0);
}

TEST(FirstReflection, IsMinusTheNormalisedFirstCorrelation) {
  Word16 h[20] = {4096};
  Word16 rc0 = 99;
  first_reflection(h, &rc0, 20);
  EXPECT_EQ(rc0, 0);
  h[1] = 2048;  // r1 / r0 = 0.4
  first_reflection(h, &rc0, 20);
  EXPECT_EQ(rc0, -13107);
  h[1] = -2048;
  first_reflection(h, &rc0, 20);
  EXPECT_EQ(rc0, 13107);
}

TEST(ShortTermGainControl, ScalesOnlyAboveUnitSum) {
  Word16 num[PF_MAX_RESPONSE] = {4096};
  const Word16 den[ORDER + 1] = {4096};
  Word16 sig[SUBFRAME_SAMPLES];
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) sig[n] = (Word16)(n % 2 ? 32767 : -32768);
  Word16 rc0 = 99;
  // Impulse response 1.0 exactly: left alone (a division by 1.0 would
  // still move full-scale samples by one).
  short_term_gain_control(num, den, &rc0, sig, 20, ORDER);
  EXPECT_EQ(rc0, 0);
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) EXPECT_EQ(sig[n], n % 2 ? 32767 : -32768);

  // Sum 4112 / 4096 = 1028 in Q10: scaled by 1024 / 1028.
  num[1] = 16;
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) sig[n] = 1000;
  short_term_gain_control(num, den, &rc0, sig, 20, ORDER);
  for (int n = 0; n < SUBFRAME_SAMPLES; n++) EXPECT_EQ(sig[n], 996);
  EXPECT_LT(rc0, 0);
}

// Excitation stages: pitch delay decoding, adaptive codebook interpolation,
// pitch tracking and the fixed codebooks of the three rates.
#include <gtest/gtest.h>

#include "codec/tables/tables.h"

#include "fixed_codebook.h"
#include "pitch.h"

#include <utility>
#include <vector>

using Delay = std::pair<int, int>;  // integer delay, fraction in thirds

static Delay lag(Word16 index, Word16 start, Word16 T0_in, Word16 rate) {
  Word16 t = T0_in, f = 99;
  decode_pitch_lag(index, 20, 143, start, &t, &f, rate);
  EXPECT_TRUE(f >= -1 && f <= 1) << "index " << index;
  return {t, f};
}
static int thirds(Delay d) { return 3 * d.first + d.second; }

TEST(PitchLag, FirstSubframeCoversEveryThirdThenEverySample) {
  EXPECT_EQ(lag(0, 0, 0, 1), Delay(19, 1));
  EXPECT_EQ(lag(196, 0, 0, 1), Delay(85, -1));
  EXPECT_EQ(lag(197, 0, 0, 1), Delay(85, 0));
  EXPECT_EQ(lag(255, 0, 0, 1), Delay(143, 0));
  for (Word16 i = 1; i < 256; i++)
    EXPECT_EQ(thirds(lag(i, 0, 0, i % 3)), thirds(lag(i - 1, 0, 0, 0)) + (i <= 197 ? 1 : 3)) << i;
}

TEST(PitchLag, SecondSubframeWindowIsClampedToTheDelayLimits) {
  // Window start for first delays 22 (lower clamp), 60 and 140 (upper clamp).
  const Word16 first[3] = {22, 60, 140}, t0_min[3] = {20, 55, 134};
  const int rel64[16] = {0, 3, 6, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 21, 24, 27};
  for (int n = 0; n < 3; n++) {
    for (Word16 i = 0; i < 32; i++)
      for (Word16 rate = 1; rate <= 2; rate++)
        EXPECT_EQ(thirds(lag(i, 40, first[n], rate)), 3 * t0_min[n] - 2 + i);
    for (Word16 i = 0; i < 16; i++)  // 6.4 kbit/s: 4 bits, higher bits ignored
      EXPECT_EQ(thirds(lag(i | 0x70, 40, first[n], 0)), 3 * t0_min[n] + rel64[i]) << i;
  }
  EXPECT_EQ(lag(0, 40, 22, 1), Delay(19, 1));
  EXPECT_EQ(lag(31, 40, 140, 1), Delay(144, -1));  // above the maximum delay
  EXPECT_EQ(lag(5, 40, 60, 0), Delay(59, -1));
  EXPECT_EQ(lag(12, 40, 60, 0), Delay(61, 0));
}

// Excitation with `history` samples before the subframe, sized exactly so
// that AddressSanitizer catches a read further back.
struct Excitation {
  std::vector<Word16> buf;
  int history;
  explicit Excitation(int h) : buf(h + 40, 0), history(h) {}
  Word16& at(int n) { return buf[history + n]; }
};

TEST(AdaptiveCodebook, ReadPositionAndPhaseOfFractionalDelays) {
  // An impulse of 0.5 reaches output 0 weighted by the filter at its
  // distance from the delayed point, in thirds: delay 25 1/3 puts -25 at 1/3
  // and -26 at 2/3; delay 24 2/3 puts -25 at 1/3, -24 at 2/3, -26 at 4/3.
  // The longest delays reach exactly 153 samples back.
  struct Case {
    Word16 T0, frac;
    int pos, tap, history;
  } cases[] = {{25, 0, -25, 0, 154},     {25, 1, -25, 1, 154},   {25, 1, -26, 2, 154},
               {25, -1, -25, 1, 154},    {25, -1, -24, 2, 154},  {25, -1, -26, 4, 154},
               {144, -1, -153, 28, 153}, {143, 1, -153, 29, 153}};
  for (const Case& c : cases) {
    Excitation e(c.history);
    e.at(c.pos) = 16384;
    adaptive_codebook_vector(&e.at(0), c.T0, c.frac, 40);
    EXPECT_EQ(e.at(0), (PITCH_INTERP_FILTER[c.tap] + 1) >> 1) << c.T0 << " " << c.frac;
  }
}

TEST(AdaptiveCodebook, ShortDelayRepeatsWhatItHasWritten) {
  Excitation whole(154), halves(154);
  for (int n = -154; n < 0; n++) whole.at(n) = halves.at(n) = (Word16)((n * 7919) % 9000);
  adaptive_codebook_vector(&whole.at(0), 20, 1, 40);
  // Samples 20..39 must read samples 0..19 as just written.
  adaptive_codebook_vector(&halves.at(0), 20, 1, 20);
  adaptive_codebook_vector(&halves.at(20), 20, 1, 20);
  EXPECT_EQ(whole.buf, halves.buf);
}

struct Track {
  Word16 prev, count, sd, sf;
  Delay operator()(Word16 d, Word16 f) {
    track_pitch(&d, &f, &prev, &count, &sd, &sf);
    EXPECT_EQ(prev, d);
    return {d, f};
  }
};

TEST(PitchTracking, StationarityAndCounterLimit) {
  Track t{30, 3, 0, 0};
  EXPECT_EQ(t(35, 1), Delay(35, 1));  // a change of exactly 5 is a transition
  EXPECT_EQ(t.count, 0);
  EXPECT_EQ(t.sd, 35);
  for (int i = 0; i < 10; i++) {
    t((Word16)(39 - (i & 1)), 0);  // changes of 4 and 1
    EXPECT_EQ(t.count, i < 7 ? i + 1 : 7);
  }
  EXPECT_EQ(Delay(t.sd, t.sf), Delay(38, 0));
}

TEST(PitchTracking, MultipleOfThePreviousDelayFallsBackOnTheStableOne) {
  Track t{40, 3, 41, -1};
  EXPECT_EQ(t(81, 1), Delay(41, -1));  // |2 * 40 - 81| = 1
  EXPECT_EQ(t.count, 2);
  EXPECT_EQ(t(20, 0), Delay(41, -1));  // falling to half of 41
  EXPECT_EQ(t.count, 1);
  t.count = 0, t.prev = 40;
  EXPECT_EQ(t(121, 0), Delay(121, 0));  // 3 * 40 + 1, nothing stable to fall back on
  EXPECT_EQ(t.count, 0);
  EXPECT_EQ(t.sd, 41) << "a (sub)multiple is not a new stable delay";
}

// Expects exactly the listed pulses in code, zeros elsewhere.
static void expectPulses(const Word16* code, std::vector<std::pair<int, int>> pulses) {
  std::vector<int> want(40, 0);
  for (auto& p : pulses) want[p.first] = p.second;
  for (int i = 0; i < 40; i++) EXPECT_EQ(code[i], want[i]) << "position " << i;
}

TEST(FixedCodebook, PulsesOfTheThreeRates) {
  Word16 code[40];
  for (Word16& c : code) c = 1234;  // the old vector must not show through
  decode_fixed_codebook_80(0, 0, code);
  expectPulses(code, {{0, -8192}, {1, -8192}, {2, -8192}, {3, -8192}});
  decode_fixed_codebook_80(15, 8191, code);
  expectPulses(code, {{35, 8191}, {36, 8191}, {37, 8191}, {39, 8191}});
  decode_fixed_codebook_80(0x5, (3 << 10) | (6 << 6) | (1 << 3) | 2, code);
  expectPulses(code, {{10, 8191}, {6, -8192}, {32, 8191}, {18, -8192}});

  decode_fixed_codebook_64(3, 320, code);  // both pulses at 1
  expectPulses(code, {{1, 16382}});
  decode_fixed_codebook_64(0, 320, code);
  expectPulses(code, {{1, -16384}});
  decode_fixed_codebook_64(1, 320, code);
  expectPulses(code, {{1, -1}});
  decode_fixed_codebook_64(1, (16 << 4) | 8, code);  // Gray 8 and 16: last entries
  expectPulses(code, {{38, 8191}, {36, -8192}});

  // Track 3: second pulse before the first takes its sign.
  const Word16 index[5] = {0, 0x18, 0x71, 0x13, 0x7F};
  decode_fixed_codebook_118(index, code);
  expectPulses(code, {{0, 8192},
                      {1, -4096},
                      {6, 4096},
                      {7, 4096},
                      {37, -4096},
                      {18, 4096},
                      {8, 4096},
                      {39, -8192}});
  decode_track_pulses(0x0A, 1, 1, code);  // one pulse, assigned over the old value
  decode_track_pulses(0x7F, 5, 2, code);  // no such track: nothing written
  EXPECT_EQ(code[11], -4096);
  EXPECT_EQ(code[39], -8192);
}

// The decoder's fast paths against its exact reference paths: long random
// streams at every rate, rate switches in every direction, loud streams that
// saturate and drive the fast forms onto their fallbacks, paths switched
// frame by frame, and the fast forms of single stages on inputs chosen to
// sit at and beyond their bounds. Every comparison is bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/basicop/diagnostics.h"
#include "codec/decoder.h"
#include "codec/g192.h"
#include "codec/tables/tables.h"
#include "tests/support/frame_builder.h"
#include "tests/support/test_support.h"

#include "dispersion.h"
#include "fast_paths.h"
#include "filters.h"
#include "frame_decoder.h"
#include "gain.h"
#include "highpass.h"
#include "lsp.h"
#include "ltp_postfilter.h"
#include "pitch.h"
#include "postfilter.h"

namespace {

struct Frame {
  int rate;
  std::vector<uint8_t> bytes;
};

// Field of the two gain indices of each rate (frame order).
const int GAIN_FIELDS[3][2] = {{5, 9}, {6, 10}, {9, 16}};

// Gain indices with the largest pitch gains: excitation that grows from
// subframe to subframe until the synthesis saturates.
std::vector<int> loudGainIndices(int rate) {
  std::vector<int> loud;
  if (rate == Rate64) {
    for (int i = 0; i < 64; i++)
      if (GAIN_CB1_64[GAIN_MAP1_64[i >> 3]][0] + GAIN_CB2_64[GAIN_MAP2_64[i & 7]][0] > 19000)
        loud.push_back(i);
  } else {
    for (int i = 0; i < 128; i++)
      if (GAIN_CB1[GAIN_MAP1[i >> 4]][0] + GAIN_CB2[GAIN_MAP2[i & 15]][0] > 19000)
        loud.push_back(i);
  }
  return loud;
}

// One frame of random fields; with `loud`, the gains mostly among the
// loudest.
Frame randomFrame(int rate, bool loud, std::mt19937& rng) {
  std::vector<int> fields;
  for (int width : testsupport::frameFieldWidths(rate))
    fields.push_back((int)(rng() & ((1u << width) - 1)));
  if (loud) {
    static const std::vector<int> LOUD[3] = {loudGainIndices(0), loudGainIndices(1),
                                             loudGainIndices(2)};
    for (int f : GAIN_FIELDS[rate])
      if (rng() % 4 != 0) fields[(size_t)f] = LOUD[rate][rng() % LOUD[rate].size()];
  }
  return Frame{rate, testsupport::buildFrame(rate, fields)};
}

// `count` frames; rate < 0 switches rates at random every 1 to 12 frames.
std::vector<Frame> randomStream(int rate, int count, bool loud, std::mt19937& rng) {
  std::vector<Frame> frames;
  int current = rate < 0 ? 0 : rate;
  int run = 0;
  for (int i = 0; i < count; i++) {
    if (rate < 0 && run-- == 0) {
      current = (int)(rng() % 3);
      run = (int)(rng() % 12);
    }
    frames.push_back(randomFrame(current, loud, rng));
  }
  return frames;
}

void ignoreMessage(const char*) {}

// Decodes the stream from the program-start state; `reference(i)` chooses
// the paths of frame i.
template <typename Choice>
std::vector<Word16> decodeStream(const std::vector<Frame>& frames, Choice reference) {
  set_decoder_message_sink(ignoreMessage);
  decoder_program_start();
  std::vector<Word16> out(frames.size() * FRAME_SAMPLES);
  for (size_t i = 0; i < frames.size(); i++) {
    decoder_use_reference_paths(reference(i));
    decode_frame(frames[i].bytes.data(), frames[i].rate, &out[i * FRAME_SAMPLES]);
  }
  decoder_use_reference_paths(false);
  set_decoder_message_sink(nullptr);
  return out;
}

std::vector<Word16> decodeFast(const std::vector<Frame>& frames) {
  return decodeStream(frames, [](size_t) { return false; });
}

std::vector<Word16> decodeReference(const std::vector<Frame>& frames) {
  return decodeStream(frames, [](size_t) { return true; });
}

// "" when equal, else the first differing frame and sample.
std::string difference(const std::vector<Word16>& a, const std::vector<Word16>& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); i++)
    if (a[i] != b[i])
      return "frame " + std::to_string(i / FRAME_SAMPLES) + " sample " +
             std::to_string(i % FRAME_SAMPLES) + ": " + std::to_string(a[i]) + " vs " +
             std::to_string(b[i]);
  return a.size() == b.size() ? "" : "lengths differ";
}

const char* RATE_NAMES[3] = {"6.4", "8", "11.8"};

}  // namespace

TEST(FastPaths, RandomStreamsOfEveryRateMatchTheReference) {
  std::mt19937 rng(testsupport::testSeed(20260101));
  for (int rate = 0; rate < 3; rate++) {
    for (bool loud : {false, true}) {
      std::vector<Frame> frames = randomStream(rate, 1500, loud, rng);
      EXPECT_EQ(difference(decodeFast(frames), decodeReference(frames)), "")
          << RATE_NAMES[rate] << " kbit/s" << (loud ? ", loud" : "");
    }
  }
}

TEST(FastPaths, RateSwitchesInEveryDirectionMatchTheReference) {
  std::mt19937 rng(testsupport::testSeed(777));
  // Every ordered pair of rates, several times over, then random switching.
  std::vector<Frame> frames;
  for (int round = 0; round < 4; round++)
    for (int from = 0; from < 3; from++)
      for (int to = 0; to < 3; to++) {
        if (from == to) continue;
        for (int i = 0; i < 3 + round; i++) frames.push_back(randomFrame(from, round % 2, rng));
        for (int i = 0; i < 3 + round; i++) frames.push_back(randomFrame(to, round % 2, rng));
      }
  for (bool loud : {false, true}) {
    std::vector<Frame> mixed = randomStream(-1, 1500, loud, rng);
    frames.insert(frames.end(), mixed.begin(), mixed.end());
  }
  EXPECT_EQ(difference(decodeFast(frames), decodeReference(frames)), "");
}

TEST(FastPaths, PathsSwitchedFrameByFrameLeaveTheSameState) {
  // The fast paths must leave every memory exactly as the reference paths
  // do, so mixing them frame by frame changes nothing either.
  std::mt19937 rng(testsupport::testSeed(4242));
  std::vector<Frame> frames = randomStream(-1, 1200, true, rng);
  std::vector<bool> choice(frames.size());
  for (size_t i = 0; i < choice.size(); i++) choice[i] = (rng() & 1) != 0;
  std::vector<Word16> mixed = decodeStream(frames, [&](size_t i) { return choice[i]; });
  EXPECT_EQ(difference(mixed, decodeReference(frames)), "");
}

TEST(FastPaths, OverflowFlagAtTheStartOfAFrameChangesNothing) {
  // The decoder reads Overflow only right after clearing it, so every other
  // write of the flag is dead: whatever it holds between frames, the
  // reference output stays the same.
  std::mt19937 rng(testsupport::testSeed(31337));
  std::vector<Frame> frames = randomStream(-1, 800, true, rng);
  std::vector<Word16> plain = decodeReference(frames);
  set_decoder_message_sink(ignoreMessage);
  decoder_use_reference_paths(true);
  decoder_program_start();
  std::vector<Word16> flagged(frames.size() * FRAME_SAMPLES);
  for (size_t i = 0; i < frames.size(); i++) {
    Overflow = (Flag)(rng() & 1);
    decode_frame(frames[i].bytes.data(), frames[i].rate, &flagged[i * FRAME_SAMPLES]);
  }
  decoder_use_reference_paths(false);
  set_decoder_message_sink(nullptr);
  EXPECT_EQ(difference(flagged, plain), "");
}

TEST(FastPaths, ConformanceBitstreamsDecodeAlikeOnBothPaths) {
  // The bitstreams that saturate the synthesis and repair LSPs.
  QUILLO_REQUIRE_SHARED();
  for (const char* name : {"main/OVERFLOW.BIT", "annexE/stabilit.bit", "annexD/testmid.3"}) {
    std::vector<uint8_t> bits;
    ASSERT_TRUE(testsupport::readFile(testsupport::sharedDir() + "/g729/vectors/" + name, bits));
    std::vector<Frame> frames;
    size_t offset = 0;
    G192Frame g;
    while (g192_read_frame(bits.data(), bits.size(), &offset, &g) == G192_FRAME)
      frames.push_back(Frame{g.rate_mode, std::vector<uint8_t>(g.bytes, g.bytes + 18)});
    EXPECT_EQ(difference(decodeFast(frames), decodeReference(frames)), "") << name;
  }
}

// Stage by stage: each fast form against its reference on random inputs of
// every scale, from quiet to full scale, where the bounds hold and where
// they fail.

namespace {

// Random 16-bit samples with magnitudes up to 2^bits - 1 (bits 1..15); from
// 14 bits on, now and then full scale.
Word16 randomSample(std::mt19937& rng, int bits) {
  if (bits >= 14 && rng() % 64 == 0) return (rng() & 1) ? MAX_16 : MIN_16;
  int32_t range = (1 << bits) - 1;
  return (Word16)((int32_t)(rng() % (uint32_t)(2 * range + 1)) - range);
}

void fill(std::mt19937& rng, Word16* x, int n, int bits) {
  for (int i = 0; i < n; i++) x[i] = randomSample(rng, bits);
}

// Runs `stage(true)` on the reference paths, then `stage(false)` on the fast
// paths; the stage starts both from the same inputs.
template <typename Stage>
void onBothPaths(Stage stage) {
  decoder_use_reference_paths(true);
  stage(true);
  decoder_use_reference_paths(false);
  stage(false);
}

}  // namespace

TEST(FastPaths, FiltersMatchTheReferenceIncludingOverflow) {
  std::mt19937 rng(testsupport::testSeed(1));
  for (int trial = 0; trial < 3000; trial++) {
    int bits = 1 + trial % 15;
    Word16 a[11], x[50], mem[10];
    a[0] = 4096;
    for (int j = 1; j <= 10; j++) a[j] = randomSample(rng, 10 + trial % 5);
    fill(rng, x, 50, bits);
    fill(rng, mem, 10, bits);
    // The subframe lengths, and odd ones for the fast form's last output.
    const Word16 LENGTHS[] = {20, 40, 40, 1, 7, 39};
    Word16 n = LENGTHS[trial % 6];

    Word16 y[2][40], res[2][40], m[2][10];
    Flag flag[2];
    onBothPaths([&](bool ref) {
      std::memcpy(m[ref], mem, sizeof mem);
      Overflow = 0;
      synthesis_filter(10, a, x + 10, y[ref], n, m[ref], 1);
      flag[ref] = Overflow;
      residual_filter(10, a, x + 10, res[ref], n);
    });
    ASSERT_EQ(flag[0], flag[1]) << "trial " << trial;
    for (int i = 0; i < n; i++) {
      ASSERT_EQ(y[0][i], y[1][i]) << "synthesis, trial " << trial << " sample " << i;
      ASSERT_EQ(res[0][i], res[1][i]) << "residual, trial " << trial << " sample " << i;
    }
    for (int i = 0; i < 10; i++) ASSERT_EQ(m[0][i], m[1][i]) << "trial " << trial;
  }
}

TEST(FastPaths, SynthesisOfTwoSignalsAtOnceAgreesWithTheExactFilter) {
  // Quiet to full-scale signals, through one filter from one memory (the
  // 6.4 kbit/s syntheses) or through two (the post-filter's responses), at
  // the lengths in use: where the paired form answers, neither exact
  // synthesis saturated and the outputs are the exact ones; it must answer
  // for most of the quiet ones.
  std::mt19937 rng(testsupport::testSeed(12));
  int answered = 0, quiet = 0;
  for (int trial = 0; trial < 3000; trial++) {
    int bits = 1 + trial % 15;
    bool shared = trial % 2 == 0;
    const Word16 LENGTHS[] = {40, 20, 32};
    Word16 n = LENGTHS[trial % 3];
    Word16 a[2][11], x[2][PAIR_LENGTH], mem[2][10];
    for (int k = 0; k < 2; k++) {
      a[k][0] = 4096;
      for (int j = 1; j <= 10; j++) a[k][j] = randomSample(rng, 10 + trial % 5);
      fill(rng, x[k], PAIR_LENGTH, bits);
      fill(rng, mem[k], 10, bits);
    }
    Word16 exact[2][PAIR_LENGTH], y[2][PAIR_LENGTH], m[10];
    Flag flag[2];
    decoder_use_reference_paths(true);
    for (int k = 0; k < 2; k++) {
      int f = shared ? 0 : k;
      std::memcpy(m, mem[f], sizeof m);
      Overflow = 0;
      synthesis_filter(10, a[f], x[k], exact[k], n, m, 0);
      flag[k] = Overflow;
    }
    decoder_use_reference_paths(false);
    int f1 = shared ? 0 : 1;
    bool ok = synthesis_filter_pair({a[0], x[0], mem[0], y[0]}, {a[f1], x[1], mem[f1], y[1]}, n);
    if (bits <= 6) quiet++, answered += ok;
    if (!ok) continue;
    ASSERT_EQ(flag[0] | flag[1], 0) << "trial " << trial;
    for (int k = 0; k < 2; k++)
      ASSERT_EQ(std::memcmp(y[k], exact[k], sizeof(Word16) * n), 0) << "trial " << trial;
  }
#if defined(__SSE2__)
  EXPECT_GT(answered, quiet / 2);
#endif
}

TEST(FastPaths, SynthesisAtTheEdgesOfItsRoundingMatchesTheReference) {
  // One output, at every position of the fast form's four-output steps, with
  // its sum just inside and just past the rounding's limits: a unit input
  // gives output 1 before it, which a[1] weighs on it. The exact filter sets
  // Overflow for the limited ones, also where the limited output equals the
  // unlimited one; the paired form must decline them and answer for the
  // largest output that is not at full scale.
  struct Edge {
    Word16 x, a1;
    bool limited;
  };
  const Edge EDGES[] = {
      {32767, 2049, false},    // sum 0x07fff7ff - 4096: output 32766
      {32767, -2047, false},   // 0x07fff7ff: 32767
      {32767, -2048, true},    // 0x07fff800
      {-32768, 0, false},      // -2^27: -32768
      {-32768, 1, true},       // -2^27 - 1: -32768 too
      {-32768, -2047, false},  // -2^27 + 2047
  };
  for (const Edge& e : EDGES) {
    for (int pos = 1; pos < 13; pos++) {
      Word16 a[11] = {4096, e.a1};
      Word16 x[PAIR_LENGTH] = {}, mem[10] = {};
      x[pos - 1] = 1;
      x[pos] = e.x;
      Word16 n = (Word16)(pos % 2 ? PAIR_LENGTH : pos + 1);
      Word16 y[2][PAIR_LENGTH];
      Flag flag[2];
      onBothPaths([&](bool ref) {
        Overflow = 0;
        synthesis_filter(10, a, x, y[ref], n, mem, 0);
        flag[ref] = Overflow;
      });
      ASSERT_EQ(flag[1], e.limited) << "x " << e.x << " a1 " << e.a1 << " position " << pos;
      ASSERT_EQ(flag[0], flag[1]) << "x " << e.x << " a1 " << e.a1 << " position " << pos;
      ASSERT_EQ(std::memcmp(y[0], y[1], sizeof(Word16) * n), 0) << "position " << pos;
      Word16 paired[2][PAIR_LENGTH];
      bool ok = synthesis_filter_pair({a, x, mem, paired[0]}, {a, x, mem, paired[1]}, n);
      ASSERT_EQ(ok, e.a1 == 2049) << "x " << e.x << " a1 " << e.a1 << " position " << pos;
      if (ok) {
        ASSERT_EQ(std::memcmp(paired[1], y[1], sizeof(Word16) * n), 0) << "position " << pos;
      }
    }
  }
}

TEST(FastPaths, AdaptiveCodebookMatchesTheReferenceAtEveryDelay) {
  std::mt19937 rng(testsupport::testSeed(2));
  const int HISTORY = 154;
  for (int T0 = 19; T0 <= 144; T0++) {
    for (int frac = -1; frac <= 1; frac++) {
      int bits = 6 + (T0 + frac) % 10;
      Word16 buffer[HISTORY + 40];
      fill(rng, buffer, HISTORY, bits);
      Word16 exc[2][HISTORY + 40];
      onBothPaths([&](bool ref) {
        std::memcpy(exc[ref], buffer, sizeof buffer);
        adaptive_codebook_vector(exc[ref] + HISTORY, (Word16)T0, (Word16)frac, 40);
      });
      for (int i = 0; i < 40; i++)
        ASSERT_EQ(exc[0][HISTORY + i], exc[1][HISTORY + i])
            << "T0 " << T0 << " frac " << frac << " sample " << i;
    }
  }
}

TEST(FastPaths, LongTermPostfilterMatchesTheReference) {
  std::mt19937 rng(testsupport::testSeed(3));
  const int SPAN = LTP_HISTORY + SUBFRAME_SAMPLES;
  for (int trial = 0; trial < 2000; trial++) {
    Word16 res[SPAN];
    int bits = 1 + trial % 15;
    // A periodic residual (so that the filter is on) with noise.
    int period = 19 + (int)(rng() % 126);
    fill(rng, res, period, bits);
    for (int i = period; i < SPAN; i++)
      res[i] = (Word16)(res[i - period] / 2 + randomSample(rng, bits) / 2);
    Word16 weight = trial % 2 ? (Word16)16384 : (Word16)(rng() % 8193);
    Word16 delay = (Word16)(period + (int)(rng() % 3) - 1);
    if (delay < 19) delay = 19;
    if (delay > 144) delay = 144;
    Word16 out[2][SUBFRAME_SAMPLES], voicing[2];
    onBothPaths([&](bool ref) {
      long_term_postfilter(delay, res + LTP_HISTORY, out[ref], &voicing[ref], weight);
    });
    ASSERT_EQ(voicing[0], voicing[1]) << "trial " << trial;
    for (int n = 0; n < SUBFRAME_SAMPLES; n++) ASSERT_EQ(out[0][n], out[1][n]) << "trial " << trial;
  }
}

TEST(FastPaths, DelaySearchMatchesTheReferenceUpToItsBound) {
  // Periodic signals with noise whose samples reach 4095, the largest the
  // wide sums take, and now and then 4096, beyond it: the blocks, their
  // energies and the chosen fraction agree, ties included (the quantised
  // levels make equal candidates common).
  std::mt19937 rng(testsupport::testSeed(13));
  const int SPAN = LTP_HISTORY + SUBFRAME_SAMPLES;
  for (int trial = 0; trial < 2000; trial++) {
    Word16 x[1 + SPAN];
    int period = 18 + (int)(rng() % 128);
    Word16 peak = trial % 10 == 9 ? (Word16)4096 : (Word16)4095;
    int levels = 1 + trial % 7;
    for (int i = 0; i < period; i++)
      x[i] = (Word16)(peak * ((int)(rng() % (2 * levels + 1)) - levels) / levels);
    for (int i = period; i < 1 + SPAN; i++)
      x[i] = rng() % 8 == 0 ? (Word16)(peak * ((int)(rng() % 3) - 1)) : x[i - period];
    if (trial % 20 == 0) {  // constant: candidates tie
      Word16 level = (Word16)(1 + rng() % peak);
      for (Word16& v : x) v = level;
    }
    Word16 delay = (Word16)(19 + (period + (int)(rng() % 5) - 2 - 19 + 126) % 126);
    ShortInterpolation blocks[2];
    DelaySearchResult d[2];
    onBothPaths([&](bool ref) {
      fractional_delay_search(delay, x + 1 + LTP_HISTORY, &blocks[ref], &d[ref]);
    });
    ASSERT_EQ(std::memcmp(&d[0], &d[1], sizeof d[0]), 0) << "trial " << trial;
    if (d[0].num == 0) continue;  // off: the blocks may stop half-way
    for (int p = 0; p < LTP_PHASES; p++) {
      ASSERT_EQ(std::memcmp(blocks[0].block[p], blocks[1].block[p], sizeof(Word16) * LTP_BLOCK), 0)
          << "trial " << trial << " phase " << p;
      ASSERT_EQ(blocks[0].e0[p], blocks[1].e0[p]) << "trial " << trial;
      ASSERT_EQ(blocks[0].e1[p], blocks[1].e1[p]) << "trial " << trial;
    }
  }
}

TEST(FastPaths, PostfilterStagesMatchTheReference) {
  std::mt19937 rng(testsupport::testSeed(4));
  for (int trial = 0; trial < 3000; trial++) {
    int bits = 1 + trial % 15;
    Word16 s[41], speech[40];
    fill(rng, s, 41, bits);
    fill(rng, speech, 40, 1 + (trial / 15) % 15);
    Word16 rc0 = randomSample(rng, 15);
    Word16 gain = (Word16)(rng() % 32768);

    Word16 tilt[2][40], out[2][40], agc[2];
    onBothPaths([&](bool ref) {
      tilt_compensation(s, tilt[ref], rc0);
      std::memcpy(out[ref], s + 1, sizeof speech);
      agc[ref] = gain;
      gain_control(speech, out[ref], &agc[ref]);
    });
    ASSERT_EQ(agc[0], agc[1]) << "trial " << trial;
    for (int n = 0; n < 40; n++) {
      ASSERT_EQ(tilt[0][n], tilt[1][n]) << "tilt, trial " << trial;
      ASSERT_EQ(out[0][n], out[1][n]) << "gain control, trial " << trial;
    }
  }
}

TEST(FastPaths, HighpassMatchesTheReferenceAtFullScale) {
  std::mt19937 rng(testsupport::testSeed(5));
  HighpassState start = highpass_state;
  Word16 signal[2][80];
  HighpassState end[2];
  for (int trial = 0; trial < 500; trial++) {
    Word16 x[80];
    fill(rng, x, 80, 1 + trial % 15);
    if (trial % 7 == 0)  // a square wave at full scale
      for (int i = 0; i < 80; i++) x[i] = (i / 3) % 2 ? MAX_16 : MIN_16;
    // Mostly whole frames, now and then runs that split and carry the state.
    int n = trial % 5 == 4 ? 1 + (int)(rng() % 80) : 80;
    onBothPaths([&](bool ref) {
      highpass_state = start;
      std::memcpy(signal[ref], x, sizeof x);
      output_highpass(signal[ref], n);
      output_highpass(signal[ref] + n, 80 - n);
      end[ref] = highpass_state;
    });
    for (int i = 0; i < 80; i++) ASSERT_EQ(signal[0][i], signal[1][i]) << "trial " << trial;
    ASSERT_EQ(std::memcmp(&end[0], &end[1], sizeof end[0]), 0) << "trial " << trial;
    start = end[0];
  }
  output_highpass_reset();
}

TEST(FastPaths, PhaseDispersionMatchesTheReference) {
  std::mt19937 rng(testsupport::testSeed(6));
  DispersionState start = dispersion_state;
  for (int trial = 0; trial < 3000; trial++) {
    Word16 exc[40], code[40] = {};
    fill(rng, exc, 40, 1 + trial % 15);
    int pulses = 1 + (int)(rng() % 6);
    for (int k = 0; k < pulses; k++)
      code[rng() % 40] += (Word16)((rng() & 1) ? 8191 : -8192) / (1 + (int)(rng() % 3));
    Word16 gain_code = (Word16)(rng() % (trial % 2 ? 32768 : 4000));
    Word16 gain_pitch = (Word16)(rng() % 16384);

    Word16 out[2][40], c[2][40];
    DispersionState end[2];
    onBothPaths([&](bool ref) {
      dispersion_state = start;
      std::memcpy(c[ref], code, sizeof code);
      phase_dispersion(exc, out[ref], gain_code, gain_pitch, c[ref]);
      end[ref] = dispersion_state;
    });
    for (int i = 0; i < 40; i++) {
      ASSERT_EQ(out[0][i], out[1][i]) << "trial " << trial;
      ASSERT_EQ(c[0][i], c[1][i]) << "trial " << trial;
    }
    ASSERT_EQ(std::memcmp(&end[0], &end[1], sizeof end[0]), 0);
    start = end[0];
  }
}

TEST(FastPaths, ExcitationMatchesTheReferenceUpToFullScale) {
  std::mt19937 rng(testsupport::testSeed(8));
  for (int trial = 0; trial < 3000; trial++) {
    Word16 adaptive[40], code[40];
    fill(rng, adaptive, 40, 1 + trial % 15);
    fill(rng, code, 40, 1 + (trial / 15) % 15);
    Word16 gain_pitch = (Word16)(rng() % 26000);
    Word16 gain_code = (Word16)(rng() % (trial % 2 ? 32768 : 2000));
    Word16 exc[2][40];
    onBothPaths([&](bool ref) {
      std::memcpy(exc[ref], adaptive, sizeof adaptive);
      build_excitation(exc[ref], code, gain_pitch, gain_code);
    });
    for (int i = 0; i < 40; i++) ASSERT_EQ(exc[0][i], exc[1][i]) << "trial " << trial;
  }
}

TEST(FastPaths, ScalarStagesMatchTheReference) {
  // Bandwidth expansion, the LSP polynomials (on vectors ordered and not,
  // some driving the coefficients out of range), the innovation energy and
  // the reflection coefficient, from quiet to full scale.
  std::mt19937 rng(testsupport::testSeed(7));
  set_decoder_message_sink(ignoreMessage);
  for (int trial = 0; trial < 4000; trial++) {
    int bits = 1 + trial % 15;
    // Now and then one of a few factors again, as the post-filter asks for
    // them, more than the cache of powers holds.
    const Word16 FACTORS[] = {22938, 18022, 21300, 24576, 16384, 29491};
    Word16 gamma = trial % 2 ? FACTORS[rng() % 6] : randomSample(rng, 15);
    Word16 lpc[11], lsp[10], code[40] = {}, h[32];
    fill(rng, lpc, 11, 15);
    fill(rng, lsp, 10, bits);
    if (trial % 3 == 0)
      for (int j = 0; j < 10; j++) lsp[j] = (Word16)(32767 - 6000 * j);  // ordered
    if (trial % 3 == 1)  // all near -1: coefficients beyond the 32-bit range
      for (int j = 0; j < 10; j++) lsp[j] = (Word16)(-32768 + (int)(rng() % (uint32_t)(1 << bits)));
    for (int k = 0; k < 1 + trial % 12; k++) code[rng() % 40] = randomSample(rng, bits);
    fill(rng, h, 32, bits);
    Word16 L = (Word16)(1 + rng() % 32);

    Word16 weighted[2][11], filter[2][11], gain[2], exponent[2], rc0[2];
    Word32 f[2][6];
    const Word16 past_energy[4] = {-14336, -14336, -14336, -14336};
    onBothPaths([&](bool ref) {
      weight_lpc(lpc, gamma, 10, weighted[ref]);
      lsp_polynomial(lsp, f[ref]);
      lsp_to_lpc(lsp, filter[ref]);
      predict_code_gain(past_energy, code, 40, &gain[ref], &exponent[ref]);
      first_reflection(h, &rc0[ref], L);
    });
    ASSERT_EQ(std::memcmp(weighted[0], weighted[1], sizeof weighted[0]), 0) << "trial " << trial;
    ASSERT_EQ(std::memcmp(f[0], f[1], sizeof f[0]), 0) << "trial " << trial;
    ASSERT_EQ(std::memcmp(filter[0], filter[1], sizeof filter[0]), 0) << "trial " << trial;
    ASSERT_EQ(gain[0], gain[1]) << "trial " << trial;
    ASSERT_EQ(exponent[0], exponent[1]) << "trial " << trial;
    ASSERT_EQ(rc0[0], rc0[1]) << "trial " << trial;
  }
  set_decoder_message_sink(nullptr);
}

TEST(FastPaths, MagnitudeBoundsEqualPlainLoopsAtEveryLength) {
  // The bounds every fast form rests on, against the plain definitions, at
  // the lengths around the eight-word steps, with -32768 and 32767 inside.
  std::mt19937 rng(testsupport::testSeed(9));
  for (int trial = 0; trial < 2000; trial++) {
    int n = trial % 70;
    Word16 x[70];
    fill(rng, x, n, 1 + trial % 15);
    if (n > 0 && trial % 3 == 0) x[rng() % n] = trial % 2 ? MIN_16 : MAX_16;
    Word32 largest = 0, sum = 0;
    for (int i = 0; i < n; i++) {
      Word32 a = x[i] < 0 ? -(Word32)x[i] : x[i];
      largest = a > largest ? a : largest;
      sum += a;
    }
    ASSERT_EQ(max_magnitude(x, n), largest) << "length " << n;
    ASSERT_EQ(magnitude_sum(x, n), sum) << "length " << n;
  }
}

TEST(FastPaths, LspCodebookAndPredictionMatchTheReferenceOnEveryIndex) {
  // Every codebook vector (the fast rearrangement rests on the tables'
  // bounds), then the prediction from memories and residuals at full scale.
  Word16 r[2][10];
  for (int i1 = 0; i1 < 128; i1++)
    for (int i2 = 0; i2 < 32; i2++)
      for (int i3 = 0; i3 < 32; i3 += 3) {
        onBothPaths(
            [&](bool ref) { lsf_codebook_vector((Word16)i1, (Word16)i2, (Word16)i3, r[ref]); });
        ASSERT_EQ(std::memcmp(r[0], r[1], sizeof r[0]), 0) << i1 << " " << i2 << " " << i3;
      }
  std::mt19937 rng(testsupport::testSeed(10));
  for (int trial = 0; trial < 2000; trial++) {
    Word16 memory[4][10], residual[10], lsf[2][10];
    fill(rng, &memory[0][0], 40, 1 + trial % 15);
    fill(rng, residual, 10, 1 + trial % 15);
    if (trial % 4 == 0)
      for (int j = 0; j < 10; j++) residual[j] = memory[0][j] = memory[1][j] = MIN_16;
    onBothPaths([&](bool ref) { predict_lsf(memory, residual, (Word16)(trial % 2), lsf[ref]); });
    ASSERT_EQ(std::memcmp(lsf[0], lsf[1], sizeof lsf[0]), 0) << "trial " << trial;
  }
}

TEST(FastPaths, ShortTermGainControlMatchesTheReferenceAtFullScale) {
  // Responses that saturate (-32768 among them, whose magnitude the exact
  // sum counts as 32767) and signals that the gain scales down.
  std::mt19937 rng(testsupport::testSeed(11));
  for (int trial = 0; trial < 2000; trial++) {
    Word16 num[PF_MAX_RESPONSE] = {}, den[11], sig[SUBFRAME_SAMPLES];
    num[0] = trial % 3 == 0 ? MIN_16 : (Word16)4096;  // a response from -32768 on
    den[0] = 4096;
    for (int j = 1; j <= 10; j++) {
      num[j] = randomSample(rng, 10 + trial % 6);
      den[j] = randomSample(rng, 10 + trial % 6);
    }
    fill(rng, sig, SUBFRAME_SAMPLES, 1 + trial % 15);
    Word16 length = trial % 2 ? (Word16)20 : (Word16)32;
    Word16 rc0[2], out[2][SUBFRAME_SAMPLES];
    onBothPaths([&](bool ref) {
      std::memcpy(out[ref], sig, sizeof sig);
      short_term_gain_control(num, den, &rc0[ref], out[ref], length, 10);
    });
    ASSERT_EQ(rc0[0], rc0[1]) << "trial " << trial;
    ASSERT_EQ(std::memcmp(out[0], out[1], sizeof out[0]), 0) << "trial " << trial;
  }
}

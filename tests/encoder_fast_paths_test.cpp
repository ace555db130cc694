// The encoder's fast paths against its exact reference paths: long streams
// of speech-like, loud, clipped and noisy signals, with the rate switching,
// must give the same frames bit for bit. Loud and noisy inputs drive every
// fast form past its bound, so its fallback runs too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "encoder/acelp_search.h"
#include "encoder/acelp_search_118.h"
#include "encoder/encoder.h"
#include "encoder/preprocess.h"
#include "tests/support/test_support.h"

namespace {

std::vector<int16_t> stream(double gain, size_t frames, uint32_t seed) {
  std::vector<int16_t> s(frames * FRAME_SAMPLES);
  uint32_t r = seed;
  double phase = 0;
  for (size_t i = 0; i < s.size(); i++) {
    r = r * 1664525u + 1013904223u;
    double noise = ((double)(r >> 16) - 32768.0) / 32768.0;
    // A pitch that glides, bursts of noise and silences every second.
    phase += 2 * M_PI * (110.0 + 60.0 * std::sin((double)i / 4000.0)) / 8000.0;
    double burst = (i / 2000) % 4 == 3 ? 0.0 : (i / 2000) % 4 == 2 ? 1.0 : 0.2;
    double v = gain * (std::sin(phase) + 0.5 * std::sin(3 * phase) + burst * noise);
    s[i] = (int16_t)(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
  }
  return s;
}

std::vector<Word16> encodeAll(const std::vector<int16_t>& s, const std::string& rates,
                              bool reference) {
  encoder_use_reference_paths(reference);
  encoder_program_start();
  std::vector<Word16> out;
  for (size_t f = 0; f * FRAME_SAMPLES < s.size(); f++) {
    Word16 params[FRAME_PARAMS_WORDS];
    encode_frame_params(&s[f * FRAME_SAMPLES], rates[f % rates.size()] - '0', params);
    out.insert(out.end(), params, params + FRAME_PARAMS_WORDS);
  }
  encoder_use_reference_paths(false);
  return out;
}

TEST(EncoderFastPaths, EqualTheReferencePaths) {
  uint32_t seed = testsupport::testSeed(4711);
  const double gains[] = {300.0, 6000.0, 40000.0};  // quiet, normal, clipped
  const char* schedules[] = {"1", "0", "0110", "2", "1202", "12"};
  for (double gain : gains)
    for (const char* rates : schedules) {
      std::vector<int16_t> s = stream(gain, 600, seed);
      std::vector<Word16> fast = encodeAll(s, rates, false);
      std::vector<Word16> reference = encodeAll(s, rates, true);
      for (size_t i = 0; i < fast.size(); i++)
        ASSERT_EQ(fast[i], reference[i])
            << "gain " << gain << " rates " << rates << " frame " << i / FRAME_PARAMS_WORDS
            << " word " << i % FRAME_PARAMS_WORDS;
    }
}

TEST(EncoderFastPaths, EqualTheReferencePathsOnTheConformanceSpeech) {
  QUILLO_REQUIRE_SHARED();
  // The inputs of the conformance vectors, at the rates and the switching
  // their bitstreams use, and the 11.8 kbit/s ones also switching with 8.
  const struct {
    const char* input;
    const char* rates;
  } INPUTS[] = {
      {"main/PITCH.IN", "1"},       {"main/SPEECH.IN", "1"},       {"annexD/testfile.raw", "0"},
      {"annexD/testfile.raw", "1"}, {"annexD/testfile.raw", "10"}, {"annexE/LSPE.118", "2"},
      {"annexE/FIXED35.118", "2"},  {"annexE/OVPITCH.118", "2"},   {"annexE/SPEECHE.118", "21"}};
  for (const auto& in : INPUTS) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(
        testsupport::readFile(testsupport::sharedDir() + "/g729/vectors/" + in.input, bytes));
    std::vector<int16_t> s = testsupport::toSamples(bytes);
    s.resize(s.size() / FRAME_SAMPLES * FRAME_SAMPLES);
    EXPECT_EQ(encodeAll(s, in.rates, false), encodeAll(s, in.rates, true))
        << in.input << " rates " << in.rates;
  }
}

TEST(EncoderFastPaths, CodebookSearchWithFourPulsesAtTheCorrelationLimit) {
  // Four target correlations of -8192 on tracks 0 to 3 (the target -16383
  // at positions 0..3 through a unit response of 16385): their sum reaches
  // 32768, which the exact search limits to 32767.
  Word16 x[40] = {-16383, -16383, -16383, -16383};
  Word16 code[2][40], y[2][40], sign[2], index[2];
  for (int ref = 0; ref < 2; ref++) {
    encoder_use_reference_paths(ref != 0);
    Word16 h[40] = {16385};
    acelp_search_state.extra = 0;
    index[ref] = acelp_search_80(x, h, 60, 8192, 0, code[ref], y[ref], &sign[ref]);
  }
  encoder_use_reference_paths(false);
  EXPECT_EQ(index[0], index[1]);
  EXPECT_EQ(sign[0], sign[1]);
  EXPECT_EQ(std::memcmp(code[0], code[1], sizeof code[0]), 0);
  EXPECT_EQ(std::memcmp(y[0], y[1], sizeof y[0]), 0);
}

TEST(EncoderFastPaths, TenPulseSearchEqualsTheReferenceAtFullScale) {
  // Targets, residuals and responses from quiet to full scale, spiky
  // responses whose pulse correlations reach the 16-bit limit, and a sign
  // estimate against the target's correlations: the plain forms' bounds
  // both hold and fail.
  std::mt19937 rng(testsupport::testSeed(4713));
  for (int trial = 0; trial < 400; trial++) {
    Word16 x[40], res[40], h[40];
    int shift = (int)(rng() % 12);
    for (int i = 0; i < 40; i++) {
      x[i] = (Word16)(((int32_t)(rng() >> 16) - 32768) >> (trial % 2 ? shift : 0));
      res[i] = trial % 3 == 0 ? (Word16)-x[i] : (Word16)((int32_t)(rng() >> 16) - 32768);
      h[i] = (Word16)(((int32_t)(rng() >> 16) - 32768) >> std::min(i + shift % 4, 15));
    }
    h[0] = trial % 4 == 0 ? MAX_16 : (Word16)(4096 + rng() % 28672);
    if (trial % 5 == 0) h[1] = (Word16)-h[0];
    Word16 sharp = (Word16)(rng() % 13108), code[2][40], y[2][40], idx[2][5];
    for (int ref = 0; ref < 2; ref++) {
      encoder_use_reference_paths(ref != 0);
      Word16 hh[40];
      std::memcpy(hh, h, sizeof h);
      acelp_search_118(x, res, hh, (Word16)(20 + trial % 60), sharp, code[ref], y[ref], idx[ref]);
    }
    encoder_use_reference_paths(false);
    ASSERT_EQ(std::memcmp(idx[0], idx[1], sizeof idx[0]), 0) << "trial " << trial;
    ASSERT_EQ(std::memcmp(code[0], code[1], sizeof code[0]), 0) << "trial " << trial;
    ASSERT_EQ(std::memcmp(y[0], y[1], sizeof y[0]), 0) << "trial " << trial;
  }
}

TEST(EncoderFastPaths, InputHighpassEqualsTheReferenceAtFullScale) {
  std::mt19937 rng(testsupport::testSeed(4712));
  InputHighpassState start{};
  for (int trial = 0; trial < 500; trial++) {
    Word16 x[80], out[2][80];
    for (Word16& v : x) v = (Word16)(rng() >> 16);
    if (trial % 5 == 0)  // a square wave at full scale
      for (int i = 0; i < 80; i++) x[i] = (i / 4) % 2 ? MAX_16 : MIN_16;
    int n = trial % 3 == 0 ? (int)(rng() % 81) : 80;
    InputHighpassState end[2];
    for (int ref = 0; ref < 2; ref++) {
      encoder_use_reference_paths(ref != 0);
      input_highpass_state = start;
      std::memcpy(out[ref], x, sizeof x);
      input_highpass(out[ref], (Word16)n);
      input_highpass(out[ref] + n, (Word16)(80 - n));
      end[ref] = input_highpass_state;
    }
    encoder_use_reference_paths(false);
    ASSERT_EQ(std::memcmp(out[0], out[1], sizeof out[0]), 0) << "trial " << trial;
    ASSERT_EQ(std::memcmp(&end[0], &end[1], sizeof end[0]), 0) << "trial " << trial;
    start = end[0];
  }
  reset_input_highpass();
}

}  // namespace

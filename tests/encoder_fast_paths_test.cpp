// The encoder's fast paths against its exact reference paths: long streams
// of speech-like, loud, clipped and noisy signals, with the rate switching,
// must give the same frames bit for bit. Loud and noisy inputs drive every
// fast form past its bound, so its fallback runs too.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "encoder/encoder.h"
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
  const char* schedules[] = {"1", "0", "0110", "2", "1202"};
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
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(
      testsupport::readFile(testsupport::sharedDir() + "/g729/vectors/main/PITCH.IN", bytes));
  std::vector<int16_t> s = testsupport::toSamples(bytes);
  s.resize(s.size() / FRAME_SAMPLES * FRAME_SAMPLES);
  EXPECT_EQ(encodeAll(s, "1", false), encodeAll(s, "1", true));
}

}  // namespace

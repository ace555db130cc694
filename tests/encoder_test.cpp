// The encoder beyond the conformance vectors: its frames decode to the
// standard's output, and hostile signals at every rate and with the rate
// changing every frame give frames whose every field fits its width (run
// under the sanitizers, this is where overflow and out-of-range reads show).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "encoder/encoder.h"
#include "tests/support/test_support.h"

namespace {

std::string vector(const char* name) { return testsupport::sharedDir() + "/g729/vectors/" + name; }

TEST(Encoder, EncodedSpeechDecodesToTheStandardsOutput) {
  QUILLO_REQUIRE_SHARED();
  std::vector<uint8_t> in, want;
  ASSERT_TRUE(testsupport::readFile(vector("main/SPEECH.IN"), in));
  ASSERT_TRUE(testsupport::readFile(vector("main/SPEECH.PST"), want));
  std::vector<int16_t> speech = testsupport::toSamples(in), expected = testsupport::toSamples(want);
  size_t frames = speech.size() / FRAME_SAMPLES;
  ASSERT_EQ(expected.size(), frames * FRAME_SAMPLES);
  encoder_program_start();
  decoder_program_start();
  for (size_t f = 0; f < frames; f++) {
    uint8_t frame[10];
    Word16 pcm[FRAME_SAMPLES];
    encode_frame(&speech[f * FRAME_SAMPLES], Rate80, frame);
    decode_frame(frame, Rate80, pcm);
    for (int i = 0; i < FRAME_SAMPLES; i++)
      ASSERT_EQ(pcm[i], expected[f * FRAME_SAMPLES + i]) << "frame " << f << " sample " << i;
  }
}

// Signals that push every stage to its limits.
std::vector<int16_t> signal(int kind, size_t n, uint32_t seed) {
  std::vector<int16_t> s(n);
  uint32_t r = seed;
  for (size_t i = 0; i < n; i++) {
    r = r * 1664525u + 1013904223u;
    double tone = 30000.0 * std::sin(0.05 * (double)i) + 9000.0 * std::sin(0.9 * (double)i);
    switch (kind) {
      case 0:
        s[i] = 0;
        break;
      case 1:
        s[i] = 32767;
        break;  // DC at full scale
      case 2:
        s[i] = (i / 23) % 2 ? 32767 : -32768;
        break;  // square wave
      case 3:
        s[i] = (int16_t)(uint16_t)(r >> 16);
        break;  // white noise
      default:
        s[i] = (int16_t)(tone > 32767 ? 32767 : tone < -32768 ? -32768 : tone);  // clipped
    }
  }
  return s;
}

TEST(Encoder, HostileSignalsAtEveryRateGiveValidFrames) {
  const char* schedules[] = {"0", "1", "01", "10", "2", "12"};
  uint32_t seed = testsupport::testSeed(729);
  for (const char* schedule : schedules) {
    for (int kind = 0; kind < 5; kind++) {
      std::vector<int16_t> s = signal(kind, 120 * FRAME_SAMPLES, seed);
      encoder_program_start();
      decoder_program_start();
      std::string rates = schedule;
      for (size_t f = 0; f < 120; f++) {
        int rate = rates[f % rates.size()] - '0';
        Word16 params[FRAME_PARAMS_WORDS], again[FRAME_PARAMS_WORDS] = {};
        encode_frame_params(&s[f * FRAME_SAMPLES], rate, params);
        uint8_t frame[18];
        pack_frame(params, rate, frame);
        unpack_frame(frame, rate, again);
        for (int i = 1; i < FRAME_PARAMS_WORDS; i++)
          ASSERT_EQ(params[i], again[i])
              << "rates " << schedule << " signal " << kind << " frame " << f << " word " << i;
        Word16 pcm[FRAME_SAMPLES];
        decode_frame(frame, rate, pcm);
      }
    }
  }
}

}  // namespace

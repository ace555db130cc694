// Encoder on hostile streams at 11.8 kbit/s and switching 8 / 11.8 kbit/s
// every frame: silence, full-scale square waves, white noise. Every field
// must fit its width (what pack_frame writes is what unpack_frame reads),
// and the frames must decode; the sanitizer build checks the arithmetic.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/decoder.h"
#include "encoder/encoder.h"
#include "tests/support/test_support.h"

namespace {

std::vector<Word16> stream(int kind, int frames, uint32_t seed) {
  std::vector<Word16> s((size_t)frames * FRAME_SAMPLES);
  for (size_t i = 0; i < s.size(); i++) {
    seed = seed * 1664525u + 1013904223u;
    if (kind == 0) s[i] = 0;
    if (kind == 1) s[i] = (i / 20) % 2 ? MAX_16 : MIN_16;  // 200 Hz square
    if (kind == 2) s[i] = (i / 3) % 2 ? MAX_16 : MIN_16;   // 1333 Hz square
    if (kind == 3) s[i] = (Word16)(seed >> 16);
  }
  return s;
}

TEST(EncoderStreams, FieldsFitAndFramesDecodeAtEleventhRateAndSwitching) {
  uint32_t seed = testsupport::testSeed(118);
  for (int kind = 0; kind < 4; kind++)
    for (std::string rates : {"2", "12"}) {
      const int frames = 60;
      std::vector<Word16> s = stream(kind, frames, seed);
      encoder_program_start();
      decoder_program_start();
      for (int f = 0; f < frames; f++) {
        int rate = rates[f % rates.size()] - '0';
        Word16 params[FRAME_PARAMS_WORDS], again[FRAME_PARAMS_WORDS] = {};
        encode_frame_params(&s[(size_t)f * FRAME_SAMPLES], rate, params);
        uint8_t bytes[18] = {};
        pack_frame(params, rate, bytes);
        unpack_frame(bytes, rate, again);
        for (int w = 1; w < FRAME_PARAMS_WORDS; w++)
          ASSERT_EQ(params[w], again[w])
              << "stream " << kind << " rates " << rates << " frame " << f << " word " << w;
        Word16 pcm[FRAME_SAMPLES];
        decode_frame(bytes, rate, pcm);
      }
    }
}

}  // namespace

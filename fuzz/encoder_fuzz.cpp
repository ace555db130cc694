// Fuzz target: the encoder on arbitrary samples at every rate it makes.
//
// Input: repeated [control byte][160 bytes: 80 little-endian samples]. The
// control byte's value modulo RATES is the rate mode of the frame, so rates
// may change from one frame to the next; a short last frame is completed with
// zeros. The stream is encoded twice from the initial state, with the fast
// and with the exact reference paths, which must give the same frames; every
// frame must keep its fields within their widths and decode.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/decoder.h"
#include "encoder/encoder.h"
#include "fuzz/fuzz_input.h"

// Rate modes the encoder makes: 6.4, 8 and 11.8 kbit/s.
static const int RATES = 3;

struct Coded {
  int rate;
  Word16 params[FRAME_PARAMS_WORDS];
};

static std::vector<Coded> encodeAll(const uint8_t* data, size_t size, bool reference) {
  encoder_use_reference_paths(reference);
  encoder_program_start();
  std::vector<Coded> out;
  FuzzInput input(data, size);
  while (input.remaining() > 0) {
    Coded c;
    c.rate = input.byte() % RATES;
    std::unique_ptr<uint8_t[]> bytes = input.take(2 * FRAME_SAMPLES);
    Word16 speech[FRAME_SAMPLES];
    for (int i = 0; i < FRAME_SAMPLES; i++)
      speech[i] = (Word16)(uint16_t)(bytes[2 * i] | bytes[2 * i + 1] << 8);
    encode_frame_params(speech, c.rate, c.params);
    out.push_back(c);
  }
  encoder_use_reference_paths(false);
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quietDecoderMessages();
  std::vector<Coded> fast = encodeAll(data, size, false);
  std::vector<Coded> reference = encodeAll(data, size, true);
  decoder_program_start();
  for (size_t f = 0; f < fast.size(); f++) {
    for (int i = 0; i < FRAME_PARAMS_WORDS; i++)
      if (fast[f].params[i] != reference[f].params[i])
        fuzzFailure("the fast and reference paths differ");
    uint8_t frame[18];
    Word16 again[FRAME_PARAMS_WORDS] = {};
    pack_frame(fast[f].params, fast[f].rate, frame);
    unpack_frame(frame, fast[f].rate, again);
    for (int i = 1; i < FRAME_PARAMS_WORDS; i++) FUZZ_CHECK(fast[f].params[i] == again[i]);
    Word16 pcm[FRAME_SAMPLES];
    decode_frame(frame, fast[f].rate, pcm);
  }
  return 0;
}

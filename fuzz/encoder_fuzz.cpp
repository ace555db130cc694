// Fuzz target: the encoder on arbitrary samples at the three rates.
//
// Input: repeated [control byte][160 bytes: 80 little-endian samples]. The
// control byte's value modulo RATES is the rate mode of the frame, so rates
// may change from one frame to the next; a short last frame is completed with
// zeros. Every frame must unpack to fields the decoder accepts, and the
// decoder must decode it.
#include <cstddef>
#include <cstdint>

#include "codec/decoder.h"
#include "encoder/encoder.h"
#include "fuzz/fuzz_input.h"

// Rate modes the encoder makes (6.4 and 8 kbit/s).
static const int RATES = 2;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quietDecoderMessages();
  encoder_program_start();
  decoder_program_start();
  FuzzInput input(data, size);
  while (input.remaining() > 0) {
    int rate = input.byte() % RATES;
    std::unique_ptr<uint8_t[]> bytes = input.take(2 * FRAME_SAMPLES);
    Word16 speech[FRAME_SAMPLES];
    for (int i = 0; i < FRAME_SAMPLES; i++)
      speech[i] = (Word16)(uint16_t)(bytes[2 * i] | bytes[2 * i + 1] << 8);
    uint8_t frame[18];
    encode_frame(speech, rate, frame);
    Word16 params[FRAME_PARAMS_WORDS], again[FRAME_PARAMS_WORDS] = {};
    encode_frame_params(speech, rate, params);  // a second frame: states move on
    uint8_t packed[18];
    pack_frame(params, rate, packed);
    unpack_frame(packed, rate, again);
    for (int i = 1; i < FRAME_PARAMS_WORDS; i++) FUZZ_CHECK(params[i] == again[i]);
    Word16 pcm[FRAME_SAMPLES];
    decode_frame(frame, rate, pcm);
    decode_frame(packed, rate, pcm);
  }
  return 0;
}

// Fuzz target: decode_frame on arbitrary frame bytes at the three rates.
//
// Input: repeated [control byte][frame bytes]. The control byte's value
// modulo 3 is the rate mode of the frame (8, 10 or 18 bytes follow; a short
// last frame is completed with zeros); bit 7 resets the frame decoder first.
// Frames of different rates follow one another in one stream, as they may
// when the blocks of a message change rate.
#include <cstddef>
#include <cstdint>

#include "codec/decoder.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quietDecoderMessages();
  decoder_program_start();
  FuzzInput input(data, size);
  while (input.remaining() > 0) {
    uint8_t control = input.byte();
    if (control & 0x80) reset_frame_decoder();
    int rate = control % 3;
    std::unique_ptr<uint8_t[]> frame = input.take(FRAME_BYTES[rate]);
    std::unique_ptr<Word16[]> pcm(new Word16[FRAME_SAMPLES]);
    decode_frame(frame.get(), rate, pcm.get());
  }
  return 0;
}

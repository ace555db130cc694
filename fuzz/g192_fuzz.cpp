// Fuzz target: `quillo decode --g192`'s reader of ITU-T G.192 bitstreams,
// and the decoder on every frame it accepts, from the program-start state.
// Besides memory safety it checks that every accepted frame moves the
// reading on and names a rate, and that a refusal leaves the position alone.
#include <cstddef>
#include <cstdint>

#include "codec/decoder.h"
#include "codec/g192.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quietDecoderMessages();
  decoder_program_start();
  FuzzInput input(data, size);
  std::unique_ptr<uint8_t[]> bytes = input.take(size);
  std::unique_ptr<Word16[]> pcm(new Word16[FRAME_SAMPLES]);
  size_t offset = 0;
  G192Frame frame;
  G192Result result;
  while ((result = g192_read_frame(bytes.get(), size, &offset, &frame)) == G192_FRAME) {
    FUZZ_CHECK(frame.rate_mode >= Rate64 && frame.rate_mode <= Rate118);
    decode_frame(frame.bytes, frame.rate_mode, pcm.get());
  }
  size_t before = offset;
  FUZZ_CHECK(g192_read_frame(bytes.get(), size, &offset, &frame) == result);
  FUZZ_CHECK(offset == before && offset <= size);
  FUZZ_CHECK(g192_result_text(result) != nullptr);
  return 0;
}

// Fuzz target: decode_frame on arbitrary frame bytes at the three rates.
//
// Input: repeated [control byte][frame bytes]. The control byte's value
// modulo 3 is the rate mode of the frame (8, 10 or 18 bytes follow; a short
// last frame is completed with zeros); bit 7 resets the frame decoder first.
// Frames of different rates follow one another in one stream, as they may
// when the blocks of a message change rate.
//
// The frames are decoded twice from the program-start state, once with the
// decoder's fast paths and once with its exact reference paths; the two must
// give the same samples.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "codec/decoder.h"
#include "fuzz/fuzz_input.h"

static std::vector<Word16> decodeAll(const uint8_t* data, size_t size, bool reference) {
  decoder_use_reference_paths(reference);
  decoder_program_start();
  std::vector<Word16> out;
  FuzzInput input(data, size);
  while (input.remaining() > 0) {
    uint8_t control = input.byte();
    if (control & 0x80) reset_frame_decoder();
    int rate = control % 3;
    std::unique_ptr<uint8_t[]> frame = input.take(FRAME_BYTES[rate]);
    std::unique_ptr<Word16[]> pcm(new Word16[FRAME_SAMPLES]);
    decode_frame(frame.get(), rate, pcm.get());
    out.insert(out.end(), pcm.get(), pcm.get() + FRAME_SAMPLES);
  }
  decoder_use_reference_paths(false);
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quietDecoderMessages();
  std::vector<Word16> fast = decodeAll(data, size, false);
  std::vector<Word16> reference = decodeAll(data, size, true);
  if (fast != reference) {
    size_t i = 0;
    while (fast[i] == reference[i]) i++;
    std::fprintf(stderr, "frame %zu, sample %zu: fast path %d, reference path %d\n",
                 i / FRAME_SAMPLES, i % FRAME_SAMPLES, fast[i], reference[i]);
    fuzzFailure("the fast and reference paths differ");
  }
  return 0;
}

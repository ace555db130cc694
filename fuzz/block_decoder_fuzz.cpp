// Fuzz target: decode_block on a sequence of arbitrary 512-byte blocks.
//
// Input: repeated [control byte][512 block bytes]; a short last block is
// completed with zeros. Control bit 0 resets the block decoder before the
// block (a new playback); otherwise the blocks form one stream, so layouts
// switch and blocks are rejected as the bytes dictate.
//
// Besides memory safety the target checks what decode_block promises: a
// rejected block writes no sample and leaves the count alone; an accepted one
// writes exactly the samples of its layout and nothing beyond them.
#include <cstddef>
#include <cstdint>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "fuzz/fuzz_input.h"

static const Word16 UNTOUCHED = 0x5A5A;
static const int NO_COUNT = -7;

// Samples an accepted block of layout `result` yields.
static int expectedSamples(int result, bool firstBlock) {
  if (result == Rate80) return 4080;
  if (result == Rate118) return 2240;
  return firstBlock ? 5040 : 5120;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quietDecoderMessages();
  decoder_program_start();
  reset_block_decoder();
  FuzzInput input(data, size);
  bool firstBlock = true;
  while (input.remaining() > 0) {
    if (input.byte() & 1) {
      reset_block_decoder();
      firstBlock = true;
    }
    std::unique_ptr<uint8_t[]> block = input.take(BLOCK_BYTES);
    std::unique_ptr<uint8_t[]> before = std::unique_ptr<uint8_t[]>(new uint8_t[BLOCK_BYTES]);
    std::memcpy(before.get(), block.get(), BLOCK_BYTES);
    std::unique_ptr<Word16[]> pcm(new Word16[BLOCK_MAX_SAMPLES]);
    for (int i = 0; i < BLOCK_MAX_SAMPLES; i++) pcm[i] = UNTOUCHED;

    int samples = NO_COUNT;
    int result = decode_block(block.get(), pcm.get(), &samples);

    FUZZ_CHECK(std::memcmp(before.get(), block.get(), BLOCK_BYTES) == 0);
    int written = 0;
    if (result == BLOCK_REJECTED) {
      FUZZ_CHECK(samples == NO_COUNT);
    } else {
      FUZZ_CHECK(result == Rate64 || result == Rate80 || result == Rate118);
      FUZZ_CHECK(samples == expectedSamples(result, firstBlock));
      written = samples;
    }
    for (int i = written; i < BLOCK_MAX_SAMPLES; i++) FUZZ_CHECK(pcm[i] == UNTOUCHED);
    firstBlock = false;
  }
  return 0;
}

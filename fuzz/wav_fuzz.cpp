// Fuzz target: the sound file reader of `quillo encode` and `quillo effect`
// (libsndfile behind it) on arbitrary files. Besides memory safety it checks
// that a file taken as 16-bit mono PCM holds no more samples than its bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "tools/quillo/audio_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  std::unique_ptr<uint8_t[]> bytes = input.take(size);
  AudioInput in;
  std::string error;
  if (audio_input_open_memory(&in, bytes.get(), size, &error)) {
    if (audio_input_is_8k_mono16(in, &error)) {
      int16_t samples[1024];
      size_t total = 0, n;
      while ((n = audio_input_read16(&in, samples, 1024)) > 0) total += n;
      FUZZ_CHECK(total * 2 <= size);
    } else {
      FUZZ_CHECK(!error.empty());
    }
    audio_input_close(&in);
  } else {
    FUZZ_CHECK(!error.empty());
  }
  return 0;
}

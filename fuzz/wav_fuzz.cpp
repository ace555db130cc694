// Fuzz target: the WAV reader of `quillo effect` on arbitrary files. Besides
// memory safety it checks that the samples read fit in the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "tools/quillo/pcm_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  std::unique_ptr<uint8_t[]> bytes = input.take(size);
  PcmInput in;
  std::string error;
  if (wav_parse(bytes.get(), size, &in, &error)) {
    FUZZ_CHECK(in.samples.size() * 2 + 44 <= size);
  } else {
    FUZZ_CHECK(!error.empty());
  }
  return 0;
}

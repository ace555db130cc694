// The switch between the decoder's fast paths and its exact reference paths.
#include "codec/fast_paths.h"

#include "codec/decoder.h"

bool decoder_reference_paths = false;

void decoder_use_reference_paths(bool on) { decoder_reference_paths = on; }

uint32_t dot8_wrap(const Word16* c, const Word16* h) {
  uint32_t s = 0;
  for (int k = 0; k < 8; k++) s += (uint32_t)(c[k] * h[k]);
  return s;
}

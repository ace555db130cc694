// The switch between the decoder's fast paths and its exact reference paths.
#include "fast_paths.h"

#include "codec/decoder.h"

bool decoder_reference_paths = false;

void decoder_use_reference_paths(bool on) { decoder_reference_paths = on; }

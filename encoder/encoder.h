// Public interface of the speech encoder: 80 samples of 8 kHz 16-bit PCM in,
// one frame of the 6.4, 8 or 11.8 kbit/s mode out, bit-exact with the
// standard's fixed-point encoder.
//
// The encoder keeps its state in module-level records, one per stage;
// encoder_program_start() puts all of them into the state of a freshly
// started encoder. The rate may change from one frame to the next.
#pragma once

#include <cstdint>

#include "codec/decoder.h"

// Starts a new stream: every stage of the encoder back to its initial state.
void encoder_program_start();

// Encodes the next 80 samples of `speech` as a frame of `rate_mode` into a
// FrameParams record (word 0 = 0, word 1 = rate mode + 2, then the fields in
// bitstream order, as unpack_frame writes them).
void encode_frame_params(const Word16* speech, int rate_mode, Word16* params);

// The same, written as the frame's FRAME_BYTES[rate_mode] bytes, as a payload
// block stores them.
void encode_frame(const Word16* speech, int rate_mode, uint8_t* frame_bytes);

// Selects the encoder's exact reference paths (true) or its fast paths
// (false, the default), with those of the decoder's stages it shares (the
// decoder then runs its reference paths too). Both give the same frames bit
// for bit.
void encoder_use_reference_paths(bool on);

// Public interface of the speech decoder: 8, 10 or 18-byte frames of the
// 6.4, 8 and 11.8 kbit/s modes in, 80 samples of 8 kHz 16-bit PCM out.
//
// The decoder keeps its state in module-level records. Two lifetimes:
// reset_frame_decoder() starts a new stream (every start of playback),
// decoder_program_start() also sets the few memories that a fresh program
// run starts with and that otherwise carry over from one playback to the next.
#pragma once

#include <cstdint>

#include "codec/basicop/basicop.h"

enum RateMode { Rate64 = 0, Rate80 = 1, Rate118 = 2 };

// Result of a rejected block.
const int BLOCK_REJECTED = 15;

// Bytes per frame of each rate mode (indexed by RateMode).
constexpr int FRAME_BYTES[3] = {8, 10, 18};

// Samples per frame, and per subframe (two a frame).
const int FRAME_SAMPLES = 80;
const Word16 SUBFRAME_SAMPLES = FRAME_SAMPLES / 2;

// Words of a FrameParams record.
const int FRAME_PARAMS_WORDS = 20;

// Puts the whole decoder into the state of a freshly started program,
// including the memories that reset_frame_decoder() leaves alone. A tool that
// decodes several streams as separate runs of the player would calls it
// before each.
void decoder_program_start();

// Starts a new stream: resets the frame decoder and the stages it drives.
// The first call in a process that has not called decoder_program_start()
// performs the program start itself, so the player needs no extra call.
void reset_frame_decoder();

// Decodes one frame of `rate_mode` (FRAME_BYTES[rate_mode] bytes) into 80
// samples of `pcm`.
void decode_frame(const uint8_t* frame_bytes, int rate_mode, Word16* pcm);

// Selects the decoder's exact reference paths (true), which apply the
// saturating operators step by step, or its fast paths (false, the default).
// Both give the same output bit for bit; tests compare them.
void decoder_use_reference_paths(bool on);

// Fills words 1 onward of a FrameParams record from one frame's bytes.
void unpack_frame(const uint8_t* frame_bytes, int rate_mode, Word16* params);

// The inverse: writes the fields of a FrameParams record (from word 2, or 3
// at 11.8 kbit/s) as the frame's FRAME_BYTES[rate_mode] bytes, unused bits
// zero. Only the low bits of each field's width are written.
void pack_frame(const Word16* params, int rate_mode, uint8_t* frame_bytes);

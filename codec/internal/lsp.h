// LSP decoding: the frame's 18 spectral bits become ten quantised line
// spectral pairs (switched-MA predictive two-stage quantiser), and the two
// subframe LPC filters are built from them by interpolation and conversion.
#pragma once

#include "codec/basicop/basicop.h"

const Word16 LSP_ORDER = 10;          // LSPs per frame, LPC order
const Word16 LPC_WORDS = 11;          // coefficients a0..a10 of one filter
const Word16 LSF_LOW_LIMIT = 40;      // lowest LSF, Q13 (0.005 rad)
const Word16 LSF_MIN_GAP = 321;       // smallest distance of neighbouring LSFs, Q13 (0.0392 rad)
const Word16 LSF_HIGH_LIMIT = 25681;  // highest LSF, Q13 (3.135 rad)

struct LspDecoderState {
  // Reset at every start of a stream (reset_lsp_decoder):
  Word16 ma_memory[4]
                  [10];  // Q13: rearranged codebook vectors of the last four frames, row 0 newest
  // Set only at program start; carries over across resets:
  Word16 previous_lsp[10];  // Q15: LSPs of the previous frame (subframe 1 interpolation)
};

extern LspDecoderState lsp_decoder_state;

// Fills every row of the MA memory with LSF_RESET; previous_lsp is kept.
void reset_lsp_decoder();

// The state of a freshly started program: previous_lsp = LSP_START, and the
// reset above.
void lsp_decoder_program_start();

// Decodes the frame's two LSP words (8-bit switch and first stage, 10-bit
// second stage) into 10 LSPs, Q15 (out), and advances the MA memory. The
// two end repairs of the stability check each write a warning line.
void decode_lsp(const Word16* words, Word16* lsp);

// decode_lsp on the MA memory given (the decoder's, or the encoder's own copy
// that mirrors it): 4 rows of 10 words, row 0 newest, advanced in place.
void reconstruct_lsp(Word16 (*memory)[10], const Word16* words, Word16* lsp);

// Writes 22 words to `filters`: the 11 Q12 coefficients of subframe 1 (from
// the mid-point of old_lsp and new_lsp), then those of subframe 2 (new_lsp).
void interpolate_lpc(const Word16* old_lsp, const Word16* new_lsp, Word16* filters);

// The LSPs of subframe 1: half of each of old_lsp and new_lsp, summed.
void lsp_midpoint(const Word16* old_lsp, const Word16* new_lsp, Word16* mid);

// 10 LSPs (Q15) -> 11 LPC coefficients (Q12, a[0] = 4096).
void lsp_to_lpc(const Word16* lsp, Word16* a);

// The steps of decode_lsp and lsp_to_lpc, each on 10-word vectors.

// The rearranged two-stage codebook vector (Q13) of first-stage row i1 and
// second-stage rows i2 (lower five) and i3 (upper five): r (out).
void lsf_codebook_vector(Word16 i1, Word16 i2, Word16 i3, Word16* r);

// Pushes apart, in place, neighbours closer than `gap` (Q13).
void rearrange_lsf(Word16* r, Word16 gap);

// MA prediction of predictor `mode` (0 or 1) from r and the 4-row memory:
// lsf (out).
void predict_lsf(const Word16 (*memory)[10], const Word16* r, Word16 mode, Word16* lsf);

// One ordering pass, end limits and minimum gaps, in place.
void stabilize_lsf(Word16* lsf);

// Shifts the 4-row MA memory by one frame and stores r as the newest row.
void update_ma_memory(Word16 (*memory)[10], const Word16* r);

// LSFs (Q13 radians) -> LSPs (Q15 cosines), by table interpolation.
void lsf_to_lsp(const Word16* lsf, Word16* lsp);

// Coefficients f[0..5] (Q24) of the product of (1 - 2 q z^-1 + z^-2) over
// the five LSPs lsp[0], lsp[2], ..., lsp[8].
void lsp_polynomial(const Word16* lsp, Word32* f);

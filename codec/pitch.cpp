// Pitch delay decoding, fractional-delay adaptive codebook, pitch tracking.
#include "pitch.h"

#include "codec/tables/tables.h"

#include "fast_paths.h"

PitchTrackState pitch_track_state;

// Sample phases of the interpolation filter per delay step (1/3 sample) and
// the number of taps on each side of the interpolated point.
static const Word16 UP_SAMPLING = 3;
static const Word16 INTERP_TAPS = 10;

// A change smaller than this many samples counts as stationary.
static const Word16 STABLE_DISTANCE = 5;
static const Word16 STABLE_COUNT_MAX = 7;

// Fractions of the 4-bit second-subframe codes 4..11 (2 becomes -1 later).
static const Word16 FRAC_64[8] = {1, 2, 0, 1, 2, 0, 1, 2};

void pitch_track_reset() {
  pitch_track_state.previous_delay = 30;
  pitch_track_state.stable_count = 0;
}

void pitch_track_program_start() {
  pitch_track_state.previous_delay = 0;
  pitch_track_state.stable_count = 0;
  pitch_track_state.stable_delay = 0;
  pitch_track_state.stable_frac = 0;
  pitch_track_reset();
}

// Absolute delay of the first subframe from its 8-bit index.
static void decode_first_delay(Word16 index, Word16* T0, Word16* T0_frac) {
  index = (Word16)(index & 255);
  if (index < 197) {
    // Delays 19 1/3 .. 85 2/3 in steps of 1/3.
    *T0 = add(mult(add(index, 2), 10923), 19);
    Word16 i = add(add(*T0, *T0), *T0);
    *T0_frac = add(sub(index, i), 58);
  } else {
    // Integer delays 85 .. 143.
    *T0 = sub(index, 112);
    *T0_frac = 0;
  }
}

void decode_pitch_lag(Word16 index, Word16 pit_min, Word16 pit_max, Word16 subframe_start,
                      Word16* T0, Word16* T0_frac, Word16 rate) {
  if (subframe_start == 0) {
    decode_first_delay(index, T0, T0_frac);
    return;
  }

  // Second subframe: a window of ten delays around the first one.
  Word16 T0_min = sub(*T0, 5);
  if (T0_min < pit_min) T0_min = pit_min;
  if (add(T0_min, 9) > pit_max) T0_min = sub(pit_max, 9);

  if (rate != 0) {
    // 5 bits: T0_min - 2/3 .. T0_min + 9 2/3 in steps of 1/3.
    index = (Word16)(index & 31);
    Word16 i = sub(mult(add(index, 2), 10923), 1);
    *T0 = add(T0_min, i);
    i = add(add(i, i), i);
    *T0_frac = sub(sub(index, 2), i);
    return;
  }

  // 4 bits: 0, 1, 2, 3, 3 1/3 .. 5 2/3 in thirds, then 6, 7, 8, 9.
  Word16 i = (Word16)(index & 15);
  if (i <= 3) {
    *T0 = add(T0_min, i);
    *T0_frac = 0;
  } else if (i <= 11) {
    *T0_frac = FRAC_64[i - 4];
    *T0 = add(add(mult(sub(i, *T0_frac), 10923), T0_min), 2);
    if (*T0_frac == 2) {
      *T0_frac = -1;
      *T0 = add(*T0, 1);
    }
  } else {
    *T0 = sub(add(T0_min, i), 6);
    *T0_frac = 0;
  }
}

// Longest vector the fast form computes.
static const int WIDE_LENGTH = 40;

// Fast form of adaptive_codebook_vector, for outputs j0..j0+count-1 whose
// inputs are all final (written or history); taps are the 20 interpolation
// taps of the phase in the order of the samples they weigh, x0[j-9..j+10].
// With M the largest input magnitude and W the sum of the tap magnitudes
// (at most 59398), every partial sum is below 2 * M * W; when that is at most
// 0x7fff7fff neither the sum nor its rounding saturates, and round(2 s) is
// (s + 2^14) >> 15. Returns false, writing nothing, otherwise. Reads up to 7
// outputs' inputs beyond the run (x0[j0+count+16] at most).
static bool interpolate_wide(Word16* exc, const Word16* x0, const Word16* taps, Word32 tap_sum,
                             int j0, int count) {
  if (2 * (int64_t)tap_sum * max_magnitude(x0 + j0 - 9, count + 2 * INTERP_TAPS - 1) > 0x7fff7fff)
    return false;
  Word16 out[WIDE_LENGTH];
  fir_rounded<2 * INTERP_TAPS, 15>(x0 + j0 - 9, taps, out, count);
  for (int j = 0; j < count; j++) exc[j0 + j] = out[j];
  return true;
}

void adaptive_codebook_vector(Word16* exc, Word16 T0, Word16 T0_frac, Word16 length) {
  // Read position and filter phase: a positive fraction is read as
  // T0 + frac/3 = (T0 + 1) - (3 - frac)/3, one sample further back.
  Word16* x0 = exc - T0;
  Word16 frac = negate(T0_frac);
  if (frac < 0) {
    frac = add(frac, UP_SAMPLING);
    x0--;
  }

  // Output j reads up to x0[j + 10]; a run of outputs whose inputs all lie
  // before its first output is at most `run` long, the delay less 10. The
  // fast form's extra reads stay before exc[length] for delays from 17 on.
  int delay = (int)(exc - x0);
  int run = delay - INTERP_TAPS;
  int done = 0;
  if (!decoder_reference_paths && delay >= 17 && length <= WIDE_LENGTH) {
    Word16 taps[2 * INTERP_TAPS];
    for (int i = 0; i < INTERP_TAPS; i++) {
      taps[INTERP_TAPS - 1 - i] = PITCH_INTERP_FILTER[frac + UP_SAMPLING * i];
      taps[INTERP_TAPS + i] = PITCH_INTERP_FILTER[UP_SAMPLING - frac + UP_SAMPLING * i];
    }
    Word32 tap_sum = magnitude_sum(taps, 2 * INTERP_TAPS);
    for (int j0 = 0; j0 < length; j0 += run) {
      int count = length - j0 < run ? length - j0 : run;
      if (!interpolate_wide(exc, x0, taps, tap_sum, j0, count)) break;
      done = j0 + count;
    }
  }

  for (int j = done; j < length; j++) {
    const Word16* x1 = x0 + j;
    const Word16* x2 = x1 + 1;
    const Word16* c1 = &PITCH_INTERP_FILTER[frac];
    const Word16* c2 = &PITCH_INTERP_FILTER[sub(UP_SAMPLING, frac)];
    Word32 s = 0;
    for (Word16 i = 0, k = 0; i < INTERP_TAPS; i++, k = (Word16)(k + UP_SAMPLING)) {
      s = L_mac(s, x1[-i], c1[k]);
      s = L_mac(s, x2[i], c2[k]);
    }
    exc[j] = round(s);
  }
}

void track_pitch(Word16* delay, Word16* frac, Word16* previous_delay, Word16* stable_count,
                 Word16* stable_delay, Word16* stable_frac) {
  Word16 dist = sub(*delay, *previous_delay);
  bool rising = true;
  if (dist < 0) {
    rising = false;
    dist = negate(dist);
  }

  if (sub(dist, STABLE_DISTANCE) < 0) {
    // Stationary delay.
    *stable_count = add(*stable_count, 1);
    if (*stable_count > STABLE_COUNT_MAX) *stable_count = STABLE_COUNT_MAX;
    *stable_delay = *delay;
    *stable_frac = *frac;
    *previous_delay = *delay;
    return;
  }

  // Distance to 2, 3 and 4 times the shorter of the two delays.
  Word16 dist_min = dist;
  Word16 base = rising ? *previous_delay : *delay;
  Word16 other = rising ? *delay : *previous_delay;
  Word16 multiple = add(base, base);
  for (int j = 2; j < 5; j++) {
    Word16 d = abs_s(sub(multiple, other));
    if (sub(d, dist_min) <= 0) dist_min = d;
    multiple = add(multiple, base);
  }

  if (sub(dist_min, STABLE_DISTANCE) < 0) {
    // A (sub)multiple of the previous delay: fall back on the stable one.
    if (*stable_count > 0) {
      *delay = *stable_delay;
      *frac = *stable_frac;
    }
    *stable_count = sub(*stable_count, 1);
    if (*stable_count < 0) *stable_count = 0;
  } else {
    // A real transition.
    *stable_count = 0;
    *stable_delay = *delay;
    *stable_frac = *frac;
  }
  *previous_delay = *delay;
}

// Pitch delay of a subframe: decoding of the transmitted delay index into an
// integer delay and a fraction in thirds of a sample, the adaptive-codebook
// vector interpolated from the past excitation at that delay, and the pitch
// tracking that smooths the delay kept for concealment at 11.8 kbit/s.
#pragma once

#include "codec/basicop/basicop.h"

// Pitch tracking memory, one instance. previous_delay and stable_count are
// set by every decoder reset (pitch_track_reset); stable_delay and
// stable_frac are set only at program start and survive resets (they are
// read only while stable_count > 0, and stable_count rises above 0 only in a
// call that also writes them).
struct PitchTrackState {
  Word16 previous_delay;  // delay seen by the previous tracking call, samples (Q0)
  Word16 stable_count;    // stationarity counter, 0..7
  // Survive the decoder reset:
  Word16 stable_delay;  // last delay accepted as stable, samples (Q0)
  Word16 stable_frac;   // fraction of stable_delay, thirds of a sample (-1, 0, +1)
};

extern PitchTrackState pitch_track_state;

// Decoder reset: previous_delay = 30, stable_count = 0; stable_delay and
// stable_frac are left alone.
void pitch_track_reset();

// Program start: all four fields 0, then pitch_track_reset().
void pitch_track_program_start();

// Decodes a pitch delay index into the integer delay *T0 and its fraction
// *T0_frac (-1, 0 or +1 thirds of a sample).
//   subframe_start 0: 8-bit absolute index (all rates), delays 19 1/3..143.
//   subframe_start 40: index relative to the first subframe's delay, which
//   *T0 must hold on entry: 5 bits at 8 and 11.8 kbit/s, 4 bits at 6.4.
// pit_min/pit_max are the delay limits (20 and 143). rate: 0 = 6.4,
// 1 = 8, 2 = 11.8 kbit/s. Only the index bits the code uses are read, so any
// index gives a delay in 19..144.
void decode_pitch_lag(Word16 index, Word16 pit_min, Word16 pit_max, Word16 subframe_start,
                      Word16* T0, Word16* T0_frac, Word16 rate);

// Adaptive-codebook vector: overwrites exc[0..length-1] with the past
// excitation interpolated at delay T0 + T0_frac/3 by the 1/3-sample filter.
// exc points at the subframe start inside the excitation buffer, which must
// hold at least T0 + 11 samples of history before it (154 for T0 <= 144).
// Works in place: samples are written in order and later reads see them, so
// a delay shorter than the subframe repeats the vector with that period.
void adaptive_codebook_vector(Word16* exc, Word16 T0, Word16 T0_frac, Word16 length);

// Pitch tracking: detects stationary delays and jumps to (sub)multiples of
// the previous delay; on such a jump *delay and *frac are replaced by the
// last stable delay (while *stable_count > 0). Updates the four memories.
void track_pitch(Word16* delay, Word16* frac, Word16* previous_delay, Word16* stable_count,
                 Word16* stable_delay, Word16* stable_frac);

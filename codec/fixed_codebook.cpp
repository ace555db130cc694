// Algebraic codebooks: pulse positions and signs to the innovation vector.
#include "fixed_codebook.h"

#include "codec/decoder.h"
#include "codec/tables/tables.h"

#include "fast_paths.h"

static const Word16 TRACK_COUNT = 5;

// Pulse amplitudes, Q13 (unit pulses) and Q12 (11.8 kbit/s).
static const Word16 PULSE_PLUS = 8191;
static const Word16 PULSE_MINUS = -8192;
static const Word16 PULSE_118 = 4096;

static void clear_code(Word16* code) {
  for (Word16 i = 0; i < SUBFRAME_SAMPLES; i++) code[i] = 0;
}

// Position of a pulse from its 3-bit track entry m: 5 m + track.
static Word16 track_position(Word16 m, Word16 track) { return add(add(m, shl(m, 2)), track); }

void decode_fixed_codebook_80(Word16 sign_index, Word16 position_index, Word16* code) {
  Word16 pos[4];
  Word16 index = position_index;
  pos[0] = track_position((Word16)(index & 7), 0);
  index = shr(index, 3);
  pos[1] = track_position((Word16)(index & 7), 1);
  index = shr(index, 3);
  pos[2] = track_position((Word16)(index & 7), 2);
  index = shr(index, 3);
  // The fourth pulse lies on track 3 or, with bit 9 set, on track 4.
  Word16 j = (Word16)(index & 1);
  index = shr(index, 1);
  pos[3] = track_position((Word16)(index & 7), add(3, j));

  clear_code(code);
  Word16 sign = sign_index;
  for (int k = 0; k < 4; k++) {
    code[pos[k]] = (sign & 1) != 0 ? PULSE_PLUS : PULSE_MINUS;
    sign = shr(sign, 1);
  }
}

void decode_fixed_codebook_64(Word16 sign_index, Word16 position_index, Word16* code) {
  Word16 pos[2];
  pos[0] = TRACK_A_64[GRAY_DECODE_32[position_index & 15]];
  pos[1] = TRACK_B_64[GRAY_DECODE_32[shr(position_index, 4) & 31]];

  clear_code(code);
  Word16 sign = sign_index;
  for (int k = 0; k < 2; k++) {
    Word16 p = pos[k];
    code[p] = (sign & 1) != 0 ? add(code[p], PULSE_PLUS) : sub(code[p], 8192);
    sign = shr(sign, 1);
  }
}

void decode_track_pulses(Word16 index, Word16 track, Word16 pulse_count, Word16* code) {
  if (track < 0 || track >= TRACK_COUNT) return;

  Word16 p1 = track_position((Word16)(index & 7), track);
  Word16 amplitude = (shr(index, 3) & 1) != 0 ? (Word16)-PULSE_118 : PULSE_118;
  code[p1] = amplitude;
  if (pulse_count < 2) return;

  Word16 p2 = track_position((Word16)(shr(index, 4) & 7), track);
  if (sub(p2, p1) > 0) amplitude = negate(amplitude);
  code[p2] = add(code[p2], amplitude);
}

void decode_fixed_codebook_118(const Word16* track_index, Word16* code) {
  clear_code(code);
  if (!decoder_reference_paths) {
    // decode_track_pulses in plain arithmetic: positions below 40 and sums
    // of two pulses of 4096 never reach the operators' limits.
    for (int k = 0; k < TRACK_COUNT; k++) {
      int index = track_index[k];
      int p1 = 5 * (index & 7) + k, p2 = 5 * ((index >> 4) & 7) + k;
      Word16 amplitude = (index & 8) != 0 ? (Word16)-PULSE_118 : PULSE_118;
      code[p1] = amplitude;
      code[p2] = (Word16)(code[p2] + (p2 > p1 ? -amplitude : amplitude));
    }
    return;
  }
  for (Word16 k = 0; k < TRACK_COUNT; k++) decode_track_pulses(track_index[k], k, 2, code);
}

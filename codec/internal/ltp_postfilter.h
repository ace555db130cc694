// Long-term (harmonic) post-filter of one 40-sample subframe: finds the best
// pitch delay near the decoded one with 1/8-sample resolution and mixes the
// residual with its delayed copy,
//   out(n) = g * res(n) + (1 - g) * y(n),  g = 1 / (1 + weight * beta),
// or passes the residual unchanged when the delayed copy predicts it poorly.
#pragma once

#include "codec/basicop/basicop.h"
#include "codec/decoder.h"

// Past residual samples the filter reads before the subframe.
constexpr int LTP_HISTORY = 152;
// Phases 1..7 of the 1/8-sample interpolation.
constexpr int LTP_PHASES = 7;
// Samples of one short-interpolation block (the subframe plus one).
constexpr int LTP_BLOCK = SUBFRAME_SAMPLES + 1;
// Words kept per block: the block rounded up to whole 8-sample vectors, which
// the fast form fills (the samples beyond the block are never read).
constexpr int LTP_BLOCK_STORAGE = 48;

// Whole filter. res points at the 40 current residual samples, preceded in
// memory by LTP_HISTORY past ones; out receives 40 samples (it must not
// overlap res) and *voicing the chosen integer delay, 0 when the filter is
// off. delay is the decoded integer pitch delay, 19..144; pitch_weight the
// filter's weight in Q15 (16384 selects the fixed-weight shortcuts).
void long_term_postfilter(Word16 delay, const Word16* res, Word16* out, Word16* voicing,
                          Word16 pitch_weight);

// Result of the fractional delay search: the delay D - p/8, the offset o
// into the chosen short-interpolation block, and the prediction figures
// (correlation about num * 2^sh_num, energy about den * 2^sh_den).
struct DelaySearchResult {
  Word16 D;
  Word16 p;
  Word16 o;
  Word16 num;
  Word16 den;
  Word16 sh_num;
  Word16 sh_den;
};

// The short-interpolation blocks the search builds: block p - 1 holds the
// scaled residual interpolated at phase p for n = 0..40, with its energies
// over samples 0..39 (e0) and 1..40 (e1).
struct ShortInterpolation {
  Word16 block[LTP_PHASES][LTP_BLOCK_STORAGE];
  Word32 e0[LTP_PHASES];
  Word32 e1[LTP_PHASES];
};

// Searches the delays delay-1..delay+1 and their fractions for the best
// prediction of the scaled residual x (x[0..39] current, x[-152..-1] past,
// plus a readable x[-153]). A filter found off gives num = 0, den = 1,
// D = 0, p = 0.
void fractional_delay_search(Word16 delay, const Word16* x, ShortInterpolation* blocks,
                             DelaySearchResult* r);

// Prediction figures of a 16-tap interpolation.
struct LongInterpolationResult {
  Word16 num2;
  Word16 den2;
  Word16 sh_num2;
  Word16 sh_den2;
};

// The 40 samples of x delayed by D - p/8 (p = 1..7) through the 16-tap
// filter, into y; reads x[-D-8..39-D+8].
void long_interpolation(const Word16* x, Word16 D, Word16 p, Word16* y, LongInterpolationResult* r);

// 1 when the 4-tap result (num, den) predicts at least as well as the
// 16-tap one (num2, den2), 2 when the 16-tap one is strictly better.
Word16 choose_interpolation(Word16 num, Word16 den, Word16 sh_num, Word16 sh_den, Word16 num2,
                            Word16 den2, Word16 sh_num2, Word16 sh_den2);

// out(n) = g * res(n) + (1 - g) * y(n) for n = 0..39, g in Q15. out may be
// the same buffer as y.
void harmonic_filter(const Word16* res, const Word16* y, Word16* out, Word16 g);

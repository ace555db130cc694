// What the algebraic codebook searches of all rates share: the correlations
// of the impulse response, the correlation of the target with it, the
// choice of each position's sign, and the filtered code of chosen pulses.
#pragma once

#include "codec/basicop/basicop.h"

const Word16 ACELP_SUBFRAME = 40;

// Weights of a pulse's own energy and of the cross term of two pulses in the
// energies of the 8 and 6.4 kbit/s searches. The reference bitstreams'
// choices between nearly equal candidates follow where these put the cut to
// 16 bits (at 1/4 and 1/2 the two-pulse search chose otherwise twice in a
// rate-switching stream).
const Word16 ACELP_W_DIAG = 2048;   // 1/16
const Word16 ACELP_W_CROSS = 4096;  // 1/8

// Correlations of the scaled impulse response: cum[d][l] = sum over
// m = 0..l of h[m] h[m + d], accumulated from m = 0.
struct ResponseCorrelation {
  Word32 cum[ACELP_SUBFRAME][ACELP_SUBFRAME];
};

// Scales h for the largest precision of its energy and fills c.
void correlate_response(const Word16* h, ResponseCorrelation* c);

// The correlation of unit pulses at positions i and j, as the searches use
// it (the diagonal when i == j).
inline Word16 pulse_correlation(const ResponseCorrelation& c, int i, int j) {
  int d = i > j ? i - j : j - i;
  int last = i > j ? i : j;
  return extract_h(c.cum[d][ACELP_SUBFRAME - 1 - last]);
}

// y32[i] = the sum of x[j] h[j - i] over j = i..39, doubled and accumulated
// as L_mac does from j = i.
void target_products(const Word16* h, const Word16* x, Word32* y32);

// The correlations of the target with the impulse response, scaled so that
// their largest magnitude has at most 13 bits.
void target_correlation(const Word16* h, const Word16* x, Word16* dn);

// Each position's sign from dn (0x7fff or 0x8000 in sign[]); dn becomes |dn|.
void choose_signs(Word16* dn, Word16* sign);

// Adds a pulse of `sign` (0x7fff or 0x8000) at pos to code (Q13) and its
// filtered form h shifted to pos to y (Q12).
void add_pulse(Word16 pos, Word16 sign, const Word16* h, Word16* code, Word16* y);

// Adds h shifted to pos to y, negated when sign is negative.
void add_filtered_pulse(Word16 pos, Word16 sign, const Word16* h, Word16* y);

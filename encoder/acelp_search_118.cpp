#include "encoder/acelp_search_118.h"

#include "codec/basicop/mathfunc.h"
#include "encoder/acelp_common.h"
#include "encoder/reference_paths.h"
#include "encoder/search_candidates.h"

#include "frame_decoder.h"

namespace {

const int SUBFRAME = 40;
const int TRACKS = 5;
const int STEP = 5;
const int PULSES = 10;
const int ROUNDS = 3;       // orders of the tracks searched, of the five
const Word16 PULSE = 4096;  // amplitude of a pulse in the code

// Weights of the energy terms for the pair added at each level: the pair's
// first pulse with itself and with the pulses before (diag, cross, the
// latter also for the pair's own cross term), and the pre-summed row of the
// second pulse (its own weight, the weight of the earlier pulses, and the
// weight with which the row enters). Each level halves the scale of the
// energy once more so that ten pulses fit 16 bits.
struct PairWeights {
  Word16 diag, cross, row_diag, row_cross, row;
};
const PairWeights LEVEL[4] = {
    {2048, 4096, 4096, 8192, 16384},
    {1024, 2048, 4096, 8192, 8192},
    {512, 1024, 2048, 4096, 8192},
    {256, 512, 2048, 4096, 4096},
};

// Correlations of the target with the impulse response, scaled so that
// twice the sum of the track maxima fits 16 bits.
void correlate_target(const Word16* h, const Word16* x, Word16* dn) {
  Word32 y32[SUBFRAME];
  Word32 tot = 5;
  target_products(h, x, y32);
  for (int t = 0; t < TRACKS; t++) {
    Word32 max = 0;
    for (int i = t; i < SUBFRAME; i += STEP) {
      Word32 s = L_abs(y32[i]);
      if (L_sub(s, max) > 0L) max = s;
    }
    tot = L_add(tot, L_shr(max, 1));
  }
  Word16 j = sub(norm_l(tot), 2);
  for (int i = 0; i < SUBFRAME; i++) dn[i] = round(L_shl(y32[i], j));
}

// 1 / |v| scaled, for the normalisation of the sign estimate.
Word16 inverse_norm(const Word16* v) {
  Word32 s = 256;
  int64_t energy = 2 * energy64(v, SUBFRAME);  // the partial sums only grow
  if (!encoder_reference_paths && energy + 256 <= MAX_32)
    s += (Word32)energy;
  else
    for (int i = 0; i < SUBFRAME; i++) s = L_mac(s, v[i], v[i]);
  return extract_h(L_shl(L_inv_sqrt(s), 5));
}

// Fixes the sign of each position from the normalised sum of the residual
// res and the correlation dn, turns dn to that sign, and finds the best
// position of each track (pos_max) with the magnitude of that sum there
// (strength). Returns the track of the strongest position. The sum is
// compared in full 32-bit precision: rounded to 16 bits, near ties between
// positions and sums at zero went otherwise than in the reference
// bitstreams.
Word16 choose_signs(const Word16* res, Word16* dn, Word16* sign, Word16* pos_max,
                    Word32* strength) {
  // The residual's weight sits one step below its normalisation: the
  // reference bitstreams' signs and track maxima follow that weighting (a
  // third of the subframes whose pulses differed came from it).
  Word16 k_res = sub(inverse_norm(res), 1), k_dn = inverse_norm(dn);
  Word32 max_of_all = -1;
  Word16 strongest = 0;
  for (int t = 0; t < TRACKS; t++) {
    Word32 max = -1;
    int pos = t;
    for (int i = t; i < SUBFRAME; i += STEP) {
      Word16 val = dn[i];
      Word32 cor = L_mac(L_mult(k_res, res[i]), k_dn, val);
      if (cor >= 0) {
        sign[i] = MAX_16;
      } else {
        sign[i] = -MAX_16;
        val = negate(val);
      }
      dn[i] = val;
      cor = L_abs(cor);
      if (L_sub(cor, max) > 0) {
        max = cor;
        pos = i;
      }
    }
    pos_max[t] = (Word16)pos;
    strength[t] = max;
    if (L_sub(max, max_of_all) > 0) {
      max_of_all = max;
      strongest = (Word16)t;
    }
  }
  return strongest;
}

// One diagonal of the pulse correlations in plain arithmetic (where
// correlate_pulses proves it exact): d[k] for k = 0..39-dec is the rounded
// running sum of 2 h2[m] h2[m + dec] over m = 0..k, times the sign product
// (sr[k] sr[k + dec]) >> 15, shifted by 15. h2 and sr hold 8 words past the
// subframe (h2 zeros).
void correlation_diagonal(const Word16* h2, const Word16* sr, int dec, Word16* d) {
  const int n = SUBFRAME - dec;
#if defined(__SSE2__)
  __m128i carry = _mm_setzero_si128();
  const __m128i round = _mm_set1_epi32(0x8000), same = _mm_set1_epi16(32766),
                differ = _mm_set1_epi16(-32767);
  for (int k = 0; k < n; k += 8) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h2 + k));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h2 + k + dec));
    __m128i lo = _mm_mullo_epi16(a, b), hi = _mm_mulhi_epi16(a, b);
    // Doubled products, then running sums within four lanes and across.
    __m128i p0 = _mm_slli_epi32(_mm_unpacklo_epi16(lo, hi), 1);
    __m128i p1 = _mm_slli_epi32(_mm_unpackhi_epi16(lo, hi), 1);
    p0 = _mm_add_epi32(p0, _mm_slli_si128(p0, 4));
    p0 = _mm_add_epi32(p0, _mm_slli_si128(p0, 8));
    p1 = _mm_add_epi32(p1, _mm_slli_si128(p1, 4));
    p1 = _mm_add_epi32(p1, _mm_slli_si128(p1, 8));
    p0 = _mm_add_epi32(p0, carry);
    p1 = _mm_add_epi32(p1, _mm_shuffle_epi32(p0, 0xff));
    carry = _mm_shuffle_epi32(p1, 0xff);
    __m128i r = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(p0, round), 16),
                                _mm_srai_epi32(_mm_add_epi32(p1, round), 16));
    __m128i eq = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sr + k)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(sr + k + dec)));
    __m128i f = _mm_or_si128(_mm_and_si128(eq, same), _mm_andnot_si128(eq, differ));
    lo = _mm_mullo_epi16(r, f);
    hi = _mm_mulhi_epi16(r, f);
    __m128i v = _mm_packs_epi32(_mm_srai_epi32(_mm_unpacklo_epi16(lo, hi), 15),
                                _mm_srai_epi32(_mm_unpackhi_epi16(lo, hi), 15));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), v);
  }
#else
  Word32 s = 0;
  for (int k = 0; k < n; k++) {
    s += 2 * (h2[k] * h2[k + dec]);
    d[k] = (Word16)((((s + 0x8000) >> 16) * ((sr[k] * sr[k + dec]) >> 15)) >> 15);
  }
#endif
}

// rr[i][j]: the correlation of the impulse response shifted to i and to j,
// signed by the pulse signs of i and j. h is scaled to bring its energy to
// full scale, with no margin below it: a margin of 0.99 made the reference
// bitstreams choose other pulses more often. Returns a bound on the
// magnitudes of rr, for the search's energy terms.
int32_t correlate_pulses(const Word16* h, const Word16* sign, Word16 (*rr)[SUBFRAME]) {
  Word16 h2[SUBFRAME];
  Word32 s = 2;
  for (int i = 0; i < SUBFRAME; i++) s = L_mac(s, h[i], h[i]);
  if (sub(extract_h(s), MAX_16) == 0) {
    for (int i = 0; i < SUBFRAME; i++) h2[i] = shr(h[i], 1);
  } else {
    Word16 k = extract_h(L_shl(L_inv_sqrt(L_shr(s, 1)), 7));
    for (int i = 0; i < SUBFRAME; i++) h2[i] = round(L_shl(L_mult(h[i], k), 9));
  }
  // Each partial correlation is at most the energy in magnitude (Cauchy-
  // Schwarz), so when twice the energy and the rounding fit 32 bits, neither
  // L_mac nor round saturates; the sign product is +-32766 or -32767, whose
  // product with a 16-bit value shifted by 15 stays within 16 bits.
  bool plain = !encoder_reference_paths && 2 * energy64(h2, SUBFRAME) + 0x8000 <= MAX_32;
  s = 0;
  for (int k = 0, i = SUBFRAME - 1; k < SUBFRAME; k++, i--) {
    s = plain ? s + 2 * (h2[k] * h2[k]) : L_mac(s, h2[k], h2[k]);
    rr[i][i] = plain ? (Word16)((s + 0x8000) >> 16) : round(s);
  }
  if (plain) {
    // h2 and the signs from the last position down, zero-padded for the
    // eight-lane steps.
    Word16 h2p[SUBFRAME + 8] = {}, sr[SUBFRAME + 8];
    for (int i = 0; i < SUBFRAME + 8; i++) {
      if (i < SUBFRAME) h2p[i] = h2[i];
      sr[i] = i < SUBFRAME ? sign[SUBFRAME - 1 - i] : MAX_16;
    }
    for (int dec = 1; dec < SUBFRAME; dec++) {
      Word16 d[SUBFRAME + 8];
      correlation_diagonal(h2p, sr, dec, d);
      for (int k = 0, j = SUBFRAME - 1, i = j - dec; k < SUBFRAME - dec; k++, i--, j--)
        rr[j][i] = rr[i][j] = d[k];
    }
  } else {
    for (int dec = 1; dec < SUBFRAME; dec++) {
      s = 0;
      for (int k = 0, j = SUBFRAME - 1, i = j - dec; k < SUBFRAME - dec; k++, i--, j--) {
        s = L_mac(s, h2[k], h2[k + dec]);
        rr[j][i] = rr[i][j] = mult(round(s), mult(sign[i], sign[j]));
      }
    }
  }
  // A correlation's magnitude is at most the energy, whose rounding is
  // rr[0][0]; rounding a negative one may add one.
  return plain ? rr[0][0] + 1 : -MIN_16;
}

// The rounds to search: each round k starts on the best positions of the
// neighbouring tracks k and k+1, and only the ROUNDS rounds whose two
// starting positions are the strongest together are searched. The tracks
// are ranked from the strongest one onwards, so that of equally strong pairs
// the one met first in that order is taken.
void choose_rounds(const Word32* strength, Word16 strongest, bool* searched) {
  int order[TRACKS];
  Word32 pair[TRACKS];
  for (int r = 0; r < TRACKS; r++) {
    order[r] = (strongest + r) % TRACKS;
    pair[r] = L_add(strength[order[r]], strength[(order[r] + 1) % TRACKS]);
  }
  for (int k = 0; k < TRACKS; k++) searched[k] = false;
  for (int n = 0; n < ROUNDS; n++) {
    int best = -1;
    for (int r = 0; r < TRACKS; r++)
      if (!searched[order[r]] && (best < 0 || pair[r] > pair[best])) best = r;
    searched[order[best]] = true;
  }
}

// One level's pair search: the terms of its first pulse i (ps1, alp1) and
// of its second pulse j (row) over the eight positions of each track, and
// the pair chosen with its squared correlation, energy and correlation.
struct PairTerms {
  int ta, tb;  // the tracks of the pair's first and second pulse
  Word16 ps1[8], row[8];
  Word32 alp1[8];
};
struct Pair {
  Word16 sq, alp, ps, ia, ib;
};

// The correlation rows of the pulses chosen so far, summed, and the sums of
// their magnitudes.
struct ChosenRows {
  int32_t sum[SUBFRAME], magnitude[SUBFRAME];
};

// The level's terms from the pulses p[0..a-1] chosen so far, with their
// correlation ps and energy alp0; rows holds the sums of rr[p[m]][c] and of
// their magnitudes over those pulses (for the plain sums, which take the
// weight out of the sum).
//
// The plain sums: |alp0| is at most 2^30 (a rounded energy times 32768, or
// at the first level three terms of at most 2^16 * 4096), and the terms
// added to it at most 2^16 (diag + a cross) <= 2^16 * 10240 in all, so no
// partial sum of alp1 reaches 2^31. The row's partial sums are at most
// 2 (|rr[j][j]| row_diag + row_cross magnitude[j]), checked against 2^31
// with the rounding for each position j.
void pair_terms(const Word16* dn, const Word16 (*rr)[SUBFRAME], const Word16* p, int a, Word16 ps,
                Word32 alp0, const PairWeights& w, const ChosenRows& rows, PairTerms* t) {
  const bool plain_alp = !encoder_reference_paths;
  for (int v = 0; v < 8; v++) {
    int j = t->tb + STEP * v;
    Word32 s = L_mult(rr[j][j], w.row_diag);
    const int64_t bound = (s < 0 ? -(int64_t)s : s) + 2 * (int64_t)w.row_cross * rows.magnitude[j];
    if (plain_alp && bound + 0x8000 <= MAX_32) {
      s += 2 * w.row_cross * rows.sum[j];
      t->row[v] = (Word16)((s + 0x8000) >> 16);
    } else {
      for (int m = 0; m < a; m++) s = L_mac(s, rr[p[m]][j], w.row_cross);
      t->row[v] = round(s);
    }
  }
  for (int u = 0; u < 8; u++) {
    int i = t->ta + STEP * u;
    t->ps1[u] = add(ps, dn[i]);
    Word32 alp1;
    if (plain_alp) {
      alp1 = alp0 + 2 * (rr[i][i] * w.diag) + 2 * w.cross * rows.sum[i];
    } else {
      alp1 = L_mac(alp0, rr[i][i], w.diag);
      for (int m = 0; m < a; m++) alp1 = L_mac(alp1, rr[p[m]][i], w.cross);
    }
    t->alp1[u] = alp1;
  }
}

// Adds the rows of the pulses at i and j to rows, for the plain sums of
// pair_terms.
void add_rows(const Word16 (*rr)[SUBFRAME], int i, int j, ChosenRows* rows) {
  for (int c = 0; c < SUBFRAME; c++) {
    rows->sum[c] += rr[i][c] + rr[j][c];
    rows->magnitude[c] +=
        (rr[i][c] < 0 ? -rr[i][c] : rr[i][c]) + (rr[j][c] < 0 ? -rr[j][c] : rr[j][c]);
  }
}

// The first pair of the 8x8 maximising sq / alp, exactly.
Pair best_pair(const Word16* dn, const Word16 (*rr)[SUBFRAME], const PairTerms& t,
               const PairWeights& w) {
  Pair best = {-1, 1, 0, (Word16)t.ta, (Word16)t.tb};
  for (int u = 0; u < 8; u++) {
    int i = t.ta + STEP * u;
    for (int v = 0; v < 8; v++) {
      int j = t.tb + STEP * v;
      Word16 ps2 = add(t.ps1[u], dn[j]);
      Word32 alp2 = L_mac(t.alp1[u], t.row[v], w.row);
      alp2 = L_mac(alp2, rr[i][j], w.cross);
      Word16 sq2 = mult(ps2, ps2);
      Word16 alp_16 = round(alp2);
      if (L_msu(L_mult(best.alp, sq2), best.sq, alp_16) > 0L)
        best = {sq2, alp_16, ps2, (Word16)i, (Word16)j};
    }
  }
  return best;
}

// Whether best_pair_plain gives best_pair's answer: every correlation sum
// within 16 bits, and every energy's partial sums and rounding within 32
// bits given the bound rr_peak on the magnitudes of rr.
bool pair_fits(const Word16* dn, const PairTerms& t, int32_t rr_peak, const PairWeights& w) {
  int32_t ps_max = 0, dn_max = 0, row_max = 0;
  int64_t alp_max = 0;
  for (int k = 0; k < 8; k++) {
    int32_t d = dn[t.tb + STEP * k], ps = t.ps1[k], row = t.row[k];
    int64_t alp = t.alp1[k];
    dn_max = d > dn_max ? d : -d > dn_max ? -d : dn_max;
    ps_max = ps > ps_max ? ps : -ps > ps_max ? -ps : ps_max;
    row_max = row > row_max ? row : -row > row_max ? -row : row_max;
    alp_max = alp > alp_max ? alp : -alp > alp_max ? -alp : alp_max;
  }
  return ps_max + dn_max <= MAX_16 &&
         alp_max + 2 * (int64_t)row_max * w.row + 2 * (int64_t)rr_peak * w.cross + 0x8000 <= MAX_32;
}

// best_pair in plain arithmetic, where pair_fits. The squares and energies of
// the eight pairs of one first pulse are made at once and compared with the
// best so far; the sequential choice runs only when one of them beats it.
// With sq, sq2 < 2^15 and alp, alp_16 within 16 bits both products of the
// comparison stay below 2^30 in magnitude, so their difference fits 32 bits.
Pair best_pair_plain(const Word16* dn, const Word16 (*rr)[SUBFRAME], const PairTerms& t,
                     const PairWeights& w) {
  Pair best = {-1, 1, 0, (Word16)t.ta, (Word16)t.tb};
  Word16 ps2[8], sq2[8], alp_16[8];
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i dn_b = _mm_setr_epi16(dn[t.tb], dn[t.tb + 5], dn[t.tb + 10], dn[t.tb + 15],
                                      dn[t.tb + 20], dn[t.tb + 25], dn[t.tb + 30], dn[t.tb + 35]);
  const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.row));
  const __m128i weights =
      _mm_set1_epi32((int)((uint32_t)(uint16_t)w.row | (uint32_t)(uint16_t)w.cross << 16));
#endif
  for (int u = 0; u < 8; u++) {
    const int i = t.ta + STEP * u;
#if defined(__SSE2__)
    const Word16* r = rr[i] + t.tb;
    __m128i cross = _mm_setr_epi16(r[0], r[5], r[10], r[15], r[20], r[25], r[30], r[35]);
    __m128i ps = _mm_add_epi16(_mm_set1_epi16(t.ps1[u]), dn_b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ps2), ps);
    // row w.row + cross w.cross in each 32-bit lane, doubled, onto alp1.
    __m128i alp1 = _mm_set1_epi32(t.alp1[u]), round = _mm_set1_epi32(0x8000);
    __m128i lo = _mm_add_epi32(
        alp1, _mm_slli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(row, cross), weights), 1));
    __m128i hi = _mm_add_epi32(
        alp1, _mm_slli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(row, cross), weights), 1));
    __m128i alp16 = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, round), 16),
                                    _mm_srai_epi32(_mm_add_epi32(hi, round), 16));
    __m128i magnitude = _mm_max_epi16(ps, _mm_sub_epi16(zero, ps));
    if (!candidates_beat_best(magnitude, alp16, best.sq, best.alp, alp_16, sq2)) continue;
#else
    bool beats = false;
    for (int v = 0; v < 8; v++) {
      int j = t.tb + STEP * v;
      ps2[v] = (Word16)(t.ps1[u] + dn[j]);
      int32_t alp2 = t.alp1[u] + 2 * (t.row[v] * w.row) + 2 * (rr[i][j] * w.cross);
      sq2[v] = (Word16)((ps2[v] * ps2[v]) >> 15);
      alp_16[v] = (Word16)((alp2 + 0x8000) >> 16);
      beats |= best.alp * sq2[v] - best.sq * alp_16[v] > 0;
    }
    if (!beats) continue;
#endif
    for (int v = 0; v < 8; v++)
      if (best.alp * sq2[v] - best.sq * alp_16[v] > 0)
        best = {sq2[v], alp_16[v], ps2[v], (Word16)i, (Word16)(t.tb + STEP * v)};
  }
  return best;
}

// The ten pulse positions (codvec) maximising the squared correlation over
// the energy. Round k: pulse 0 on the best position of track k, pulse 1 on
// the best of track k+1, then the pairs 2-3, 4-5, 6-7, 8-9 on the tracks
// k+2..k+4, k, k+1..k+4 (cyclically), each pair searched jointly over its
// two tracks. The chosen rounds run from the strongest track on; the first
// of equally good results is kept. The reference bitstreams still choose
// other pulses in about one subframe in sixty, mostly between
// candidates whose criteria differ by well under one per cent.
void search_pulses(const Word16* dn, const Word16 (*rr)[SUBFRAME], int32_t rr_peak,
                   Word16 strongest, const Word16* pos_max, const Word32* strength,
                   Word16* codvec) {
  Word16 psk = -1, alpk = 1;
  for (int i = 0; i < PULSES; i++) codvec[i] = (Word16)i;
  bool searched[TRACKS];
  choose_rounds(strength, strongest, searched);
  Word16 p[PULSES];
  for (int r = 0; r < TRACKS; r++) {
    const int k = (strongest + r) % TRACKS;
    if (!searched[k]) continue;
    int ipos[PULSES];  // the track of each pulse
    for (int i = 0; i < PULSES; i++) ipos[i] = (k + i) % TRACKS;
    p[0] = pos_max[ipos[0]];
    p[1] = pos_max[ipos[1]];
    Word16 ps = add(dn[p[0]], dn[p[1]]);
    Word32 alp0 = L_mult(rr[p[0]][p[0]], 2048);
    alp0 = L_mac(alp0, rr[p[1]][p[1]], 2048);
    alp0 = L_mac(alp0, rr[p[0]][p[1]], 4096);
    Pair pair = {-1, 1, 0, 0, 0};
    ChosenRows rows = {};
    if (!encoder_reference_paths) add_rows(rr, p[0], p[1], &rows);
    for (int level = 0; level < 4; level++) {
      const PairWeights& w = LEVEL[level];
      const int a = 2 * level + 2, b = a + 1;
      PairTerms t;
      t.ta = ipos[a];
      t.tb = ipos[b];
      pair_terms(dn, rr, p, a, ps, alp0, w, rows, &t);
      pair = !encoder_reference_paths && pair_fits(dn, t, rr_peak, w)
                 ? best_pair_plain(dn, rr, t, w)
                 : best_pair(dn, rr, t, w);
      p[a] = pair.ia;
      p[b] = pair.ib;
      if (!encoder_reference_paths && level < 3) add_rows(rr, p[a], p[b], &rows);
      ps = pair.ps;
      alp0 = L_mult(pair.alp, 16384);
    }
    if (L_msu(L_mult(alpk, pair.sq), psk, pair.alp) > 0L) {
      psk = pair.sq;
      alpk = pair.alp;
      for (int i = 0; i < PULSES; i++) codvec[i] = p[i];
    }
  }
}

// The code, its filtered form and the track words from the pulse positions.
// A track word holds the position of its first pulse (bits 0-2), that
// pulse's sign (bit 3, set for negative) and the position of the second
// (bits 4-6), whose sign is the first's when it is not after the first and
// the opposite when it is: so the first is the later pulse when the signs
// agree and the earlier one when they differ.
void build_code(const Word16* codvec, const Word16* sign, const Word16* h, Word16* code, Word16* y,
                Word16* indices) {
  Word16 first[TRACKS], second[TRACKS], h_half[SUBFRAME];
  for (int t = 0; t < TRACKS; t++) first[t] = second[t] = -1;
  for (int i = 0; i < SUBFRAME; i++) code[i] = 0;
  for (int k = 0; k < PULSES; k++) {
    int i = codvec[k];
    Word16 index = mult((Word16)i, 6554);  // i / 5
    int track = i - 5 * index;
    if (sign[i] > 0) {
      code[i] = add(code[i], PULSE);
    } else {
      code[i] = sub(code[i], PULSE);
      index = (Word16)(index + 8);
    }
    Word16 other = first[track];
    if (other < 0) {
      first[track] = index;
      continue;
    }
    bool same_sign = ((other ^ index) & 8) == 0;
    bool other_later = (other & 7) >= (index & 7);
    if (same_sign != other_later) {
      first[track] = index;
      second[track] = other;
    } else {
      second[track] = index;
    }
  }
  for (int t = 0; t < TRACKS; t++) indices[t] = (Word16)(first[t] | (second[t] & 7) << 4);
  // The filtered code adds each pulse's response halved on its own (not the
  // halved sum): the reference gains decided it.
  for (int i = 0; i < SUBFRAME; i++) {
    h_half[i] = shr(h[i], 1);
    y[i] = 0;
  }
  // Ten responses of at most a tenth of 32767 in magnitude: no partial sum
  // saturates.
  if (!encoder_reference_paths && PULSES * max_magnitude(h_half, SUBFRAME) <= MAX_16) {
    for (int k = 0; k < PULSES; k++) {
      const int pos = codvec[k];
      const int s = sign[pos] > 0 ? 1 : -1;
      for (int i = pos; i < SUBFRAME; i++) y[i] = (Word16)(y[i] + s * h_half[i - pos]);
    }
    return;
  }
  for (int k = 0; k < PULSES; k++) add_filtered_pulse(codvec[k], sign[codvec[k]], h_half, y);
}

}  // namespace

void acelp_search_118(const Word16* x, const Word16* res, Word16* h, Word16 T0, Word16 sharp,
                      Word16* code, Word16* y, Word16* indices) {
  sharpen_code(h, T0, sharp);
  Word16 dn[SUBFRAME], sign[SUBFRAME], pos_max[TRACKS], codvec[PULSES];
  Word32 strength[TRACKS];
  static Word16 rr[SUBFRAME][SUBFRAME];  // work space
  correlate_target(h, x, dn);
  Word16 strongest = choose_signs(res, dn, sign, pos_max, strength);
  int32_t rr_peak = correlate_pulses(h, sign, rr);
  search_pulses(dn, rr, rr_peak, strongest, pos_max, strength, codvec);
  build_code(codvec, sign, h, code, y, indices);
  sharpen_code(code, T0, sharp);
}

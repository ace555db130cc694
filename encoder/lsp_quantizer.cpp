#include "encoder/lsp_quantizer.h"

#include "codec/tables/tables.h"
#include "encoder/reference_paths.h"

#include "lsp.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const Word16 FIRST_STAGE_SIZE = 128;
const Word16 SECOND_STAGE_SIZE = 32;
const Word16 HALF = 5;                  // LSFs per half of the second stage
const Word16 LOW_EDGE = 1029 + 8192;    // 0.04 pi + 1.0, Q13
const Word16 HIGH_EDGE = 23677 - 8192;  // 0.92 pi - 1.0, Q13
const Word16 WEIGHT_SLOPE = 20480;      // 10.0, Q11
const Word16 MIDDLE_WEIGHT = 19661;     // 1.2, Q14
const Word16 CB1_MAX = 23533;           // LSP_CB1 holds 679..23533
const Word16 CB2_MIN = -1752;           // LSP_CB2 holds -1752..2337
const Word16 CB2_MAX = 2337;

}  // namespace

LspQuantizerState lsp_quantizer_state;

void reset_lsp_quantizer() {
  for (int k = 0; k < 4; k++)
    for (int j = 0; j < LSP_ORDER; j++) lsp_quantizer_state.freq_prev[k][j] = LSF_RESET[j];
}

// LSPs (Q15 cosines) -> LSFs (Q13 radians) by the arc-cosine slopes between
// the LSF_COS points, searched downwards as the LSPs fall with rising index.
static void lsp_to_lsf(const Word16* lsp, Word16* lsf) {
  Word16 ind = 63;
  for (int i = LSP_ORDER - 1; i >= 0; i--) {
    while (sub(LSF_COS[ind], lsp[i]) < 0) {
      ind = sub(ind, 1);
      if (ind <= 0) break;
    }
    Word16 offset = sub(lsp[i], LSF_COS[ind]);
    Word32 t = L_mult(LSF_ACOS_SLOPE[ind], offset);
    Word16 freq = add(shl(ind, 9), extract_l(L_shr(t, 12)));  // fraction of 2 pi, Q16
    lsf[i] = mult(freq, 25736);                               // 2 pi in Q12
  }
}

// Weight of each LSF (normalised Q11 << shift): 1 + 10 (d - 1)^2 where the
// distance d of its neighbours is below 1, else 1; the two middle ones get
// 1.2 times that; all are shifted so the largest has no leading zeros.
static void lsf_weights(const Word16* lsf, Word16* w) {
  Word16 d[10];
  d[0] = sub(lsf[1], LOW_EDGE);
  for (int i = 1; i < LSP_ORDER - 1; i++) d[i] = sub(sub(lsf[i + 1], lsf[i - 1]), 8192);
  d[LSP_ORDER - 1] = sub(HIGH_EDGE, lsf[LSP_ORDER - 2]);
  for (int i = 0; i < LSP_ORDER; i++) {
    if (d[i] > 0) {
      w[i] = 2048;
    } else {
      Word16 sq = extract_h(L_shl(L_mult(d[i], d[i]), 2));
      w[i] = add(extract_h(L_shl(L_mult(sq, WEIGHT_SLOPE), 2)), 2048);
    }
  }
  w[4] = extract_h(L_shl(L_mult(w[4], MIDDLE_WEIGHT), 1));
  w[5] = extract_h(L_shl(L_mult(w[5], MIDDLE_WEIGHT), 1));
  Word16 largest = 0;
  for (int i = 0; i < LSP_ORDER; i++)
    if (sub(w[i], largest) > 0) largest = w[i];
  Word16 shift = norm_s(largest);
  for (int i = 0; i < LSP_ORDER; i++) w[i] = shl(w[i], shift);
}

// The prediction residual of predictor `mode`: (lsf - sum of the memory
// rows weighted by MA_PREDICTOR) / MA_PREDICTOR_SUM, Q13 (target, out).
static void prediction_residual(const Word16* lsf, Word16 mode, Word16* target) {
  for (int j = 0; j < LSP_ORDER; j++) {
    Word32 t = L_deposit_h(lsf[j]);
    for (int k = 0; k < 4; k++)
      t = L_msu(t, lsp_quantizer_state.freq_prev[k][j], MA_PREDICTOR[mode][k][j]);
    t = L_mult(extract_h(t), MA_PREDICTOR_SUM_INV[mode][j]);
    target[j] = extract_h(L_shl(t, 3));
  }
}

// Takes row k as the best so far when its distance is smaller (the first of
// equal distances stays).
static void keep_nearer(Word32 dist, Word16 k, Word32* best_dist, Word16* best) {
  if (L_sub(dist, *best_dist) < 0) {
    *best_dist = dist;
    *best = k;
  }
}

// True when x[i] - c stays within 16 bits for every x[0..n-1] and every c in
// lo..hi.
static bool fits_difference(const Word16* x, int n, Word16 lo, Word16 hi) {
  for (int i = 0; i < n; i++)
    if (x[i] - hi < MIN_16 || x[i] - lo > MAX_16) return false;
  return true;
}

// The exact squared distance of a first-stage row from the target, where
// every difference fits 16 bits: eight words as SSE2 lanes (each pair of
// squares below 2^31, summed in 64 bits), then the last two.
static int64_t first_stage_distance(const Word16* target, const Word16* row) {
#if defined(__SSE2__)
  __m128i e = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(target)),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
  __m128i pairs = _mm_madd_epi16(e, e), zero = _mm_setzero_si128();
  __m128i sum = _mm_add_epi64(_mm_unpacklo_epi32(pairs, zero), _mm_unpackhi_epi32(pairs, zero));
  alignas(16) int64_t lanes[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sum);
  int64_t d = lanes[0] + lanes[1];
  for (int j = 8; j < LSP_ORDER; j++) {
#else
  int64_t d = 0;
  for (int j = 0; j < LSP_ORDER; j++) {
#endif
    int32_t e = target[j] - row[j];
    d += e * e;
  }
  return d;
}

// The first-stage row nearest to the target, unweighted.
// The distances are sums of non-negative terms, whose partial sums only
// grow: a sum that saturates ends at MAX_32, the smaller of its exact total
// and MAX_32. Where no difference can leave 16 bits, the fast forms take the
// exact totals.
static Word16 search_first_stage(const Word16* target) {
  Word16 best = 0;
  Word32 best_dist = MAX_32;
  bool exact = !encoder_reference_paths && fits_difference(target, LSP_ORDER, 0, CB1_MAX);
  for (int i = 0; i < FIRST_STAGE_SIZE; i++) {
    Word32 dist = 0;
    if (exact) {
      int64_t d = first_stage_distance(target, LSP_CB1[i]);
      dist = 2 * d > MAX_32 ? MAX_32 : (Word32)(2 * d);
    } else {
      for (int j = 0; j < LSP_ORDER; j++) {
        Word16 e = sub(target[j], LSP_CB1[i][j]);
        dist = L_mac(dist, e, e);
      }
    }
    keep_nearer(dist, (Word16)i, &best_dist, &best);
  }
  return best;
}

// The exact weighted distance of five words of a second-stage row from
// what is left of the target, where every difference fits 16 bits: the
// first four as SSE2 lanes (mult(w, e) fits 16 bits, each pair of its
// products with e stays below 2^31), then the fifth.
static int64_t second_stage_distance(const Word16* left, const Word16* w, const Word16* row) {
#if defined(__SSE2__)
  __m128i e = _mm_sub_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(left)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)));
  __m128i ww = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(w));
  __m128i p = _mm_unpacklo_epi16(_mm_mullo_epi16(ww, e), _mm_mulhi_epi16(ww, e));
  __m128i m = _mm_packs_epi32(_mm_srai_epi32(p, 15), _mm_setzero_si128());
  alignas(16) int32_t pairs[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(pairs), _mm_madd_epi16(m, e));
  int64_t d = (int64_t)pairs[0] + pairs[1];
  const int from = 4;
#else
  int64_t d = 0;
  const int from = 0;
#endif
  for (int j = from; j < HALF; j++) {
    int32_t e = left[j] - row[j];
    d += ((w[j] * e) >> 15) * e;
  }
  return d;
}

// The second-stage row whose words from..from+4 best match what is left of
// the target after the first stage, by weighted distance.
static Word16 search_second_stage(const Word16* target, const Word16* first, const Word16* w,
                                  int from) {
  Word16 left[10];
  for (int j = from; j < from + HALF; j++) left[j] = sub(target[j], first[j]);
  Word16 best = 0;
  Word32 best_dist = MAX_32;
  // The weights are positive, so each term mult(w, e) * e is not negative.
  bool exact = !encoder_reference_paths && fits_difference(left + from, HALF, CB2_MIN, CB2_MAX);
  for (int k = 0; k < SECOND_STAGE_SIZE; k++) {
    Word32 dist = 0;
    if (exact) {
      int64_t d = second_stage_distance(left + from, w + from, LSP_CB2[k] + from);
      dist = 2 * d > MAX_32 ? MAX_32 : (Word32)(2 * d);
    } else {
      for (int j = from; j < from + HALF; j++) {
        Word16 e = sub(left[j], LSP_CB2[k][j]);
        dist = L_mac(dist, mult(w[j], e), e);
      }
    }
    keep_nearer(dist, (Word16)k, &best_dist, &best);
  }
  return best;
}

// Weighted distance of the codebook vector r from the target, both scaled
// by MA_PREDICTOR_SUM so that it measures the error of the predicted LSFs.
static Word32 predicted_distance(const Word16* w, const Word16* r, const Word16* target,
                                 Word16 mode) {
  Word32 dist = 0;
  for (int j = 0; j < LSP_ORDER; j++) {
    Word16 e = mult(sub(r[j], target[j]), MA_PREDICTOR_SUM[mode][j]);
    Word16 we = extract_h(L_shl(L_mult(w[j], e), 4));
    dist = L_mac(dist, we, e);
  }
  return dist;
}

// For each predictor: the residual target, the first stage, the two halves
// of the second stage; the predictor with the smaller distance wins (the
// first on a tie). The winner is then decoded exactly as the decoder will,
// which advances the memory.
void quantize_lsp(const Word16* lsp, Word16* lsp_q, Word16* indices) {
  Word16 lsf[10], w[10];
  lsp_to_lsf(lsp, lsf);
  lsf_weights(lsf, w);

  Word16 words[2][2];
  Word32 dist[2];
  for (Word16 mode = 0; mode < 2; mode++) {
    Word16 target[10], r[10];
    prediction_residual(lsf, mode, target);
    Word16 i1 = search_first_stage(target);
    Word16 i2 = search_second_stage(target, LSP_CB1[i1], w, 0);
    Word16 i3 = search_second_stage(target, LSP_CB1[i1], w, HALF);
    lsf_codebook_vector(i1, i2, i3, r);
    dist[mode] = predicted_distance(w, r, target, mode);
    words[mode][0] = (Word16)(mode << 7 | i1);
    words[mode][1] = (Word16)(i2 << 5 | i3);
  }
  Word16 mode = L_sub(dist[1], dist[0]) < 0 ? 1 : 0;
  indices[0] = words[mode][0];
  indices[1] = words[mode][1];
  reconstruct_lsp(lsp_quantizer_state.freq_prev, indices, lsp_q);
}

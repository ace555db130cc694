#include "encoder/acelp_search.h"

#include "encoder/acelp_common.h"
#include "encoder/reference_paths.h"
#include "encoder/search_candidates.h"

#include "frame_decoder.h"

AcelpSearchState acelp_search_state;

namespace {

const Word16 SUBFRAME = 40;
const Word16 STEP = 5;
const Word16 POSITIONS = 8;  // per track
const Word16 MAX_TIME = 75;  // last-level entries per frame, plus what is left over
const Word16 FIRST_EXTRA = 30;
const Word16 THRESHFCB = 13107;  // 0.4

// The nested search of the four pulses in the exact operators; *time
// counts down the entries of the last level. Writes the best positions.
void search_pulses_exact(const Word16* dn, const Word16 (*diag)[POSITIONS],
                         const Word16 (*cross)[5][POSITIONS][POSITIONS], Word16 thres,
                         Word16* time_left, int* ip0, int* ip1, int* ip2, int* ip3) {
  Word16 time = *time_left;
  Word16 psc = 0, alpha = MAX_16;
  for (int p0 = 0; p0 < POSITIONS; p0++) {
    int i0 = STEP * p0;
    Word16 ps0 = dn[i0];
    Word32 alp0 = L_mac(0, diag[0][p0], ACELP_W_DIAG);
    for (int p1 = 0; p1 < POSITIONS; p1++) {
      int i1 = 1 + STEP * p1;
      Word16 ps1 = add(ps0, dn[i1]);
      Word32 alp1 = L_mac(alp0, diag[1][p1], ACELP_W_DIAG);
      alp1 = L_mac(alp1, cross[0][1][p0][p1], ACELP_W_CROSS);
      for (int p2 = 0; p2 < POSITIONS; p2++) {
        int i2 = 2 + STEP * p2;
        Word16 ps2 = add(ps1, dn[i2]);
        if (sub(ps2, thres) <= 0) continue;
        Word32 alp2 = L_mac(alp1, diag[2][p2], ACELP_W_DIAG);
        alp2 = L_mac(alp2, cross[0][2][p0][p2], ACELP_W_CROSS);
        alp2 = L_mac(alp2, cross[1][2][p1][p2], ACELP_W_CROSS);
        for (int t3 = 3; t3 <= 4; t3++) {
          const Word16* r3 = diag[t3];
          const Word16* c0 = cross[0][t3][p0];
          const Word16* c1 = cross[1][t3][p1];
          const Word16* c2 = cross[2][t3][p2];
          for (int p3 = 0; p3 < POSITIONS; p3++) {
            int i3 = t3 + STEP * p3;
            Word16 ps3 = add(ps2, dn[i3]);
            Word32 alp3 = L_mac(alp2, r3[p3], ACELP_W_DIAG);
            alp3 = L_mac(alp3, c0[p3], ACELP_W_CROSS);
            alp3 = L_mac(alp3, c1[p3], ACELP_W_CROSS);
            alp3 = L_mac(alp3, c2[p3], ACELP_W_CROSS);
            Word16 alp = extract_h(alp3);
            Word16 ps3c = mult(ps3, ps3);
            if (L_msu(L_mult(ps3c, alpha), psc, alp) > 0L) {
              psc = ps3c;
              alpha = alp;
              *ip0 = i0;
              *ip1 = i1;
              *ip2 = i2;
              *ip3 = i3;
            }
          }
        }
        time = sub(time, 1);
        if (time <= 0) {
          *time_left = time;
          return;
        }
      }
    }
  }
  *time_left = time;
}

// The fast form's arithmetic. No energy term exceeds 32767 in magnitude, so
// even the four pulse energies at weight 1/16 and the six correlations at
// 1/8 stay below 2^31: the energies are plain sums (L_mac(a, r, w) is
// a + 2 r w). The target correlations have 13 bits (below 8193 in
// magnitude), so the sums of three stay below 2^15 and only the fourth
// pulse's sum can reach the limit, where it saturates as add does. The
// squared correlation and the energy of a candidate both stay below 2^15,
// so both products of the comparison stay below 2^30.

// The last level's eight candidates of one track: their energies alp[p3]
// (the upper halves of the 32-bit sums alp2 + w[p3] + w2[p3]) and squared
// correlations ps3c[p3] = (ps3^2) >> 15 with ps3 = ps2 + dn3[p3] limited to
// 16 bits. Returns false when none of them beats the best so far, psc /
// alpha (ps3c alpha - psc alp > 0), so that the sequential choice would keep
// the best as it is; true otherwise (and always without SSE2).
inline bool candidates(Word32 alp2, const int32_t* w, const int32_t* w2, Word16 ps2,
                       const Word16* dn3, Word16 psc, Word16 alpha, Word16* alp, Word16* ps3c) {
#if defined(__SSE2__)
  const __m128i a2 = _mm_set1_epi32(alp2);
  __m128i lo =
      _mm_add_epi32(a2, _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(w2))));
  __m128i hi =
      _mm_add_epi32(a2, _mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 4)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(w2 + 4))));
  __m128i alp16 = _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
  __m128i ps3 =
      _mm_adds_epi16(_mm_set1_epi16(ps2), _mm_loadu_si128(reinterpret_cast<const __m128i*>(dn3)));
  return candidates_beat_best(ps3, alp16, psc, alpha, alp, ps3c);
#else
  for (int p3 = 0; p3 < POSITIONS; p3++) {
    alp[p3] = (Word16)((alp2 + w[p3] + w2[p3]) >> 16);
    Word32 ps3 = ps2 + dn3[p3];
    if (ps3 > MAX_16) ps3 = MAX_16;
    ps3c[p3] = (Word16)((ps3 * ps3) >> 15);
  }
  (void)psc;
  (void)alpha;
  return true;
#endif
}

// Bit p2 set where ps1 + dn2[p2] > thres, for p2 = 0..7.
inline unsigned third_pulses_above(Word32 ps1, const Word16* dn2, Word16 thres) {
#if defined(__SSE2__)
  __m128i ps2 = _mm_add_epi16(_mm_set1_epi16((Word16)ps1),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(dn2)));
  __m128i above = _mm_cmpgt_epi16(ps2, _mm_set1_epi16(thres));
  return (unsigned)_mm_movemask_epi8(_mm_packs_epi16(above, _mm_setzero_si128()));
#else
  unsigned above = 0;
  for (int p2 = 0; p2 < POSITIONS; p2++) above |= (unsigned)(ps1 + dn2[p2] > thres) << p2;
  return above;
#endif
}

// search_pulses_exact with the fast form's arithmetic: the last pulse's
// terms tabled as 32-bit sums (its energy and correlations with the first
// two pulses, and with the third), a track's eight candidates tested at once
// against the best so far, and the third pulses above the threshold found at
// once.
void search_pulses_fast(const Word16* dn, const Word16 (*diag)[POSITIONS],
                        const Word16 (*cross)[5][POSITIONS][POSITIONS], Word16 thres,
                        Word16* time_left, int* ip0, int* ip1, int* ip2, int* ip3) {
  Word16 time = *time_left;
  Word16 psc = 0, alpha = MAX_16;
  Word16 dn_track[5][POSITIONS];
  for (int t = 0; t < 5; t++)
    for (int p = 0; p < POSITIONS; p++) dn_track[t][p] = dn[t + STEP * p];
  static int32_t wide[POSITIONS][POSITIONS][2][POSITIONS];
  static int32_t wide2[POSITIONS][2][POSITIONS];
  for (int p0 = 0; p0 < POSITIONS; p0++)
    for (int p1 = 0; p1 < POSITIONS; p1++)
      for (int t = 0; t < 2; t++)
        for (int p3 = 0; p3 < POSITIONS; p3++)
          wide[p0][p1][t][p3] =
              diag[3 + t][p3] * 4096 + (cross[0][3 + t][p0][p3] + cross[1][3 + t][p1][p3]) * 8192;
  for (int p2 = 0; p2 < POSITIONS; p2++)
    for (int t = 0; t < 2; t++)
      for (int p3 = 0; p3 < POSITIONS; p3++) wide2[p2][t][p3] = cross[2][3 + t][p2][p3] * 8192;

  for (int p0 = 0; p0 < POSITIONS; p0++) {
    int i0 = STEP * p0;
    Word32 ps0 = dn[i0];
    Word32 alp0 = diag[0][p0] * 4096;
    for (int p1 = 0; p1 < POSITIONS; p1++) {
      int i1 = 1 + STEP * p1;
      Word32 ps1 = ps0 + dn[i1];
      Word32 alp1 = alp0 + diag[1][p1] * 4096 + cross[0][1][p0][p1] * 8192;
      unsigned above = third_pulses_above(ps1, dn_track[2], thres);
      for (; above != 0; above &= above - 1) {
        int p2 = __builtin_ctz(above);
        int i2 = 2 + STEP * p2;
        Word16 ps2 = (Word16)(ps1 + dn[i2]);
        Word32 alp2 =
            alp1 + diag[2][p2] * 4096 + (cross[0][2][p0][p2] + cross[1][2][p1][p2]) * 8192;
        for (int t3 = 3; t3 <= 4; t3++) {
          Word16 alp[POSITIONS], ps3c[POSITIONS];
          if (!candidates(alp2, wide[p0][p1][t3 - 3], wide2[p2][t3 - 3], ps2, dn_track[t3], psc,
                          alpha, alp, ps3c))
            continue;
          for (int p3 = 0; p3 < POSITIONS; p3++)
            if (ps3c[p3] * alpha - psc * alp[p3] > 0) {
              psc = ps3c[p3];
              alpha = alp[p3];
              *ip0 = i0;
              *ip1 = i1;
              *ip2 = i2;
              *ip3 = t3 + STEP * p3;
            }
        }
        time--;
        if (time <= 0) {
          *time_left = time;
          return;
        }
      }
    }
  }
  *time_left = time;
}

// The fast form of the sign-weighted correlations cross[a][b][p][q] of the
// pulses at i = a + 5 p and j = b + 5 q (tracks a < b, a < 3): the
// correlation r = pulse_correlation(i, j) times m = mult(sign i, sign j),
// (r m) >> 15. The product of two signs is 32766 (both positive), 32767
// (both negative) or -32767; the positions before i on track b read the
// correlations of distance i - j up to i, those from i on of distance j - i
// up to j.
void sign_weighted_correlations(const ResponseCorrelation& corr, const Word16* p_sign,
                                Word16 (*cross)[5][POSITIONS][POSITIONS]) {
  Word32 with_positive[SUBFRAME], with_negative[SUBFRAME];  // m for sign i > 0, < 0
  for (int j = 0; j < SUBFRAME; j++) {
    with_positive[j] = p_sign[j] > 0 ? 32766 : -32767;
    with_negative[j] = p_sign[j] > 0 ? -32767 : 32767;
  }
  for (int a = 0; a < 3; a++)
    for (int b = a + 1; b < 5; b++)
      for (int p = 0; p < POSITIONS; p++) {
        int i = a + STEP * p;
        const Word32* m = p_sign[i] > 0 ? with_positive : with_negative;
        Word16* row = cross[a][b][p];
        // The positions j before i: distance i - j falling by 5 a position,
        // up to i; those from i on: distance j - i rising by 5, up to j. The
        // row pointer moves only when another position follows.
        int before = i > b ? (i - b + STEP - 1) / STEP : 0;
        int q = 0;
        if (before > 0)
          for (const Word32(*at)[SUBFRAME] = &corr.cum[i - b];; at -= STEP) {
            row[q] = (Word16)((((*at)[SUBFRAME - 1 - i] >> 16) * m[b + STEP * q]) >> 15);
            if (++q == before) break;
          }
        for (const Word32(*at)[SUBFRAME] = &corr.cum[b + STEP * q - i];; at += STEP) {
          int j = b + STEP * q;
          row[q] = (Word16)((((*at)[SUBFRAME - 1 - j] >> 16) * m[j]) >> 15);
          if (++q == POSITIONS) break;
        }
      }
}

}  // namespace

Word16 acelp_search_80(const Word16* x, Word16* h, Word16 T0, Word16 sharp, Word16 subframe_start,
                       Word16* code, Word16* y, Word16* sign) {
  sharpen_code(h, T0, sharp);

  static ResponseCorrelation corr;  // work space, too large for the stack of small threads
  correlate_response(h, &corr);
  Word16 dn[SUBFRAME], p_sign[SUBFRAME];
  target_correlation(h, x, dn);
  choose_signs(dn, p_sign);

  // Energy terms: rr[t][p] the pulse energy at track t position p, cross[a][b]
  // the sign-weighted correlations of tracks a < b.
  Word16 diag[5][POSITIONS];
  static Word16 cross[5][5][POSITIONS][POSITIONS];
  for (int t = 0; t < 5; t++)
    for (int p = 0; p < POSITIONS; p++)
      diag[t][p] = pulse_correlation(corr, t + STEP * p, t + STEP * p);
  if (!encoder_reference_paths) {
    sign_weighted_correlations(corr, p_sign, cross);
  } else {
    for (int a = 0; a < 3; a++)
      for (int b = a + 1; b < 5; b++)
        for (int p = 0; p < POSITIONS; p++)
          for (int q = 0; q < POSITIONS; q++) {
            int i = a + STEP * p, j = b + STEP * q;
            // The product of two signs is 32766, 32767 or -32767: mult cannot
            // saturate on it.
            Word16 m = mult(p_sign[i], p_sign[j]);
            Word16 r = pulse_correlation(corr, i, j);
            cross[a][b][p][q] = mult(r, m);
          }
  }

  // Threshold of the last level from the best and the mean of three pulses.
  Word16 max0 = dn[0], max1 = dn[1], max2 = dn[2];
  for (int i = 5; i < SUBFRAME; i += STEP) {
    if (sub(dn[i], max0) > 0) max0 = dn[i];
    if (sub(dn[i + 1], max1) > 0) max1 = dn[i + 1];
    if (sub(dn[i + 2], max2) > 0) max2 = dn[i + 2];
  }
  max0 = add(add(max0, max1), max2);
  Word32 L32 = 0;
  for (int i = 0; i < SUBFRAME; i += STEP) {
    L32 = L_mac(L32, dn[i], 1);
    L32 = L_mac(L32, dn[i + 1], 1);
    L32 = L_mac(L32, dn[i + 2], 1);
  }
  Word16 average = extract_l(L_shr(L32, 4));
  Word16 thres = add(mult(sub(max0, average), THRESHFCB), average);

  if (subframe_start == 0) acelp_search_state.extra = FIRST_EXTRA;
  int ip0 = 0, ip1 = 1, ip2 = 2, ip3 = 3;
  Word16 time = add(MAX_TIME, acelp_search_state.extra);
  if (encoder_reference_paths)
    search_pulses_exact(dn, diag, cross, thres, &time, &ip0, &ip1, &ip2, &ip3);
  else
    search_pulses_fast(dn, diag, cross, thres, &time, &ip0, &ip1, &ip2, &ip3);
  acelp_search_state.extra = time;

  const int pos[4] = {ip0, ip1, ip2, ip3};
  for (int i = 0; i < SUBFRAME; i++) code[i] = y[i] = 0;
  Word16 signs = 0;
  for (int k = 0; k < 4; k++) {
    add_pulse((Word16)pos[k], p_sign[pos[k]], h, code, y);
    if (p_sign[pos[k]] > 0) signs = (Word16)(signs | (1 << k));
  }
  *sign = signs;
  sharpen_code(code, T0, sharp);

  Word16 i3 = mult((Word16)ip3, 6554);  // ip3 / 5
  Word16 j = sub((Word16)ip3, add(add(i3, shl(i3, 2)), 3));
  Word16 q3 = add(shl(i3, 1), j);
  return (Word16)(mult((Word16)ip0, 6554) | mult((Word16)ip1, 6554) << 3 |
                  mult((Word16)ip2, 6554) << 6 | q3 << 9);
}

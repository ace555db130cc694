#include "encoder/acelp_search.h"

#include "codec/frame_decoder.h"
#include "encoder/acelp_common.h"
#include "encoder/reference_paths.h"

AcelpSearchState acelp_search_state;

namespace {

const Word16 SUBFRAME = 40;
const Word16 STEP = 5;
const Word16 POSITIONS = 8;  // per track
const Word16 MAX_TIME = 75;  // last-level entries per frame, plus what is left over
const Word16 FIRST_EXTRA = 30;
const Word16 THRESHFCB = 13107;  // 0.4
const Word16 W_DIAG = 2048;      // 1/16: energy weights
const Word16 W_CROSS = 4096;     // 1/8

// The energy terms the search adds: with EXACT the saturating operators;
// otherwise plain sums, which are the same values: no energy term exceeds
// 32767 in magnitude, so even the four pulse energies at weight 1/16 and the
// six correlations at 1/8 stay below 2^31, and the sums of at most four
// target correlations of 13 bits stay below 2^15.
template <bool EXACT>
inline Word32 mac(Word32 acc, Word16 r, Word16 w) {
  return EXACT ? L_mac(acc, r, w) : acc + r * w * 2;
}

// The nested search of the four pulses; *time counts down the entries of
// the last level. Writes the best positions.
template <bool EXACT>
void search_pulses(const Word16* dn, const Word16 (*diag)[POSITIONS],
                   const Word16 (*cross)[5][POSITIONS][POSITIONS], Word16 thres, Word16* time_left,
                   int* ip0, int* ip1, int* ip2, int* ip3) {
  Word16 time = *time_left;
  Word16 psc = 0, alpha = MAX_16;
  Word16 dn_track[5][POSITIONS];
  for (int t = 0; t < 5; t++)
    for (int p = 0; p < POSITIONS; p++) dn_track[t][p] = dn[t + STEP * p];
  // The last pulse's terms as 32-bit sums (fast form only): its energy and
  // its correlations with the first two pulses, and with the third.
  static int32_t wide[POSITIONS][POSITIONS][2][POSITIONS];
  static int32_t wide2[POSITIONS][2][POSITIONS];
  if (!EXACT) {
    for (int p0 = 0; p0 < POSITIONS; p0++)
      for (int p1 = 0; p1 < POSITIONS; p1++)
        for (int t = 0; t < 2; t++)
          for (int p3 = 0; p3 < POSITIONS; p3++)
            wide[p0][p1][t][p3] =
                diag[3 + t][p3] * 4096 + (cross[0][3 + t][p0][p3] + cross[1][3 + t][p1][p3]) * 8192;
    for (int p2 = 0; p2 < POSITIONS; p2++)
      for (int t = 0; t < 2; t++)
        for (int p3 = 0; p3 < POSITIONS; p3++) wide2[p2][t][p3] = cross[2][3 + t][p2][p3] * 8192;
  }
  for (int p0 = 0; p0 < POSITIONS; p0++) {
    int i0 = STEP * p0;
    Word16 ps0 = dn[i0];
    Word32 alp0 = mac<EXACT>(0, diag[0][p0], W_DIAG);
    for (int p1 = 0; p1 < POSITIONS; p1++) {
      int i1 = 1 + STEP * p1;
      Word16 ps1 = add(ps0, dn[i1]);
      Word32 alp1 = mac<EXACT>(alp0, diag[1][p1], W_DIAG);
      alp1 = mac<EXACT>(alp1, cross[0][1][p0][p1], W_CROSS);
      for (int p2 = 0; p2 < POSITIONS; p2++) {
        int i2 = 2 + STEP * p2;
        Word16 ps2 = add(ps1, dn[i2]);
        if (sub(ps2, thres) <= 0) continue;
        Word32 alp2 = mac<EXACT>(alp1, diag[2][p2], W_DIAG);
        alp2 = mac<EXACT>(alp2, cross[0][2][p0][p2], W_CROSS);
        alp2 = mac<EXACT>(alp2, cross[1][2][p1][p2], W_CROSS);
        for (int t3 = 3; t3 <= 4; t3++) {
          const Word16* r3 = diag[t3];
          const Word16* c0 = cross[0][t3][p0];
          const Word16* c1 = cross[1][t3][p1];
          const Word16* c2 = cross[2][t3][p2];
          if (!EXACT) {
            // The eight candidates' energies and squared correlations at
            // once (both products of the comparison stay below 2^30), in
            // 32-bit lanes the compiler vectorises.
            int32_t alp[POSITIONS], ps3c[POSITIONS];
            const int32_t* w = wide[p0][p1][t3 - 3];
            const int32_t* w2 = wide2[p2][t3 - 3];
            for (int p3 = 0; p3 < POSITIONS; p3++) alp[p3] = (alp2 + w[p3] + w2[p3]) >> 16;
            for (int p3 = 0; p3 < POSITIONS; p3++) {
              int32_t ps3 = ps2 + dn_track[t3][p3];
              ps3c[p3] = (ps3 * ps3) >> 15;
            }
            for (int p3 = 0; p3 < POSITIONS; p3++)
              if (ps3c[p3] * alpha - psc * alp[p3] > 0) {
                psc = (Word16)ps3c[p3];
                alpha = (Word16)alp[p3];
                *ip0 = i0;
                *ip1 = i1;
                *ip2 = i2;
                *ip3 = t3 + STEP * p3;
              }
            continue;
          }
          for (int p3 = 0; p3 < POSITIONS; p3++) {
            int i3 = t3 + STEP * p3;
            Word16 ps3 = add(ps2, dn[i3]);
            Word32 alp3 = L_mac(alp2, r3[p3], W_DIAG);
            alp3 = L_mac(alp3, c0[p3], W_CROSS);
            alp3 = L_mac(alp3, c1[p3], W_CROSS);
            alp3 = L_mac(alp3, c2[p3], W_CROSS);
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
  for (int a = 0; a < 3; a++)
    for (int b = a + 1; b < 5; b++)
      for (int p = 0; p < POSITIONS; p++)
        for (int q = 0; q < POSITIONS; q++) {
          int i = a + STEP * p, j = b + STEP * q;
          // The product of two signs is 32766, 32767 or -32767: mult cannot
          // saturate on it.
          Word16 m = mult(p_sign[i], p_sign[j]);
          Word16 r = pulse_correlation(corr, i, j);
          cross[a][b][p][q] = encoder_reference_paths ? mult(r, m) : (Word16)((r * m) >> 15);
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
    search_pulses<true>(dn, diag, cross, thres, &time, &ip0, &ip1, &ip2, &ip3);
  else
    search_pulses<false>(dn, diag, cross, thres, &time, &ip0, &ip1, &ip2, &ip3);
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

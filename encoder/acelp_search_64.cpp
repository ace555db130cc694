#include "encoder/acelp_search_64.h"

#include "codec/tables/tables.h"
#include "encoder/acelp_common.h"
#include "encoder/reference_paths.h"
#include "encoder/search_candidates.h"

#include "frame_decoder.h"

namespace {

// Eight second pulses after a first one of energy d0 and correlation ps0:
// their energies alp[k] (the upper halves of 4096 (d0 + diag1[k]) +
// 8192 cross[k], that is (d0 + diag1[k] + 2 cross[k]) >> 4) and squared
// correlations ps1c[k] ((ps0 + dn1[k])^2 >> 15). Returns false when none
// beats the best so far, psc / alpha (ps1c alpha - psc alp > 0); true
// otherwise (and always without SSE2).
inline bool pair_candidates(Word32 d0, const Word16* diag1, const Word16* cross, Word16 ps0,
                            const Word16* dn1, Word16 psc, Word16 alpha, Word16* alp,
                            Word16* ps1c) {
#if defined(__SSE2__)
  // d0 + d1 + 2 c, at most 4 * 32768 in magnitude, then the four low bits off.
  const __m128i w = _mm_set1_epi32(1 | 2 << 16), base = _mm_set1_epi32(d0);
  __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(diag1));
  __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cross));
  __m128i lo = _mm_add_epi32(base, _mm_madd_epi16(_mm_unpacklo_epi16(d1, c), w));
  __m128i hi = _mm_add_epi32(base, _mm_madd_epi16(_mm_unpackhi_epi16(d1, c), w));
  __m128i alp16 = _mm_packs_epi32(_mm_srai_epi32(lo, 4), _mm_srai_epi32(hi, 4));
  __m128i ps1 =
      _mm_add_epi16(_mm_set1_epi16(ps0), _mm_loadu_si128(reinterpret_cast<const __m128i*>(dn1)));
  return candidates_beat_best(ps1, alp16, psc, alpha, alp, ps1c);
#else
  for (int k = 0; k < 8; k++) {
    alp[k] = (Word16)((d0 + diag1[k] + 2 * cross[k]) >> 4);
    Word32 ps1 = ps0 + dn1[k];
    ps1c[k] = (Word16)((ps1 * ps1) >> 15);
  }
  (void)psc;
  (void)alpha;
  return true;
#endif
}

// The exhaustive search of the pulse pairs in the exact operators.
void search_pairs_exact(const ResponseCorrelation& corr, const Word16* dn, const Word16* p_sign,
                        int* best0, int* best1) {
  Word16 psc = 0, alpha = MAX_16;
  for (int a = 0; a < 16; a++) {
    int i0 = TRACK_A_64[a];
    Word16 ps0 = dn[i0];
    Word32 alp0 = L_mult(pulse_correlation(corr, i0, i0), ACELP_W_DIAG);
    for (int b = 0; b < 32; b++) {
      int i1 = TRACK_B_64[b];
      Word16 ps1 = add(ps0, dn[i1]);
      Word32 alp1 = L_mac(alp0, pulse_correlation(corr, i1, i1), ACELP_W_DIAG);
      alp1 = L_mac(alp1, mult(pulse_correlation(corr, i0, i1), mult(p_sign[i0], p_sign[i1])),
                   ACELP_W_CROSS);
      Word16 alp = extract_h(alp1);
      Word16 ps1c = mult(ps1, ps1);
      if (L_msu(L_mult(ps1c, alpha), psc, alp) > 0L) {
        psc = ps1c;
        alpha = alp;
        *best0 = a;
        *best1 = b;
      }
    }
  }
}

// The search with plain arithmetic, which gives the same values: the
// energies (at most 32767 each) make alp1 = 4096 (d0 + d1) + 8192 c
// with |c| <= 32767, within the 32-bit range as every partial sum; the
// correlations of two 13-bit target values stay below 2^15, their squares'
// upper halves below 2^13, so neither product of the comparison saturates.
// For each first pulse the 32 second pulses go in groups of eight: a group's
// energies and squared correlations at once, and the sequential choice only
// when one of them beats the best so far.
void search_pairs_fast(const ResponseCorrelation& corr, const Word16* dn, const Word16* p_sign,
                       int* best0, int* best1) {
  Word16 diag1[32], dn1[32], cross[32];
  for (int b = 0; b < 32; b++) {
    int i1 = TRACK_B_64[b];
    diag1[b] = pulse_correlation(corr, i1, i1);
    dn1[b] = dn[i1];
  }
  Word16 psc = 0, alpha = MAX_16;
  for (int a = 0; a < 16; a++) {
    int i0 = TRACK_A_64[a];
    Word32 d0 = pulse_correlation(corr, i0, i0);
    for (int b = 0; b < 32; b++) {
      int i1 = TRACK_B_64[b];
      // mult(r, m) with m = mult(sign i0, sign i1) cannot saturate.
      Word32 m = p_sign[i0] == p_sign[i1] ? (p_sign[i0] > 0 ? 32766 : 32767) : -32767;
      cross[b] = (Word16)((pulse_correlation(corr, i0, i1) * m) >> 15);
    }
    for (int g = 0; g < 32; g += 8) {
      Word16 alp[8], ps1c[8];
      if (!pair_candidates(d0, diag1 + g, cross + g, dn[i0], dn1 + g, psc, alpha, alp, ps1c))
        continue;
      for (int k = 0; k < 8; k++)
        if (ps1c[k] * alpha - psc * alp[k] > 0) {
          psc = ps1c[k];
          alpha = alp[k];
          *best0 = a;
          *best1 = g + k;
        }
    }
  }
}

}  // namespace

Word16 acelp_search_64(const Word16* x, Word16* h, Word16 T0, Word16 sharp, Word16* code, Word16* y,
                       Word16* sign) {
  sharpen_code(h, T0, sharp);
  static ResponseCorrelation corr;
  correlate_response(h, &corr);
  Word16 dn[ACELP_SUBFRAME], p_sign[ACELP_SUBFRAME];
  target_correlation(h, x, dn);
  choose_signs(dn, p_sign);

  int best0 = 0, best1 = 0;
  if (!encoder_reference_paths) {
    search_pairs_fast(corr, dn, p_sign, &best0, &best1);
  } else {
    search_pairs_exact(corr, dn, p_sign, &best0, &best1);
  }

  for (int i = 0; i < ACELP_SUBFRAME; i++) code[i] = y[i] = 0;
  Word16 p0 = TRACK_A_64[best0], p1 = TRACK_B_64[best1];
  add_pulse(p0, p_sign[p0], h, code, y);
  add_pulse(p1, p_sign[p1], h, code, y);
  *sign = (Word16)((p_sign[p0] > 0 ? 1 : 0) | (p_sign[p1] > 0 ? 2 : 0));
  sharpen_code(code, T0, sharp);
  return (Word16)(GRAY_ENCODE_32[best0] | GRAY_ENCODE_32[best1] << 4);
}

// Eight candidates of an algebraic codebook search tested at once: the
// searches keep the best so far as the pair psc / alpha (squared correlation
// over energy) and replace it by a candidate only when ps^2 alpha -
// psc alp > 0. When no candidate of a group passes against the best as it
// stands, the sequential choice over the group would keep it; only groups
// with a passing candidate need that choice.
#pragma once

#include "codec/basicop/basicop.h"

#if defined(__SSE2__)
#include <emmintrin.h>

// The correlations ps (eight 16-bit lanes, 0 to 32767) and energies alp of
// eight candidates: stores alp and the squared correlations (ps^2) >> 15 to
// the arrays of the same names, and tells whether one of them beats
// psc / alpha. Every product stays within 32 bits for such values.
static inline bool candidates_beat_best(__m128i ps, __m128i alp16, Word16 psc, Word16 alpha,
                                        Word16* alp, Word16* ps_squared) {
  const __m128i zero = _mm_setzero_si128();
  __m128i sl = _mm_unpacklo_epi16(ps, zero), sh = _mm_unpackhi_epi16(ps, zero);
  __m128i sq = _mm_packs_epi32(_mm_srai_epi32(_mm_madd_epi16(sl, sl), 15),
                               _mm_srai_epi32(_mm_madd_epi16(sh, sh), 15));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(alp), alp16);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(ps_squared), sq);
  // (square, alp) pairs against (alpha, -psc): square alpha - psc alp.
  const __m128i best =
      _mm_set1_epi32((int)((uint32_t)(uint16_t)alpha | (uint32_t)(uint16_t)(Word16)-psc << 16));
  __m128i dl = _mm_madd_epi16(_mm_unpacklo_epi16(sq, alp16), best);
  __m128i dh = _mm_madd_epi16(_mm_unpackhi_epi16(sq, alp16), best);
  return _mm_movemask_epi8(_mm_or_si128(_mm_cmpgt_epi32(dl, zero), _mm_cmpgt_epi32(dh, zero))) != 0;
}
#endif

#include "lsp.h"

#include "codec/basicop/diagnostics.h"
#include "codec/basicop/dpf.h"
#include "codec/tables/tables.h"

#include "fast_paths.h"

LspDecoderState lsp_decoder_state;

void reset_lsp_decoder() {
  for (int k = 0; k < 4; k++)
    for (int j = 0; j < LSP_ORDER; j++) lsp_decoder_state.ma_memory[k][j] = LSF_RESET[j];
}

void lsp_decoder_program_start() {
  for (int j = 0; j < LSP_ORDER; j++) lsp_decoder_state.previous_lsp[j] = LSP_START[j];
  reset_lsp_decoder();
}

void rearrange_lsf(Word16* r, Word16 gap) {
  for (int j = 1; j < LSP_ORDER; j++) {
    Word16 d = sub(r[j - 1], r[j]);
    Word16 t = shr(add(d, gap), 1);
    if (t > 0) {
      r[j - 1] = sub(r[j - 1], t);
      r[j] = add(r[j], t);
    }
  }
}

// Fast form of predict_lsf: each L_mac sequence from 0 as a plain sum. For
// every j the magnitudes of MA_PREDICTOR_SUM[mode][j] and of the four
// MA_PREDICTOR[mode][k][j] add up to at most 32767, so no partial sum of
// 16-bit values doubled reaches 2^31: the sums never saturate.
static void predict_lsf_wide(const Word16 (*memory)[10], const Word16* r, Word16 mode,
                             Word16* lsf) {
  for (int j = 0; j < LSP_ORDER; j++) {
    Word32 acc = r[j] * MA_PREDICTOR_SUM[mode][j];
    for (int k = 0; k < 4; k++) acc += memory[k][j] * MA_PREDICTOR[mode][k][j];
    lsf[j] = (Word16)((2 * acc) >> 16);
  }
}

void predict_lsf(const Word16 (*memory)[10], const Word16* r, Word16 mode, Word16* lsf) {
  if (!decoder_reference_paths) return predict_lsf_wide(memory, r, mode, lsf);
  for (int j = 0; j < LSP_ORDER; j++) {
    Word32 acc = L_mult(r[j], MA_PREDICTOR_SUM[mode][j]);
    for (int k = 0; k < 4; k++) acc = L_mac(acc, memory[k][j], MA_PREDICTOR[mode][k][j]);
    lsf[j] = extract_h(acc);
  }
}

void stabilize_lsf(Word16* lsf) {
  // A single exchange pass: a badly disordered vector stays partly unsorted.
  for (int j = 0; j < LSP_ORDER - 1; j++) {
    if (L_sub(L_deposit_l(lsf[j + 1]), L_deposit_l(lsf[j])) < 0) {
      Word16 t = lsf[j + 1];
      lsf[j + 1] = lsf[j];
      lsf[j] = t;
    }
  }
  if (lsf[0] < LSF_LOW_LIMIT) {
    lsf[0] = LSF_LOW_LIMIT;
    decoder_message("lsp_stability warning Low \n");
  }
  for (int j = 0; j < LSP_ORDER - 1; j++) {
    Word32 diff = L_sub(L_deposit_l(lsf[j + 1]), L_deposit_l(lsf[j]));
    if (L_sub(diff, LSF_MIN_GAP) < 0) lsf[j + 1] = add(lsf[j], LSF_MIN_GAP);
  }
  if (lsf[LSP_ORDER - 1] > LSF_HIGH_LIMIT) {
    lsf[LSP_ORDER - 1] = LSF_HIGH_LIMIT;
    decoder_message("lsp_stability warning High \n");
  }
}

void update_ma_memory(Word16 (*memory)[10], const Word16* r) {
  for (int k = 3; k > 0; k--)
    for (int j = 0; j < LSP_ORDER; j++) memory[k][j] = memory[k - 1][j];
  for (int j = 0; j < LSP_ORDER; j++) memory[0][j] = r[j];
}

void lsf_to_lsp(const Word16* lsf, Word16* lsp) {
  for (int j = 0; j < LSP_ORDER; j++) {
    Word16 f = mult(lsf[j], 20861);  // 1/(2 pi) in Q17: f is the LSF as a fraction of 2 pi, Q15
    Word16 ind = shr(f, 8);
    Word16 off = (Word16)(f & 0x00ff);
    if (ind > 63) ind = 63;
    Word32 slope = L_shr(L_mult(LSF_COS_SLOPE[ind], off), 13);
    lsp[j] = add(LSF_COS[ind], extract_l(slope));
  }
}

// rearrange_lsf in plain arithmetic, for vectors of the codebooks' sums:
// their words lie in [679 - 1752, 23533 + 2337], and a step only moves two
// neighbours towards their mean, at most half the gap past it, so over both
// passes the words stay within 100 of that range and no operator of
// rearrange_lsf can saturate on them.
static void rearrange_codebook_sum(Word16* r, Word32 gap) {
  for (int j = 1; j < LSP_ORDER; j++) {
    Word32 t = (r[j - 1] - r[j] + gap) >> 1;
    if (t > 0) {
      r[j - 1] = (Word16)(r[j - 1] - t);
      r[j] = (Word16)(r[j] + t);
    }
  }
}

void lsf_codebook_vector(Word16 i1, Word16 i2, Word16 i3, Word16* r) {
  if (!decoder_reference_paths) {
    for (int j = 0; j < 5; j++) r[j] = (Word16)(LSP_CB1[i1][j] + LSP_CB2[i2][j]);
    for (int j = 5; j < LSP_ORDER; j++) r[j] = (Word16)(LSP_CB1[i1][j] + LSP_CB2[i3][j]);
    rearrange_codebook_sum(r, 10);
    rearrange_codebook_sum(r, 5);
    return;
  }
  for (int j = 0; j < 5; j++) r[j] = add(LSP_CB1[i1][j], LSP_CB2[i2][j]);
  for (int j = 5; j < LSP_ORDER; j++) r[j] = add(LSP_CB1[i1][j], LSP_CB2[i3][j]);
  rearrange_lsf(r, 10);
  rearrange_lsf(r, 5);
}

void reconstruct_lsp(Word16 (*memory)[10], const Word16* words, Word16* lsp) {
  Word16 mode = (Word16)(shr(words[0], 7) & 1);
  Word16 i1 = (Word16)(words[0] & 127);
  Word16 i2 = (Word16)(shr(words[1], 5) & 31);
  Word16 i3 = (Word16)(words[1] & 31);

  Word16 r[10];
  lsf_codebook_vector(i1, i2, i3, r);

  Word16 lsf[10];
  predict_lsf(memory, r, mode, lsf);
  stabilize_lsf(lsf);
  update_ma_memory(memory, r);
  lsf_to_lsp(lsf, lsp);
}

void decode_lsp(const Word16* words, Word16* lsp) {
  reconstruct_lsp(lsp_decoder_state.ma_memory, words, lsp);
}

// Fast form of lsp_polynomial: the same steps in plain arithmetic. When the
// coefficients entering a round of the outer loop stay below 2^29 in
// magnitude, only the last subtraction of a step can saturate: |2 hi q| <=
// 2^29, the dpf_mpy16 product (2 hi q + 2 ((lo q) >> 15), lo being
// (f >> 1) & 0x7fff) stays below 2^29 + 2^16, twice that below 2^30 + 2^17,
// and the sum of two coefficients below 2^30. Returns false, with f
// undefined, when a round starts with a larger coefficient or a subtraction
// leaves the 32-bit range (the exact form then runs).
static bool lsp_polynomial_wide(const Word16* lsp, Word32* f) {
  f[0] = 1 << 24;
  f[1] = -1024 * lsp[0];
  for (int i = 2; i <= 5; i++) {
    for (int k = 0; k < i; k++)
      if ((uint32_t)(f[k] + (1 << 29)) >= (1u << 30)) return false;
    Word32 q = lsp[2 * (i - 1)];
    f[i] = f[i - 2];
    for (int j = i; j >= 2; j--) {
      Word32 hi = f[j - 1] >> 16, lo = (f[j - 1] >> 1) & 0x7fff;
      Word32 t = 2 * (2 * hi * q + 2 * ((lo * q) >> 15));
      int64_t next = (int64_t)f[j] + f[j - 2] - t;
      if (next != (Word32)next) return false;
      f[j] = (Word32)next;
    }
    f[1] -= 1024 * q;
  }
  return true;
}

void lsp_polynomial(const Word16* lsp, Word32* f) {
  if (!decoder_reference_paths && lsp_polynomial_wide(lsp, f)) return;
  f[0] = L_mult(4096, 2048);     // 1.0 in Q24
  f[1] = L_msu(0, lsp[0], 512);  // -2 q0 in Q24
  for (int i = 2; i <= 5; i++) {
    Word16 q = lsp[2 * (i - 1)];
    f[i] = f[i - 2];
    for (int j = i; j >= 2; j--) {
      Word16 hi, lo;
      dpf_split(f[j - 1], &hi, &lo);
      Word32 t = L_shl(dpf_mpy16(hi, lo, q), 1);
      f[j] = L_add(f[j], f[j - 2]);
      f[j] = L_sub(f[j], t);
    }
    f[1] = L_msu(f[1], q, 512);
  }
}

void lsp_to_lpc(const Word16* lsp, Word16* a) {
  Word32 f1[6], f2[6];
  lsp_polynomial(lsp, f1);
  lsp_polynomial(lsp + 1, f2);
  for (int i = 5; i > 0; i--) {
    f1[i] = L_add(f1[i], f1[i - 1]);
    f2[i] = L_sub(f2[i], f2[i - 1]);
  }
  a[0] = 4096;
  for (int i = 1; i <= 5; i++) {
    a[i] = extract_l(L_shr_r(L_add(f1[i], f2[i]), 13));
    a[11 - i] = extract_l(L_shr_r(L_sub(f1[i], f2[i]), 13));
  }
}

void lsp_midpoint(const Word16* old_lsp, const Word16* new_lsp, Word16* mid) {
  for (int j = 0; j < LSP_ORDER; j++) mid[j] = add(shr(new_lsp[j], 1), shr(old_lsp[j], 1));
}

void interpolate_lpc(const Word16* old_lsp, const Word16* new_lsp, Word16* filters) {
  Word16 mid[10];
  lsp_midpoint(old_lsp, new_lsp, mid);
  lsp_to_lpc(mid, filters);
  lsp_to_lpc(new_lsp, filters + LPC_WORDS);
}

// The encoder's LP front end on what the conformance inputs never reach: an
// unstable recursion, a filter with missing LSP roots, and silence and
// full-scale input (which must stay free of undefined behaviour).
#include <gtest/gtest.h>

#include "codec/tables/tables.h"
#include "encoder/lp_analysis.h"
#include "encoder/lsp_quantizer.h"
#include "encoder/preprocess.h"

namespace {

// Autocorrelation of a pure tone at a sixth of the sampling rate: the
// second reflection coefficient is 1, the recursion unstable.
const Word16 TONE_R_H[11] = {32767, 16384, -16384, -32767, -16384, 16384,
                             32767, 16384, -16384, -32767, -16384};
const Word16 ZERO_R_L[11] = {};

}  // namespace

TEST(Levinson, UnstableRecursionKeepsTheLastStableFilter) {
  reset_lp_analysis();
  Word16 a[11], rc[10];
  levinson(TONE_R_H, ZERO_R_L, a, rc);  // nothing stable yet: the reset filter
  EXPECT_EQ(a[0], 4096);
  for (int i = 1; i < 11; i++) EXPECT_EQ(a[i], 0) << i;
  EXPECT_EQ(rc[0], 0);
  EXPECT_EQ(rc[1], 0);

  const Word16 r_h[11] = {32767, 16000, 5000};
  Word16 stable[11], stable_rc[10];
  levinson(r_h, ZERO_R_L, stable, stable_rc);
  levinson(TONE_R_H, ZERO_R_L, a, rc);
  for (int i = 0; i < 11; i++) EXPECT_EQ(a[i], stable[i]) << i;
  EXPECT_EQ(rc[0], stable_rc[0]);
  EXPECT_EQ(rc[1], stable_rc[1]);
}

TEST(LpcToLsp, MissingRootsKeepThePreviousLsps) {
  const Word16 a[11] = {4096, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8192};  // |a10| > 1: not minimum phase
  const Word16 old_lsp[10] = {31000, 27000, 22000,  16000,  9000,
                              1000,  -7000, -14000, -20000, -25000};
  Word16 lsp[10];
  lpc_to_lsp(a, lsp, old_lsp);
  for (int i = 0; i < 10; i++) EXPECT_EQ(lsp[i], old_lsp[i]) << i;
}

TEST(LpFrontEnd, SilenceAndFullScaleGiveOrderedLspsAndValidWords) {
  for (int kind = 0; kind < 2; kind++) {
    reset_input_highpass();
    reset_lp_analysis();
    reset_lsp_quantizer();
    Word16 speech[240] = {}, lsp_old[10];
    for (int i = 0; i < 10; i++) lsp_old[i] = LSP_START[i];
    for (int f = 0; f < 12; f++) {
      for (int i = 0; i < 80; i++) speech[160 + i] = kind == 0 ? 0 : (i & 1) ? MAX_16 : MIN_16;
      input_highpass(speech + 160, 80);
      Word16 r_h[11], r_l[11], a[11], rc[10], lsp[10], lsp_q[10], words[2];
      lp_autocorrelation(speech, r_h, r_l);
      lp_lag_window(r_h, r_l);
      levinson(r_h, r_l, a, rc);
      lpc_to_lsp(a, lsp, lsp_old);
      quantize_lsp(lsp, lsp_q, words);
      for (int i = 1; i < 10; i++) EXPECT_LT(lsp[i], lsp[i - 1]) << kind << " frame " << f;
      for (int i = 1; i < 10; i++) EXPECT_LT(lsp_q[i], lsp_q[i - 1]) << kind << " frame " << f;
      EXPECT_TRUE(words[0] >= 0 && words[0] < 256 && words[1] >= 0 && words[1] < 1024);
      if (kind == 0) {
        for (int i = 1; i < 11; i++) EXPECT_EQ(a[i], 0) << "silence, frame " << f;
      }
      for (int i = 0; i < 10; i++) lsp_old[i] = lsp[i];
      for (int i = 0; i < 160; i++) speech[i] = speech[i + 80];
    }
  }
}

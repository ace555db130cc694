// LSP decoding: index extraction, the stability repairs and their warning
// lines, the cosine interpolation and the LSP -> LPC conversion against a
// floating-point reference, and which memory a reset touches.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "codec/basicop/diagnostics.h"
#include "codec/tables/tables.h"
#include "tests/support/test_support.h"

#include "lsp.h"

namespace {

std::vector<std::string> messages;
void captureMessage(const char* line) { messages.push_back(line); }

struct CaptureMessages {
  CaptureMessages() {
    messages.clear();
    set_decoder_message_sink(captureMessage);
  }
  ~CaptureMessages() { set_decoder_message_sink(nullptr); }
};

// Ten well-spread LSFs (Q13) with the first few replaced.
void spreadLsf(Word16* lsf) {
  for (int j = 0; j < 10; j++) lsf[j] = (Word16)(2000 + 2300 * j);
}

}  // namespace

TEST(LspIndices, WordsSelectModeAndCodebookRows) {
  // 0x7F: mode 0, first stage 127; 0x020: second stage rows 1 (lower) and 0 (upper).
  lsp_decoder_program_start();
  Word16 lsp[10];
  Word16 words[2] = {0x7F, 0x020};
  decode_lsp(words, lsp);
  Word16 r[10];
  for (int j = 0; j < 5; j++) r[j] = (Word16)(LSP_CB1[127][j] + LSP_CB2[1][j]);
  for (int j = 5; j < 10; j++) r[j] = (Word16)(LSP_CB1[127][j] + LSP_CB2[0][j]);
  rearrange_lsf(r, 10);
  rearrange_lsf(r, 5);
  // The memory keeps the rearranged vector, the older rows move down.
  for (int j = 0; j < 10; j++) {
    EXPECT_EQ(lsp_decoder_state.ma_memory[0][j], r[j]) << j;
    EXPECT_EQ(lsp_decoder_state.ma_memory[1][j], LSF_RESET[j]) << j;
  }

  // 0x80: mode 1, first stage 0; 0x3FF: both second-stage rows 31.
  Word16 words2[2] = {0x80, 0x3FF};
  decode_lsp(words2, lsp);
  for (int j = 0; j < 10; j++) r[j] = (Word16)(LSP_CB1[0][j] + LSP_CB2[31][j]);
  rearrange_lsf(r, 10);
  rearrange_lsf(r, 5);
  for (int j = 0; j < 10; j++) EXPECT_EQ(lsp_decoder_state.ma_memory[0][j], r[j]) << j;
}

TEST(LspRearrange, PushesClosePairsApartByHalvedDistance) {
  Word16 r[10];
  spreadLsf(r);
  r[1] = 2005;  // 5 above r[0]: gap 10 moves both by (-5 + 10) / 2 = 2
  r[2] = 6900;  // r[2] > r[3]: the pair is in the wrong order
  r[3] = 6800;
  rearrange_lsf(r, 10);
  EXPECT_EQ(r[0], 1998);
  EXPECT_EQ(r[1], 2007);
  EXPECT_GE(r[3] - r[2], 9);  // wrong order repaired to gap or gap - 1
  EXPECT_LE(r[3] - r[2], 10);
  Word16 before[10];
  spreadLsf(before);
  spreadLsf(r);
  r[1] = (Word16)(r[0] + 9);  // gap - 1 or more: left alone
  before[1] = r[1];
  rearrange_lsf(r, 10);
  for (int j = 0; j < 10; j++) EXPECT_EQ(r[j], before[j]) << j;
}

TEST(LspStability, LowEndRepairWarnsOnceAndKeepsGap) {
  CaptureMessages capture;
  Word16 lsf[10];
  spreadLsf(lsf);
  lsf[0] = 30;
  lsf[1] = 200;
  stabilize_lsf(lsf);
  EXPECT_EQ(lsf[0], 40);
  EXPECT_EQ(lsf[1], 361);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "lsp_stability warning Low \n");
}

TEST(LspStability, HighEndRepairLeavesTheLastGapShort) {
  CaptureMessages capture;
  Word16 lsf[10];
  for (int j = 0; j < 8; j++) lsf[j] = (Word16)(1000 + 2000 * j);
  lsf[8] = 25500;
  lsf[9] = 25600;
  stabilize_lsf(lsf);
  EXPECT_EQ(lsf[8], 25500);
  EXPECT_EQ(lsf[9], 25681);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "lsp_stability warning High \n");
}

TEST(LspStability, SingleExchangePassLeavesPartialDisorder) {
  CaptureMessages capture;
  Word16 lsf[10];
  spreadLsf(lsf);
  lsf[0] = 3000;
  lsf[1] = 2000;
  lsf[2] = 1000;
  lsf[3] = 5000;
  for (int j = 4; j < 10; j++) lsf[j] = (Word16)(5000 + 2000 * (j - 3));
  stabilize_lsf(lsf);
  EXPECT_EQ(lsf[0], 2000);
  EXPECT_EQ(lsf[1], 2321);
  EXPECT_EQ(lsf[2], 3000);
  EXPECT_EQ(lsf[3], 5000);
  EXPECT_TRUE(messages.empty());
}

TEST(LspStability, IndexCombinationsDecodeToOrderedVectors) {
  // A spread of the 2^18 codes from the reset memory: never out of the
  // table range, and always a usable (strictly falling) set of cosines.
  CaptureMessages capture;
  Word16 lsp[10];
  for (int w0 = 0; w0 < 256; w0 += 5) {
    for (int w1 = 0; w1 < 1024; w1 += 3) {
      reset_lsp_decoder();
      Word16 words[2] = {(Word16)w0, (Word16)w1};
      decode_lsp(words, lsp);
      for (int j = 1; j < 10; j++) ASSERT_LT(lsp[j], lsp[j - 1]) << w0 << " " << w1;
    }
  }
}

TEST(LspCosine, InterpolatesTheCosineAndClampsTheTableIndex) {
  Word16 lsf[10], lsp[10];
  for (int j = 0; j < 10; j++) lsf[j] = (Word16)(40 + 2560 * j);
  lsf[9] = 25681;
  lsf_to_lsp(lsf, lsp);
  for (int j = 0; j < 10; j++) EXPECT_NEAR(lsp[j], 32768.0 * std::cos(lsf[j] / 8192.0), 16.0) << j;
  // 25736 and above (pi and beyond) take the last table entry.
  lsf[3] = 25736;
  lsf[4] = 32767;
  lsf_to_lsp(lsf, lsp);
  EXPECT_EQ(lsp[3], LSF_COS[63]);
  EXPECT_LE(lsp[4], lsp[3]);
}

TEST(LspToLpc, MatchesTheFloatingPointPolynomials) {
  std::mt19937 rng(testsupport::testSeed(7));
  std::uniform_int_distribution<int> jitter(-900, 900);
  int checked = 0;
  for (int trial = 0; trial < 200; trial++) {
    // Spread over the band as speech spectra are; crowded LSFs make
    // coefficients beyond the Q12 range, which wrap by design.
    Word16 lsf[10], lsp[10], a[11];
    for (int j = 0; j < 10; j++) lsf[j] = (Word16)((j + 1) * 2339 + jitter(rng));
    lsf_to_lsp(lsf, lsp);
    lsp_to_lpc(lsp, a);

    // F1 from the even LSPs times (1 + z^-1), F2 from the odd ones times (1 - z^-1).
    double p1[12] = {1}, p2[12] = {1};
    for (int k = 0; k < 5; k++) {
      double q1 = lsp[2 * k] / 32768.0, q2 = lsp[2 * k + 1] / 32768.0;
      for (int i = 2 * k + 2; i >= 2; i--) {
        p1[i] += -2 * q1 * p1[i - 1] + p1[i - 2];
        p2[i] += -2 * q2 * p2[i - 1] + p2[i - 2];
      }
      p1[1] += -2 * q1 * p1[0];
      p2[1] += -2 * q2 * p2[0];
    }
    double want[11];
    bool representable = true;
    for (int i = 1; i <= 10; i++) {
      want[i] = 4096.0 * (p1[i] + p1[i - 1] + p2[i] - p2[i - 1]) / 2;
      if (std::fabs(want[i]) > 32000) representable = false;
    }
    if (!representable) continue;
    checked++;
    ASSERT_EQ(a[0], 4096);
    for (int i = 1; i <= 10; i++) EXPECT_NEAR(a[i], want[i], 2.0) << "trial " << trial << " a" << i;
  }
  EXPECT_GT(checked, 150);
}

TEST(LspLifetime, ResetClearsPredictionButKeepsPreviousLsp) {
  lsp_decoder_program_start();
  for (int j = 0; j < 10; j++) EXPECT_EQ(lsp_decoder_state.previous_lsp[j], LSP_START[j]);
  Word16 words[2] = {0x35, 0x1A3};
  Word16 lsp[10];
  decode_lsp(words, lsp);
  for (int j = 0; j < 10; j++) lsp_decoder_state.previous_lsp[j] = lsp[j];
  reset_lsp_decoder();
  for (int j = 0; j < 10; j++) {
    EXPECT_EQ(lsp_decoder_state.previous_lsp[j], lsp[j]);
    for (int k = 0; k < 4; k++) EXPECT_EQ(lsp_decoder_state.ma_memory[k][j], LSF_RESET[j]);
  }
  // Same words from the same memory: the same LSPs.
  Word16 again[10];
  decode_lsp(words, again);
  for (int j = 0; j < 10; j++) EXPECT_EQ(again[j], lsp[j]);
}

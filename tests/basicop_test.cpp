// The fixed-point operators: saturation values and the Overflow contract.
#include <gtest/gtest.h>

#include "codec/basicop/basicop.h"
#include "codec/basicop/diagnostics.h"
#include "codec/basicop/dpf.h"
#include "codec/basicop/mathfunc.h"
#include "tests/support/test_support.h"

#include <random>
#include <string>

TEST(Basicop, SatureSetsAndClearsOverflow) {
  Overflow = 0;
  EXPECT_EQ(add(32767, 1), 32767);
  EXPECT_EQ(Overflow, 1);
  EXPECT_EQ(add(1, 2), 3);
  EXPECT_EQ(Overflow, 0);
  EXPECT_EQ(sub(-32768, 1), -32768);
  EXPECT_EQ(Overflow, 1);
}

TEST(Basicop, LongAddSetsButNeverClears) {
  Overflow = 0;
  EXPECT_EQ(L_add(MAX_32, 1), MAX_32);
  EXPECT_EQ(Overflow, 1);
  EXPECT_EQ(L_add(5, 6), 11);
  EXPECT_EQ(Overflow, 1);
  Overflow = 0;
  EXPECT_EQ(L_sub(MIN_32, 1), MIN_32);
  EXPECT_EQ(Overflow, 1);
  EXPECT_EQ(L_sub(1, MIN_32), MAX_32);
}

TEST(Basicop, Multiplications) {
  Overflow = 0;
  EXPECT_EQ(L_mult(-32768, -32768), MAX_32);
  EXPECT_EQ(Overflow, 1);
  EXPECT_EQ(mult(-32768, -32768), 32767);
  EXPECT_EQ(mult_r(16384, 16384), 8192);
  EXPECT_EQ(mult(-1, 1), -1);
  EXPECT_EQ(L_mult(3, -4), -24);
  EXPECT_EQ(L_mac(10, 2, 3), 22);
  EXPECT_EQ(L_msu(10, 2, 3), -2);
}

TEST(Basicop, Shifts16) {
  Overflow = 0;
  EXPECT_EQ(shl(1, 16), 32767);
  EXPECT_EQ(Overflow, 1);
  Overflow = 0;
  EXPECT_EQ(shl(-1, 16), -32768);
  EXPECT_EQ(Overflow, 1);
  Overflow = 0;
  EXPECT_EQ(shl(0, 40), 0);
  EXPECT_EQ(Overflow, 0);
  EXPECT_EQ(shl(3, -1), 1);
  EXPECT_EQ(shl(-16384, 1), -32768);
  EXPECT_EQ(shl(16384, 1), 32767);
  EXPECT_EQ(shr(-1, 20), -1);
  EXPECT_EQ(shr(5, 20), 0);
  EXPECT_EQ(shr(-5, 1), -3);
  EXPECT_EQ(shr(3, -2), 12);
  EXPECT_EQ(shr_r(3, 1), 2);
  EXPECT_EQ(shr_r(-3, 1), -1);
  EXPECT_EQ(shr_r(5, 16), 0);
}

TEST(Basicop, Shifts32) {
  Overflow = 0;
  EXPECT_EQ(L_shl(1, 31), MAX_32);
  EXPECT_EQ(Overflow, 1);
  Overflow = 0;
  EXPECT_EQ(L_shl(-1, 31), MIN_32);
  EXPECT_EQ(Overflow, 0);
  EXPECT_EQ(L_shl(-1, 32), MIN_32);
  EXPECT_EQ(Overflow, 1);
  EXPECT_EQ(L_shl(0, 100), 0);
  EXPECT_EQ(L_shl(0x12345, -4), 0x1234);
  EXPECT_EQ(L_shr(-5, 40), -1);
  EXPECT_EQ(L_shr(5, 31), 0);
  EXPECT_EQ(L_shr(-8, 2), -2);
  EXPECT_EQ(L_shr_r(12345, 32), 0);
  EXPECT_EQ(L_shr_r(3, 1), 2);
  EXPECT_EQ(L_shr_r(MIN_32, 31), -1);
}

TEST(Basicop, RoundExtractDeposit) {
  Overflow = 0;
  EXPECT_EQ(round(0x7FFF8000), 32767);
  EXPECT_EQ(Overflow, 1);
  EXPECT_EQ(round(0x00018000), 2);
  EXPECT_EQ(extract_h(-65536), -1);
  EXPECT_EQ(extract_l(0x12348765), (Word16)0x8765);
  EXPECT_EQ(L_deposit_h(-32768), MIN_32);
  EXPECT_EQ(L_deposit_l(-5), -5);
  EXPECT_EQ(abs_s(-32768), 32767);
  EXPECT_EQ(negate(-32768), 32767);
  EXPECT_EQ(L_abs(MIN_32), MAX_32);
  EXPECT_EQ(L_negate(MIN_32), MAX_32);
}

TEST(Basicop, Normalisation) {
  EXPECT_EQ(norm_s(0), 0);
  EXPECT_EQ(norm_s(-1), 15);
  EXPECT_EQ(norm_s(1), 14);
  EXPECT_EQ(norm_s(-32768), 0);
  EXPECT_EQ(norm_s(0x4000), 0);
  EXPECT_EQ(norm_l(1), 30);
  EXPECT_EQ(norm_l(-1), 31);
  EXPECT_EQ(norm_l(0), 0);
  EXPECT_EQ(norm_l(MIN_32), 0);
  EXPECT_EQ(norm_l(-2), 30);
}

static std::string g_messages;
static void captureMessage(const char* line) { g_messages += line; }

TEST(Basicop, Division) {
  EXPECT_EQ(div_s(0, 5), 0);
  EXPECT_EQ(div_s(3, 3), 32767);
  EXPECT_EQ(div_s(1, 3), 10922);
  EXPECT_EQ(div_s(1, 2), 16384);
}

// The inline quotient against the long division: every divisor with the
// dividends at the ends and the middle of its range and a few at random,
// and every pair of divisors up to 300.
TEST(Basicop, DivisionEqualsTheLongDivision) {
  std::mt19937 rng(testsupport::testSeed(11));
  int mismatches = 0;
  auto check = [&](int a, int b) {
    if (div_s((Word16)a, (Word16)b) != div_s_general((Word16)a, (Word16)b) && mismatches++ == 0)
      ADD_FAILURE() << a << " / " << b;
  };
  for (int b = 1; b <= 32767; b++) {
    for (int a : {0, 1, b / 2, b - 1, b}) check(a, b);
    for (int k = 0; k < 4; k++) check((int)(rng() % (uint32_t)b), b);
  }
  for (int b = 1; b <= 300; b++)
    for (int a = 0; a <= b; a++) check(a, b);
  EXPECT_EQ(mismatches, 0);
}

// Invalid operands must not end the process: the line is printed, the
// decoder goes on with a bounded quotient.
TEST(Basicop, InvalidDivisionPrintsAndContinues) {
  set_decoder_message_sink(captureMessage);
  g_messages.clear();
  EXPECT_EQ(div_s(5, 0), 32767);
  EXPECT_EQ(g_messages, "Division Error var1=5  var2=0\n");
  g_messages.clear();
  EXPECT_EQ(div_s(0, 0), 32767);
  EXPECT_EQ(g_messages, "Division by 0, Fatal error \n");
  g_messages.clear();
  EXPECT_EQ(div_s(-1, 4), 0);
  EXPECT_EQ(g_messages, "Division Error var1=-1  var2=4\n");
  set_decoder_message_sink(nullptr);
}

TEST(Basicop, DoublePrecision) {
  Word16 hi, lo;
  dpf_split(0x12345678, &hi, &lo);
  EXPECT_EQ(hi, 4660);
  EXPECT_EQ(lo, 11068);
  EXPECT_EQ(dpf_join(hi, lo), 0x12345678);
  dpf_split(0x40000000, &hi, &lo);
  EXPECT_EQ(dpf_div(0x20000000, hi, lo), 0x3FFFFFF8);
  dpf_split(0x40000000, &hi, &lo);
  EXPECT_EQ(dpf_mpy(hi, lo, hi, lo), 0x20000000);
  EXPECT_EQ(dpf_mpy16(hi, lo, 16384), 0x20000000);
}

TEST(Basicop, TableFunctions) {
  Word16 e, f;
  L_log2(1, &e, &f);
  EXPECT_EQ(e, 0);
  EXPECT_EQ(f, 0);
  L_log2(3, &e, &f);
  EXPECT_EQ(e, 1);
  EXPECT_EQ(f, 19167);
  L_log2(0x40000000, &e, &f);
  EXPECT_EQ(e, 30);
  EXPECT_EQ(f, 0);
  L_log2(0, &e, &f);
  EXPECT_EQ(e, 0);
  EXPECT_EQ(f, 0);
  EXPECT_EQ(L_pow2(30, 0), 0x40000000);
  EXPECT_EQ(L_inv_sqrt(0), 0x3FFFFFFF);
  EXPECT_EQ(L_inv_sqrt(1), 0x3FFF8000);
  EXPECT_EQ(L_inv_sqrt(4), 0x1FFFC000);
  Word16 seed = 0;
  EXPECT_EQ(next_random(&seed), 13849);
  EXPECT_EQ(seed, 13849);
  EXPECT_EQ(next_random(&seed), (Word16)((13849 * 31821 + 13849) & 0xffff));
}

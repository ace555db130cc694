// LPC filters: bandwidth expansion powers, the inverse filter's reach into
// the past, the synthesis filter's memory handling and its Overflow contract.
#include <gtest/gtest.h>

#include "filters.h"

#include <array>
#include <cstdint>

namespace {

// Reference rounding of a Q15 product, in plain 64-bit arithmetic.
int roundQ15(int64_t a, int64_t b) {
  int64_t p = a * b * 2 + 0x8000;
  return (int)((p - ((p % 65536 + 65536) % 65536)) / 65536);
}

}  // namespace

TEST(WeightLpc, EachCoefficientTakesItsOwnPower) {
  std::array<Word16, 11> a;
  a.fill(4096);
  std::array<Word16, 11> ap{};
  weight_lpc(a.data(), 16384, 10, ap.data());  // gamma = 0.5: exact halvings
  for (int i = 0; i <= 10; i++) EXPECT_EQ(ap[i], 4096 >> i) << "coefficient " << i;
}

TEST(WeightLpc, PowersAreRoundedOneFromTheNext) {
  const Word16 a[11] = {4096, -7000, 6000, -5000, 4000, -3000, 2000, -1000, 500, -250, 125};
  const Word16 gamma = 22938;
  Word16 ap[11];
  weight_lpc(a, gamma, 10, ap);
  EXPECT_EQ(ap[0], 4096);
  int fac = gamma;
  for (int i = 1; i <= 10; i++) {
    EXPECT_EQ(ap[i], roundQ15(a[i], fac)) << "coefficient " << i;
    fac = roundQ15(fac, gamma);
  }
  // The second power is rounded once: round(0.7 * 0.7) in Q15.
  EXPECT_EQ(roundQ15(gamma, gamma), 16057);
}

TEST(ResidualFilter, ReadsTheSamplesBeforeTheBlock) {
  // y[i] = x[i] + x[i-1] - 0.5 x[i-2]
  const Word16 a[3] = {4096, 4096, -2048};
  const Word16 buffer[6] = {10, 20, 1, 2, 3, 4};
  Word16 y[4];
  residual_filter(2, a, buffer + 2, y, 4);
  EXPECT_EQ(y[0], 1 + 20 - 5);
  EXPECT_EQ(y[1], 2 + 1 - 10);
  EXPECT_EQ(y[2], 3 + 2 + 0);  // 3 + 2 - 0.5 rounds up to 5 (ties toward +inf)
  EXPECT_EQ(y[3], 4 + 3 - 1);
}

namespace {

// y[i] = x[i] + 0.5 y[i-1]: the output after an impulse of memory halves,
// rounding ties upward.
const Word16 HALVING[2] = {4096, -2048};

}  // namespace

TEST(SynthesisFilter, MemoryIsReadAndUpdatedOnlyOnRequest) {
  Word16 x[5] = {0, 0, 0, 0, 0};
  Word16 y[5];
  Word16 mem[1] = {100};
  synthesis_filter(1, HALVING, x, y, 5, mem, 0);
  const Word16 expected[5] = {50, 25, 13, 7, 4};
  for (int i = 0; i < 5; i++) EXPECT_EQ(y[i], expected[i]) << i;
  EXPECT_EQ(mem[0], 100);
  synthesis_filter(1, HALVING, x, y, 5, mem, 1);
  EXPECT_EQ(mem[0], 4);
}

TEST(SynthesisFilter, UpdatedMemoryHoldsTheLastOutputsOldestFirst) {
  const Word16 a[11] = {4096};  // pass-through
  Word16 x[40];
  for (int i = 0; i < 40; i++) x[i] = (Word16)(i * 3 - 50);
  Word16 y[40];
  Word16 mem[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  synthesis_filter(10, a, x, y, 40, mem, 1);
  for (int i = 0; i < 10; i++) EXPECT_EQ(mem[i], x[30 + i]);
}

TEST(SynthesisFilter, InPlaceEqualsSeparateBuffers) {
  const Word16 a[11] = {4096, -5000, 3000, -1200, 700, -300, 200, -100, 50, -20, 10};
  Word16 x[40];
  for (int i = 0; i < 40; i++) x[i] = (Word16)((i * 7919) % 2001 - 1000);
  Word16 memA[10] = {3, -7, 12, 40, -2, 9, 0, -30, 11, 5};
  Word16 memB[10];
  for (int i = 0; i < 10; i++) memB[i] = memA[i];
  Word16 separate[40];
  synthesis_filter(10, a, x, separate, 40, memA, 1);
  synthesis_filter(10, a, x, x, 40, memB, 1);
  for (int i = 0; i < 40; i++) EXPECT_EQ(x[i], separate[i]) << i;
  for (int i = 0; i < 10; i++) EXPECT_EQ(memA[i], memB[i]);
}

TEST(SynthesisFilter, OverflowIsSetExactlyWhenSomethingSaturates) {
  const Word16 a[11] = {4096, -5000, 3000, -1200, 700, -300, 200, -100, 50, -20, 10};
  Word16 mem[10] = {};
  Word16 x[40];
  Word16 y[40];
  for (int i = 0; i < 40; i++) x[i] = (Word16)(i % 5 * 100 - 200);
  Overflow = 0;
  synthesis_filter(10, a, x, y, 40, mem, 0);
  EXPECT_EQ(Overflow, 0);

  // An accumulator (y[i] = x[i] + y[i-1]) pushed one step past full scale
  // saturates at sample 1 only; the samples after it hold 32767 without
  // saturating and must not clear the flag again.
  const Word16 accumulate[2] = {4096, -4096};
  for (int i = 0; i < 40; i++) x[i] = i == 0 ? 32767 : i == 1 ? 1 : 0;
  Overflow = 0;
  synthesis_filter(1, accumulate, x, y, 40, mem, 0);
  EXPECT_EQ(Overflow, 1);
  for (int i = 0; i < 40; i++) EXPECT_EQ(y[i], 32767) << i;
}

// LPC filter operations shared by the frame synthesis and the post-filter:
// bandwidth expansion, the inverse filter A(z) and the synthesis filter
// 1/A(z). Coefficients are Q12 with a[0] = 4096; signals are Q0.
#pragma once

#include "codec/basicop/basicop.h"

// Largest order and length the synthesis filter's work buffer holds together
// (m + n must not exceed it).
constexpr int SYNTHESIS_BUFFER_LENGTH = 80;

// Bandwidth expansion: ap[i] = a[i] * gamma^i for i = 0..m, each power of
// gamma (Q15) rounded from the previous one. a and ap hold m + 1 words.
void weight_lpc(const Word16* a, Word16 gamma, Word16 m, Word16* ap);

// Inverse filter: y[i] = sum over j = 0..m of a[j] * x[i - j] for
// i = 0..n-1, rounded to Q0. Reads x[-m..n-1]; x and y must not overlap.
void residual_filter(Word16 m, const Word16* a, const Word16* x, Word16* y, Word16 n);

// Synthesis filter: y[i] = x[i] - sum over j = 1..m of a[j] * y[i - j]
// (Q12 coefficients), for i = 0..n-1, with mem[0..m-1] (oldest first) as the
// outputs before y[0]. When update is non-zero mem receives the last m
// outputs, oldest first; otherwise mem is left as it is. x and y may be the
// same buffer. Only L_mult, L_msu, L_shl and round act inside, so Overflow,
// cleared by the caller, is 1 afterwards exactly when one of them saturated.
// m + n must not exceed SYNTHESIS_BUFFER_LENGTH (larger requests do nothing).
void synthesis_filter(Word16 m, const Word16* a, const Word16* x, Word16* y, Word16 n, Word16* mem,
                      Word16 update);

// Longest signal synthesis_filter_pair takes: one subframe.
constexpr int PAIR_LENGTH = 40;

// One order-10 synthesis of synthesis_filter_pair: filter a, input x, memory
// mem[0..9] (oldest first), outputs to y (none kept where y is null).
struct SynthesisSignal {
  const Word16* a;
  const Word16* x;
  const Word16* mem;
  Word16* y;
};

// Two order-10 syntheses of n samples (at most PAIR_LENGTH) at once.
// Returns true when it shows that neither saturates: synthesis_filter would
// then leave Overflow as it is for both, and each y receives its outputs.
// Returns false, writing nothing, otherwise; the caller then runs
// synthesis_filter. mem is not updated.
bool synthesis_filter_pair(const SynthesisSignal& f0, const SynthesisSignal& f1, Word16 n);

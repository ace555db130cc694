// The tables behind the table-driven math of mathfunc.h (Q15 log, Q14 power,
// Q15 inverse square root). They are defined with the other generated tables
// in codec/tables/g729_tables.cpp, whose header includes this one.
#pragma once

#include "codec/basicop/basicop.h"

extern const Word16 LOG2_TABLE[33];      // tablog: round(32767 log2(1 + i/32))
extern const Word16 POW2_TABLE[33];      // tabpow: round(16384 2^(i/32)), last 32767
extern const Word16 INV_SQRT_TABLE[49];  // tabsqr: round(32768 / sqrt(1 + i/16))

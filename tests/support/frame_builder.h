// Builds speech frames field by field, as a payload block holds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// Field widths of each rate mode (0: 6.4, 1: 8, 2: 11.8 kbit/s), frame order.
const std::vector<int>& frameFieldWidths(int rate_mode);

// The frame's bytes (8, 10 or 18) with `fields` written MSB first from
// bit 7 of byte 0 on; missing fields and unused bits are zero.
std::vector<uint8_t> buildFrame(int rate_mode, const std::vector<int>& fields);

// The parity bit that makes an 8-bit pitch index pass the check of the
// 8 kbit/s frames (bits 2 to 7) or, with `from_bit` 1, of the 11.8 kbit/s
// frames (bits 1 to 7).
int pitchParity(int index, int from_bit = 2);

}  // namespace testsupport

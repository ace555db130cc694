#include "tests/support/frame_builder.h"

namespace testsupport {

const std::vector<int>& frameFieldWidths(int rate_mode) {
  static const std::vector<int> WIDTHS[3] = {
      {8, 10, 8, 9, 2, 6, 4, 9, 2, 6},
      {8, 10, 8, 1, 13, 4, 7, 5, 13, 4, 7},
      {8, 10, 8, 1, 7, 7, 7, 7, 7, 7, 5, 7, 7, 7, 7, 7, 7},
  };
  return WIDTHS[rate_mode];
}

std::vector<uint8_t> buildFrame(int rate_mode, const std::vector<int>& fields) {
  static const int BYTES[3] = {8, 10, 18};
  std::vector<uint8_t> bytes((size_t)BYTES[rate_mode], 0);
  const std::vector<int>& widths = frameFieldWidths(rate_mode);
  int bit = 0;
  for (size_t f = 0; f < widths.size() && f < fields.size(); f++) {
    for (int b = widths[f] - 1; b >= 0; b--, bit++)
      if ((fields[f] >> b) & 1) bytes[(size_t)bit >> 3] |= (uint8_t)(0x80 >> (bit & 7));
  }
  return bytes;
}

int pitchParity(int index, int from_bit) {
  int ones = 0;
  for (int b = from_bit; b <= 7; b++) ones += (index >> b) & 1;
  return (ones + 1) & 1;
}

}  // namespace testsupport

// Frame unpacking and packing: a frame's bytes read as one serial bit string
// (byte by byte, bit 7 first) and cut into unsigned fields of fixed widths
// per rate.
#include "codec/decoder.h"

// Field widths of each rate, in frame order.
static const Word16 FIELDS_64[10] = {8, 10, 8, 9, 2, 6, 4, 9, 2, 6};
static const Word16 FIELDS_80[11] = {8, 10, 8, 1, 13, 4, 7, 5, 13, 4, 7};
static const Word16 FIELDS_118[17] = {8, 10, 8, 1, 7, 7, 7, 7, 7, 7, 5, 7, 7, 7, 7, 7, 7};

// Frame type word of FrameParams: the rate mode plus 2.
static const Word16 FRAME_TYPE_OFFSET = 2;

void unpack_frame(const uint8_t* frame_bytes, int rate_mode, Word16* params) {
  const Word16* widths;
  int fields;
  int word;
  switch (rate_mode) {
    case Rate64:
      widths = FIELDS_64;
      fields = 10;
      word = 2;
      break;
    case Rate80:
      widths = FIELDS_80;
      fields = 11;
      word = 2;
      break;
    default:
      widths = FIELDS_118;
      fields = 17;
      params[2] = 0;  // LPC mode: always forward-adaptive
      word = 3;
      rate_mode = Rate118;
      break;
  }
  params[1] = (Word16)(rate_mode + FRAME_TYPE_OFFSET);

  // A field of at most 13 bits lies within the 3 bytes from its first bit's
  // byte on; the copy of the frame has two zero bytes after it for the reads
  // of the last field.
  constexpr int LONGEST_FRAME = 18;  // FRAME_BYTES[Rate118]
  uint8_t bytes[LONGEST_FRAME + 2] = {};
  for (int i = 0; i < FRAME_BYTES[rate_mode]; i++) bytes[i] = frame_bytes[i];
  int bit = 0;
  for (int f = 0; f < fields; f++) {
    const uint8_t* b = bytes + (bit >> 3);
    uint32_t window = (uint32_t)b[0] << 16 | (uint32_t)b[1] << 8 | b[2];
    int width = widths[f];
    params[word++] = (Word16)((window >> (24 - (bit & 7) - width)) & ((1u << width) - 1));
    bit += width;
  }
}

void pack_frame(const Word16* params, int rate_mode, uint8_t* frame_bytes) {
  const Word16* widths = FIELDS_80;
  int fields = 11;
  int word = 2;
  if (rate_mode == Rate64) {
    widths = FIELDS_64;
    fields = 10;
  } else if (rate_mode != Rate80) {
    widths = FIELDS_118;
    fields = 17;
    word = 3;
    rate_mode = Rate118;
  }
  for (int i = 0; i < FRAME_BYTES[rate_mode]; i++) frame_bytes[i] = 0;
  int bit = 0;
  for (int f = 0; f < fields; f++) {
    uint32_t value = (uint32_t)(uint16_t)params[word++];
    for (int k = widths[f] - 1; k >= 0; k--, bit++)
      if ((value >> k) & 1u) frame_bytes[bit >> 3] |= (uint8_t)(0x80 >> (bit & 7));
  }
}

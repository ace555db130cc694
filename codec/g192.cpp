#include "codec/g192.h"

#include <cstring>

#include "codec/decoder.h"

static uint16_t word_at(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

// Packs `count` bit words into bytes, bit 7 of each byte first.
static void pack_bits(const uint8_t* words, int count, uint8_t* bytes) {
  for (int i = 0; i < count; i++)
    if (word_at(words + 2 * i) == G192_BIT_ONE) bytes[i >> 3] |= (uint8_t)(0x80 >> (i & 7));
}

G192Result g192_read_frame(const uint8_t* data, size_t size, size_t* offset, G192Frame* frame) {
  std::memset(frame, 0, sizeof *frame);
  size_t at = *offset;
  if (at >= size) return G192_END;
  if (size - at < 4) return G192_TRUNCATED;
  uint16_t sync = word_at(data + at);
  uint16_t n = word_at(data + at + 2);
  frame->bit_count = n;
  if (sync != G192_SYNC_GOOD && sync != G192_SYNC_ERASED) return G192_BAD_SYNC;
  if (sync == G192_SYNC_ERASED) return G192_ERASED;
  if (n != 64 && n != 80 && n != 118) return G192_BAD_LENGTH;
  if ((size - at - 4) / 2 < n) return G192_TRUNCATED;

  const uint8_t* words = data + at + 4;
  bool all_zero = true;
  for (int i = 0; i < n; i++)
    if (word_at(words + 2 * i) != 0) all_zero = false;
  if (all_zero) return G192_ERASED;

  if (n == 118) {
    bool mode = word_at(words) == G192_BIT_ONE;
    bool parity = word_at(words + 2) == G192_BIT_ONE;
    if (mode != parity) return G192_ERASED;
    if (mode) return G192_BACKWARD_ADAPTIVE;
    frame->rate_mode = Rate118;
    pack_bits(words + 4, 116, frame->bytes);
  } else {
    frame->rate_mode = n == 64 ? Rate64 : Rate80;
    pack_bits(words, n, frame->bytes);
  }
  *offset = at + 4 + 2 * (size_t)n;
  return G192_FRAME;
}

static const int FRAME_BITS[3] = {64, 80, 116};

static int valid_rate(int rate_mode) {
  return rate_mode == Rate64 || rate_mode == Rate80 ? rate_mode : Rate118;
}

size_t g192_frame_size(int rate_mode) {
  int n = FRAME_BITS[valid_rate(rate_mode)];
  return 4 + 2 * (size_t)(n == 116 ? 118 : n);
}

static uint8_t* put_word(uint8_t* p, uint16_t w) {
  p[0] = (uint8_t)(w & 0xff);
  p[1] = (uint8_t)(w >> 8);
  return p + 2;
}

size_t g192_write_frame(const uint8_t* frame_bytes, int rate_mode, uint8_t* out) {
  rate_mode = valid_rate(rate_mode);
  int bits = FRAME_BITS[rate_mode];
  uint8_t* p = put_word(out, G192_SYNC_GOOD);
  p = put_word(p, (uint16_t)(rate_mode == Rate118 ? 118 : bits));
  if (rate_mode == Rate118) {
    p = put_word(p, G192_BIT_ZERO);
    p = put_word(p, G192_BIT_ZERO);
  }
  for (int i = 0; i < bits; i++)
    p = put_word(p, (frame_bytes[i >> 3] >> (7 - (i & 7))) & 1 ? G192_BIT_ONE : G192_BIT_ZERO);
  return (size_t)(p - out);
}

const char* g192_result_text(G192Result result) {
  switch (result) {
    case G192_FRAME:
      return "frame";
    case G192_END:
      return "end of data";
    case G192_TRUNCATED:
      return "the data ends inside the frame";
    case G192_BAD_SYNC:
      return "not a G.192 sync word";
    case G192_BAD_LENGTH:
      return "unsupported bit count (not 64, 80 or 118)";
    case G192_ERASED:
      return "erased frame (not decodable without concealment)";
    case G192_BACKWARD_ADAPTIVE:
      return "backward-adaptive 11.8 kbit/s frame (not supported)";
  }
  return "unknown";
}

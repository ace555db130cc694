// Reader of ITU-T G.192 serial bitstreams as the conformance bitstreams and
// test tools use them: per frame, 16-bit little-endian words: a sync word,
// a count N, then N bit words (0x0081 is a one, any other word a zero).
// N = 64, 80 and 118 are frames of 6.4, 8 and 11.8 kbit/s, the rate may
// change from frame to frame. A 118-bit frame starts with a mode bit and its
// parity: 00 is a forward-adaptive frame, whose other 116 bits are exactly
// the 11.8 kbit/s frame; 11 a backward-adaptive frame; 01 and 10 an erasure.
#pragma once

#include <cstddef>
#include <cstdint>

enum G192Result {
  G192_FRAME,              // a frame the decoder can decode
  G192_END,                // no data left
  G192_TRUNCATED,          // the data ends inside a frame
  G192_BAD_SYNC,           // the sync word is neither 0x6B21 nor 0x6B20
  G192_BAD_LENGTH,         // N is not 64, 80 or 118
  G192_ERASED,             // sync 0x6B20, all bit words 0x0000, or mode bits 01 / 10
  G192_BACKWARD_ADAPTIVE,  // an 11.8 kbit/s frame in backward-adaptive mode
};

const uint16_t G192_SYNC_GOOD = 0x6B21;
const uint16_t G192_SYNC_ERASED = 0x6B20;
const uint16_t G192_BIT_ONE = 0x0081;
const uint16_t G192_BIT_ZERO = 0x007F;

struct G192Frame {
  int rate_mode;       // RateMode of the frame (valid for G192_FRAME)
  uint8_t bytes[18];   // the frame as it sits in a payload block, unused bits zero
  uint16_t bit_count;  // N of the frame (valid once the header was read)
};

// Reads the frame that starts at byte *offset of data[0..size). For
// G192_FRAME the frame is filled and *offset moves past it; any other
// result leaves *offset unchanged.
G192Result g192_read_frame(const uint8_t* data, size_t size, size_t* offset, G192Frame* frame);

// Bytes g192_write_frame writes for a frame of `rate_mode`.
size_t g192_frame_size(int rate_mode);

// Writes a payload frame of `rate_mode` as one G.192 frame (sync 0x6B21, N,
// N bit words); at 11.8 kbit/s N = 118, the two mode bits first as
// forward-adaptive (0, 0). Returns the bytes written, g192_frame_size().
size_t g192_write_frame(const uint8_t* frame_bytes, int rate_mode, uint8_t* out);

// A short English description of a result, for messages.
const char* g192_result_text(G192Result result);

// Frame unpacking and the G.192 reader: fields cut at the right bits for
// every rate, and every kind of G.192 frame recognised.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "codec/decoder.h"
#include "codec/g192.h"
#include "tests/support/frame_builder.h"
#include "tests/support/test_support.h"

namespace {

void put16(std::vector<uint8_t>& out, uint16_t w) {
  out.push_back((uint8_t)w);
  out.push_back((uint8_t)(w >> 8));
}

// A G.192 frame of the given bits.
void g192Frame(std::vector<uint8_t>& out, const std::vector<int>& bits, uint16_t sync = 0x6B21) {
  put16(out, sync);
  put16(out, (uint16_t)bits.size());
  for (int b : bits) put16(out, b ? 0x0081 : 0x007F);
}

}  // namespace

TEST(Unpack, RandomFieldsRoundTripAtEveryRate) {
  std::mt19937 rng(testsupport::testSeed(11));
  for (int rate = 0; rate < 3; rate++) {
    for (int trial = 0; trial < 500; trial++) {
      std::vector<int> values;
      for (int width : testsupport::frameFieldWidths(rate))
        values.push_back((int)(rng() & ((1u << width) - 1)));
      std::vector<uint8_t> bytes = testsupport::buildFrame(rate, values);
      if (rate == Rate118)  // the unread 28-bit tail
        for (int k = 116; k < 144; k++)
          if (rng() & 1) bytes[(size_t)k >> 3] |= (uint8_t)(0x80 >> (k & 7));
      Word16 params[FRAME_PARAMS_WORDS];
      for (Word16& p : params) p = -7;
      unpack_frame(bytes.data(), rate, params);
      EXPECT_EQ(params[0], -7) << "word 0 is not the unpacker's";
      EXPECT_EQ(params[1], rate + 2);
      int first = 2;
      if (rate == Rate118) {
        EXPECT_EQ(params[2], 0);
        first = 3;
      }
      for (size_t f = 0; f < values.size(); f++)
        ASSERT_EQ(params[first + f], values[f]) << "rate " << rate << " field " << f;
    }
  }
}

TEST(Unpack, FieldsAreUnsigned) {
  uint8_t frame[10] = {0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Word16 params[FRAME_PARAMS_WORDS];
  unpack_frame(frame, Rate80, params);
  EXPECT_EQ(params[2], 255);
  // 8 kbit/s positions of subframe 1: bits 1, 0, ..., 0.
  std::vector<uint8_t> bytes = testsupport::buildFrame(Rate80, {0, 0, 0, 0, 4096});
  unpack_frame(bytes.data(), Rate80, params);
  EXPECT_EQ(params[6], 4096);
}

TEST(G192, ReadsFramesOfEachRateAsPayloadBytes) {
  std::mt19937 rng(testsupport::testSeed(13));
  std::vector<uint8_t> stream;
  std::vector<std::vector<int>> sent;
  const int counts[3] = {64, 80, 118};
  for (int i = 0; i < 30; i++) {
    int n = counts[i % 3];
    std::vector<int> bits(n);
    for (int& b : bits) b = (int)(rng() & 1);
    if (n == 118) bits[0] = bits[1] = 0;  // forward-adaptive
    g192Frame(stream, bits);
    sent.push_back(bits);
  }
  size_t offset = 0;
  G192Frame frame;
  for (size_t i = 0; i < sent.size(); i++) {
    ASSERT_EQ(g192_read_frame(stream.data(), stream.size(), &offset, &frame), G192_FRAME) << i;
    const std::vector<int>& bits = sent[i];
    int skip = bits.size() == 118 ? 2 : 0;
    EXPECT_EQ(frame.rate_mode, (int)i % 3);
    for (size_t b = skip; b < bits.size(); b++) {
      size_t k = b - skip;
      ASSERT_EQ((frame.bytes[k >> 3] >> (7 - (k & 7))) & 1, bits[b])
          << "frame " << i << " bit " << b;
    }
    for (size_t k = bits.size() - skip; k < 144; k++)
      ASSERT_EQ((frame.bytes[k >> 3] >> (7 - (k & 7))) & 1, 0) << "unused bit " << k;
  }
  EXPECT_EQ(g192_read_frame(stream.data(), stream.size(), &offset, &frame), G192_END);
}

TEST(G192, RecognisesFramesItCannotDecode) {
  struct Case {
    const char* name;
    uint16_t sync;
    int n;
    int mode0, mode1;  // first two bits; -1 leaves them random
    bool zeros;
    G192Result want;
  };
  const Case cases[] = {
      {"erased sync", 0x6B20, 80, -1, -1, false, G192_ERASED},
      {"all bit words zero", 0x6B21, 80, -1, -1, true, G192_ERASED},
      {"mode bits 01", 0x6B21, 118, 0, 1, false, G192_ERASED},
      {"mode bits 10", 0x6B21, 118, 1, 0, false, G192_ERASED},
      {"backward-adaptive", 0x6B21, 118, 1, 1, false, G192_BACKWARD_ADAPTIVE},
      {"other bit count", 0x6B21, 100, -1, -1, false, G192_BAD_LENGTH},
      {"bad sync", 0x1234, 80, -1, -1, false, G192_BAD_SYNC},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> stream;
    g192Frame(stream, std::vector<int>(80, 1));  // one good frame first
    put16(stream, c.sync);
    put16(stream, (uint16_t)c.n);
    for (int i = 0; i < c.n; i++) {
      int bit = i == 0 && c.mode0 >= 0 ? c.mode0 : i == 1 && c.mode1 >= 0 ? c.mode1 : i & 1;
      put16(stream, c.zeros ? 0 : bit ? 0x0081 : 0x007F);
    }
    size_t offset = 0;
    G192Frame frame;
    ASSERT_EQ(g192_read_frame(stream.data(), stream.size(), &offset, &frame), G192_FRAME);
    size_t at = offset;
    EXPECT_EQ(g192_read_frame(stream.data(), stream.size(), &offset, &frame), c.want) << c.name;
    EXPECT_EQ(offset, at) << c.name;
  }
}

TEST(G192, TruncatedFrameIsReportedNotRead) {
  std::vector<uint8_t> stream;
  g192Frame(stream, std::vector<int>(64, 0));
  for (size_t cut = 1; cut < stream.size(); cut++) {
    size_t offset = 0;
    G192Frame frame;
    EXPECT_EQ(g192_read_frame(stream.data(), cut, &offset, &frame), G192_TRUNCATED) << cut;
  }
  size_t offset = 0;
  G192Frame frame;
  EXPECT_EQ(g192_read_frame(stream.data(), 0, &offset, &frame), G192_END);
}

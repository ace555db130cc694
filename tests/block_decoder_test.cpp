// Block layouts, their recognition, the first-block rules and rejection.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "tests/support/test_support.h"

namespace {

struct FrameCall {
  int rate;
  std::vector<uint8_t> bytes;
};
std::vector<FrameCall> calls;

// Records each frame and writes a recognisable PCM pattern: the frame's first
// byte and rate in every sample.
void recordFrame(const uint8_t* frame, int rate, Word16* pcm) {
  calls.push_back({rate, std::vector<uint8_t>(frame, frame + FRAME_BYTES[rate])});
  for (int i = 0; i < FRAME_SAMPLES; i++) pcm[i] = static_cast<Word16>(rate * 1000 + frame[0]);
}

// Unscrambled block: `header` bytes, then frames whose first byte is
// 0x80 + index and whose other bytes are index + position.
std::vector<uint8_t> plainBlock(std::vector<uint8_t> header, int frameBytes) {
  std::vector<uint8_t> b(BLOCK_BYTES, 0);
  if (!header.empty()) std::memcpy(b.data(), header.data(), header.size());
  for (size_t pos = header.size(), i = 0; pos + frameBytes <= b.size(); pos += frameBytes, i++) {
    b[pos] = static_cast<uint8_t>(0x80 + i);
    for (int k = 1; k < frameBytes; k++) b[pos + k] = static_cast<uint8_t>(i + k);
  }
  return b;
}

std::vector<uint8_t> scrambled(const std::vector<uint8_t>& plain) {
  std::vector<uint8_t> s(plain.size());
  scramble_bytes(plain.data(), s.data(), static_cast<int>(plain.size()));
  return s;
}

class BlockDecoder : public ::testing::Test {
 protected:
  void SetUp() override {
    set_block_frame_decoder(recordFrame);
    reset_block_decoder();
    calls.clear();
  }
  void TearDown() override { set_block_frame_decoder(nullptr); }

  // Decodes an unscrambled block; returns the result, samples in *samples
  // (-1 when not set).
  int decode(const std::vector<uint8_t>& plain, int* samples) {
    calls.clear();
    *samples = -1;
    std::vector<uint8_t> block = scrambled(plain);
    return decode_block(block.data(), pcm, samples);
  }

  // Checks that the recorded frames are those of `plain` from `first`.
  void expectFrames(const std::vector<uint8_t>& plain, int rate, int first, int count) {
    ASSERT_EQ(static_cast<int>(calls.size()), count);
    for (int i = 0; i < count; i++) {
      EXPECT_EQ(calls[i].rate, rate);
      std::vector<uint8_t> want(plain.begin() + first + i * FRAME_BYTES[rate],
                                plain.begin() + first + (i + 1) * FRAME_BYTES[rate]);
      ASSERT_EQ(calls[i].bytes, want) << "frame " << i;
    }
  }

  Word16 pcm[BLOCK_MAX_SAMPLES + 16];
};

const std::vector<uint8_t> RATE80_HEADER = {0x10, 0x00};
const std::vector<uint8_t> RATE118_HEADER = {0x20, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> RATE64_HEADER = {0, 0, 0, 0, 0, 0, 0, 0};

TEST_F(BlockDecoder, Rate80HeadersInEveryForm) {
  for (auto header : {std::vector<uint8_t>{0x10, 0x00}, std::vector<uint8_t>{0x00, 0x10},
                      std::vector<uint8_t>{0x10, 0x10}}) {
    reset_block_decoder();
    auto plain = plainBlock(header, 10);
    int samples;
    for (int pass = 0; pass < 2; pass++) {  // first block and a later one
      EXPECT_EQ(decode(plain, &samples), Rate80);
      EXPECT_EQ(samples, 4080);
      expectFrames(plain, Rate80, 2, 51);
    }
    EXPECT_EQ(pcm[50 * 80 + 79], 1000 + 0x80 + 50);
  }
}

TEST_F(BlockDecoder, Rate118HeaderAndStrayBits) {
  auto plain = plainBlock({0x20, 0x20, 0, 0, 0, 0, 0, 0}, 18);
  int samples;
  EXPECT_EQ(decode(plain, &samples), Rate118);
  EXPECT_EQ(samples, 2240);
  expectFrames(plain, Rate118, 8, 28);
  EXPECT_EQ(decode(plainBlock({0x00, 0x20, 0x20, 0, 0, 0, 0x20, 0}, 18), &samples), Rate118);

  // A stray bit anywhere in the 8-byte header rejects the block.
  auto stray = plainBlock({0x20, 0, 0, 0, 0, 0, 0, 0x01}, 18);
  pcm[0] = 1234;
  EXPECT_EQ(decode(stray, &samples), BLOCK_REJECTED);
  EXPECT_EQ(samples, -1);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(pcm[0], 1234);
}

TEST_F(BlockDecoder, Rate64FirstBlockHasHeaderAndLaterBlocksDoNot) {
  auto first = plainBlock(RATE64_HEADER, 8);
  for (int i = 0; i < BLOCK_MAX_SAMPLES + 16; i++) pcm[i] = -7;
  int samples;
  EXPECT_EQ(decode(first, &samples), Rate64);
  EXPECT_EQ(samples, 5040);
  expectFrames(first, Rate64, 8, 63);
  EXPECT_EQ(pcm[5039], 0x80 + 62);
  EXPECT_EQ(pcm[5040], -7);  // the rest is left as the caller prepared it

  // The same block again is an ordinary block: its header is a frame now.
  EXPECT_EQ(decode(first, &samples), Rate64);
  EXPECT_EQ(samples, 5120);
  expectFrames(first, Rate64, 0, 64);
  EXPECT_EQ(pcm[5120], -7);
}

TEST_F(BlockDecoder, LeadingBytesDecideTheLayout) {
  int samples;
  // 0x10 | 0x20 = 0x30: neither marker, so 6.4 kbit/s.
  auto both = plainBlock({0x10, 0x20}, 8);
  decode(plainBlock(RATE64_HEADER, 8), &samples);
  EXPECT_EQ(decode(both, &samples), Rate64);
  EXPECT_EQ(samples, 5120);

  // A 6.4 kbit/s block whose first frame happens to start like an 8 kbit/s
  // header is taken for one and, after the first block, rejected.
  auto lookalike = plainBlock({}, 8);
  lookalike[0] = 0x00;
  lookalike[1] = 0x10;
  EXPECT_EQ(decode(lookalike, &samples), BLOCK_REJECTED);
  lookalike[1] = 0x20;
  EXPECT_EQ(decode(lookalike, &samples), BLOCK_REJECTED);
}

TEST_F(BlockDecoder, RateChangesAfterTheFirstBlockAreRejected) {
  int samples;
  auto r80 = plainBlock(RATE80_HEADER, 10);
  auto r118 = plainBlock(RATE118_HEADER, 18);
  auto r64 = plainBlock({}, 8);
  EXPECT_EQ(decode(r80, &samples), Rate80);
  EXPECT_EQ(decode(r118, &samples), BLOCK_REJECTED);
  EXPECT_EQ(decode(r80, &samples), Rate80);  // the rejection left previous_rate alone
  // A 6.4 kbit/s block is always accepted and shuts out both other rates.
  EXPECT_EQ(decode(r64, &samples), Rate64);
  EXPECT_EQ(samples, 5120);
  EXPECT_EQ(decode(r80, &samples), BLOCK_REJECTED);
  EXPECT_EQ(decode(r118, &samples), BLOCK_REJECTED);
  EXPECT_EQ(decode(r64, &samples), Rate64);

  // A reset starts over: any layout may come first.
  reset_block_decoder();
  EXPECT_EQ(decode(r118, &samples), Rate118);
  EXPECT_EQ(decode(r118, &samples), Rate118);
}

TEST_F(BlockDecoder, RejectedFirstBlockStillCountsAsTheFirst) {
  int samples;
  auto stray = plainBlock({0x20, 0, 0, 0, 0, 0, 0, 0x04}, 18);
  EXPECT_EQ(decode(stray, &samples), BLOCK_REJECTED);
  // previous_rate is still "none", so no 8 or 11.8 kbit/s block is accepted
  // for the rest of the stream.
  EXPECT_EQ(decode(plainBlock(RATE118_HEADER, 18), &samples), BLOCK_REJECTED);
  EXPECT_EQ(decode(plainBlock(RATE80_HEADER, 10), &samples), BLOCK_REJECTED);
  // The counter advanced: a 6.4 kbit/s block now has no header.
  auto r64 = plainBlock({}, 8);
  EXPECT_EQ(decode(r64, &samples), Rate64);
  EXPECT_EQ(samples, 5120);
  expectFrames(r64, Rate64, 0, 64);
}

TEST_F(BlockDecoder, SourceBlockIsNeverModified) {
  auto block = scrambled(plainBlock(RATE80_HEADER, 10));
  auto copy = block;
  int samples;
  decode_block(block.data(), pcm, &samples);
  auto firstCalls = calls;
  calls.clear();
  decode_block(block.data(), pcm, &samples);
  EXPECT_EQ(block, copy);
  ASSERT_EQ(calls.size(), firstCalls.size());
  for (size_t i = 0; i < calls.size(); i++) EXPECT_EQ(calls[i].bytes, firstCalls[i].bytes);
}

TEST(Scrambling, RoundTripsAndUsesTheMask) {
  uint8_t in[256], mid[256], out[256];
  for (int i = 0; i < 256; i++) in[i] = static_cast<uint8_t>(i);
  scramble_bytes(in, mid, 256);
  scramble_bytes(mid, out, 256);
  EXPECT_EQ(mid[0], 0x6E);
  EXPECT_EQ(mid[0x6E], 0x00);
  EXPECT_EQ(std::memcmp(in, out, 256), 0);
}

// Arbitrary bytes through the real frame decoder: every block is accepted or
// rejected, and nothing is written beyond the samples reported.
TEST(BlockDecoderBytes, RandomBlocksStayInBounds) {
  uint32_t seed = testsupport::testSeed(31337);
  std::mt19937 gen(seed);
  decoder_program_start();
  reset_block_decoder();
  for (int b = 0; b < 60; b++) {
    uint8_t block[BLOCK_BYTES];
    for (auto& x : block) x = static_cast<uint8_t>(gen());
    if (b % 3 == 1) block[0] = block[1] = 0x10 ^ SCRAMBLE_MASK;
    if (b % 3 == 2) {
      block[0] = 0x20 ^ SCRAMBLE_MASK;
      for (int i = 1; i < 8; i++) block[i] = SCRAMBLE_MASK;
    }
    if (b % 20 == 0) reset_block_decoder();
    std::vector<Word16> pcm(BLOCK_MAX_SAMPLES + 80, 0x2222);
    int samples = -1;
    int r = decode_block(block, pcm.data(), &samples);
    ASSERT_TRUE(r == Rate64 || r == Rate80 || r == Rate118 || r == BLOCK_REJECTED) << r;
    if (r != BLOCK_REJECTED) {
      ASSERT_GT(samples, 0);
    }
    for (int i = r == BLOCK_REJECTED ? 0 : samples; i < BLOCK_MAX_SAMPLES + 80; i++)
      ASSERT_EQ(pcm[i], 0x2222) << "block " << b << " sample " << i;
  }
}

}  // namespace

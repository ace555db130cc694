// The refill sequence: priming decode, rejected blocks, buffers whose size
// disagrees with the block's rate, and the effect over every buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "playback/refill.h"

namespace {

std::vector<int> frameStarts;  // first byte of each decoded frame, in order

void recordFrame(const uint8_t* frame, int rate, Word16* pcm) {
  frameStarts.push_back(frame[0]);
  for (int i = 0; i < FRAME_SAMPLES; i++) pcm[i] = static_cast<Word16>(100 * (rate + 1) + i);
}

// A scrambled block: unscrambled `header`, then bytes 0x40 + (position / 8).
std::vector<uint8_t> block(std::vector<uint8_t> header) {
  std::vector<uint8_t> plain(BLOCK_BYTES);
  for (int i = 0; i < BLOCK_BYTES; i++) plain[i] = static_cast<uint8_t>(0x40 + i / 8);
  std::memcpy(plain.data(), header.data(), header.size());
  std::vector<uint8_t> b(BLOCK_BYTES);
  scramble_bytes(plain.data(), b.data(), BLOCK_BYTES);
  return b;
}

class Refill : public ::testing::Test {
 protected:
  void SetUp() override {
    set_block_frame_decoder(recordFrame);
    frameStarts.clear();
  }
  void TearDown() override { set_block_frame_decoder(nullptr); }
  // A buffer with guard samples on both sides.
  std::vector<int16_t> guarded(int samples) { return std::vector<int16_t>(samples + 64, 0x5555); }
  void expectGuards(const std::vector<int16_t>& b) {
    for (int i = 0; i < 32; i++) {
      ASSERT_EQ(b[i], 0x5555);
      ASSERT_EQ(b[b.size() - 1 - i], 0x5555);
    }
  }
};

TEST_F(Refill, FirstRefillPrimesThe64Decoder) {
  auto b = block({0, 0, 0, 0, 0, 0, 0, 0});
  auto buf = guarded(5120);
  startRefills(0, 127);
  EXPECT_EQ(refillPcm(buf.data() + 32, 10240, b.data()), Rate64);
  // Priming pass: 63 frames from byte 8; then 64 frames from byte 0.
  ASSERT_EQ(frameStarts.size(), 127u);
  EXPECT_EQ(frameStarts[0], 0x41);
  EXPECT_EQ(frameStarts[62], 0x40 + 63);
  EXPECT_EQ(frameStarts[63], 0x00);  // the header, decoded as a frame
  EXPECT_EQ(buf[32 + 5119], 100 + 79);
  expectGuards(buf);

  frameStarts.clear();
  refillPcm(buf.data() + 32, 10240, b.data());
  EXPECT_EQ(frameStarts.size(), 64u);

  // Every start primes again.
  frameStarts.clear();
  startRefills(0, 127);
  refillPcm(buf.data() + 32, 10240, b.data());
  EXPECT_EQ(frameStarts.size(), 127u);
}

TEST_F(Refill, PrimingAcceptsHigherRatesOnTheSecondPass) {
  auto b = block({0x20, 0, 0, 0, 0, 0, 0, 0});
  auto buf = guarded(2240);
  startRefills(0, 0);
  EXPECT_EQ(refillPcm(buf.data() + 32, 4480, b.data()), Rate118);
  EXPECT_EQ(frameStarts.size(), 56u);
  EXPECT_EQ(buf[32], 300);
  expectGuards(buf);
}

TEST_F(Refill, RejectedBlockIsSilent) {
  auto good = block({0x10, 0x00});
  auto bad = block({0x20, 0, 0, 0, 0, 0, 0, 0});
  auto buf = guarded(4080);
  startRefills(0, 0);
  EXPECT_EQ(refillPcm(buf.data() + 32, 8160, good.data()), Rate80);
  EXPECT_EQ(buf[32 + 4079], 200 + 79);
  EXPECT_EQ(refillPcm(buf.data() + 32, 8160, bad.data()), BLOCK_REJECTED);
  for (int i = 0; i < 4080; i++) ASSERT_EQ(buf[32 + i], 0) << i;
  expectGuards(buf);
}

TEST_F(Refill, BufferSizedByAnotherRateIsNeverOverrun) {
  // The header says 11.8 kbit/s (2,240 samples) but the block is 6.4 kbit/s:
  // the decoder still runs every frame, and what fits is kept.
  auto buf = guarded(2240);
  startRefills(0, 0);
  EXPECT_EQ(refillPcm(buf.data() + 32, 4480, block({0, 0, 0, 0, 0, 0, 0, 0}).data()), Rate64);
  EXPECT_EQ(frameStarts.size(), 127u);
  EXPECT_EQ(buf[32 + 2239], 100 + 79);
  expectGuards(buf);

  // The other way round the rest of the buffer stays silent.
  auto big = guarded(5120);
  startRefills(0, 0);
  refillPcm(big.data() + 32, 10240, block({0x20, 0x20, 0, 0, 0, 0, 0, 0}).data());
  EXPECT_EQ(big[32 + 2239], 300 + 79);
  for (int i = 2240; i < 5120; i++) ASSERT_EQ(big[32 + i], 0) << i;
  expectGuards(big);
}

TEST_F(Refill, EffectRunsOverEveryBufferIncludingSilentOnes) {
  auto good = block({0x10, 0x00});
  auto bad = block({0x20, 0, 0, 0, 0, 0, 0, 0});
  std::vector<int16_t> buf(4080);
  // No effect: the decoded samples pass untouched.
  startRefills(0, 127);
  refillPcm(buf.data(), 8160, good.data());
  EXPECT_EQ(buf[1], 101 + 100);

  // With a reverberation the rejected block's buffer carries the tail.
  startRefills(1, 127);
  refillPcm(buf.data(), 8160, good.data());
  refillPcm(buf.data(), 8160, bad.data());
  int nonzero = 0;
  for (int16_t s : buf) nonzero += s != 0;
  EXPECT_GT(nonzero, 0);
}

}  // namespace

// The message container: durations, header defaults, the resume rule and
// block reading from message files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "playback/container.h"
#include "tests/support/test_support.h"

namespace {

// A message file: zero player, the header, then `blocks` blocks of 512 bytes
// filled with their number, and `tail` more bytes filled with 0xEE.
std::string writeMessage(const char* name, std::vector<uint8_t> header, int blocks, int tail) {
  std::vector<uint8_t> payload = header;
  for (int b = 0; b < blocks; b++) payload.insert(payload.end(), 512, static_cast<uint8_t>(b));
  payload.insert(payload.end(), static_cast<size_t>(tail), 0xEE);
  std::string path = testsupport::writeMessageFile(name, payload);
  EXPECT_FALSE(path.empty());
  return path;
}

std::vector<uint8_t> header(uint8_t rate, uint8_t effect, uint8_t depth) {
  return {1, 2, 3, 4, 5, 6, 7, 8, rate, 9, effect, depth};
}

class Container : public ::testing::Test {
 protected:
  void SetUp() override {
    closePayload();
    std::memset(&playerState, 0, sizeof playerState);
  }
  void TearDown() override { closePayload(); }
};

TEST(Durations, HundredBlocksAtEachRate) {
  const int64_t file = PAYLOAD_OFFSET + 12 + 512 * 100;
  EXPECT_EQ(totalSecondsFor(0, file), 64);
  EXPECT_EQ(totalSecondsFor(1, file), 51);
  EXPECT_EQ(totalSecondsFor(2, file), 28);
  for (uint8_t code : {2, 3, 255}) {
    EXPECT_EQ(totalSecondsFor(code, file), 28);
    EXPECT_EQ(bufferBytesForRate(code), 4480);
    EXPECT_EQ(secondsPerBlock(code), 0.28f);
  }
  EXPECT_EQ(bufferBytesForRate(0), 10240);
  EXPECT_EQ(bufferBytesForRate(1), 8160);
}

TEST(Durations, HalfSecondsRoundDown) {
  const int64_t base = PAYLOAD_OFFSET + 12;
  // 400 bytes at 6.4 kbit/s are exactly 0.5 s, but the single-precision
  // constant lies just below 0.00125.
  EXPECT_EQ(totalSecondsFor(0, base + 400), 0);
  EXPECT_EQ(totalSecondsFor(0, base + 401), 1);
  EXPECT_EQ(totalSecondsFor(0, base + 1200), 1);  // 1.5 s
  // 502 bytes at 8 kbit/s: 1.00003 s.
  EXPECT_EQ(totalSecondsFor(1, base + 502), 1);
  EXPECT_EQ(totalSecondsFor(1, base + 501), 0);
  EXPECT_EQ(totalSecondsFor(2, base + 914), 0);
  EXPECT_EQ(totalSecondsFor(2, base + 915), 1);
}

TEST(Durations, NoPayloadAndShortFilesGiveZero) {
  EXPECT_EQ(totalSecondsFor(0, PAYLOAD_OFFSET), 0);
  EXPECT_EQ(totalSecondsFor(2, PAYLOAD_OFFSET + 5), 0);
  EXPECT_EQ(totalSecondsFor(1, 0), 0);
  EXPECT_EQ(totalSecondsFor(2, INT64_C(1) << 62), INT32_MAX);
}

TEST(Durations, TitlePositions) {
  EXPECT_EQ(positionSeconds(1, 50), 25);  // 25.4999999 s
  EXPECT_EQ(positionSeconds(0, 11), 7);
  EXPECT_EQ(positionSeconds(0, 0), 0);
  EXPECT_EQ(positionSeconds(7, 4), 1);  // 1.12 s
}

TEST_F(Container, ReadsTheHeader) {
  ASSERT_TRUE(setProgramPath(writeMessage("h.qlo", header(1, 0xF5, 200), 3, 100).c_str()));
  EXPECT_EQ(readMessageHeader(), 2);  // 3 blocks and 100 bytes at 0.51 s per block
  EXPECT_EQ(playerState.rateCode, 1);
  EXPECT_EQ(playerState.effectId, -11);
  EXPECT_EQ(playerState.depthByte, 200);
  EXPECT_EQ(playerState.bufferBytes, 8160);
  EXPECT_EQ(playerState.headerBytes[0], 1);
  EXPECT_EQ(playerState.headerBytes[9], 9);
}

TEST_F(Container, TruncatedHeaderLeavesTheRestZero) {
  // A previous header must not shine through a truncated one.
  ASSERT_TRUE(setProgramPath(writeMessage("full.qlo", header(2, 5, 9), 0, 0).c_str()));
  readMessageHeader();
  ASSERT_TRUE(setProgramPath(writeMessage("trunc.qlo", {1, 2, 3, 4, 5, 6, 7, 8, 2}, 0, 0).c_str()));
  EXPECT_EQ(readMessageHeader(), 0);
  EXPECT_EQ(playerState.rateCode, 2);
  EXPECT_EQ(playerState.effectId, 0);
  EXPECT_EQ(playerState.depthByte, 0);
  EXPECT_EQ(playerState.headerBytes[11], 0);

  ASSERT_TRUE(setProgramPath(writeMessage("bare.qlo", {}, 0, 0).c_str()));
  EXPECT_EQ(readMessageHeader(), 0);
  EXPECT_EQ(playerState.rateCode, 0);
  EXPECT_EQ(playerState.bufferBytes, 10240);
}

TEST_F(Container, UnopenableFileReadsAsEmptyMessage) {
  ASSERT_TRUE(setProgramPath(writeMessage("x.qlo", header(2, 3, 4), 2, 0).c_str()));
  readMessageHeader();
  ASSERT_TRUE(setProgramPath((testsupport::tempDir() + "/missing.qlo").c_str()));
  EXPECT_EQ(readMessageHeader(), 0);
  EXPECT_EQ(playerState.rateCode, 0);
  EXPECT_EQ(playerState.effectId, 0);
  EXPECT_EQ(playerState.bufferBytes, 10240);
  playerState.blockPosition = 4;
  openPayloadAt();
  EXPECT_EQ(playerState.blockPosition, 3);
  EXPECT_EQ(readBlock(), 0);
  closePayload();

  std::string tooLong(PROGRAM_PATH_SIZE, 'a');
  EXPECT_FALSE(setProgramPath(tooLong.c_str()));
  EXPECT_EQ(readMessageHeader(), 0);
}

TEST_F(Container, ResumeRuleStepsBackOneBlock) {
  ASSERT_TRUE(setProgramPath(writeMessage("resume.qlo", header(0, 0, 0), 12, 0).c_str()));
  readMessageHeader();
  playerState.blockPosition = 0;
  openPayloadAt();
  EXPECT_EQ(playerState.blockPosition, 0);
  EXPECT_EQ(std::ftell(playerState.payloadFile.file), 98316);
  EXPECT_EQ(readBlock(), 512);
  EXPECT_EQ(playerState.blockBuffer[0], 0);
  closePayload();

  playerState.blockPosition = 10;
  openPayloadAt();
  EXPECT_EQ(playerState.blockPosition, 9);
  EXPECT_EQ(std::ftell(playerState.payloadFile.file), 102924);
  EXPECT_EQ(readBlock(), 512);
  EXPECT_EQ(playerState.blockBuffer[511], 9);
  closePayload();
  EXPECT_EQ(playerState.payloadFile.file, nullptr);
  EXPECT_EQ(readBlock(), 0);

  // Past the end: nothing to read.
  playerState.blockPosition = 40;
  openPayloadAt();
  EXPECT_EQ(readBlock(), 0);
}

TEST_F(Container, ShortLastBlockKeepsThePreviousBytes) {
  ASSERT_TRUE(setProgramPath(writeMessage("short.qlo", header(0, 0, 0), 2, 100).c_str()));
  readMessageHeader();
  openPayloadAt();
  EXPECT_EQ(readBlock(), 512);
  EXPECT_EQ(readBlock(), 512);
  EXPECT_EQ(readBlock(), 100);
  EXPECT_EQ(playerState.blockBuffer[99], 0xEE);
  EXPECT_EQ(playerState.blockBuffer[100], 1);  // block 1's byte
  EXPECT_EQ(playerState.blockBuffer[511], 1);
  EXPECT_EQ(readBlock(), 0);
  EXPECT_EQ(playerState.blockBuffer[0], 0xEE);  // an empty read changes nothing
  EXPECT_EQ(playerState.blockBuffer[200], 1);
}

}  // namespace

// Damaged and hostile message files as a user meets them, played through the
// same container reads and refills as the player: files cut anywhere, header
// fields with every value a byte can hold, blocks the header's rate does not
// fit, blocks that are all rejected, and files that change while they play.
// Buffers are exactly sized, so an overrun is an AddressSanitizer report in
// the asan build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "effects/effects.h"
#include "playback/container.h"
#include "playback/refill.h"
#include "tests/support/test_support.h"

namespace {

// A scrambled block of `rate` whose frames are patterned bytes; `first`
// gives a 6.4 kbit/s block the 8-byte header of a first block.
std::vector<uint8_t> speechBlock(int rate, bool first, int seed) {
  std::vector<uint8_t> plain(BLOCK_BYTES);
  for (int i = 0; i < BLOCK_BYTES; i++) plain[i] = static_cast<uint8_t>(37 * i + 11 * seed + 5);
  int header = rate == Rate80 ? 2 : rate == Rate118 || first ? 8 : 0;
  std::memset(plain.data(), 0, static_cast<size_t>(header));
  if (rate == Rate80) plain[0] = 0x10;
  if (rate == Rate118) plain[0] = 0x20;
  if (rate == Rate64 && !first) plain[0] = plain[1] = 0x41;  // not read as a header
  std::vector<uint8_t> block(BLOCK_BYTES);
  scramble_bytes(plain.data(), block.data(), BLOCK_BYTES);
  return block;
}

std::vector<uint8_t> messageHeader(uint8_t rateCode, uint8_t effect, uint8_t depthByte) {
  return {'q', 'l', 'o', 0, 0, 0, 0, 0, rateCode, 0, effect, depthByte};
}

// Player bytes, then `payload`.
std::string writeMessage(const std::string& name, const std::vector<uint8_t>& payload) {
  std::string path = testsupport::writeMessageFile(name, payload, 0xCC);
  EXPECT_FALSE(path.empty());
  return path;
}

// A payload: header, then `blocks` blocks of `rate`, cut to `tail` bytes in
// the last one when tail is not 0.
std::vector<uint8_t> payload(std::vector<uint8_t> header, int rate, int blocks, int tail = 0) {
  std::vector<uint8_t> p = header;
  for (int b = 0; b < blocks; b++) {
    std::vector<uint8_t> block = speechBlock(rate, b == 0, b);
    size_t n = b == blocks - 1 && tail > 0 ? static_cast<size_t>(tail) : block.size();
    p.insert(p.end(), block.begin(), block.begin() + static_cast<long>(n));
  }
  return p;
}

// What one playback from the start made of a message.
struct Playback {
  std::vector<int> blockBytes;  // bytes each read delivered, the final 0 excluded
  std::vector<int> results;     // refill results, one per block
  std::vector<int16_t> pcm;     // the refilled buffers one after the other
};

// Plays the message at programPath as the player does: header, start, then
// one read and one refill per block until a read delivers nothing. Every
// buffer is exactly bufferBytes long. More than `maxBlocks` reads fail.
Playback play(int maxBlocks = 64) {
  Playback p;
  readMessageHeader();
  PlayerState& s = playerState;
  startRefills(s.effectId, depthOfByte(s.depthByte));
  s.blockPosition = 0;
  openPayloadAt();
  int n;
  while ((n = readBlock()) > 0) {
    if (static_cast<int>(p.blockBytes.size()) >= maxBlocks) {
      ADD_FAILURE() << "reading does not end";
      break;
    }
    std::vector<int16_t> buffer(static_cast<size_t>(s.bufferBytes / 2));
    p.results.push_back(refillPcm(buffer.data(), s.bufferBytes, s.blockBuffer));
    p.pcm.insert(p.pcm.end(), buffer.begin(), buffer.end());
    p.blockBytes.push_back(n);
    s.blockPosition++;
  }
  closePayload();
  return p;
}

class HostileMessage : public ::testing::Test {
 protected:
  void SetUp() override {
    closePayload();
    std::memset(&playerState, 0, sizeof playerState);
    decoder_program_start();
  }
  void TearDown() override { closePayload(); }
  void open(const std::string& path) { ASSERT_TRUE(setProgramPath(path.c_str())); }
};

TEST_F(HostileMessage, FilesWithoutAWholeHeaderPlayNothingAt64) {
  // Shorter than the player, exactly the player, and cut inside the header.
  std::vector<uint8_t> full = messageHeader(1, 3, 40);
  const std::vector<std::pair<std::string, int>> cuts = {{"empty", -PAYLOAD_OFFSET},
                                                         {"half-player", -PAYLOAD_OFFSET / 2},
                                                         {"player-less-one", -1},
                                                         {"player", 0},
                                                         {"header-1", 1},
                                                         {"header-9", 9},
                                                         {"header-11", 11}};
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.first);
    std::string path = writeMessage(cut.first, {});
    if (cut.second < 0) {
      ASSERT_EQ(truncate(path.c_str(), PAYLOAD_OFFSET + cut.second), 0);
    } else {
      path = writeMessage(cut.first, std::vector<uint8_t>(full.begin(), full.begin() + cut.second));
    }
    open(path);
    EXPECT_EQ(readMessageHeader(), 0);
    // Bytes the file did not deliver read as zero.
    EXPECT_EQ(playerState.rateCode, cut.second > 8 ? 1 : 0);
    EXPECT_EQ(playerState.effectId, cut.second > 10 ? 3 : 0);
    EXPECT_EQ(playerState.depthByte, 0);
    Playback p = play();
    EXPECT_TRUE(p.blockBytes.empty());
  }
}

TEST_F(HostileMessage, PayloadOfOneByteAndShortLastBlocksPlayInFullBuffers) {
  // One byte after the header: one read of 1 byte, the block completed by
  // the zero bytes the block buffer starts with.
  open(writeMessage("one-byte", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x42}));
  Playback p = play();
  EXPECT_EQ(p.blockBytes, std::vector<int>({1}));
  EXPECT_EQ(p.pcm.size(), 5120u);

  for (int rate : {Rate64, Rate80, Rate118}) {
    for (int tail : {1, 511}) {
      SCOPED_TRACE(testing::Message() << "rate " << rate << ", last block " << tail);
      open(writeMessage("tail", payload(messageHeader(rate, 0, 0), rate, 3, tail)));
      p = play();
      EXPECT_EQ(p.blockBytes, std::vector<int>({512, 512, tail}));
      EXPECT_EQ(p.pcm.size(), 3 * static_cast<size_t>(bufferBytesForRate(rate)) / 2);
      // The short block keeps its predecessor's layout header, so it is
      // accepted like the blocks before it.
      for (int result : p.results) EXPECT_EQ(result, rate);
    }
  }
}

TEST_F(HostileMessage, EveryRateCodeAboveOneIs118) {
  for (int code = 2; code <= 255; code++) {
    EXPECT_EQ(bufferBytesForRate(static_cast<uint8_t>(code)), 4480) << code;
    EXPECT_EQ(secondsPerBlock(static_cast<uint8_t>(code)), 0.28f) << code;
    EXPECT_EQ(totalSecondsFor(static_cast<uint8_t>(code), PAYLOAD_OFFSET + 12 + 512 * 100), 28)
        << code;
  }
  std::vector<int16_t> reference;
  for (int code : {2, 3, 127, 128, 255}) {
    SCOPED_TRACE(code);
    decoder_program_start();
    open(
        writeMessage("rate", payload(messageHeader(static_cast<uint8_t>(code), 0, 0), Rate118, 2)));
    Playback p = play();
    EXPECT_EQ(p.results, std::vector<int>({Rate118, Rate118}));
    if (reference.empty()) reference = p.pcm;
    EXPECT_EQ(p.pcm, reference);
  }
}

// A loud signal with edges: a full-scale square wave with a slow ramp.
std::vector<int16_t> loudSignal(int samples) {
  std::vector<int16_t> s(static_cast<size_t>(samples));
  for (int i = 0; i < samples; i++)
    s[static_cast<size_t>(i)] = static_cast<int16_t>((i / 37) % 2 ? 32767 - i % 1000 : -32768);
  return s;
}

TEST(HostileEffects, UnknownEffectIdsPlayDry) {
  const std::vector<int16_t> dry = loudSignal(4480);
  for (int id : {-128, -1, 17, 18, 127}) {
    for (int depth : {127, 0, -1, -128}) {
      std::vector<int16_t> buffer = dry;
      resetEffect(static_cast<int8_t>(id), static_cast<int8_t>(depth));
      applyEffect(buffer.data(), static_cast<int>(buffer.size()));
      EXPECT_EQ(buffer, dry) << "effect " << id << ", depth " << depth;
    }
  }
}

TEST(HostileEffects, EveryEffectTakesEveryDepthByte) {
  // Depth bytes 0, 127, 128 and 255 give depths 127, 0, -1 and -128. Full-
  // scale input at every depth must saturate, never overflow (UBSan checks
  // this in the asan build); depth 0 leaves the voice dry.
  const std::vector<int16_t> dry = loudSignal(2 * 5120);
  for (int depthByte : {0, 127, 128, 255}) {
    int8_t depth = static_cast<int8_t>(static_cast<uint8_t>(127 - depthByte));
    for (int id = 1; id <= 16; id++) {
      std::vector<int16_t> buffer = dry;
      resetEffect(static_cast<int8_t>(id), depth);
      applyEffect(buffer.data(), static_cast<int>(buffer.size()));
      if (depth == 0) {
        EXPECT_EQ(buffer, dry) << "effect " << id;
      }
    }
  }
}

TEST_F(HostileMessage, HeaderRateThatFitsNoBlockCutsOrPadsEveryBuffer) {
  // The same 6.4 kbit/s blocks under a header of each rate: every buffer
  // holds the start of what the block decodes to, cut to the header's
  // buffer; shorter blocks under a longer buffer leave silence behind them.
  std::vector<uint8_t> blocks = payload({}, Rate64, 3);
  open(writeMessage("own-rate", payload(messageHeader(0, 0, 0), Rate64, 3)));
  Playback own = play();
  ASSERT_EQ(own.pcm.size(), 3u * 5120);
  for (int code : {1, 2}) {
    SCOPED_TRACE(code);
    decoder_program_start();
    std::vector<uint8_t> p = messageHeader(static_cast<uint8_t>(code), 0, 0);
    p.insert(p.end(), blocks.begin(), blocks.end());
    open(writeMessage("other-rate", p));
    Playback cut = play();
    size_t buffer = static_cast<size_t>(bufferBytesForRate(static_cast<uint8_t>(code))) / 2;
    ASSERT_EQ(cut.pcm.size(), 3 * buffer);
    for (size_t b = 0; b < 3; b++)
      for (size_t i = 0; i < buffer; i++)
        ASSERT_EQ(cut.pcm[b * buffer + i], own.pcm[b * 5120 + i]) << "block " << b << " at " << i;
  }

  // 11.8 kbit/s blocks under a 6.4 kbit/s header: 2,240 samples, then zeros.
  decoder_program_start();
  open(writeMessage("padded", payload(messageHeader(0, 0, 0), Rate118, 2)));
  Playback padded = play();
  ASSERT_EQ(padded.pcm.size(), 2u * 5120);
  for (size_t b = 0; b < 2; b++)
    for (size_t i = 2240; i < 5120; i++) ASSERT_EQ(padded.pcm[b * 5120 + i], 0) << i;
}

TEST_F(HostileMessage, EveryBlockRejectedPlaysSilenceToTheEnd) {
  // An 8 kbit/s message whose first block is an 11.8 kbit/s block with a
  // stray bit: nothing is ever accepted, so every later 8 kbit/s block is
  // rejected too. A reverberation runs over the silent buffers.
  std::vector<uint8_t> p = messageHeader(1, 2, 0);
  std::vector<uint8_t> plain(BLOCK_BYTES, 0);
  plain[0] = 0x20;
  plain[7] = 0x01;
  std::vector<uint8_t> stray(BLOCK_BYTES);
  scramble_bytes(plain.data(), stray.data(), BLOCK_BYTES);
  p.insert(p.end(), stray.begin(), stray.end());
  for (int b = 1; b < 5; b++) {
    std::vector<uint8_t> block = speechBlock(Rate80, false, b);
    p.insert(p.end(), block.begin(), block.end());
  }
  open(writeMessage("all-rejected", p));
  Playback played = play();
  EXPECT_EQ(played.results, std::vector<int>(5, BLOCK_REJECTED));
  ASSERT_EQ(played.pcm.size(), 5u * 4080);
  for (size_t i = 0; i < played.pcm.size(); i++) ASSERT_EQ(played.pcm[i], 0) << i;
}

// Reads blocks until one delivers nothing; returns the bytes read, or -1
// when reading does not end within `limit` reads.
int readToEnd(int limit) {
  int bytes = 0, n;
  for (int reads = 0; reads < limit; reads++) {
    if ((n = readBlock()) == 0) return bytes;
    bytes += n;
  }
  return -1;
}

TEST_F(HostileMessage, FileThatShrinksWhilePlaying) {
  std::string path = writeMessage("shrinking", payload(messageHeader(1, 0, 0), Rate80, 4));
  open(path);
  readMessageHeader();
  playerState.blockPosition = 0;
  openPayloadAt();
  ASSERT_EQ(readBlock(), 512);
  ASSERT_EQ(readBlock(), 512);
  // Cut in the middle of block 2. What the file functions had already
  // buffered may still come, never more than the file held; then the end.
  ASSERT_EQ(truncate(path.c_str(), FIRST_BLOCK_OFFSET + 512 * 2 + 100), 0);
  int rest = readToEnd(10);
  EXPECT_GE(rest, 0);
  EXPECT_LE(rest, 2 * 512);
  // Cut behind the read position, into the player: reading stays ended.
  ASSERT_EQ(truncate(path.c_str(), 1000), 0);
  EXPECT_EQ(readToEnd(10), 0);
  EXPECT_EQ(readToEnd(10), 0);
  closePayload();

  // A playback of what is left: the header is gone, nothing plays.
  Playback p = play();
  EXPECT_TRUE(p.blockBytes.empty());
  EXPECT_EQ(playerState.bufferBytes, 10240);
}

TEST_F(HostileMessage, FileThatGrowsWhilePlaying) {
  std::vector<uint8_t> all = payload(messageHeader(1, 0, 0), Rate80, 6);
  std::string path =
      writeMessage("growing", std::vector<uint8_t>(all.begin(), all.begin() + 12 + 2 * 512));
  open(path);
  readMessageHeader();
  playerState.blockPosition = 0;
  openPayloadAt();
  ASSERT_EQ(readBlock(), 512);
  // Blocks appended before the reading reached the end are read as they come.
  FILE* f = std::fopen(path.c_str(), "ab");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(all.data() + 12 + 2 * 512, 1, 4 * 512, f), 4u * 512);
  std::fclose(f);
  EXPECT_EQ(readToEnd(100), 5 * 512);
  closePayload();

  Playback p = play();
  EXPECT_EQ(p.blockBytes, std::vector<int>(6, 512));
  EXPECT_EQ(p.results, std::vector<int>(6, Rate80));
}

}  // namespace

// The message reader against `quillo decode` and `quillo info`: the same
// samples byte for byte, from memory and from a file, for messages of every
// rate, with effects, damaged blocks, a short last block and a header rate
// that fits no block.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "playback/message_reader.h"
#include "tests/support/test_support.h"

namespace {

typedef std::vector<uint8_t> Bytes;

std::string temp(const std::string& name) { return testsupport::tempDir() + "/" + name; }

int runTool(const std::string& args) { return testsupport::runTool(args).status; }

// A packed message of random frames of `rate` with effect `effect`.
Bytes packedMessage(int rate, int frames, int effect, uint32_t seed) {
  static const char* RATE_ARG[3] = {"6.4", "8", "11.8"};
  std::mt19937 gen(seed);
  Bytes f(static_cast<size_t>(frames * FRAME_BYTES[rate]));
  for (auto& b : f) b = static_cast<uint8_t>(gen());
  for (int i = 0; i < frames; i++) f[i * FRAME_BYTES[rate]] |= 1;
  EXPECT_TRUE(testsupport::writeFile(temp("in.frames"), f));
  EXPECT_EQ(
      runTool(std::string("pack --rate ") + RATE_ARG[rate] + " --effect " + std::to_string(effect) +
              " --depth-byte 40 " + temp("in.frames") + " -o " + temp("m.qlo")),
      0);
  Bytes m;
  EXPECT_TRUE(testsupport::readFile(temp("m.qlo"), m));
  return m;
}

// Sets the unscrambled byte `at` of block `block` to `value`.
void setPlain(Bytes& m, int block, int at, uint8_t value) {
  m[static_cast<size_t>(FIRST_BLOCK_OFFSET + block * BLOCK_BYTES + at)] = value ^ SCRAMBLE_MASK;
}

bool appendSamples(void* context, const int16_t* samples, size_t count) {
  static_cast<std::vector<int16_t>*>(context)->insert(
      static_cast<std::vector<int16_t>*>(context)->end(), samples, samples + count);
  return true;
}

std::vector<int16_t> readerSamples(const MessageSource& source, bool dry) {
  std::vector<int16_t> out;
  EXPECT_TRUE(playMessageSamples(source, dry, appendSamples, &out));
  return out;
}

TEST(MessageReader, PlaysAndSurveysAsTheTool) {
  uint32_t seed = testsupport::testSeed(1818);
  struct Case {
    const char* name;
    int rate, frames, effect;
  };
  const Case CASES[] = {{"6.4 reverb", 0, 140, 3},
                        {"8 delay", 1, 120, 10},
                        {"11.8 pitch", 2, 70, 13},
                        {"8 rejected block", 1, 160, 0},
                        {"11.8 stray header bit", 2, 60, 2},
                        {"short last block", 1, 60, 5},
                        {"header rate fits no block", 0, 100, 0}};
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    Bytes m = packedMessage(c.rate, c.frames, c.effect, seed++);
    std::string name = c.name;
    if (name == "8 rejected block") setPlain(m, 1, 0, 0x20);
    if (name == "11.8 stray header bit") setPlain(m, 0, 7, 0x01);
    if (name == "short last block") m.resize(m.size() - 300);
    if (name == "header rate fits no block") m[PAYLOAD_OFFSET + 8] = 2;
    ASSERT_TRUE(testsupport::writeFile(temp("d.qlo"), m));

    MessageBytes bytes = {m.data(), m.size()};
    MessageSource memory = messageSourceOfBytes(&bytes);
    MessageFile file;
    ASSERT_TRUE(openMessageFile(temp("d.qlo").c_str(), &file));
    MessageSource onDisk = messageSourceOfFile(&file);
    for (bool dry : {false, true}) {
      ASSERT_EQ(runTool("decode " + temp("d.qlo") + " -o " + temp("d.raw") + (dry ? " --dry" : "")),
                0);
      Bytes raw;
      ASSERT_TRUE(testsupport::readFile(temp("d.raw"), raw));
      std::vector<int16_t> tool = testsupport::toSamples(raw);
      EXPECT_EQ(readerSamples(memory, dry), tool) << "dry " << dry;
      EXPECT_EQ(readerSamples(onDisk, dry), tool) << "dry " << dry;
    }
    closeMessageFile(&file);

    MessageSurvey s = surveyMessage(memory);
    testsupport::CommandRun info = testsupport::runTool("info " + temp("d.qlo"));
    int status = info.status;
    const std::string& text = info.out;
    ASSERT_FALSE(text.empty()) << info.err;
    EXPECT_NE(text.find("blocks:   " + std::to_string(s.blocks) + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("rejected: " + std::to_string(s.rejected)), std::string::npos) << text;
    EXPECT_EQ(status, s.rejected > 0 || s.mismatched > 0 ? 3 : 0) << text;
    if (name == "8 rejected block" || name == "11.8 stray header bit") {
      EXPECT_GT(s.rejected, 0);
      EXPECT_NE(text.find("the first is block " + std::to_string(s.firstRejected)),
                std::string::npos);
    }
    if (name == "header rate fits no block") {
      EXPECT_GT(s.mismatched, 0);
    }
  }
}

TEST(MessageReader, HeaderValuesOfShortAndEmptySources) {
  Bytes m(PAYLOAD_OFFSET + 7, 0);
  MessageBytes bytes = {m.data(), m.size()};
  MessageSource source = messageSourceOfBytes(&bytes);
  MessageHeaderValues h = readMessageHeaderValues(source);
  EXPECT_EQ(h.rate, Rate64);
  EXPECT_EQ(h.depth, 127);
  EXPECT_EQ(h.totalSeconds, 0);
  EXPECT_EQ(h.bufferSamples, 5120);
  EXPECT_EQ(messageBlockCount(source), 0);
  MessageBytes none = {nullptr, 0};
  EXPECT_EQ(readMessageHeaderValues(messageSourceOfBytes(&none)).totalSeconds, 0);
  EXPECT_TRUE(readerSamples(messageSourceOfBytes(&none), false).empty());
}

}  // namespace

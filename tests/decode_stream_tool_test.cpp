// quillo decode --frames / --g192: every bit pattern is a legal frame and
// decodes cleanly (this test also runs under the sanitizers), a trailing
// partial frame is refused without output, and a G.192 stream stops at its
// first undecodable frame with status 3 after writing the frames before it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "tests/support/test_support.h"

#ifdef QUILLO_TOOL_PATH

namespace {

struct ToolRun {
  int status;
  std::string err;
};

ToolRun quillo(const std::string& args) {
  testsupport::CommandRun run = testsupport::runTool(args);
  return {run.status, run.err};
}

bool exists(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

void put16(std::vector<uint8_t>& out, uint16_t w) {
  out.push_back((uint8_t)w);
  out.push_back((uint8_t)(w >> 8));
}

void g192Frame(std::vector<uint8_t>& out, int n, std::mt19937& rng, uint16_t sync = 0x6B21) {
  put16(out, sync);
  put16(out, (uint16_t)n);
  for (int i = 0; i < n; i++) {
    bool one = (rng() & 1) && !(n == 118 && i < 2);  // 118: forward-adaptive mode bits 00
    put16(out, one ? 0x0081 : 0x007F);
  }
}

// Only the decoder's own diagnostic lines may appear on standard error.
bool onlyDecoderDiagnostics(const std::string& err) {
  size_t at = 0;
  while (at < err.size()) {
    size_t end = err.find('\n', at);
    if (end == std::string::npos) end = err.size();
    std::string line = err.substr(at, end - at);
    if (line.rfind("lsp_stability warning", 0) != 0) return false;
    at = end + 1;
  }
  return true;
}

}  // namespace

TEST(DecodeStreamTool, RandomFramesOfEveryRateDecodeCleanly) {
  const char* rates[] = {"6.4", "8", "11.8"};
  const int frames = 10000;
  std::mt19937 rng(testsupport::testSeed(31));
  std::string dir = testsupport::tempDir();
  for (int rate = 0; rate < 3; rate++) {
    std::vector<uint8_t> data((size_t)frames * FRAME_BYTES[rate]);
    for (uint8_t& b : data) b = (uint8_t)rng();
    std::string in = dir + "/random.frames", out = dir + "/random.raw";
    ASSERT_TRUE(testsupport::writeFile(in, data));
    ToolRun r =
        quillo(std::string("decode --frames ") + rates[rate] + " '" + in + "' -o '" + out + "'");
    EXPECT_EQ(r.status, 0) << rates[rate] << ": " << r.err.substr(0, 2000);
    EXPECT_TRUE(onlyDecoderDiagnostics(r.err)) << rates[rate] << ": " << r.err.substr(0, 2000);
    std::vector<uint8_t> pcm;
    ASSERT_TRUE(testsupport::readFile(out, pcm));
    EXPECT_EQ(pcm.size(), (size_t)frames * FRAME_SAMPLES * 2) << rates[rate];
    std::remove(out.c_str());
  }
}

TEST(DecodeStreamTool, FramesEqualTheSameFramesThroughG192) {
  // The same 11.8 kbit/s frames given as payload bytes and as a G.192 stream.
  std::mt19937 rng(testsupport::testSeed(37));
  std::vector<uint8_t> g192, frames;
  for (int i = 0; i < 50; i++) {
    std::vector<uint8_t> one;
    g192Frame(one, 118, rng);
    g192.insert(g192.end(), one.begin(), one.end());
    uint8_t bytes[18] = {0};
    for (int k = 0; k < 116; k++)
      if (one[4 + 2 * (k + 2)] == 0x81) bytes[k >> 3] |= (uint8_t)(0x80 >> (k & 7));
    frames.insert(frames.end(), bytes, bytes + 18);
  }
  std::string dir = testsupport::tempDir();
  ASSERT_TRUE(testsupport::writeFile(dir + "/s.g192", g192));
  ASSERT_TRUE(testsupport::writeFile(dir + "/s.frames", frames));
  EXPECT_EQ(quillo("decode --g192 '" + dir + "/s.g192' -o '" + dir + "/a.raw'").status, 0);
  EXPECT_EQ(quillo("decode --frames 11.8 '" + dir + "/s.frames' -o '" + dir + "/b.raw'").status, 0);
  std::vector<uint8_t> a, b;
  ASSERT_TRUE(testsupport::readFile(dir + "/a.raw", a));
  ASSERT_TRUE(testsupport::readFile(dir + "/b.raw", b));
  EXPECT_EQ(a.size(), 50u * 160);
  EXPECT_TRUE(a == b);
}

TEST(DecodeStreamTool, TrailingPartialFrameIsRefusedWithoutOutput) {
  std::string dir = testsupport::tempDir();
  std::string in = dir + "/partial.frames", out = dir + "/partial.wav";
  ASSERT_TRUE(testsupport::writeFile(in, std::vector<uint8_t>(10 * 3 + 7, 0x55)));
  ToolRun r = quillo("decode --frames 8 '" + in + "' -o '" + out + "'");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("7 bytes left over after 3 frames"), std::string::npos) << r.err;
  EXPECT_FALSE(exists(out));
  EXPECT_FALSE(exists(out + ".part"));
}

TEST(DecodeStreamTool, G192StopsAtTheFirstUndecodableFrame) {
  struct Case {
    const char* name;
    int n;
    uint16_t sync;
    const char* reason;
  };
  const Case cases[] = {
      {"erased", 80, 0x6B20, "erased"},
      {"other length", 96, 0x6B21, "bit count"},
  };
  std::mt19937 rng(testsupport::testSeed(41));
  std::string dir = testsupport::tempDir();
  for (const Case& c : cases) {
    std::vector<uint8_t> stream;
    for (int i = 0; i < 4; i++) g192Frame(stream, i % 2 ? 64 : 80, rng);
    g192Frame(stream, c.n, rng, c.sync);
    g192Frame(stream, 80, rng);
    std::string in = dir + "/stop.g192", out = dir + "/stop.raw";
    ASSERT_TRUE(testsupport::writeFile(in, stream));
    ToolRun r = quillo("decode --g192 '" + in + "' -o '" + out + "'");
    EXPECT_EQ(r.status, 3) << c.name;
    EXPECT_NE(r.err.find("frame 4 "), std::string::npos) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.name << ": " << r.err;
    std::vector<uint8_t> pcm;
    ASSERT_TRUE(testsupport::readFile(out, pcm)) << c.name;
    EXPECT_EQ(pcm.size(), 4u * 160) << c.name;
    std::remove(out.c_str());
  }
}

TEST(DecodeStreamTool, UsageErrors) {
  std::string dir = testsupport::tempDir();
  ASSERT_TRUE(testsupport::writeFile(dir + "/x.frames", std::vector<uint8_t>(8, 0)));
  EXPECT_EQ(quillo("decode --frames 7 '" + dir + "/x.frames' -o '" + dir + "/x.raw'").status, 2);
  EXPECT_EQ(quillo("decode --frames 8 '" + dir + "/x.frames'").status, 2);
  EXPECT_EQ(quillo("decode --frames 8 --g192 '" + dir + "/x.frames' -o x.raw").status, 2);
  EXPECT_EQ(quillo("decode --frames 6.4 '" + dir + "/missing' -o '" + dir + "/x.raw'").status, 1);
  EXPECT_FALSE(exists(dir + "/x.raw"));
}

#endif

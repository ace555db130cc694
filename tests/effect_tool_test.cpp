// quillo effect: the command applies the library's effect to a whole file,
// reads WAV and raw input, and refuses bad input without leaving an output.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "effects/effects.h"
#include "tests/support/test_support.h"

namespace {

std::string path(const std::string& name) { return testsupport::tempDir() + "/" + name; }

void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back((uint8_t)v);
  b.push_back((uint8_t)(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void putTag(std::vector<uint8_t>& b, const char* tag) {
  for (int i = 0; i < 4; i++) b.push_back((uint8_t)tag[i]);
}

struct WavSpec {
  uint16_t format = 1, channels = 1, bits = 16;
  uint32_t rate = 8000;
  bool junkFirst = false;      // an odd-sized chunk before "fmt "
  uint32_t dataSizeExtra = 0;  // claim more data than present
};

std::vector<uint8_t> makeWav(const std::vector<int16_t>& s, const WavSpec& w = WavSpec()) {
  std::vector<uint8_t> b;
  putTag(b, "RIFF");
  put32(b, 0);  // readers must not depend on it
  putTag(b, "WAVE");
  if (w.junkFirst) {
    putTag(b, "LIST");
    put32(b, 3);
    b.insert(b.end(), {'a', 'b', 'c', 0});  // 3 bytes and the pad byte
  }
  putTag(b, "fmt ");
  put32(b, 16);
  put16(b, w.format);
  put16(b, w.channels);
  put32(b, w.rate);
  put32(b, w.rate * w.channels * w.bits / 8);
  put16(b, w.channels * w.bits / 8);
  put16(b, w.bits);
  putTag(b, "data");
  put32(b, (uint32_t)(s.size() * 2) + w.dataSizeExtra);
  for (int16_t v : s) put16(b, (uint16_t)v);
  return b;
}

std::vector<int16_t> signal(int count) {
  std::vector<int16_t> s(count);
  for (int i = 0; i < count; i++) s[i] = (int16_t)((i * 7919) % 20000 - 10000);
  return s;
}

std::vector<int16_t> throughLibrary(int id, int depth, std::vector<int16_t> s) {
  resetEffect((int8_t)id, (int8_t)depth);
  applyEffect(s.data(), (int)s.size());
  return s;
}

struct ToolRun {
  int status;
  std::string stderrText;
};

ToolRun runTool(const std::string& args) {
  std::string errFile = path("stderr.txt");
  std::string cmd = std::string(QUILLO_TOOL_PATH) + " effect " + args + " 2>" + errFile;
  int rc = std::system(cmd.c_str());
  std::vector<uint8_t> err;
  testsupport::readFile(errFile, err);
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, std::string(err.begin(), err.end())};
}

bool exists(const std::string& p) {
  std::vector<uint8_t> b;
  return testsupport::readFile(p, b);
}

// Samples of a WAV file written by the tool (44-byte header).
std::vector<int16_t> wavSamples(const std::string& p) {
  std::vector<uint8_t> b;
  EXPECT_TRUE(testsupport::readFile(p, b));
  if (b.size() < 44) return {};
  return testsupport::toSamples(std::vector<uint8_t>(b.begin() + 44, b.end()));
}

}  // namespace

TEST(EffectTool, WavInputGivesTheLibraryOutput) {
  std::vector<int16_t> in = signal(12000);
  ASSERT_TRUE(testsupport::writeFile(path("in.wav"), makeWav(in)));
  for (int id : {0, 3, 7, 15}) {
    std::string out = path("out" + std::to_string(id) + ".wav");
    ToolRun r = runTool(std::to_string(id) + " -100 " + path("in.wav") + " -o " + out);
    ASSERT_EQ(r.status, 0) << r.stderrText;
    EXPECT_EQ(wavSamples(out), throughLibrary(id, -100, in)) << "effect " << id;
  }
}

TEST(EffectTool, RawInputAndOddChunks) {
  std::vector<int16_t> in = signal(9000);
  std::vector<uint8_t> raw;
  for (int16_t v : in) put16(raw, (uint16_t)v);
  ASSERT_TRUE(testsupport::writeFile(path("in.raw"), raw));
  ToolRun r = runTool("12 127 " + path("in.raw") + " -o " + path("out.pcm"));
  ASSERT_EQ(r.status, 0) << r.stderrText;
  std::vector<uint8_t> outBytes;
  ASSERT_TRUE(testsupport::readFile(path("out.pcm"), outBytes));
  EXPECT_EQ(testsupport::toSamples(outBytes), throughLibrary(12, 127, in));

  // A chunk before "fmt " with a pad byte, and a data chunk that claims more
  // than the file holds (a cut-off recording): the samples present are used.
  WavSpec w;
  w.junkFirst = true;
  w.dataSizeExtra = 1000;
  ASSERT_TRUE(testsupport::writeFile(path("odd.wav"), makeWav(in, w)));
  r = runTool("9 50 " + path("odd.wav") + " -o " + path("odd-out.wav"));
  ASSERT_EQ(r.status, 0) << r.stderrText;
  EXPECT_EQ(wavSamples(path("odd-out.wav")), throughLibrary(9, 50, in));
}

TEST(EffectTool, BadInputIsOneLineAndNoOutput) {
  std::vector<int16_t> in = signal(100);
  WavSpec stereo, eightBit, fast, adpcm;
  stereo.channels = 2;
  eightBit.bits = 8;
  fast.rate = 44100;
  adpcm.format = 2;
  ASSERT_TRUE(testsupport::writeFile(path("good.wav"), makeWav(in)));
  ASSERT_TRUE(testsupport::writeFile(path("stereo.wav"), makeWav(in, stereo)));
  ASSERT_TRUE(testsupport::writeFile(path("8bit.wav"), makeWav(in, eightBit)));
  ASSERT_TRUE(testsupport::writeFile(path("44k.wav"), makeWav(in, fast)));
  ASSERT_TRUE(testsupport::writeFile(path("adpcm.wav"), makeWav(in, adpcm)));
  ASSERT_TRUE(testsupport::writeFile(path("text.wav"), {'h', 'e', 'l', 'l', 'o'}));
  ASSERT_TRUE(testsupport::writeFile(path("odd.raw"), {1, 2, 3}));
  std::vector<uint8_t> noData = makeWav({});
  noData.resize(36);  // header up to the end of "fmt "
  ASSERT_TRUE(testsupport::writeFile(path("nodata.wav"), noData));

  const std::string good = path("good.wav");
  const std::string cases[] = {
      "5 0 " + path("missing.wav"),
      "5 0 " + path("stereo.wav"),
      "5 0 " + path("8bit.wav"),
      "5 0 " + path("44k.wav"),
      "5 0 " + path("adpcm.wav"),
      "5 0 " + path("text.wav"),
      "5 0 " + path("odd.raw"),
      "5 0 " + path("nodata.wav"),
      "17 0 " + good,
      "-1 0 " + good,
      "x 0 " + good,
      "5 128 " + good,
      "5 -129 " + good,
      "5 1.5 " + good,
      "5 0",
      "5 0 " + good + " " + good,
  };
  for (const std::string& c : cases) {
    std::string out = path("refused.wav");
    ToolRun r = runTool(c + " -o " + out);
    EXPECT_NE(r.status, 0) << c;
    EXPECT_EQ(r.stderrText.rfind("quillo: ", 0), 0u) << c << ": " << r.stderrText;
    EXPECT_EQ(r.stderrText.find('\n'), r.stderrText.size() - 1) << c << ": " << r.stderrText;
    EXPECT_FALSE(exists(out)) << c;
  }
  EXPECT_NE(runTool("5 0 " + good).status, 0);  // no -o
}

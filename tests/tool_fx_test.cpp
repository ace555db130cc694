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

void put(std::vector<uint8_t>& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; i++) b.push_back((uint8_t)(v >> (8 * i)));
}
void putTag(std::vector<uint8_t>& b, const char* tag) {
  for (int i = 0; i < 4; i++) b.push_back((uint8_t)tag[i]);
}

// A WAV file; `junk` puts an odd-sized chunk before "fmt ", `extra` makes
// the data chunk claim more bytes than the file holds.
std::vector<uint8_t> makeWav(const std::vector<int16_t>& s, uint16_t format = 1,
                             uint16_t channels = 1, uint16_t bits = 16, uint32_t rate = 8000,
                             bool junk = false, uint32_t extra = 0) {
  std::vector<uint8_t> b;
  putTag(b, "RIFF");
  put(b, 0, 4);  // readers must not depend on it
  putTag(b, "WAVE");
  if (junk) {
    putTag(b, "LIST");
    put(b, 3, 4);
    put(b, 0x636261, 4);  // "abc" and the pad byte
  }
  putTag(b, "fmt ");
  put(b, 16, 4);
  put(b, format, 2);
  put(b, channels, 2);
  put(b, rate, 4);
  put(b, rate * channels * bits / 8, 4);
  put(b, channels * bits / 8, 2);
  put(b, bits, 2);
  putTag(b, "data");
  put(b, (uint32_t)(s.size() * 2) + extra, 4);
  for (int16_t v : s) put(b, (uint16_t)v, 2);
  return b;
}

std::vector<int16_t> throughLibrary(int id, int depth, std::vector<int16_t> s) {
  resetEffect((int8_t)id, (int8_t)depth);
  applyEffect(s.data(), (int)s.size());
  return s;
}

// Runs "quillo effect ARGS"; returns the exit status and the standard error.
int runTool(const std::string& args, std::string* err) {
  testsupport::CommandRun run = testsupport::runTool("effect " + args);
  *err = run.err;
  return run.status;
}

// Samples of a file written by the tool (a 44-byte header for WAV).
std::vector<int16_t> outputSamples(const std::string& p, size_t header) {
  std::vector<uint8_t> b;
  EXPECT_TRUE(testsupport::readFile(p, b));
  if (b.size() < header) return {};
  return testsupport::toSamples(std::vector<uint8_t>(b.begin() + header, b.end()));
}

}  // namespace

TEST(EffectTool, WavAndRawInputGiveTheLibraryOutput) {
  std::vector<int16_t> in(12000);
  for (int i = 0; i < 12000; i++) in[i] = (int16_t)((i * 7919) % 20000 - 10000);
  std::vector<uint8_t> raw;
  for (int16_t v : in) put(raw, (uint16_t)v, 2);
  ASSERT_TRUE(testsupport::writeFile(path("in.wav"), makeWav(in)));
  ASSERT_TRUE(testsupport::writeFile(path("in.raw"), raw));
  ASSERT_TRUE(testsupport::writeFile(path("odd.wav"), makeWav(in, 1, 1, 16, 8000, true, 1000)));
  std::string err;
  for (int id : {0, 3, 7, 15}) {
    std::string out = path("out" + std::to_string(id) + ".wav");
    ASSERT_EQ(runTool(std::to_string(id) + " -100 " + path("in.wav") + " -o " + out, &err), 0)
        << err;
    EXPECT_EQ(outputSamples(out, 44), throughLibrary(id, -100, in)) << "effect " << id;
  }
  ASSERT_EQ(runTool("12 127 " + path("in.raw") + " -o " + path("out.pcm"), &err), 0) << err;
  EXPECT_EQ(outputSamples(path("out.pcm"), 0), throughLibrary(12, 127, in));
  // Chunks walked past an odd-sized one; a cut-off data chunk gives the
  // samples present.
  ASSERT_EQ(runTool("9 50 " + path("odd.wav") + " -o " + path("odd-out.wav"), &err), 0) << err;
  EXPECT_EQ(outputSamples(path("odd-out.wav"), 44), throughLibrary(9, 50, in));
}

TEST(EffectTool, BadInputIsOneLineAndNoOutput) {
  std::vector<int16_t> in(100, 1000);
  std::vector<uint8_t> noData = makeWav({});
  noData.resize(36);  // ends after "fmt "
  ASSERT_TRUE(testsupport::writeFile(path("good.wav"), makeWav(in)));
  ASSERT_TRUE(testsupport::writeFile(path("stereo.wav"), makeWav(in, 1, 2)));
  ASSERT_TRUE(testsupport::writeFile(path("8bit.wav"), makeWav(in, 1, 1, 8)));
  ASSERT_TRUE(testsupport::writeFile(path("44k.wav"), makeWav(in, 1, 1, 16, 44100)));
  ASSERT_TRUE(testsupport::writeFile(path("adpcm.wav"), makeWav(in, 2)));
  ASSERT_TRUE(testsupport::writeFile(path("text.wav"), {'h', 'e', 'l', 'l', 'o'}));
  ASSERT_TRUE(testsupport::writeFile(path("odd.raw"), {1, 2, 3}));
  ASSERT_TRUE(testsupport::writeFile(path("nodata.wav"), noData));
  const std::string good = path("good.wav"), out = path("refused.wav");
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
      "5 1.5 " + good,
      "5 0",
      "5 0 " + good + " " + good,
  };
  for (const std::string& c : cases) {
    std::string err;
    EXPECT_NE(runTool(c + " -o " + out, &err), 0) << c;
    EXPECT_EQ(err.rfind("quillo: ", 0), 0u) << c << ": " << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << c << ": " << err;
    std::vector<uint8_t> none;
    EXPECT_FALSE(testsupport::readFile(out, none)) << c;
  }
  std::string err;
  EXPECT_NE(runTool("5 0 " + good, &err), 0);  // no -o
}

// quillo encode: the plumbing around the encoder library. Every input form
// gives the library's frames, the last partial frame is completed with zeros,
// G.192 framing and rate cycles are right, and bad input leaves no output.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "codec/decoder.h"
#include "codec/g192.h"
#include "encoder/encoder.h"
#include "tests/support/sound_files.h"
#include "tests/support/test_support.h"

namespace {

typedef std::vector<uint8_t> Bytes;

std::string temp(const std::string& name) { return testsupport::tempDir() + "/" + name; }

testsupport::CommandRun quillo(const std::string& args) { return testsupport::runTool(args); }

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Frames the library makes of `speech` (zeros after its end) at the rates
// cycled frame by frame.
std::vector<Bytes> libraryFrames(std::vector<int16_t> speech, const std::vector<int>& rates) {
  speech.resize((speech.size() + FRAME_SAMPLES - 1) / FRAME_SAMPLES * FRAME_SAMPLES, 0);
  encoder_program_start();
  std::vector<Bytes> frames;
  for (size_t f = 0; f * FRAME_SAMPLES < speech.size(); f++) {
    int rate = rates[f % rates.size()];
    Bytes frame(static_cast<size_t>(FRAME_BYTES[rate]));
    encode_frame(speech.data() + f * FRAME_SAMPLES, rate, frame.data());
    frames.push_back(frame);
  }
  return frames;
}

std::vector<int16_t> testSpeech(size_t count) {
  std::vector<int16_t> s(count);
  for (size_t i = 0; i < count; i++)
    s[i] = static_cast<int16_t>((static_cast<int>(i * 7919 % 4001) - 2000) * 4);
  return s;
}

}  // namespace

// A WAV file with a title, which libsndfile keeps in a LIST chunk.
static bool writeTaggedWav(const std::string& path, int endian, const std::vector<int16_t>& s) {
  SF_INFO info = {};
  info.samplerate = 8000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16 | endian;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  bool ok = sf_set_string(f, SF_STR_TITLE, "greeting") == 0 &&
            sf_write_short(f, s.data(), static_cast<sf_count_t>(s.size())) ==
                static_cast<sf_count_t>(s.size());
  return sf_close(f) == 0 && ok;
}

TEST(EncodeTool, EveryInputFormGivesTheLibraryFrames) {
  const std::vector<int16_t> speech = testSpeech(80 * 7 + 33);  // 8 frames, the last partial
  Bytes raw;
  for (int16_t v : speech) {
    raw.push_back(static_cast<uint8_t>(v));
    raw.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  ASSERT_TRUE(testsupport::writeFile(temp("in.raw"), raw));
  ASSERT_TRUE(testsupport::writeFile(temp("in.IN"), raw));  // headerless, named as the vectors
  ASSERT_TRUE(
      testsupport::writeSound16(temp("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, speech));
  ASSERT_TRUE(writeTaggedWav(temp("tagged.wav"), SF_ENDIAN_LITTLE, speech));
  ASSERT_TRUE(writeTaggedWav(temp("tagged-be.wav"), SF_ENDIAN_BIG, speech));
  const char* names[3] = {"6.4", "8", "11.8"};
  for (int rate = 0; rate < 3; rate++) {
    Bytes want;
    for (const Bytes& f : libraryFrames(speech, {rate}))
      want.insert(want.end(), f.begin(), f.end());
    ASSERT_EQ(want.size(), 8u * FRAME_BYTES[rate]);
    const std::string r = std::string("--rate ") + names[rate] + " ";
    for (const std::string& in :
         {temp("in.raw"), temp("in.wav"), temp("tagged.wav"), temp("tagged-be.wav"),
          "- <" + temp("in.raw"), "--raw " + temp("in.IN")}) {
      testsupport::CommandRun run = quillo("encode " + r + in + " -o " + temp("out.bit"));
      ASSERT_EQ(run.status, 0) << in << ": " << run.err;
      Bytes got;
      ASSERT_TRUE(testsupport::readFile(temp("out.bit"), got));
      EXPECT_EQ(got, want) << names[rate] << " from " << in;
    }
  }
}

TEST(EncodeTool, G192FramingAndRateCycles) {
  const std::vector<int16_t> speech = testSpeech(80 * 10);
  ASSERT_TRUE(testsupport::writeSound16(temp("cycle.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000,
                                        1, speech));
  const std::vector<int> rates = {Rate80, Rate64, Rate118};
  testsupport::CommandRun run =
      quillo("encode --rate 8,6.4,11.8 --g192 " + temp("cycle.wav") + " -o " + temp("cycle.192"));
  ASSERT_EQ(run.status, 0) << run.err;
  Bytes bits;
  ASSERT_TRUE(testsupport::readFile(temp("cycle.192"), bits));
  std::vector<Bytes> want = libraryFrames(speech, rates);
  size_t offset = 0, expectedSize = 0;
  for (size_t f = 0; f < want.size(); f++) {
    int rate = rates[f % 3];
    expectedSize += g192_frame_size(rate);
    G192Frame frame;
    ASSERT_EQ(g192_read_frame(bits.data(), bits.size(), &offset, &frame), G192_FRAME) << f;
    EXPECT_EQ(frame.rate_mode, rate) << f;
    EXPECT_EQ(Bytes(frame.bytes, frame.bytes + FRAME_BYTES[rate]), want[f]) << "frame " << f;
  }
  EXPECT_EQ(bits.size(), expectedSize);
  // 11.8 kbit/s frames carry the two forward-adaptive mode bits first.
  size_t at118 = g192_frame_size(Rate80) + g192_frame_size(Rate64);
  EXPECT_EQ(bits[at118 + 2], 118);
  EXPECT_EQ(bits[at118 + 4], G192_BIT_ZERO & 0xFF);
  EXPECT_EQ(bits[at118 + 6], G192_BIT_ZERO & 0xFF);
}

TEST(EncodeTool, BadInputIsOneLineAndNoOutput) {
  std::vector<int16_t> s = testSpeech(800);
  ASSERT_TRUE(
      testsupport::writeSound16(temp("stereo.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 2, s));
  ASSERT_TRUE(
      testsupport::writeSound16(temp("16k.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1, s));
  ASSERT_TRUE(
      testsupport::writeSound16(temp("good.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, s));
  ASSERT_TRUE(testsupport::writeFile(temp("text.wav"), {'h', 'i'}));
  const std::string out = temp("refused.bit");
  struct Case {
    std::string args, says;
  } cases[] = {
      {"--rate 8 " + temp("stereo.wav"), "2 channels; need 16-bit PCM, 1 channel, 8000 Hz"},
      {"--rate 8 " + temp("16k.wav"), "16000 Hz"},
      {"--rate 8 " + temp("text.wav"), "text.wav: not a sound file"},
      {"--rate 8 " + temp("missing.wav"), "missing.wav: No such file"},
      // A chunk longer than the file, on which the WAV parser would loop.
      {"--rate 8 " + std::string(QUILLO_SOURCE_DIR) +
           "/fuzz/corpus/wav/hang-list-chunk-longer-than-file.wav",
       "damaged WAV file: its 'LIST' chunk claims"},
      {"--rate 8 " + std::string(QUILLO_SOURCE_DIR) +
           "/fuzz/corpus/wav/hang-rifx-list-chunk-longer-than-file.wav",
       "damaged WAV file: its 'LIST' chunk claims"},
      // Damaged LIST contents, on which it would loop too: the LIST is
      // skipped, and the file has no sound data.
      {"--rate 8 " + std::string(QUILLO_SOURCE_DIR) +
           "/fuzz/corpus/wav/hang-rifx-list-subchunk-longer-than-list.wav",
       "not a sound file"},
      // Odd-sized sound data cut off, or lacking its pad byte at the end, with
      // a LIST inside: it would be parsed as a chunk.
      {"--rate 8 " + std::string(QUILLO_SOURCE_DIR) +
           "/fuzz/corpus/wav/hang-cut-odd-data-chunk.wav",
       "not a sound file"},
      {"--rate 8 " + std::string(QUILLO_SOURCE_DIR) +
           "/fuzz/corpus/wav/hang-odd-data-chunk-without-pad-byte.wav",
       "Unsigned 8 bit PCM"},
      {"--rate 8,6.4 " + temp("good.wav"), "needs --g192"},
      {"--rate 9.6 " + temp("good.wav"), "--rate 9.6"},
  };
  for (const Case& c : cases) {
    testsupport::CommandRun run = quillo("encode " + c.args + " -o " + out);
    EXPECT_NE(run.status, 0) << c.args;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << ": " << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_FALSE(exists(out)) << c.args;
  }
  testsupport::CommandRun run =
      quillo("encode --rate 8 " + temp("good.wav") + " -o " + temp("no/dir.bit"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("dir.bit: cannot write"), std::string::npos) << run.err;
  // A write error on standard output (a full device) is reported.
  if (exists("/dev/full")) {
    run = testsupport::runCommand("(" + testsupport::toolCommand() + " encode --rate 8 " +
                                  temp("good.wav") + " -o - >/dev/full)");
    EXPECT_EQ(run.status, 1) << run.err;
  }
}

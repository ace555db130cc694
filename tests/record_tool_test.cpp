// quillo record with SDL's disk audio driver, which reads a file as the
// microphone: the recording holds the file's samples and becomes the
// message; Enter stops it; no capture device is a one-line error.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "codec/decoder.h"
#include "tests/support/sound_files.h"
#include "tests/support/test_support.h"

namespace {

std::string temp(const std::string& name) { return testsupport::tempDir() + "/" + name; }

// Runs quillo record with the file `mic` (raw 16-bit) as the microphone.
testsupport::CommandRun record(const std::string& mic, const std::string& args,
                               const std::string& stdinFrom = "/dev/null") {
  return testsupport::runTool(
      "record " + args + " <" + stdinFrom,
      "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN=" + mic + " SDL_DISKAUDIODELAY=16 ");
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(RecordTool, TheMicrophoneSpeechIsInTheMessage) {
  // Real speech where the conformance data is, else the synthetic sound.
  std::vector<uint8_t> raw;
  std::string vector = testsupport::sharedDir() + "/g729/vectors/main/SPEECH.IN";
  if (testsupport::sharedDir().empty() || !testsupport::readFile(vector, raw) ||
      raw.size() < 8000u * 2 * 3) {
    raw.clear();
    for (int16_t v : testsupport::toShort(testsupport::synthetic(8000 * 3, 0.5))) {
      raw.push_back(static_cast<uint8_t>(v));
      raw.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
  }
  raw.resize(8000 * 2 * 3);
  std::vector<int16_t> mic = testsupport::toSamples(raw);
  std::vector<float> speech(mic.size());
  for (size_t i = 0; i < mic.size(); i++) speech[i] = mic[i] / 32768.0f;
  ASSERT_TRUE(testsupport::writeFile(temp("mic.raw"), raw));
  testsupport::CommandRun run = record(temp("mic.raw"), "--seconds 2 --save " + temp("rec.wav") +
                                                            " --effect echo -o " + temp("r.qlo"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("r.qlo: 2.0 s of sound, 8 kbit/s, effect 5 echo"), std::string::npos)
      << run.out;
  // The recording is the microphone's samples, from where the device started.
  std::vector<int16_t> got = testsupport::readSound16(temp("rec.wav"));
  ASSERT_EQ(got.size(), 16000u);
  auto at = std::search(mic.begin(), mic.end(), got.begin() + 4000, got.begin() + 4400);
  ASSERT_NE(at, mic.end()) << "the recording is not the microphone's sound";
  size_t offset = static_cast<size_t>(at - mic.begin()) - 4000;
  EXPECT_TRUE(std::equal(got.begin(), got.end(), mic.begin() + static_cast<long>(offset)));
  std::string why;
  if (!testsupport::encoderMatchesStandard(Rate80, &why)) {
    std::printf("SKIPPED: speech of the recorded message: %s\n", why.c_str());
    return;
  }
  ASSERT_EQ(testsupport::runTool("decode --dry " + temp("r.qlo") + " -o " + temp("r.wav")).status,
            0);
  std::vector<float> want(speech.begin() + static_cast<long>(offset),
                          speech.begin() + static_cast<long>(offset) + 16000);
  double correlation, snr;
  testsupport::compareSpeech(testsupport::readSound16(temp("r.wav")), want, &correlation, &snr);
  std::printf("[ quality  ] recorded message: correlation %.3f, SNR %.1f dB\n", correlation, snr);
  EXPECT_GE(correlation, 0.88);  // measured 0.904
}

TEST(RecordTool, EnterStopsAndNoDeviceIsAnError) {
  std::vector<uint8_t> silence(8000 * 2 * 4, 0);
  ASSERT_TRUE(testsupport::writeFile(temp("quiet.raw"), silence));
  // A line on standard input after half a second stops the recording.
  testsupport::CommandRun run = testsupport::runCommand(
      "(sleep 0.5; echo) | SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN=" + temp("quiet.raw") +
      " SDL_DISKAUDIODELAY=16 " + testsupport::toolCommand() + " record --save " +
      temp("enter.wav") + " -o " + temp("e.qlo"));
  ASSERT_EQ(run.status, 0) << run.err;
  size_t samples = testsupport::readSound16(temp("enter.wav")).size();
  EXPECT_GT(samples, 0u);
  EXPECT_LT(samples, 8000u * 30);

  run = testsupport::runTool("record --seconds 1 -o " + temp("none.qlo"),
                             "SDL_AUDIODRIVER=nonesuch ");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("quillo: no capture device", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  EXPECT_FALSE(exists(temp("none.qlo")));
}

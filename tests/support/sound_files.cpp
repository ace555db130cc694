#include "tests/support/sound_files.h"

#include <sndfile.h>

#include <cmath>
#include <cstring>

#include "codec/decoder.h"
#include "codec/g192.h"
#include "encoder/encoder.h"
#include "tests/support/test_support.h"

namespace testsupport {

static SNDFILE* openForWriting(const std::string& path, int format, int rate, int channels) {
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  return sf_open(path.c_str(), SFM_WRITE, &info);
}

bool writeSound(const std::string& path, int format, int rate, int channels,
                const std::vector<float>& samples) {
  SNDFILE* f = openForWriting(path, format, rate, channels);
  if (!f) return false;
  sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
  bool ok = sf_writef_float(f, samples.data(), frames) == frames;
  return sf_close(f) == 0 && ok;
}

bool writeSound16(const std::string& path, int format, int rate, int channels,
                  const std::vector<int16_t>& samples) {
  SNDFILE* f = openForWriting(path, format, rate, channels);
  if (!f) return false;
  sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
  bool ok = sf_writef_short(f, samples.data(), frames) == frames;
  return sf_close(f) == 0 && ok;
}

std::vector<int16_t> readSound16(const std::string& path, int* rate) {
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  std::vector<int16_t> samples;
  if (!f) return samples;
  if (rate) *rate = info.samplerate;
  int16_t buffer[4096];
  sf_count_t n;
  while ((n = sf_read_short(f, buffer, 4096)) > 0)
    samples.insert(samples.end(), buffer, buffer + n);
  sf_close(f);
  return samples;
}

std::vector<float> synthetic(size_t count, double level) {
  std::vector<float> s(count);
  double phase = 0;
  for (size_t i = 0; i < count; i++) {
    double t = static_cast<double>(i) / 8000.0;
    phase += 2 * M_PI * (120 + 40 * std::sin(2 * M_PI * 0.7 * t)) / 8000.0;
    double v = 0;
    for (int h = 1; h <= 12; h++) v += std::sin(h * phase) / h;
    s[i] = static_cast<float>(level * 0.6 * v * (0.55 + 0.45 * std::sin(2 * M_PI * 3 * t)));
  }
  return s;
}

std::vector<int16_t> toShort(const std::vector<float>& f) {
  std::vector<int16_t> s(f.size());
  for (size_t i = 0; i < f.size(); i++) s[i] = static_cast<int16_t>(std::lrint(f[i] * 32767.0));
  return s;
}

void compareSpeech(const std::vector<int16_t>& got, const std::vector<float>& want,
                   double* correlation, double* snr) {
  *correlation = -1;
  *snr = -100;
  for (int lag = -400; lag <= 400; lag++) {
    double gw = 0, gg = 0, ww = 0;
    for (size_t i = 400; i + 400 < want.size(); i++) {
      long j = static_cast<long>(i) + lag;
      if (j < 0 || static_cast<size_t>(j) >= got.size()) continue;
      double g = got[static_cast<size_t>(j)] / 32768.0, w = want[i];
      gw += g * w;
      gg += g * g;
      ww += w * w;
    }
    double c = gg > 0 && ww > 0 ? gw / std::sqrt(gg * ww) : 0;
    if (c > *correlation) {
      *correlation = c;
      double noise = gg - 2 * gw + ww;
      *snr = 10 * std::log10(ww / (noise > 1e-12 ? noise : 1e-12));
    }
  }
}

bool encoderMatchesStandard(int rate, std::string* why) {
  static const char* const VECTORS[3][2] = {
      {"annexD/testfile.raw", "annexD/testmid.1"},
      {"main/SPEECH.IN", "main/SPEECH.BIT"},
      {"annexE/LSPE.118", "annexE/lspe.bit"},
  };
  static const char* const NAMES[3] = {"6.4", "8", "11.8"};
  const std::string label = std::string("the ") + NAMES[rate] + " kbit/s encoder";
  std::vector<uint8_t> input, bits;
  std::string dir = sharedDir() + "/g729/vectors/";
  if (sharedDir().empty() || !readFile(dir + VECTORS[rate][0], input) ||
      !readFile(dir + VECTORS[rate][1], bits)) {
    *why = label + " cannot be checked: conformance data folder not found (set QUILLO_SHARED)";
    return false;
  }
  std::vector<int16_t> speech = toSamples(input);
  encoder_program_start();
  size_t offset = 0;
  for (int f = 0; f < 20; f++) {
    G192Frame want;
    if (speech.size() < static_cast<size_t>(FRAME_SAMPLES * (f + 1)) ||
        g192_read_frame(bits.data(), bits.size(), &offset, &want) != G192_FRAME)
      break;
    uint8_t got[18];
    encode_frame(speech.data() + FRAME_SAMPLES * f, rate, got);
    if (std::memcmp(got, want.bytes, static_cast<size_t>(FRAME_BYTES[rate])) != 0) {
      *why = label + " does not yet give the standard's frames (" + VECTORS[rate][1] + ", frame " +
             std::to_string(f) + ")";
      return false;
    }
  }
  return true;
}

}  // namespace testsupport

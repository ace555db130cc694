#include "tests/support/sound_files.h"

#include <sndfile.h>

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

}  // namespace testsupport

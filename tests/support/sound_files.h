// Sound files for the tool's tests, written and read through libsndfile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Writes interleaved `samples` (`channels` per frame) as a file of libsndfile
// format `format` (major | sub-format) at `rate` Hz. False on failure.
bool writeSound(const std::string& path, int format, int rate, int channels,
                const std::vector<float>& samples);
bool writeSound16(const std::string& path, int format, int rate, int channels,
                  const std::vector<int16_t>& samples);

// The samples of a mono sound file (empty when it cannot be read).
std::vector<int16_t> readSound16(const std::string& path, int* rate = nullptr);

// 8 kHz test speech: a voiced sound with a gliding pitch and a syllable
// envelope, at `level` of full scale.
std::vector<float> synthetic(size_t count, double level);

// Float samples of full scale 1.0 as 16-bit samples.
std::vector<int16_t> toShort(const std::vector<float>& samples);

// Correlation and SNR (dB) of decoded speech `got` against `want` (full
// scale 1.0), at the best lag up to 400 samples either way.
void compareSpeech(const std::vector<int16_t>& got, const std::vector<float>& want,
                   double* correlation, double* snr);

// Whether the encoder of `rate` is finished enough for quality checks: its
// first 20 frames of a conformance input equal the standard's bitstream.
// Otherwise false with the reason in `why` (also when the conformance data
// is absent).
bool encoderMatchesStandard(int rate, std::string* why);

}  // namespace testsupport

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

}  // namespace testsupport

// A check of WAV files before libsndfile parses them: libsndfile (1.2.0)
// can loop without end on a chunk that claims more bytes than the file (or
// its LIST chunk) holds, so such a file is refused first. The sound data
// chunk may run past the end (a cut-off recording gives the samples present).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Reads `size` bytes at `offset` into `out`; false when fewer are there.
typedef std::function<bool(uint64_t offset, uint8_t* out, size_t size)> ReadAt;

// True for anything that is not a RIFF/WAVE file (or its big-endian form,
// RIFX), and for one whose chunks before the sound data each end inside the
// file's `size` bytes and whose LIST chunks' sub-chunks each end inside
// their LIST. Otherwise false with the problem in `why`.
bool riffChunksFit(const ReadAt& read, uint64_t size, std::string* why);

// WAV files before libsndfile parses them. Of a RIFF/WAVE file (or its
// big-endian form, RIFX) the reader needs the 'fmt ', 'fact' and 'data'
// chunks; libsndfile (1.2.0) parses others too (LIST and its sub-chunks,
// cue points, ...) and can loop without end on damaged ones, or on a chunk
// that claims more bytes than the file holds. So each chunk must end inside
// the file, except the sound data: a cut-off recording gives the samples
// present, its length shown to libsndfile as what the file holds. Every
// other chunk is shown to libsndfile as "JUNK", a chunk it skips by its
// length. An odd-sized last chunk gets the pad byte it lacks (a zero past
// the end), without which libsndfile would parse the inside of the chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Reads `size` bytes at `offset` into `out`; false when fewer are there.
typedef std::function<bool(uint64_t offset, uint8_t* out, size_t size)> ReadAt;

// Four bytes of the file shown as others.
struct RiffPatch {
  uint64_t at;
  uint8_t bytes[4];
};

struct RiffView {
  bool riff = false;               // a RIFF or RIFX WAVE file
  std::vector<RiffPatch> patches;  // in ascending order, not overlapping
  bool pad_byte = false;           // a zero shown after the last byte
};

// Fills `view` for the file of `size` bytes. False, with the problem in
// `why`, for a WAV file whose chunks do not fit.
bool riffPrepare(const ReadAt& read, uint64_t size, RiffView* view, std::string* why);

// Applies the view's patches to the `n` bytes at `data`, which were read
// from `offset`.
void riffApply(const RiffView& view, uint64_t offset, uint8_t* data, size_t n);

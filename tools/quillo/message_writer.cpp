#include "tools/quillo/message_writer.h"

#include <cstring>

#include "codec/block_decoder.h"
#include "codec/decoder.h"

namespace {

// Block header of each rate (unscrambled) and the frames that follow it.
struct PackLayout {
  int headerBytes;
  uint8_t header[8];
  int frames;
};
const PackLayout LAYOUT_64_FIRST = {8, {0, 0, 0, 0, 0, 0, 0, 0}, 63};
const PackLayout LAYOUT_64 = {0, {0}, 64};
const PackLayout LAYOUT_80 = {2, {0x10, 0x00}, 51};
const PackLayout LAYOUT_118 = {8, {0x20, 0, 0, 0, 0, 0, 0, 0}, 28};

// The quiet frame of each rate, as field values of its bit layout. Repeated,
// each decodes to exact digital silence once the previous speech has died
// away; from any earlier frames the output is below 10 (of 32767) after
// 40 ms (measured after 40 random and speech prefixes per rate).
// Found from a start at the smallest gains (6.4 kbit/s gain index 4: no
// fixed-codebook gain; 8 and 11.8 kbit/s index 86: the smallest code-gain
// factor with a pitch gain of 0.12) by a search over the gain, LSP and pitch
// indices for the lowest output after loud frames. The smallest gains alone
// leave a limit cycle of about -75 dBFS (6.4, 8 kbit/s) or -65 dBFS (11.8
// kbit/s) that the LSP and pitch choice removes. The parity bits match the
// pitch index; the 6.4 kbit/s frame's first two bytes OR to 0x70, so a
// block never starts like another rate's header.
const int QUIET_WIDTHS_64[10] = {8, 10, 8, 9, 2, 6, 4, 9, 2, 6};
const int QUIET_VALUES_64[10] = {112, 0, 0, 0, 0, 36, 0, 0, 0, 36};
const int QUIET_WIDTHS_80[11] = {8, 10, 8, 1, 13, 4, 7, 5, 13, 4, 7};
const int QUIET_VALUES_80[11] = {12, 0, 0, 1, 0, 0, 86, 0, 0, 0, 86};
const int QUIET_WIDTHS_118[17] = {8, 10, 8, 1, 7, 7, 7, 7, 7, 7, 5, 7, 7, 7, 7, 7, 7};
const int QUIET_VALUES_118[17] = {224, 258, 53, 0, 0, 0, 0, 0, 0, 86, 12, 0, 0, 0, 0, 0, 86};

// Writes fields MSB first, one after the other, into `out` (zeroed first).
void packFields(const int* widths, const int* values, int count, uint8_t* out, int outBytes) {
  std::memset(out, 0, static_cast<size_t>(outBytes));
  int bit = 0;
  for (int f = 0; f < count; f++)
    for (int b = widths[f] - 1; b >= 0; b--, bit++)
      if ((values[f] >> b) & 1)
        out[bit / 8] = static_cast<uint8_t>(out[bit / 8] | (0x80 >> (bit % 8)));
}

const PackLayout& layoutOf(int rate, int block) {
  if (rate == Rate80) return LAYOUT_80;
  if (rate == Rate118) return LAYOUT_118;
  return block == 0 ? LAYOUT_64_FIRST : LAYOUT_64;
}

bool emitBlock(MessageWriter* w, const ByteSink& sink) {
  if (w->blocks > 0 && block_layout(w->plain, 0, w->rate).result == BLOCK_REJECTED)
    w->unplayable.push_back(w->blocks);
  uint8_t block[BLOCK_BYTES];
  scramble_bytes(w->plain, block, BLOCK_BYTES);
  w->blocks++;
  w->framesInBlock = 0;
  return sink(block, BLOCK_BYTES);
}

}  // namespace

void quietFrame(int rate, uint8_t* out) {
  if (rate == Rate64) packFields(QUIET_WIDTHS_64, QUIET_VALUES_64, 10, out, 8);
  if (rate == Rate80) packFields(QUIET_WIDTHS_80, QUIET_VALUES_80, 11, out, 10);
  if (rate == Rate118) packFields(QUIET_WIDTHS_118, QUIET_VALUES_118, 17, out, 18);
}

bool message_writer_start(MessageWriter* w, int rate, int effect, int depthByte,
                          const std::vector<uint8_t>& player, const ByteSink& sink) {
  w->rate = rate;
  w->blocks = 0;
  w->framesInBlock = 0;
  w->unplayable.clear();
  uint8_t zeros[4096] = {0};
  if (!player.empty() && !sink(player.data(), player.size())) return false;
  for (size_t at = player.size(); at < static_cast<size_t>(PAYLOAD_OFFSET);) {
    size_t n = static_cast<size_t>(PAYLOAD_OFFSET) - at < sizeof zeros
                   ? static_cast<size_t>(PAYLOAD_OFFSET) - at
                   : sizeof zeros;
    if (!sink(zeros, n)) return false;
    at += n;
  }
  uint8_t header[HEADER_BYTES] = {0};
  header[8] = static_cast<uint8_t>(rate);
  header[10] = static_cast<uint8_t>(effect);
  header[11] = static_cast<uint8_t>(depthByte);
  return sink(header, HEADER_BYTES);
}

bool message_writer_add_frame(MessageWriter* w, const uint8_t* frame, const ByteSink& sink) {
  const PackLayout& layout = layoutOf(w->rate, w->blocks);
  const size_t frameBytes = static_cast<size_t>(FRAME_BYTES[w->rate]);
  if (w->framesInBlock == 0)
    std::memcpy(w->plain, layout.header, static_cast<size_t>(layout.headerBytes));
  std::memcpy(w->plain + layout.headerBytes + static_cast<size_t>(w->framesInBlock) * frameBytes,
              frame, frameBytes);
  return ++w->framesInBlock < layout.frames || emitBlock(w, sink);
}

bool message_writer_finish(MessageWriter* w, const ByteSink& sink) {
  uint8_t quiet[18];
  quietFrame(w->rate, quiet);
  while (w->framesInBlock > 0)
    if (!message_writer_add_frame(w, quiet, sink)) return false;
  return true;
}

uint64_t message_size(int rate, uint64_t frames) {
  uint64_t perBlock = static_cast<uint64_t>(layoutOf(rate, 1).frames);
  // The first 6.4 kbit/s block holds one frame less.
  uint64_t counted = rate == Rate64 && frames > 0 ? frames + 1 : frames;
  uint64_t blocks = (counted + perBlock - 1) / perBlock;
  return static_cast<uint64_t>(PAYLOAD_OFFSET) + HEADER_BYTES + blocks * BLOCK_BYTES;
}

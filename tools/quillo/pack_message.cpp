#include "tools/quillo/pack_message.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "playback/container.h"
#include "tools/quillo/message_file.h"

namespace {

const char USAGE[] =
    "usage: quillo pack --rate RATE [--effect N] [--depth-byte B] [--player FILE] FRAMES -o "
    "MESSAGE";

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

bool parseInt(const char* text, int low, int high, int* value) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  *value = static_cast<int>(v);
  return true;
}

}  // namespace

void quietFrame(int rate, uint8_t* out) {
  if (rate == Rate64) packFields(QUIET_WIDTHS_64, QUIET_VALUES_64, 10, out, 8);
  if (rate == Rate80) packFields(QUIET_WIDTHS_80, QUIET_VALUES_80, 11, out, 10);
  if (rate == Rate118) packFields(QUIET_WIDTHS_118, QUIET_VALUES_118, 17, out, 18);
}

int parsePackArguments(int argc, char* const* argv, PackOptions* options, std::string* error) {
  PackOptions& o = *options;
  for (int i = 0; i < argc; i++) {
    const char* a = argv[i];
    bool hasValue = i + 1 < argc;
    if (std::strcmp(a, "--rate") == 0 && hasValue) {
      const char* r = argv[++i];
      o.rate = rateModeOfName(r);
      if (o.rate < 0) {
        *error = std::string("--rate ") + r + ": the rate is 6.4, 8 or 11.8";
        return 2;
      }
    } else if (std::strcmp(a, "--effect") == 0 && hasValue) {
      if (!parseInt(argv[++i], 0, 16, &o.effect)) {
        *error = std::string("--effect ") + argv[i] + ": the effect is a number from 0 to 16";
        return 2;
      }
    } else if (std::strcmp(a, "--depth-byte") == 0 && hasValue) {
      if (!parseInt(argv[++i], 0, 255, &o.depthByte)) {
        *error =
            std::string("--depth-byte ") + argv[i] + ": the depth byte is a number from 0 to 255";
        return 2;
      }
    } else if (std::strcmp(a, "--player") == 0 && hasValue) {
      o.playerPath = argv[++i];
    } else if (std::strcmp(a, "-o") == 0 && hasValue) {
      o.outPath = argv[++i];
    } else if (a[0] == '-' || o.framesPath) {
      *error = USAGE;
      return 2;
    } else {
      o.framesPath = a;
    }
  }
  if (o.rate < 0 || !o.framesPath || !o.outPath) {
    *error = USAGE;
    return 2;
  }
  return 0;
}

bool buildMessage(const PackOptions& options, const std::vector<uint8_t>& player,
                  const std::vector<uint8_t>& frames, std::vector<uint8_t>* message,
                  std::vector<int>* unplayable, std::string* error) {
  const int rate = options.rate;
  const char* framesName = options.framesPath ? options.framesPath : "frames";
  const char* playerName = options.playerPath ? options.playerPath : "player";
  if (rate < Rate64 || rate > Rate118) {
    *error = "no rate";
    return false;
  }
  const size_t frameBytes = static_cast<size_t>(FRAME_BYTES[rate]);
  if (frames.size() % frameBytes != 0) {
    *error = std::string(framesName) + ": " + std::to_string(frames.size()) +
             " bytes are not a whole number of " + std::to_string(frameBytes) + "-byte frames";
    return false;
  }
  if (player.size() > static_cast<size_t>(PAYLOAD_OFFSET)) {
    *error = std::string(playerName) + ": " + std::to_string(player.size()) +
             " bytes, more than the " + std::to_string(PAYLOAD_OFFSET) + " bytes a player may have";
    return false;
  }

  const size_t total = frames.size() / frameBytes;
  const size_t perBlock = static_cast<size_t>(rate == Rate80 ? 51 : rate == Rate118 ? 28 : 64);
  message->clear();
  message->reserve(PAYLOAD_OFFSET + HEADER_BYTES + (total / perBlock + 1) * BLOCK_BYTES);
  message->assign(player.begin(), player.end());
  message->resize(PAYLOAD_OFFSET, 0);
  uint8_t header[HEADER_BYTES] = {0};
  header[8] = static_cast<uint8_t>(rate);
  header[10] = static_cast<uint8_t>(options.effect);
  header[11] = static_cast<uint8_t>(options.depthByte);
  message->insert(message->end(), header, header + HEADER_BYTES);

  uint8_t quiet[18];
  quietFrame(rate, quiet);
  unplayable->clear();
  size_t next = 0;
  for (int b = 0; next < total; b++) {
    const PackLayout& layout = rate == Rate80    ? LAYOUT_80
                               : rate == Rate118 ? LAYOUT_118
                               : b == 0          ? LAYOUT_64_FIRST
                                                 : LAYOUT_64;
    uint8_t plain[BLOCK_BYTES];
    std::memcpy(plain, layout.header, static_cast<size_t>(layout.headerBytes));
    for (int f = 0; f < layout.frames; f++, next++) {
      const uint8_t* frame = next < total ? frames.data() + next * frameBytes : quiet;
      std::memcpy(plain + layout.headerBytes + f * frameBytes, frame, frameBytes);
    }
    if (b > 0 && block_layout(plain, 0, rate).result == BLOCK_REJECTED) unplayable->push_back(b);
    uint8_t block[BLOCK_BYTES];
    scramble_bytes(plain, block, BLOCK_BYTES);
    message->insert(message->end(), block, block + BLOCK_BYTES);
  }
  return true;
}

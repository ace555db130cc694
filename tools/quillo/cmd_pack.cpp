// quillo pack --rate RATE [--effect N] [--depth-byte B] [--player FILE] FRAMES -o MESSAGE
//
// Makes a message: the player (padded with zeros to 98,304 bytes), the
// header, then the frames in scrambled 512-byte blocks of the rate's layout:
//   6.4 kbit/s  first block: 8 zero bytes and 63 frames; later blocks 64 frames
//   8 kbit/s    every block: 0x10 0x00 and 51 frames
//   11.8 kbit/s every block: 0x20 and seven 0x00, then 28 frames
// The last block is always whole: its free frames are quiet frames, so the
// player never decodes stale bytes of the previous block there.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "playback/container.h"
#include "tools/quillo/commands.h"
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

void quietFrame(int rate, uint8_t* out) {
  if (rate == Rate64) packFields(QUIET_WIDTHS_64, QUIET_VALUES_64, 10, out, 8);
  if (rate == Rate80) packFields(QUIET_WIDTHS_80, QUIET_VALUES_80, 11, out, 10);
  if (rate == Rate118) packFields(QUIET_WIDTHS_118, QUIET_VALUES_118, 17, out, 18);
}

bool parseInt(const char* text, int low, int high, int* value) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  *value = static_cast<int>(v);
  return true;
}

// Writes `data` to `path` under a temporary name, renamed when complete.
// `mode` (when not 0) becomes the file's permission bits.
bool writeMessage(const char* path, const std::vector<uint8_t>& data, mode_t mode,
                  std::string* error) {
  std::string temp = std::string(path) + ".part";
  FILE* file = std::fopen(temp.c_str(), "wb");
  if (!file) {
    *error = std::string(path) + ": cannot write: " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
  ok = std::fclose(file) == 0 && ok;
  if (ok && mode != 0) ok = chmod(temp.c_str(), mode) == 0;
  if (!ok || std::rename(temp.c_str(), path) != 0) {
    *error = std::string(path) + ": write failed";
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

int cmd_pack(int argc, char** argv) {
  int rate = -1, effect = 0, depthByte = 0;
  const char* playerPath = nullptr;
  const char* framesPath = nullptr;
  const char* outPath = nullptr;
  for (int i = 0; i < argc; i++) {
    const char* a = argv[i];
    bool hasValue = i + 1 < argc;
    if (std::strcmp(a, "--rate") == 0 && hasValue) {
      const char* r = argv[++i];
      if (std::strcmp(r, "6.4") == 0)
        rate = Rate64;
      else if (std::strcmp(r, "8") == 0)
        rate = Rate80;
      else if (std::strcmp(r, "11.8") == 0)
        rate = Rate118;
      else
        return tool_error(2, "--rate %s: the rate is 6.4, 8 or 11.8", r);
    } else if (std::strcmp(a, "--effect") == 0 && hasValue) {
      if (!parseInt(argv[++i], 0, 16, &effect))
        return tool_error(2, "--effect %s: the effect is a number from 0 to 16", argv[i]);
    } else if (std::strcmp(a, "--depth-byte") == 0 && hasValue) {
      if (!parseInt(argv[++i], 0, 255, &depthByte))
        return tool_error(2, "--depth-byte %s: the depth byte is a number from 0 to 255", argv[i]);
    } else if (std::strcmp(a, "--player") == 0 && hasValue) {
      playerPath = argv[++i];
    } else if (std::strcmp(a, "-o") == 0 && hasValue) {
      outPath = argv[++i];
    } else if (a[0] == '-' || framesPath) {
      return tool_error(2, "%s", USAGE);
    } else {
      framesPath = a;
    }
  }
  if (rate < 0 || !framesPath || !outPath) return tool_error(2, "%s", USAGE);

  std::string error;
  std::vector<uint8_t> frames;
  if (!readInputFile(framesPath, &frames, &error)) return tool_error(1, "%s", error.c_str());
  const size_t frameBytes = static_cast<size_t>(FRAME_BYTES[rate]);
  if (frames.size() % frameBytes != 0)
    return tool_error(1, "%s: %zu bytes are not a whole number of %zu-byte frames", framesPath,
                      frames.size(), frameBytes);

  std::vector<uint8_t> message;
  mode_t mode = 0;
  if (playerPath) {
    if (!readInputFile(playerPath, &message, &error)) return tool_error(1, "%s", error.c_str());
    if (message.size() > static_cast<size_t>(PAYLOAD_OFFSET))
      return tool_error(1, "%s: %zu bytes, more than the %d bytes a player may have", playerPath,
                        message.size(), PAYLOAD_OFFSET);
    struct stat st;
    if (stat(playerPath, &st) == 0) mode = (st.st_mode & 07777) | S_IRUSR | S_IWUSR;
  }
  message.resize(PAYLOAD_OFFSET, 0);
  uint8_t header[HEADER_BYTES] = {0};
  header[8] = static_cast<uint8_t>(rate);
  header[10] = static_cast<uint8_t>(effect);
  header[11] = static_cast<uint8_t>(depthByte);
  message.insert(message.end(), header, header + HEADER_BYTES);

  uint8_t quiet[18];
  quietFrame(rate, quiet);
  const size_t total = frames.size() / frameBytes;
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
    if (b > 0 && block_layout(plain, 0, rate).result == BLOCK_REJECTED)
      std::fprintf(stderr,
                   "quillo: warning: block %d (at %s) starts with bytes that read as another "
                   "rate's block header; the player will play it as silence\n",
                   b, clockText(positionSeconds(static_cast<uint8_t>(rate), b)).c_str());
    uint8_t block[BLOCK_BYTES];
    scramble_bytes(plain, block, BLOCK_BYTES);
    message.insert(message.end(), block, block + BLOCK_BYTES);
  }
  if (!writeMessage(outPath, message, mode, &error)) return tool_error(1, "%s", error.c_str());
  return 0;
}

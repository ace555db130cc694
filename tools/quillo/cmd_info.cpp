// quillo info MESSAGE: what the player makes of a message file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codec/block_decoder.h"
#include "playback/container.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/effect_names.h"
#include "tools/quillo/message_file.h"
#include "tools/quillo/players.h"

namespace {

// What the player does with the blocks of the message, block by block.
struct BlockSurvey {
  int blocks = 0;          // blocks that delivered at least one byte
  int lastBytes = 0;       // bytes of the last of them
  int rejected = 0;        // blocks the player plays as silence
  int firstRejected = -1;  // number of the first of them
  int mismatched = 0;      // accepted blocks whose rate is not the header's
  int firstMismatched = -1;
  int mismatchedRate = 0;  // the rate of the first of them
};

// Walks the payload as a playback from the start does: the same reads (a
// short block keeps the previous block's tail), the priming pass on the
// first block and the layout rules of the block decoder.
BlockSurvey surveyBlocks(int headerRate) {
  BlockSurvey s;
  playerState.blockPosition = 0;
  openPayloadAt();
  int previous = BLOCK_REJECTED;
  int n;
  while ((n = readBlock()) > 0) {
    uint8_t plain[BLOCK_BYTES];
    scramble_bytes(playerState.blockBuffer, plain, BLOCK_BYTES);
    if (s.blocks == 0) {
      BlockLayout priming = block_layout(plain, 1, previous);
      if (priming.result != BLOCK_REJECTED) previous = priming.result;
    }
    BlockLayout layout = block_layout(plain, 0, previous);
    if (layout.result == BLOCK_REJECTED) {
      if (s.rejected++ == 0) s.firstRejected = s.blocks;
    } else {
      previous = layout.result;
      if (layout.result != headerRate && s.mismatched++ == 0) {
        s.firstMismatched = s.blocks;
        s.mismatchedRate = layout.result;
      }
    }
    s.blocks++;
    s.lastBytes = n;
  }
  closePayload();
  return s;
}

}  // namespace

int cmd_info(int argc, char** argv) {
  if (argc != 1 || argv[0][0] == '-') return tool_error(2, "usage: quillo info MESSAGE");
  const char* path = argv[0];
  std::string error;
  int64_t length = checkMessageFile(path, &error);
  if (length < 0) return tool_error(1, "%s", error.c_str());
  if (!setProgramPath(path)) return tool_error(1, "%s: path too long", path);
  readMessageHeader();
  const PlayerState& p = playerState;
  int headerRate = p.rateCode < 2 ? p.rateCode : 2;
  BlockSurvey s = surveyBlocks(headerRate);

  std::printf("message:  %s (%lld bytes)\n", path, static_cast<long long>(length));
  std::vector<uint8_t> program;
  if (!readProgramPart(path, &program, &error)) return tool_error(1, "%s", error.c_str());
  bool known;
  std::printf("program:  %s\n", describeProgram(program.data(), program.size(), &known).c_str());
  std::printf("rate:     %s kbit/s (rate code %d)\n", rateName(p.rateCode), p.rateCode);
  std::printf("effect:   %d, %s", p.effectId, effectFamily(p.effectId));
  if (p.effectId > 0 && p.effectId < EFFECT_CHOICES) std::printf(": %s", effectName(p.effectId));
  std::printf("\n");
  std::printf("depth:    %d (depth byte %d)\n",
              static_cast<int8_t>(static_cast<uint8_t>(127 - p.depthByte)), p.depthByte);
  std::printf("length:   %s\n", clockText(p.totalSeconds).c_str());
  std::printf("blocks:   %d\n", s.blocks);
  if (s.blocks > 0 && s.lastBytes < BLOCK_BYTES)
    std::printf(
        "short:    the last block has %d of %d bytes; the player decodes the rest "
        "from the previous block's bytes\n",
        s.lastBytes, BLOCK_BYTES);
  if (s.rejected == 0) {
    std::printf("rejected: 0\n");
  } else {
    std::printf("rejected: %d, the first is block %d at %s; they play as silence\n", s.rejected,
                s.firstRejected, clockText(positionSeconds(p.rateCode, s.firstRejected)).c_str());
  }
  if (s.mismatched > 0)
    std::printf(
        "mismatch: %d blocks are not at the header's rate, the first is block %d "
        "(%s kbit/s); their sound is cut or padded to the header's buffer\n",
        s.mismatched, s.firstMismatched, rateName(s.mismatchedRate));
  return s.rejected > 0 || s.mismatched > 0 ? 3 : 0;
}

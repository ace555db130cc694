// quillo info MESSAGE: what the player makes of a message file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codec/block_decoder.h"
#include "playback/message_reader.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/effect_names.h"
#include "tools/quillo/message_file.h"
#include "tools/quillo/players.h"

int cmd_info(int argc, char** argv) {
  if (argc != 1 || argv[0][0] == '-') return tool_error(2, "usage: quillo info MESSAGE");
  const char* path = argv[0];
  std::string error;
  int64_t length = checkMessageFile(path, &error);
  if (length < 0) return tool_error(1, "%s", error.c_str());
  MessageFile file;
  if (!openMessageFile(path, &file)) return tool_error(1, "%s: cannot read", path);
  MessageSource source = messageSourceOfFile(&file);
  const MessageHeaderValues p = readMessageHeaderValues(source);
  MessageSurvey s = surveyMessage(source);
  closeMessageFile(&file);

  std::printf("message:  %s (%lld bytes)\n", path, static_cast<long long>(length));
  std::vector<uint8_t> program;
  if (!readProgramPart(path, &program, &error)) return tool_error(1, "%s", error.c_str());
  bool known;
  std::printf("program:  %s\n", describeProgram(program.data(), program.size(), &known).c_str());
  std::printf("rate:     %s kbit/s (rate code %d)\n", rateName(p.rateCode), p.rateCode);
  std::printf("effect:   %d, %s", p.effectId, effectFamily(p.effectId));
  if (p.effectId > 0 && p.effectId < EFFECT_CHOICES) std::printf(": %s", effectName(p.effectId));
  std::printf("\n");
  std::printf("depth:    %d (depth byte %d)\n", p.depth, p.depthByte);
  std::printf("length:   %s\n", clockText(p.totalSeconds).c_str());
  std::printf("blocks:   %lld\n", static_cast<long long>(s.blocks));
  if (s.blocks > 0 && s.lastBytes < BLOCK_BYTES)
    std::printf(
        "short:    the last block has %d of %d bytes; the player decodes the rest "
        "from the previous block's bytes\n",
        s.lastBytes, BLOCK_BYTES);
  if (s.rejected == 0) {
    std::printf("rejected: 0\n");
  } else {
    std::printf(
        "rejected: %lld, the first is block %lld at %s; they play as silence\n",
        static_cast<long long>(s.rejected), static_cast<long long>(s.firstRejected),
        clockText(positionSeconds(p.rateCode, static_cast<int32_t>(s.firstRejected))).c_str());
  }
  if (s.mismatched > 0)
    std::printf(
        "mismatch: %lld blocks are not at the header's rate, the first is block %lld "
        "(%s kbit/s); their sound is cut or padded to the header's buffer\n",
        static_cast<long long>(s.mismatched), static_cast<long long>(s.firstMismatched),
        rateName(s.mismatchedRate));
  return s.rejected > 0 || s.mismatched > 0 ? 3 : 0;
}

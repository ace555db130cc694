// quillo decode MESSAGE -o OUT [--dry]: the PCM the player plays, after its
// two silent start buffers: one full buffer for every block that delivered at
// least one byte, through the message's voice effect unless --dry.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codec/basicop/diagnostics.h"
#include "codec/decoder.h"
#include "playback/container.h"
#include "playback/refill.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/message_file.h"
#include "tools/quillo/pcm_output.h"

static void diagnosticToStderr(const char* line) { std::fputs(line, stderr); }

int cmd_decode_message(int argc, char** argv) {
  const char* message = nullptr;
  const char* outPath = nullptr;
  bool dry = false;
  for (int i = 0; i < argc; i++) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      outPath = argv[++i];
    } else if (std::strcmp(argv[i], "--dry") == 0) {
      dry = true;
    } else if (argv[i][0] == '-' || message) {
      return tool_error(2, "usage: quillo decode MESSAGE -o OUT [--dry]");
    } else {
      message = argv[i];
    }
  }
  if (!message || !outPath) return tool_error(2, "usage: quillo decode MESSAGE -o OUT [--dry]");

  std::string error;
  if (checkMessageFile(message, &error) < 0) return tool_error(1, "%s", error.c_str());
  if (!setProgramPath(message)) return tool_error(1, "%s: path too long", message);

  set_decoder_message_sink(diagnosticToStderr);
  decoder_program_start();
  readMessageHeader();
  PlayerState& p = playerState;
  // The depth handed to playback: 127 - depth byte as a signed 8-bit value.
  int8_t depth = static_cast<int8_t>(static_cast<uint8_t>(127 - p.depthByte));
  startRefills(dry ? 0 : p.effectId, depth);
  p.blockPosition = 0;
  openPayloadAt();

  PcmOutput out;
  if (!pcm_output_open(&out, outPath, &error)) {
    closePayload();
    return tool_error(1, "%s", error.c_str());
  }
  std::vector<int16_t> buffer(static_cast<size_t>(p.bufferBytes / 2));
  while (readBlock() > 0) {
    refillPcm(buffer.data(), p.bufferBytes, p.blockBuffer);
    p.blockPosition++;
    if (!pcm_output_write(&out, buffer.data(), buffer.size(), &error)) {
      closePayload();
      pcm_output_abort(&out);
      return tool_error(1, "%s", error.c_str());
    }
  }
  closePayload();
  if (!pcm_output_close(&out, &error)) return tool_error(1, "%s", error.c_str());
  return 0;
}

// quillo decode MESSAGE -o OUT [--dry]: the PCM the player plays, after its
// two silent start buffers: one full buffer for every block that delivered at
// least one byte, through the message's voice effect unless --dry.
#include <cstdio>
#include <cstring>
#include <string>

#include "codec/basicop/diagnostics.h"
#include "playback/message_reader.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/message_file.h"
#include "tools/quillo/pcm_output.h"

static void diagnosticToStderr(const char* line) { std::fputs(line, stderr); }

struct PcmSink {
  PcmOutput* out;
  std::string* error;
};

static bool writeBuffer(void* context, const int16_t* samples, size_t count) {
  PcmSink* sink = static_cast<PcmSink*>(context);
  return pcm_output_write(sink->out, samples, count, sink->error);
}

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
  MessageFile file;
  if (!openMessageFile(message, &file)) return tool_error(1, "%s: cannot read", message);
  PcmOutput out;
  if (!pcm_output_open(&out, outPath, &error)) {
    closeMessageFile(&file);
    return tool_error(1, "%s", error.c_str());
  }
  set_decoder_message_sink(diagnosticToStderr);
  PcmSink sink = {&out, &error};
  bool decoded = playMessageSamples(messageSourceOfFile(&file), dry, writeBuffer, &sink);
  set_decoder_message_sink(nullptr);
  closeMessageFile(&file);
  if (!decoded) {
    pcm_output_abort(&out);
    return tool_error(1, "%s", error.c_str());
  }
  if (!pcm_output_close(&out, &error)) return tool_error(1, "%s", error.c_str());
  return 0;
}

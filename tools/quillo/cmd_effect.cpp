// quillo effect ID DEPTH IN -o OUT: runs 16-bit mono audio through one voice
// effect, as the player would run a message with that effect id and depth.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "effects/effects.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/message_file.h"
#include "tools/quillo/audio_input.h"
#include "tools/quillo/pcm_output.h"

int cmd_effect(int argc, char** argv) {
  const char* positional[3];
  int count = 0;
  const char* outPath = nullptr;
  for (int i = 0; i < argc; i++) {
    if (std::strcmp(argv[i], "-o") == 0) {
      if (i + 1 >= argc) return tool_error(2, "effect: -o needs a file name");
      outPath = argv[++i];
    } else if (count < 3) {
      positional[count++] = argv[i];
    } else {
      return tool_error(2, "effect: unexpected argument '%s'", argv[i]);
    }
  }
  if (count != 3 || !outPath) return tool_error(2, "usage: quillo effect ID DEPTH IN -o OUT");
  int id, depth;
  if (!parseWholeNumber(positional[0], 0, 16, &id))
    return tool_error(2, "effect: ID must be a number from 0 to 16, not '%s'", positional[0]);
  if (!parseWholeNumber(positional[1], -128, 127, &depth))
    return tool_error(2, "effect: DEPTH must be a number from -128 to 127, not '%s'",
                      positional[1]);

  AudioInput in;
  std::string error;
  if (!audio_input_open(&in, positional[2], INPUT_RAW_STDIN, &error) ||
      !audio_input_is_8k_mono16(in, &error)) {
    audio_input_close(&in);
    return tool_error(1, "%s", error.c_str());
  }
  PcmOutput out;
  if (!pcm_output_open(&out, outPath, &error)) {
    audio_input_close(&in);
    return tool_error(1, "%s", error.c_str());
  }
  // The whole input is one stream: one reset, then the samples in order.
  resetEffect((int8_t)id, (int8_t)depth);
  int16_t samples[4096];
  size_t n;
  bool ok = true;
  while (ok && (n = audio_input_read16(&in, samples, 4096)) > 0) {
    applyEffect(samples, (int)n);
    ok = pcm_output_write(&out, samples, n, &error);
  }
  audio_input_close(&in);
  if (!ok) {
    pcm_output_abort(&out);
    return tool_error(1, "%s", error.c_str());
  }
  if (!pcm_output_close(&out, &error)) return tool_error(1, "%s", error.c_str());
  return 0;
}

// quillo effect ID DEPTH IN -o OUT: runs 16-bit mono audio through one voice
// effect, as the player would run a message with that effect id and depth.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "effects/effects.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/pcm_input.h"
#include "tools/quillo/pcm_output.h"

// Parses a whole decimal integer in [lo, hi].
static bool parseInt(const char* s, long lo, long hi, long* value) {
  if (!*s) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *value = v;
  return true;
}

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
  long id, depth;
  if (!parseInt(positional[0], 0, 16, &id))
    return tool_error(2, "effect: ID must be a number from 0 to 16, not '%s'", positional[0]);
  if (!parseInt(positional[1], -128, 127, &depth))
    return tool_error(2, "effect: DEPTH must be a number from -128 to 127, not '%s'",
                      positional[1]);

  PcmInput in;
  std::string error;
  if (!pcm_input_read(positional[2], &in, &error)) return tool_error(1, "%s", error.c_str());
  if (in.sampleRate != 8000)
    return tool_error(1, "%s: %u Hz; the effects need 8000 Hz", positional[2],
                      (unsigned)in.sampleRate);

  // The whole input is one stream: one reset, then the samples in order.
  resetEffect((int8_t)id, (int8_t)depth);
  const size_t chunk = 4096;
  for (size_t done = 0; done < in.samples.size(); done += chunk) {
    size_t n = in.samples.size() - done < chunk ? in.samples.size() - done : chunk;
    applyEffect(in.samples.data() + done, (int)n);
  }

  PcmOutput out;
  if (!pcm_output_open(&out, outPath, &error)) return tool_error(1, "%s", error.c_str());
  if (!pcm_output_write(&out, in.samples.data(), in.samples.size(), &error)) {
    pcm_output_abort(&out);
    return tool_error(1, "%s", error.c_str());
  }
  if (!pcm_output_close(&out, &error)) return tool_error(1, "%s", error.c_str());
  return 0;
}

// quillo encode --rate 6.4|8|11.8[,RATE...] IN -o OUT [--g192]: 8 kHz mono
// 16-bit speech to frames, as payload blocks store them (8, 10 or 18 bytes
// each), or with --g192 as an ITU-T G.192 serial bitstream. A list of rates
// is cycled frame by frame and needs --g192, since raw frames do not say
// their rate. --raw takes IN as raw samples whatever its name.
#include <cstring>
#include <string>

#include "codec/g192.h"
#include "tools/quillo/audio_input.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/message_file.h"
#include "tools/quillo/output_file.h"
#include "tools/quillo/speech_encoder.h"

static const char USAGE[] =
    "usage: quillo encode --rate 6.4|8|11.8[,RATE...] IN -o OUT [--g192] [--raw]";

// Parses "8" or "8,6.4,..." into rate modes; returns their count, 0 if bad.
static int parseRateList(const char* text, int* rates) {
  std::string list = text;
  int count = 0;
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string name = list.substr(start, comma == std::string::npos ? comma : comma - start);
    int mode = rateModeOfName(name.c_str());
    if (mode < 0 || count == MAX_RATE_CYCLE) return 0;
    rates[count++] = mode;
    if (comma == std::string::npos) return count;
    start = comma + 1;
  }
}

int cmd_encode(int argc, char** argv) {
  const char* rateText = nullptr;
  const char* inPath = nullptr;
  const char* outPath = nullptr;
  bool g192 = false, raw = false;
  for (int i = 0; i < argc; i++) {
    const char* a = argv[i];
    if ((std::strcmp(a, "--rate") == 0 || std::strcmp(a, "-o") == 0) && i + 1 < argc) {
      (a[1] == 'o' ? outPath : rateText) = argv[++i];
    } else if (std::strcmp(a, "--g192") == 0) {
      g192 = true;
    } else if (std::strcmp(a, "--raw") == 0) {
      raw = true;
    } else if ((a[0] == '-' && a[1] != '\0') || inPath) {
      return tool_error(2, "%s", USAGE);
    } else {
      inPath = a;
    }
  }
  if (!rateText || !inPath || !outPath) return tool_error(2, "%s", USAGE);
  int rates[MAX_RATE_CYCLE];
  int rateCount = parseRateList(rateText, rates);
  if (rateCount == 0)
    return tool_error(2, "encode: --rate %s: give 6.4, 8 or 11.8, or up to %d of them with commas",
                      rateText, MAX_RATE_CYCLE);
  if (rateCount > 1 && !g192)
    return tool_error(2,
                      "encode: a list of rates needs --g192 (raw frames do not carry their rate)");

  AudioInput in;
  std::string error;
  if (!audio_input_open(&in, inPath, raw ? INPUT_RAW : INPUT_RAW_STDIN, &error) ||
      !audio_input_is_8k_mono16(in, &error)) {
    audio_input_close(&in);
    return tool_error(1, "%s", error.c_str());
  }
  OutputFile out;
  if (!output_open(&out, outPath, &error)) {
    audio_input_close(&in);
    return tool_error(1, "%s", error.c_str());
  }
  SpeechEncoder enc;
  speech_encoder_start(&enc, rates, rateCount);
  FrameSink sink = [&](const uint8_t* frame, int rate) {
    uint8_t bits[2 * (2 + 118)];
    if (!g192) return output_write(&out, frame, static_cast<size_t>(FRAME_BYTES[rate]), &error);
    return output_write(&out, bits, g192_write_frame(frame, rate, bits), &error);
  };
  int16_t samples[4096];
  size_t n;
  bool ok = true;
  while (ok && (n = audio_input_read16(&in, samples, 4096)) > 0)
    ok = speech_encoder_push(&enc, samples, n, sink);
  ok = ok && speech_encoder_finish(&enc, sink);
  audio_input_close(&in);
  if (!ok) {
    output_abort(&out);
    return tool_error(1, "%s", error.c_str());
  }
  if (!output_commit(&out, 0, &error)) return tool_error(1, "%s", error.c_str());
  return 0;
}

// quillo decode --frames RATE FILE -o OUT: a run of frames as they sit in a
// payload block, all of one rate.
// quillo decode --g192 FILE -o OUT: an ITU-T G.192 serial bitstream, the
// rate chosen frame by frame.
// Both decode from the state of a freshly started program.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codec/basicop/diagnostics.h"
#include "codec/decoder.h"
#include "codec/g192.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/message_file.h"
#include "tools/quillo/pcm_output.h"

static const int EXIT_UNDECODABLE = 3;

struct StreamArgs {
  const char* rate = nullptr;  // --frames RATE
  bool g192 = false;
  const char* input = nullptr;
  const char* output = nullptr;
};

static int parseArgs(int argc, char** argv, StreamArgs* args) {
  for (int i = 0; i < argc; i++) {
    const char* a = argv[i];
    if (std::strcmp(a, "--frames") == 0 || std::strcmp(a, "-o") == 0) {
      if (i + 1 >= argc) return tool_error(2, "%s needs a value", a);
      if (a[1] == 'o')
        args->output = argv[++i];
      else
        args->rate = argv[++i];
    } else if (std::strcmp(a, "--g192") == 0) {
      args->g192 = true;
    } else if (a[0] == '-' && a[1] != '\0') {
      return tool_error(2, "decode: unknown option '%s'", a);
    } else if (args->input) {
      return tool_error(2, "decode: more than one input file ('%s', '%s')", args->input, a);
    } else {
      args->input = a;
    }
  }
  if ((args->rate != nullptr) == args->g192)
    return tool_error(2, "decode: give exactly one of --frames RATE and --g192");
  if (!args->input) return tool_error(2, "decode: no input file");
  if (!args->output) return tool_error(2, "decode: no output (-o OUT)");
  return 0;
}

static bool readWholeFile(const char* path, std::vector<uint8_t>* data) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data->insert(data->end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// The decoder's diagnostic lines never mix with PCM on standard output.
static void messageToStderr(const char* line) { std::fputs(line, stderr); }

static int decodeFrames(const StreamArgs& args, const std::vector<uint8_t>& data, PcmOutput* out) {
  int rate_mode = rateModeOfName(args.rate);
  size_t frame_bytes = (size_t)FRAME_BYTES[rate_mode];
  Word16 pcm[FRAME_SAMPLES];
  std::string error;
  for (size_t at = 0; at < data.size(); at += frame_bytes) {
    decode_frame(data.data() + at, rate_mode, pcm);
    if (!pcm_output_write(out, pcm, FRAME_SAMPLES, &error)) {
      pcm_output_abort(out);
      return tool_error(1, "%s", error.c_str());
    }
  }
  if (!pcm_output_close(out, &error)) return tool_error(1, "%s", error.c_str());
  return 0;
}

static int decodeG192(const StreamArgs& args, const std::vector<uint8_t>& data, PcmOutput* out) {
  Word16 pcm[FRAME_SAMPLES];
  std::string error;
  size_t offset = 0;
  long frame_number = 0;
  G192Frame frame;
  G192Result result;
  while ((result = g192_read_frame(data.data(), data.size(), &offset, &frame)) == G192_FRAME) {
    decode_frame(frame.bytes, frame.rate_mode, pcm);
    if (!pcm_output_write(out, pcm, FRAME_SAMPLES, &error)) {
      pcm_output_abort(out);
      return tool_error(1, "%s", error.c_str());
    }
    frame_number++;
  }
  if (!pcm_output_close(out, &error)) return tool_error(1, "%s", error.c_str());
  if (result == G192_END) return 0;
  return tool_error(EXIT_UNDECODABLE,
                    "%s: frame %ld (counting from 0, at byte %zu): %s; wrote the %ld frames "
                    "before it",
                    args.input, frame_number, offset, g192_result_text(result), frame_number);
}

int cmd_decode_stream(int argc, char** argv) {
  StreamArgs args;
  int status = parseArgs(argc, argv, &args);
  if (status != 0) return status;
  if (args.rate && rateModeOfName(args.rate) < 0)
    return tool_error(2, "decode: unknown rate '%s' (use 6.4, 8 or 11.8)", args.rate);

  std::vector<uint8_t> data;
  if (!readWholeFile(args.input, &data)) return tool_error(1, "%s: cannot read", args.input);
  if (args.rate) {
    size_t frame_bytes = (size_t)FRAME_BYTES[rateModeOfName(args.rate)];
    if (data.size() % frame_bytes != 0)
      return tool_error(1,
                        "%s: %zu bytes is not a whole number of %zu-byte frames at %s kbit/s "
                        "(%zu bytes left over after %zu frames)",
                        args.input, data.size(), frame_bytes, args.rate, data.size() % frame_bytes,
                        data.size() / frame_bytes);
  }

  PcmOutput out;
  std::string error;
  if (!pcm_output_open(&out, args.output, &error)) return tool_error(1, "%s", error.c_str());
  set_decoder_message_sink(messageToStderr);
  decoder_program_start();
  status = args.rate ? decodeFrames(args, data, &out) : decodeG192(args, data, &out);
  set_decoder_message_sink(nullptr);
  return status;
}

// quillo: decode, inspect, pack and play Quillo voice messages.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tools/quillo/commands.h"

static const char USAGE[] =
    "usage:\n"
    "  quillo make INPUT -o OUTPUT [--rate 6.4|8|11.8] [--effect ID|NAME] [--mix PERCENT]\n"
    "              [--depth-byte B] [--player windows|linux|none|FILE] [--normalize]\n"
    "                                            a message from any recording\n"
    "  quillo record -o OUTPUT [--seconds N] [--save FILE.wav] [make's options]\n"
    "                                            a message from the microphone\n"
    "  quillo effects                            list the voice effects\n"
    "  quillo decode --frames RATE FILE -o OUT   decode raw frames (RATE 6.4, 8 or 11.8)\n"
    "  quillo decode --g192 FILE -o OUT          decode an ITU-T G.192 bitstream\n"
    "  quillo decode MESSAGE -o OUT [--dry]      decode a message as the player plays it\n"
    "  quillo info MESSAGE                       describe a message\n"
    "  quillo pack --rate RATE [--effect N] [--depth-byte B] [--player FILE] FRAMES -o MESSAGE\n"
    "  quillo encode --rate RATE[,RATE...] IN -o OUT [--g192] [--raw]\n"
    "                                            encode 8 kHz mono 16-bit speech to frames\n"
    "  quillo effect ID DEPTH IN -o OUT         apply a voice effect to 16-bit mono audio\n"
    "  quillo play MESSAGE                       play a message in the terminal\n"
    "  quillo --version                          print the version\n"
    "OUT is a .wav file, raw 16-bit little-endian samples for .raw or .pcm, or - for\n"
    "raw samples on standard output.\n";

int tool_error(int status, const char* format, ...) {
  std::fputs("quillo: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  return status;
}

static bool hasOption(int argc, char** argv, const char* name) {
  for (int i = 0; i < argc; i++)
    if (std::strcmp(argv[i], name) == 0) return true;
  return false;
}

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(USAGE, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("quillo %s\n", QUILLO_VERSION);
    return 0;
  }
  const char* command = argv[1];
  int subArgc = argc - 2;
  char** subArgv = argv + 2;
  if (std::strcmp(command, "decode") == 0) {
    if (hasOption(subArgc, subArgv, "--frames") || hasOption(subArgc, subArgv, "--g192"))
      return cmd_decode_stream(subArgc, subArgv);
    return cmd_decode_message(subArgc, subArgv);
  }
  if (std::strcmp(command, "info") == 0) return cmd_info(subArgc, subArgv);
  if (std::strcmp(command, "pack") == 0) return cmd_pack(subArgc, subArgv);
  if (std::strcmp(command, "effect") == 0) return cmd_effect(subArgc, subArgv);
  if (std::strcmp(command, "make") == 0) return cmd_make(subArgc, subArgv);
  if (std::strcmp(command, "record") == 0) return cmd_record(subArgc, subArgv);
  if (std::strcmp(command, "effects") == 0) return cmd_effects(subArgc, subArgv);
  if (std::strcmp(command, "encode") == 0) return cmd_encode(subArgc, subArgv);
  if (std::strcmp(command, "play") == 0) return cmd_play(subArgc, subArgv);
  std::fputs(USAGE, stderr);
  return tool_error(2, "unknown command '%s'", command);
}

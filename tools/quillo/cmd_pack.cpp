// quillo pack --rate RATE [--effect N] [--depth-byte B] [--player FILE] FRAMES -o MESSAGE
//
// Makes a message from a file of frames (see buildMessage for the layout)
// and writes it under a temporary name, renamed when complete; with
// --player the message keeps the player's permission bits.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "playback/message_format.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/message_file.h"
#include "tools/quillo/pack_message.h"

namespace {

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
  PackOptions options;
  std::string error;
  int status = parsePackArguments(argc, argv, &options, &error);
  if (status != 0) return tool_error(status, "%s", error.c_str());

  std::vector<uint8_t> frames;
  if (!readInputFile(options.framesPath, &frames, &error))
    return tool_error(1, "%s", error.c_str());
  std::vector<uint8_t> player;
  mode_t mode = 0;
  if (options.playerPath) {
    if (!readInputFile(options.playerPath, &player, &error))
      return tool_error(1, "%s", error.c_str());
    struct stat st;
    if (stat(options.playerPath, &st) == 0) mode = (st.st_mode & 07777) | S_IRUSR | S_IWUSR;
  }

  std::vector<uint8_t> message;
  std::vector<int> unplayable;
  if (!buildMessage(options, player, frames, &message, &unplayable, &error))
    return tool_error(1, "%s", error.c_str());
  for (int b : unplayable)
    std::fprintf(stderr,
                 "quillo: warning: block %d (at %s) starts with bytes that read as another "
                 "rate's block header; the player will play it as silence\n",
                 b, clockText(positionSeconds(static_cast<uint8_t>(options.rate), b)).c_str());
  if (!writeMessage(options.outPath, message, mode, &error))
    return tool_error(1, "%s", error.c_str());
  return 0;
}

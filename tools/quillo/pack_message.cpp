#include "tools/quillo/pack_message.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "codec/decoder.h"
#include "playback/message_format.h"
#include "tools/quillo/message_file.h"

namespace {

const char USAGE[] =
    "usage: quillo pack --rate RATE [--effect N] [--depth-byte B] [--player FILE] FRAMES -o "
    "MESSAGE";

}  // namespace

int parsePackArguments(int argc, char* const* argv, PackOptions* options, std::string* error) {
  PackOptions& o = *options;
  for (int i = 0; i < argc; i++) {
    const char* a = argv[i];
    bool hasValue = i + 1 < argc;
    if (std::strcmp(a, "--rate") == 0 && hasValue) {
      const char* r = argv[++i];
      o.rate = rateModeOfName(r);
      if (o.rate < 0) {
        *error = std::string("--rate ") + r + ": the rate is 6.4, 8 or 11.8";
        return 2;
      }
    } else if (std::strcmp(a, "--effect") == 0 && hasValue) {
      if (!parseWholeNumber(argv[++i], 0, 16, &o.effect)) {
        *error = std::string("--effect ") + argv[i] + ": the effect is a number from 0 to 16";
        return 2;
      }
    } else if (std::strcmp(a, "--depth-byte") == 0 && hasValue) {
      if (!parseWholeNumber(argv[++i], 0, 255, &o.depthByte)) {
        *error =
            std::string("--depth-byte ") + argv[i] + ": the depth byte is a number from 0 to 255";
        return 2;
      }
    } else if (std::strcmp(a, "--player") == 0 && hasValue) {
      o.playerPath = argv[++i];
    } else if (std::strcmp(a, "-o") == 0 && hasValue) {
      o.outPath = argv[++i];
    } else if (a[0] == '-' || o.framesPath) {
      *error = USAGE;
      return 2;
    } else {
      o.framesPath = a;
    }
  }
  if (o.rate < 0 || !o.framesPath || !o.outPath) {
    *error = USAGE;
    return 2;
  }
  return 0;
}

bool buildMessage(const PackOptions& options, const std::vector<uint8_t>& player,
                  const std::vector<uint8_t>& frames, std::vector<uint8_t>* message,
                  std::vector<int>* unplayable, std::string* error) {
  const int rate = options.rate;
  const char* framesName = options.framesPath ? options.framesPath : "frames";
  const char* playerName = options.playerPath ? options.playerPath : "player";
  if (rate < Rate64 || rate > Rate118) {
    *error = "no rate";
    return false;
  }
  const size_t frameBytes = static_cast<size_t>(FRAME_BYTES[rate]);
  if (frames.size() % frameBytes != 0) {
    *error = std::string(framesName) + ": " + std::to_string(frames.size()) +
             " bytes are not a whole number of " + std::to_string(frameBytes) + "-byte frames";
    return false;
  }
  if (player.size() > static_cast<size_t>(PAYLOAD_OFFSET)) {
    *error = std::string(playerName) + ": " + std::to_string(player.size()) +
             " bytes, more than the " + std::to_string(PAYLOAD_OFFSET) + " bytes a player may have";
    return false;
  }
  const size_t total = frames.size() / frameBytes;
  message->clear();
  message->reserve(message_size(rate, total));
  ByteSink append = [message](const uint8_t* data, size_t size) {
    message->insert(message->end(), data, data + size);
    return true;
  };
  MessageWriter writer;
  message_writer_start(&writer, rate, options.effect, options.depthByte, player, append);
  for (size_t f = 0; f < total; f++)
    message_writer_add_frame(&writer, frames.data() + f * frameBytes, append);
  message_writer_finish(&writer, append);
  *unplayable = writer.unplayable;
  return true;
}

// Fuzz target: `quillo pack`'s input handling: its arguments and the frame
// file it is given, through parsePackArguments and buildMessage.
//
// Input: the arguments, each ended by a zero byte, ended by an empty one (a
// second zero byte) or after the 12th; whatever follows is the frame file. When the arguments are
// accepted, the target checks the message built: its size and header, that
// unscrambling every block gives back the frames in order followed by quiet
// frames, and that exactly the blocks the player would reject are reported.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "fuzz/fuzz_input.h"
#include "playback/message_format.h"
#include "tools/quillo/pack_message.h"

static const int MAX_ARGUMENTS = 12;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  std::unique_ptr<uint8_t[]> bytes = input.take(size);
  // Split off the arguments; each keeps its own exactly sized copy.
  std::vector<std::unique_ptr<char[]>> args;
  size_t at = 0;
  while (at < size && static_cast<int>(args.size()) < MAX_ARGUMENTS) {
    const void* end = std::memchr(bytes.get() + at, 0, size - at);
    if (!end) break;
    size_t length = static_cast<const uint8_t*>(end) - (bytes.get() + at);
    at += length + 1;
    if (length == 0) break;
    std::unique_ptr<char[]> arg(new char[length + 1]);
    std::memcpy(arg.get(), bytes.get() + at - length - 1, length + 1);
    args.push_back(std::move(arg));
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.get());
  argv.push_back(nullptr);
  std::vector<uint8_t> frames(bytes.get() + (at < size ? at : size), bytes.get() + size);

  PackOptions options;
  std::string error;
  int status = parsePackArguments(static_cast<int>(args.size()), argv.data(), &options, &error);
  if (status != 0) {
    FUZZ_CHECK(status == 2 && !error.empty());
    return 0;
  }
  FUZZ_CHECK(options.rate >= Rate64 && options.rate <= Rate118);
  FUZZ_CHECK(options.effect >= 0 && options.effect <= 16);
  FUZZ_CHECK(options.depthByte >= 0 && options.depthByte <= 255);
  FUZZ_CHECK(options.framesPath && options.outPath);

  // A player from the frame bytes' own start, to vary its length too.
  std::vector<uint8_t> player(frames.begin(), frames.begin() + (frames.size() > 100 ? 100 : 0));
  std::vector<uint8_t> message;
  std::vector<int> unplayable;
  const int rate = options.rate;
  const size_t frameBytes = static_cast<size_t>(FRAME_BYTES[rate]);
  bool built = buildMessage(options, player, frames, &message, &unplayable, &error);
  FUZZ_CHECK(built == (frames.size() % frameBytes == 0));
  if (!built) return 0;

  const size_t total = frames.size() / frameBytes;
  size_t blocks = 0;
  for (size_t framesLeft = total; framesLeft > 0; blocks++) {
    size_t perBlock = rate == Rate80 ? 51 : rate == Rate118 ? 28 : blocks == 0 ? 63 : 64;
    framesLeft -= framesLeft < perBlock ? framesLeft : perBlock;
  }
  FUZZ_CHECK(message.size() == PAYLOAD_OFFSET + HEADER_BYTES + blocks * BLOCK_BYTES);
  FUZZ_CHECK(player.empty() || std::memcmp(message.data(), player.data(), player.size()) == 0);
  const uint8_t* header = message.data() + PAYLOAD_OFFSET;
  FUZZ_CHECK(header[8] == rate && header[10] == options.effect && header[11] == options.depthByte);

  uint8_t quiet[18];
  quietFrame(rate, quiet);
  size_t next = 0, reported = 0;
  for (size_t b = 0; b < blocks; b++) {
    uint8_t plain[BLOCK_BYTES];
    scramble_bytes(message.data() + PAYLOAD_OFFSET + HEADER_BYTES + b * BLOCK_BYTES, plain,
                   BLOCK_BYTES);
    BlockLayout layout = block_layout(plain, b == 0, b == 0 ? BLOCK_REJECTED : rate);
    bool rejected = layout.result == BLOCK_REJECTED;
    if (b > 0 && rejected) {
      FUZZ_CHECK(reported < unplayable.size() && unplayable[reported] == static_cast<int>(b));
      reported++;
    }
    FUZZ_CHECK(b > 0 || !rejected);
    if (rejected) {
      // Read the frames where pack put them.
      layout.first_byte = rate == Rate80 ? 2 : rate == Rate118 ? 8 : 0;
      layout.frames = rate == Rate80 ? 51 : rate == Rate118 ? 28 : 64;
    } else {
      FUZZ_CHECK(layout.result == rate);
    }
    for (int f = 0; f < layout.frames; f++, next++) {
      const uint8_t* frame = plain + layout.first_byte + f * frameBytes;
      const uint8_t* expected = next < total ? frames.data() + next * frameBytes : quiet;
      FUZZ_CHECK(std::memcmp(frame, expected, frameBytes) == 0);
    }
  }
  FUZZ_CHECK(reported == unplayable.size());
  return 0;
}

// Fuzz target: a whole message file through `quillo decode MESSAGE`'s own
// path (checkMessageFile, then decodeMessage: container reads, refills with
// the block decoder, the header's effect and depth).
//
// Input: the bytes behind the player: the header (any rate code, effect id
// and depth byte, or cut short) and any payload, a short last block
// included. The target writes them behind a player of zeros into a file of
// its own and decodes it. Besides memory safety it checks that the decoding
// ends and hands over one full buffer of the header's rate per block that
// delivered at least one byte.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "playback/container.h"
#include "tools/quillo/message_decode.h"
#include "tools/quillo/message_file.h"

// The message file, made once per process: a player of zeros, then each
// input in turn.
static std::string messagePath;
static int messageFd = -1;

static void makeMessageFile() {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/quillo-fuzz-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  messageFd = mkstemp(name.data());
  if (messageFd < 0) fuzzFailure("cannot make the message file");
  messagePath = name.data();
  std::atexit([] { unlink(messagePath.c_str()); });
  std::vector<uint8_t> player(PAYLOAD_OFFSET, 0);
  if (pwrite(messageFd, player.data(), player.size(), 0) != PAYLOAD_OFFSET)
    fuzzFailure("cannot write the player");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (messageFd < 0) makeMessageFile();
  quietDecoderMessages();
  FuzzInput input(data, size);
  std::unique_ptr<uint8_t[]> payload = input.take(size);
  if (ftruncate(messageFd, PAYLOAD_OFFSET) != 0) fuzzFailure("ftruncate");
  if (size > 0 && pwrite(messageFd, payload.get(), size, PAYLOAD_OFFSET) != (ssize_t)size)
    fuzzFailure("pwrite");

  std::string error;
  FUZZ_CHECK(checkMessageFile(messagePath.c_str(), &error) == PAYLOAD_OFFSET + (int64_t)size);
  size_t buffers = 0, samples = 0, bufferSamples = 0;
  bool decoded = decodeMessage(
      messagePath.c_str(), false,
      [&](const int16_t* pcm, size_t count) {
        (void)pcm;
        buffers++;
        samples += count;
        bufferSamples = count;
        return true;
      },
      &error);
  FUZZ_CHECK(decoded);

  uint8_t rateCode = size > 8 ? data[8] : 0;
  size_t blocks = size > HEADER_BYTES ? (size - HEADER_BYTES + 511) / 512 : 0;
  FUZZ_CHECK(buffers == blocks);
  FUZZ_CHECK(samples == blocks * static_cast<size_t>(bufferBytesForRate(rateCode) / 2));
  FUZZ_CHECK(buffers == 0 ||
             bufferSamples == static_cast<size_t>(bufferBytesForRate(rateCode) / 2));
  return 0;
}

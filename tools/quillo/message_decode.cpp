#include "tools/quillo/message_decode.h"

#include <cstdint>
#include <vector>

#include "codec/decoder.h"
#include "playback/container.h"
#include "playback/refill.h"

bool decodeMessage(const char* path, bool dry, const PcmBufferSink& sink, std::string* error) {
  if (!setProgramPath(path)) {
    *error = std::string(path) + ": path too long";
    return false;
  }
  decoder_program_start();
  readMessageHeader();
  PlayerState& p = playerState;
  // The depth handed to playback: 127 - depth byte as a signed 8-bit value.
  int8_t depth = static_cast<int8_t>(static_cast<uint8_t>(127 - p.depthByte));
  startRefills(dry ? 0 : p.effectId, depth);
  p.blockPosition = 0;
  openPayloadAt();

  std::vector<int16_t> buffer(static_cast<size_t>(p.bufferBytes / 2));
  bool complete = true;
  while (readBlock() > 0) {
    refillPcm(buffer.data(), p.bufferBytes, p.blockBuffer);
    if (p.blockPosition < INT32_MAX) p.blockPosition++;
    if (!sink(buffer.data(), buffer.size())) {
      complete = false;
      break;
    }
  }
  closePayload();
  return complete;
}

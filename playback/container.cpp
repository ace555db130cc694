#include "playback/container.h"

#include <climits>
#include <cstring>

#include "playback/message_reader.h"

// The block readBlock reads next: the position of the player's reading in
// payloadFile.
static int64_t payloadNextBlock;

bool setProgramPath(const char* path) {
  size_t n = std::strlen(path);
  if (n >= sizeof playerState.programPath) {
    playerState.programPath[0] = '\0';
    return false;
  }
  std::memcpy(playerState.programPath, path, n + 1);
  return true;
}

int32_t readMessageHeader() {
  PlayerState& s = playerState;
  MessageHeaderValues h;
  MessageFile file;
  if (openMessageFile(s.programPath, &file)) {
    h = readMessageHeaderValues(messageSourceOfFile(&file));
    closeMessageFile(&file);
  } else {
    MessageBytes none = {nullptr, 0};  // an unreadable file counts as one without payload
    h = readMessageHeaderValues(messageSourceOfBytes(&none));
  }
  std::memcpy(s.headerBytes, h.bytes, sizeof s.headerBytes);
  s.rateCode = h.rateCode;
  s.effectId = h.effectId;
  s.depthByte = h.depthByte;
  s.totalSeconds = h.totalSeconds;
  s.bufferBytes = bufferBytesForRate(h.rateCode);
  return s.totalSeconds;
}

void openPayloadAt() {
  PlayerState& s = playerState;
  closePayload();
  s.blockPosition = resumeBlock(s.blockPosition);
  payloadNextBlock = s.blockPosition;
  if (!openMessageFile(s.programPath, &s.payloadFile)) return;
  // Positioned as the player reads; an offset the file functions cannot
  // reach lies behind any readable file, and reading then delivers nothing.
  int64_t offset = blockOffset(s.blockPosition);
  if (offset <= LONG_MAX) std::fseek(s.payloadFile.file, static_cast<long>(offset), SEEK_SET);
}

int readBlock() {
  PlayerState& s = playerState;
  if (!s.payloadFile.file) return 0;
  int n = readMessageBlock(messageSourceOfFile(&s.payloadFile), payloadNextBlock, s.blockBuffer);
  if (n > 0) payloadNextBlock++;
  return n;
}

void closePayload() { closeMessageFile(&playerState.payloadFile); }

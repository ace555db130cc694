#include "playback/container.h"

#include <climits>
#include <cstring>

// Seconds per payload byte and per block, by rate (0 6.4, 1 8, 2 11.8 kbit/s).
static const float SECONDS_PER_BYTE[3] = {0.00125f, 0.00099609375f, 0.000546875f};
static const float SECONDS_PER_BLOCK[3] = {0.64f, 0.51f, 0.28f};
static const int32_t BUFFER_BYTES[3] = {10240, 8160, 4480};

static int rateIndex(uint8_t rateCode) { return rateCode < 2 ? rateCode : 2; }

float secondsPerByte(uint8_t rateCode) { return SECONDS_PER_BYTE[rateIndex(rateCode)]; }

float secondsPerBlock(uint8_t rateCode) { return SECONDS_PER_BLOCK[rateIndex(rateCode)]; }

int32_t bufferBytesForRate(uint8_t rateCode) { return BUFFER_BYTES[rateIndex(rateCode)]; }

// trunc(x) as a non-negative 32-bit count; out-of-range values are clamped.
static int32_t truncatedSeconds(double x) {
  if (!(x > 0.0)) return 0;
  if (x >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(x);
}

int32_t totalSecondsFor(uint8_t rateCode, int64_t fileLength) {
  int64_t afterHeader = fileLength - PAYLOAD_OFFSET - HEADER_BYTES;
  double c = static_cast<double>(secondsPerByte(rateCode));
  return truncatedSeconds(static_cast<double>(afterHeader) * c + 0.5);
}

int32_t positionSeconds(uint8_t rateCode, int32_t position) {
  double c = static_cast<double>(secondsPerBlock(rateCode));
  return truncatedSeconds(static_cast<double>(position) * c + 0.5);
}

bool setProgramPath(const char* path) {
  size_t n = std::strlen(path);
  if (n >= sizeof playerState.programPath) {
    playerState.programPath[0] = '\0';
    return false;
  }
  std::memcpy(playerState.programPath, path, n + 1);
  return true;
}

// Length of an open file, or -1 when it cannot be told.
static int64_t fileLength(FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  long length = std::ftell(file);
  return length < 0 ? -1 : static_cast<int64_t>(length);
}

int32_t readMessageHeader() {
  PlayerState& s = playerState;
  std::memset(s.headerBytes, 0, sizeof s.headerBytes);
  int64_t length = PAYLOAD_OFFSET;  // an unreadable file counts as one without payload
  FILE* file = platformOpenForReading(s.programPath);
  if (file) {
    int64_t told = fileLength(file);
    if (told >= 0) length = told;
    if (std::fseek(file, PAYLOAD_OFFSET, SEEK_SET) == 0) {
      uint8_t header[HEADER_BYTES];
      size_t n = std::fread(header, 1, sizeof header, file);
      std::memcpy(s.headerBytes, header, n);
    }
    std::fclose(file);
  }
  s.rateCode = s.headerBytes[8];
  s.effectId = static_cast<int8_t>(s.headerBytes[10]);
  s.depthByte = s.headerBytes[11];
  s.totalSeconds = totalSecondsFor(s.rateCode, length);
  s.bufferBytes = bufferBytesForRate(s.rateCode);
  return s.totalSeconds;
}

int32_t resumeBlock(int32_t blockPosition) { return blockPosition > 0 ? blockPosition - 1 : 0; }

void openPayloadAt() {
  PlayerState& s = playerState;
  closePayload();
  s.blockPosition = resumeBlock(s.blockPosition);
  s.payloadFile = platformOpenForReading(s.programPath);
  if (!s.payloadFile) return;
  int64_t offset = FIRST_BLOCK_OFFSET + static_cast<int64_t>(s.blockPosition) * PAYLOAD_BLOCK_BYTES;
  // An offset the file functions cannot reach lies behind any readable file:
  // reading then delivers nothing.
  if (offset > LONG_MAX || std::fseek(s.payloadFile, static_cast<long>(offset), SEEK_SET) != 0)
    closePayload();
}

int readBlock() {
  PlayerState& s = playerState;
  if (!s.payloadFile) return 0;
  uint8_t bytes[PAYLOAD_BLOCK_BYTES];
  size_t n = std::fread(bytes, 1, sizeof bytes, s.payloadFile);
  std::memcpy(s.blockBuffer, bytes, n);
  return static_cast<int>(n);
}

void closePayload() {
  PlayerState& s = playerState;
  if (s.payloadFile) std::fclose(s.payloadFile);
  s.payloadFile = nullptr;
}

#include "playback/message_format.h"

#include <climits>

// Seconds per payload byte and per block, by rate (0 6.4, 1 8, 2 11.8 kbit/s).
static const float SECONDS_PER_BYTE[3] = {0.00125f, 0.00099609375f, 0.000546875f};
static const float SECONDS_PER_BLOCK[3] = {0.64f, 0.51f, 0.28f};
static const int32_t BUFFER_BYTES[3] = {10240, 8160, 4480};

int64_t blockOffset(int64_t index) { return FIRST_BLOCK_OFFSET + index * BLOCK_BYTES; }

int rateOfCode(uint8_t rateCode) { return rateCode < 2 ? rateCode : static_cast<int>(Rate118); }

int8_t depthOfByte(uint8_t depthByte) {
  return static_cast<int8_t>(static_cast<uint8_t>(127 - depthByte));
}

float secondsPerByte(uint8_t rateCode) { return SECONDS_PER_BYTE[rateOfCode(rateCode)]; }

float secondsPerBlock(uint8_t rateCode) { return SECONDS_PER_BLOCK[rateOfCode(rateCode)]; }

int32_t bufferBytesForRate(uint8_t rateCode) { return BUFFER_BYTES[rateOfCode(rateCode)]; }

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

int32_t resumeBlock(int32_t blockPosition) { return blockPosition > 0 ? blockPosition - 1 : 0; }

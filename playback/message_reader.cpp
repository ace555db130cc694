#include "playback/message_reader.h"

#include <climits>
#include <cstring>

#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "playback/file_access.h"
#include "playback/refill.h"

static size_t readBytesAt(void* context, int64_t offset, uint8_t* out, size_t count) {
  const MessageBytes* bytes = static_cast<const MessageBytes*>(context);
  if (offset < 0 || static_cast<uint64_t>(offset) >= bytes->size) return 0;
  size_t available = bytes->size - static_cast<size_t>(offset);
  size_t n = count < available ? count : available;
  std::memcpy(out, bytes->data + offset, n);
  return n;
}

MessageSource messageSourceOfBytes(MessageBytes* bytes) {
  return {static_cast<int64_t>(bytes->size), readBytesAt, bytes};
}

static size_t readFileAt(void* context, int64_t offset, uint8_t* out, size_t count) {
  const MessageFile* f = static_cast<const MessageFile*>(context);
  if (offset < 0 || offset > LONG_MAX || std::fseek(f->file, static_cast<long>(offset), SEEK_SET))
    return 0;
  return std::fread(out, 1, count, f->file);
}

bool openMessageFile(const char* path, MessageFile* file) {
  file->file = platformOpenForReading(path);
  file->length = -1;
  if (!file->file) return false;
  if (std::fseek(file->file, 0, SEEK_END) == 0) file->length = std::ftell(file->file);
  if (file->length >= 0) return true;
  closeMessageFile(file);
  return false;
}

void closeMessageFile(MessageFile* file) {
  if (file->file) std::fclose(file->file);
  file->file = nullptr;
}

MessageSource messageSourceOfFile(MessageFile* file) { return {file->length, readFileAt, file}; }

MessageHeaderValues readMessageHeaderValues(const MessageSource& source) {
  MessageHeaderValues h;
  std::memset(&h, 0, sizeof h);
  source.readAt(source.context, PAYLOAD_OFFSET, h.bytes, HEADER_BYTES);
  h.rateCode = h.bytes[HEADER_RATE_CODE];
  h.rate = rateOfCode(h.rateCode);
  h.effectId = static_cast<int8_t>(h.bytes[HEADER_EFFECT_ID]);
  h.depthByte = h.bytes[HEADER_DEPTH_BYTE];
  h.depth = depthOfByte(h.depthByte);
  // A source shorter than the player counts as one without payload.
  int64_t length = source.length > PAYLOAD_OFFSET ? source.length : PAYLOAD_OFFSET;
  h.totalSeconds = totalSecondsFor(h.rateCode, length);
  h.bufferSamples = bufferBytesForRate(h.rateCode) / 2;
  return h;
}

int64_t messageBlockCount(const MessageSource& source) {
  int64_t payload = source.length - FIRST_BLOCK_OFFSET;
  return payload > 0 ? (payload + BLOCK_BYTES - 1) / BLOCK_BYTES : 0;
}

int readMessageBlock(const MessageSource& source, int64_t index, uint8_t* block) {
  // Read whatever the source delivers now: a file that grew since it was
  // opened plays on, as the player reads its file to the end.
  if (index < 0 || index > (INT64_MAX - FIRST_BLOCK_OFFSET) / BLOCK_BYTES) return 0;
  uint8_t bytes[BLOCK_BYTES];
  size_t n = source.readAt(source.context, blockOffset(index), bytes, sizeof bytes);
  std::memcpy(block, bytes, n);
  return static_cast<int>(n);
}

void startMessagePlayback(MessagePlayback* playback, const MessageSource& source, bool dry) {
  std::memset(playback, 0, sizeof *playback);
  playback->header = readMessageHeaderValues(source);
  playback->lastResult = BLOCK_REJECTED;
  playback->dry = dry;
  decoder_program_start();
  startRefills(dry ? 0 : playback->header.effectId, playback->header.depth);
}

int64_t resumeMessagePlayback(MessagePlayback* playback, int32_t blockPosition) {
  playback->nextBlock = resumeBlock(blockPosition);
  playback->lastResult = BLOCK_REJECTED;
  startRefills(playback->dry ? 0 : playback->header.effectId, playback->header.depth);
  return playback->nextBlock;
}

bool nextMessageBuffer(MessagePlayback* playback, const MessageSource& source, int16_t* buffer) {
  bool delivered = readMessageBlock(source, playback->nextBlock, playback->block) > 0;
  if (delivered) playback->nextBlock++;
  playback->lastResult = refillPcm(buffer, playback->header.bufferSamples * 2, playback->block);
  return delivered;
}

bool playMessageSamples(const MessageSource& source, bool dry, PcmBufferSink sink, void* context) {
  static MessagePlayback playback;  // module-level, like the decoder it drives
  int16_t buffer[BLOCK_MAX_SAMPLES];
  startMessagePlayback(&playback, source, dry);
  size_t count = static_cast<size_t>(playback.header.bufferSamples);
  while (nextMessageBuffer(&playback, source, buffer))
    if (!sink(context, buffer, count)) return false;
  return true;
}

MessageSurvey surveyMessage(const MessageSource& source) {
  MessageSurvey s = {0, 0, 0, -1, 0, -1, 0};
  int headerRate = readMessageHeaderValues(source).rate;
  uint8_t block[BLOCK_BYTES] = {0};
  int previous = BLOCK_REJECTED;
  int n;
  while ((n = readMessageBlock(source, s.blocks, block)) > 0) {
    uint8_t plain[BLOCK_BYTES];
    scramble_bytes(block, plain, BLOCK_BYTES);
    if (s.blocks == 0) {
      BlockLayout priming = block_layout(plain, 1, previous);
      if (priming.result != BLOCK_REJECTED) previous = priming.result;
    }
    BlockLayout layout = block_layout(plain, 0, previous);
    if (layout.result == BLOCK_REJECTED) {
      if (s.rejected++ == 0) s.firstRejected = s.blocks;
    } else {
      previous = layout.result;
      if (layout.result != headerRate && s.mismatched++ == 0) {
        s.firstMismatched = s.blocks;
        s.mismatchedRate = layout.result;
      }
    }
    s.blocks++;
    s.lastBytes = n;
  }
  return s;
}

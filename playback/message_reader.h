// Reading a message as the player reads its own program file, from bytes in
// memory or from a file: the header as values, the blocks by index, the
// refill sequence that turns them into the buffers the player plays, and a
// survey of the blocks made with the block decoder's own layout rules.
//
// The player part in front (PAYLOAD_OFFSET bytes) is not looked at. A source
// shorter than the player reads as the player reads such a file: missing
// header bytes are zero and there are no blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "playback/message_format.h"

// Where a message's bytes come from: its length and a way to read a run of
// them at an offset (returning the number delivered, fewer at the end).
struct MessageSource {
  int64_t length;
  size_t (*readAt)(void* context, int64_t offset, uint8_t* out, size_t count);
  void* context;
};

// A whole message file in memory; must outlive the source made from it.
struct MessageBytes {
  const uint8_t* data;
  size_t size;
};
MessageSource messageSourceOfBytes(MessageBytes* bytes);

// A message file opened by name (through the platform's file naming).
struct MessageFile {
  FILE* file;
  int64_t length;
};
// Opens `path`; false when it cannot be opened or its length told.
bool openMessageFile(const char* path, MessageFile* file);
void closeMessageFile(MessageFile* file);
MessageSource messageSourceOfFile(MessageFile* file);

// The header and what the player derives from it.
struct MessageHeaderValues {
  uint8_t bytes[HEADER_BYTES];  // as read; zero where the source gave nothing
  uint8_t rateCode;             // byte 8: 0 6.4, 1 8, other 11.8 kbit/s
  int rate;                     // the rate code's RateMode (0, 1, 2)
  int8_t effectId;              // byte 10: 0 none, 1..16 a voice effect
  uint8_t depthByte;            // byte 11
  int8_t depth;                 // 127 - depthByte as a signed 8-bit value
  int32_t totalSeconds;         // length in whole seconds, as the title shows it
  int32_t bufferSamples;        // samples of one PCM buffer: 5,120, 4,080 or 2,240
};
MessageHeaderValues readMessageHeaderValues(const MessageSource& source);

// Blocks that deliver at least one byte.
int64_t messageBlockCount(const MessageSource& source);

// Reads block `index` into `block` (BLOCK_BYTES) as the player reads
// a block: bytes beyond those delivered keep their previous content. Returns
// the number delivered, 0 past the end of what the source holds now (a file
// that grew since it was opened reads on, as the player reads its file).
int readMessageBlock(const MessageSource& source, int64_t index, uint8_t* block);

// One playback from the start, as a freshly started player makes it.
struct MessagePlayback {
  MessageHeaderValues header;
  int64_t nextBlock;           // number of the next block to read
  uint8_t block[BLOCK_BYTES];  // the block read last (stale bytes kept)
  int lastResult;              // layout of the last refill, or BLOCK_REJECTED
  bool dry;                    // played without the voice effect
};

// Puts the decoder into its program-start state and starts the refills with
// the header's effect and depth (no effect when `dry`).
void startMessagePlayback(MessagePlayback* playback, const MessageSource& source, bool dry);

// Starts the refills again as the player's Play after a Stop: the decoder
// and the effect are reset (the decoder's program-start memories carry over
// from the playback before) and reading starts at resumeBlock(blockPosition).
// Returns that block.
int64_t resumeMessagePlayback(MessagePlayback* playback, int32_t blockPosition);

// Refills `buffer` (header.bufferSamples samples) from the next block, as the
// player refills a buffer handed back by the device. When the payload is
// exhausted it returns false: the buffer has then been refilled from the
// block read last, as the player refills it before it stops reading, but
// that buffer is never heard.
bool nextMessageBuffer(MessagePlayback* playback, const MessageSource& source, int16_t* buffer);

// Receives one buffer of the playback; returns false to stop.
typedef bool (*PcmBufferSink)(void* context, const int16_t* samples, size_t count);

// The samples the player plays after its two silent start buffers: one full
// buffer per block, through the message's effect unless `dry`. False when
// `sink` stopped.
bool playMessageSamples(const MessageSource& source, bool dry, PcmBufferSink sink, void* context);

// What the player does with the blocks, block by block.
struct MessageSurvey {
  int64_t blocks;           // blocks that delivered at least one byte
  int lastBytes;            // bytes of the last of them
  int64_t rejected;         // blocks the player plays as silence
  int64_t firstRejected;    // number of the first of them, -1 when none
  int64_t mismatched;       // accepted blocks whose rate is not the header's
  int64_t firstMismatched;  // -1 when none
  int mismatchedRate;       // the layout of the first of them
};

// Walks the blocks as a playback from the start reads them (a short block
// keeps the previous block's tail), with the priming pass on the first block
// and the block decoder's layout rules, without decoding.
MessageSurvey surveyMessage(const MessageSource& source);

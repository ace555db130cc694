// Writing a message as a stream: the player part (padded with zeros to
// PAYLOAD_OFFSET), the header, then the frames in scrambled 512-byte blocks
// of the rate's layout:
//   6.4 kbit/s  first block: 8 zero bytes and 63 frames; later blocks 64 frames
//   8 kbit/s    every block: 0x10 0x00 and 51 frames
//   11.8 kbit/s every block: 0x20 and seven 0x00, then 28 frames
// The last block is always whole: its free frames are quiet frames, so the
// player never decodes stale bytes of the previous block there. One block is
// held at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "codec/block_decoder.h"
#include "playback/message_format.h"

// Receives the message's bytes in order; returns false to stop.
typedef std::function<bool(const uint8_t* data, size_t size)> ByteSink;

struct MessageWriter {
  int rate = 0;                 // RateMode of every frame
  int blocks = 0;               // blocks written
  int framesInBlock = 0;        // frames in `plain` so far
  uint8_t plain[BLOCK_BYTES];   // the block being filled, unscrambled
  std::vector<int> unplayable;  // blocks whose first bytes read as another rate's header
};

// Writes the player part (`player`, at most PAYLOAD_OFFSET bytes, may be
// empty) and the header.
bool message_writer_start(MessageWriter* w, int rate, int effect, int depthByte,
                          const std::vector<uint8_t>& player, const ByteSink& sink);

// Adds one frame of FRAME_BYTES[rate] bytes.
bool message_writer_add_frame(MessageWriter* w, const uint8_t* frame, const ByteSink& sink);

// Completes the last block with quiet frames.
bool message_writer_finish(MessageWriter* w, const ByteSink& sink);

// Bytes of a message of `frames` frames of `rate`.
uint64_t message_size(int rate, uint64_t frames);

// The quiet frame of a rate (FRAME_BYTES[rate] bytes into `out`).
void quietFrame(int rate, uint8_t* out);

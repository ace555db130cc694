// The player's one module-level state record, shared by the dialog, the
// message container and the playback engine. All fields are zero at program
// start.
#pragma once

#include <cstdint>

#include "playback/file_access.h"
#include "playback/handles.h"
#include "playback/message_reader.h"

// Room for the program file's path, terminating zero included: any path the
// platform can hand out.
const int PROGRAM_PATH_SIZE = static_cast<int>(PLATFORM_PATH_BYTES);

struct PlayerState {
  // Message container.
  char programPath[PROGRAM_PATH_SIZE];  // full path of the program (message) file
  uint8_t headerBytes[HEADER_BYTES];    // header as read; zero where the file gave nothing
  uint8_t rateCode;                     // header byte 8: 0 6.4, 1 8, other 11.8 kbit/s
  int8_t effectId;                      // header byte 10: 0 none, 1..16 a voice effect
  uint8_t depthByte;                    // header byte 11: effect depth is 127 - depthByte
  int32_t totalSeconds;                 // length of the message in whole seconds
  int32_t bufferBytes;                  // bytes of one PCM buffer (the PCM of one block)
  int32_t blockPosition;                // number of the next block to read from the file
  MessageFile payloadFile;              // open for block reading while playback runs
  uint8_t blockBuffer[BLOCK_BYTES];     // the block read last (stale bytes kept)

  // Dialog.
  InstanceHandle instance;   // the running program, stored by the entry point
  bool playing;              // playback runs: device open, payload file open
  bool reading;              // blocks are still read; cleared when the payload is exhausted
  ImageHandle playImage;     // bitmap 117, on the Play button while nothing plays
  ImageHandle playingImage;  // bitmap 121, on the Play button while playing
};

extern PlayerState playerState;

// Streaming speech encoding for the tool: samples in runs of any length,
// frames out as soon as 80 samples are there. The rate may change from frame
// to frame (a cycle of rate modes). At the end a partial frame is completed
// with zeros and encoded, so no input is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "codec/decoder.h"

// Receives one encoded frame of FRAME_BYTES[rate_mode] bytes; returns false
// to stop the encoding.
typedef std::function<bool(const uint8_t* frame, int rate_mode)> FrameSink;

const int MAX_RATE_CYCLE = 16;

struct SpeechEncoder {
  int rates[MAX_RATE_CYCLE];  // rate mode of frame n is rates[n % rateCount]
  int rateCount = 0;
  Word16 pending[FRAME_SAMPLES];
  int pendingCount = 0;
  uint64_t frames = 0;  // frames encoded
};

// Starts the encoder from the state of a fresh program run.
void speech_encoder_start(SpeechEncoder* enc, const int* rates, int rateCount);

// Encodes every whole frame the samples complete. False when `sink` stopped.
bool speech_encoder_push(SpeechEncoder* enc, const int16_t* samples, size_t count,
                         const FrameSink& sink);

// Encodes the last, partial frame completed with zeros (if there is one).
bool speech_encoder_finish(SpeechEncoder* enc, const FrameSink& sink);

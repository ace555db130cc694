#include "tools/quillo/speech_encoder.h"

#include <cstring>

#include "encoder/encoder.h"

void speech_encoder_start(SpeechEncoder* enc, const int* rates, int rateCount) {
  enc->rateCount = rateCount < MAX_RATE_CYCLE ? rateCount : MAX_RATE_CYCLE;
  for (int i = 0; i < enc->rateCount; i++) enc->rates[i] = rates[i];
  enc->pendingCount = 0;
  enc->frames = 0;
  encoder_program_start();
}

static bool encodePending(SpeechEncoder* enc, const FrameSink& sink) {
  int rate = enc->rates[enc->frames % static_cast<uint64_t>(enc->rateCount)];
  uint8_t frame[18];
  encode_frame(enc->pending, rate, frame);
  enc->frames++;
  enc->pendingCount = 0;
  return sink(frame, rate);
}

bool speech_encoder_push(SpeechEncoder* enc, const int16_t* samples, size_t count,
                         const FrameSink& sink) {
  while (count > 0) {
    size_t room = static_cast<size_t>(FRAME_SAMPLES - enc->pendingCount);
    size_t n = count < room ? count : room;
    std::memcpy(enc->pending + enc->pendingCount, samples, n * sizeof *samples);
    enc->pendingCount += static_cast<int>(n);
    samples += n;
    count -= n;
    if (enc->pendingCount == FRAME_SAMPLES && !encodePending(enc, sink)) return false;
  }
  return true;
}

bool speech_encoder_finish(SpeechEncoder* enc, const FrameSink& sink) {
  if (enc->pendingCount == 0) return true;
  for (int i = enc->pendingCount; i < FRAME_SAMPLES; i++) enc->pending[i] = 0;
  return encodePending(enc, sink);
}

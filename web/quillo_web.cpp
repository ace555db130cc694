// The functions the web module exports: the message reader and the encoder
// over bytes that the JavaScript side has placed in the module's memory.
// One playback stream at a time (the decoder keeps module-level state).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/title.h"
#include "codec/basicop/diagnostics.h"
#include "codec/block_decoder.h"
#include "codec/decoder.h"
#include "encoder/encoder.h"
#include "playback/message_reader.h"
#include "tools/quillo/effect_names.h"
#include "tools/quillo/message_writer.h"
#include "tools/quillo/speech_encoder.h"

#define QUILLO_EXPORT extern "C" __attribute__((used, visibility("default")))

// Words of the record qw_info writes, in this order.
enum InfoWord {
  INFO_RATE_CODE,
  INFO_RATE,
  INFO_EFFECT_ID,
  INFO_DEPTH_BYTE,
  INFO_DEPTH,
  INFO_SECONDS,
  INFO_BUFFER_SAMPLES,
  INFO_BLOCKS,
  INFO_LAST_BYTES,
  INFO_REJECTED,
  INFO_FIRST_REJECTED,
  INFO_MISMATCHED,
  INFO_FIRST_MISMATCHED,
  INFO_MISMATCHED_RATE,
  INFO_WORDS
};

static struct WebStream {
  MessageBytes bytes;  // the message, owned by the caller until the stream ends
  MessageSource source;
  MessagePlayback playback;
  int16_t buffer[BLOCK_MAX_SAMPLES];
} stream;

static int32_t clampedCount(int64_t n) {
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

static void ignoreDiagnostic(const char*) {}

QUILLO_EXPORT void* qw_alloc(size_t size) { return std::malloc(size ? size : 1); }
QUILLO_EXPORT void qw_free(void* p) { std::free(p); }
QUILLO_EXPORT int qw_payload_offset() { return PAYLOAD_OFFSET; }

// Fills `out` (INFO_WORDS words) for a whole message file; returns INFO_WORDS.
QUILLO_EXPORT int qw_info(const uint8_t* data, size_t size, int32_t* out) {
  MessageBytes bytes = {data, size};
  MessageSource source = messageSourceOfBytes(&bytes);
  MessageHeaderValues h = readMessageHeaderValues(source);
  MessageSurvey s = surveyMessage(source);
  out[INFO_RATE_CODE] = h.rateCode;
  out[INFO_RATE] = h.rate;
  out[INFO_EFFECT_ID] = h.effectId;
  out[INFO_DEPTH_BYTE] = h.depthByte;
  out[INFO_DEPTH] = h.depth;
  out[INFO_SECONDS] = h.totalSeconds;
  out[INFO_BUFFER_SAMPLES] = h.bufferSamples;
  out[INFO_BLOCKS] = clampedCount(s.blocks);
  out[INFO_LAST_BYTES] = s.lastBytes;
  out[INFO_REJECTED] = clampedCount(s.rejected);
  out[INFO_FIRST_REJECTED] = clampedCount(s.firstRejected);
  out[INFO_MISMATCHED] = clampedCount(s.mismatched);
  out[INFO_FIRST_MISMATCHED] = clampedCount(s.firstMismatched);
  out[INFO_MISMATCHED_RATE] = s.mismatchedRate;
  return INFO_WORDS;
}

// Writes the player's title at block `position` of a message of
// `totalSeconds` at `rateCode` into `text` of `size` bytes.
QUILLO_EXPORT void qw_title(int rateCode, int32_t position, int32_t totalSeconds, char* text,
                            size_t size) {
  formatTitle(text, size, positionSeconds(static_cast<uint8_t>(rateCode), position), totalSeconds);
}

// Starts playing the message at `data` from its first block; returns the
// samples of one buffer.
QUILLO_EXPORT int qw_stream_start(const uint8_t* data, size_t size, int dry) {
  set_decoder_message_sink(ignoreDiagnostic);
  stream.bytes = {data, size};
  stream.source = messageSourceOfBytes(&stream.bytes);
  startMessagePlayback(&stream.playback, stream.source, dry != 0);
  return stream.playback.header.bufferSamples;
}

// Starts the stream's refills again as the player's Play after a Stop at
// `blockPosition`; returns the block read first.
QUILLO_EXPORT int32_t qw_stream_resume(int32_t blockPosition) {
  return static_cast<int32_t>(resumeMessagePlayback(&stream.playback, blockPosition));
}

// Refills the stream's buffer from the next block: 1, or 0 at the end.
QUILLO_EXPORT int qw_stream_next() {
  return nextMessageBuffer(&stream.playback, stream.source, stream.buffer) ? 1 : 0;
}

QUILLO_EXPORT int16_t* qw_stream_buffer() { return stream.buffer; }

// Layout of the block refilled last (0, 1, 2), or 15 when it was rejected.
QUILLO_EXPORT int qw_stream_result() { return stream.playback.lastResult; }

static bool validRate(int rate) { return rate >= Rate64 && rate <= Rate118; }

// Runs `count` samples through a fresh speech encoder at `rate`, the last
// partial frame completed with zeros, as `quillo encode` and `quillo make` do.
static bool encodeSamples(const int16_t* samples, size_t count, int rate, const FrameSink& sink) {
  SpeechEncoder encoder;
  speech_encoder_start(&encoder, &rate, 1);
  return speech_encoder_push(&encoder, samples, count, sink) &&
         speech_encoder_finish(&encoder, sink);
}

// Encodes `count` samples at `rate` (a RateMode) into `out`, which holds
// FRAME_BYTES[rate] bytes per started frame of 80 samples: the frames
// `quillo encode` writes. Returns the bytes written, or -1 for an unknown rate.
QUILLO_EXPORT int32_t qw_encode(const int16_t* samples, size_t count, int rate, uint8_t* out) {
  if (!validRate(rate)) return -1;
  int32_t written = 0;
  encodeSamples(samples, count, rate, [&](const uint8_t* frame, int frameRate) {
    std::memcpy(out + written, frame, static_cast<size_t>(FRAME_BYTES[frameRate]));
    written += FRAME_BYTES[frameRate];
    return true;
  });
  return written;
}

// The bytes of a message file as `quillo make` writes them for these 8 kHz
// samples: encoded as qw_encode does, written in blocks of the rate's layout
// behind `player` (at most PAYLOAD_OFFSET bytes, padded with zeros). Returns
// a buffer for qw_free with its size in *size and the number of blocks that
// will play as silence in *unplayable, or nullptr for a rate, effect, depth
// byte or player that cannot be written.
QUILLO_EXPORT uint8_t* qw_make(const int16_t* samples, size_t count, int rate, int effect,
                               int depthByte, const uint8_t* player, size_t playerSize,
                               int32_t* size, int32_t* unplayable) {
  if (!validRate(rate) || effect < 0 || effect >= EFFECT_CHOICES || depthByte < 0 ||
      depthByte > 255 || playerSize > static_cast<size_t>(PAYLOAD_OFFSET))
    return nullptr;
  std::vector<uint8_t> message;
  ByteSink write = [&](const uint8_t* data, size_t n) {
    message.insert(message.end(), data, data + n);
    return true;
  };
  MessageWriter writer;
  message_writer_start(&writer, rate, effect, depthByte,
                       std::vector<uint8_t>(player, player + playerSize), write);
  encodeSamples(samples, count, rate, [&](const uint8_t* frame, int) {
    return message_writer_add_frame(&writer, frame, write);
  });
  message_writer_finish(&writer, write);
  uint8_t* out = static_cast<uint8_t*>(std::malloc(message.size()));
  if (!out) return nullptr;
  std::memcpy(out, message.data(), message.size());
  *size = static_cast<int32_t>(message.size());
  *unplayable = static_cast<int32_t>(writer.unplayable.size());
  return out;
}

// Writes the name of effect `id` ("none", "room", ...) and its one-line
// description, separated by a tab, into `text` of `size` bytes.
QUILLO_EXPORT void qw_effect_text(int id, char* text, size_t size) {
  std::snprintf(text, size, "%s\t%s", effectName(id), effectDescription(id).c_str());
}

// Fuzz target: a whole message through the message reader's playback, as
// `quillo decode MESSAGE` and the player play it (header, blocks by index,
// the refill sequence with the block decoder, the header's effect and depth),
// and its block survey, as `quillo info` reports it.
//
// Input: the bytes behind the player: the header (any rate code, effect id
// and depth byte, or cut short) and any payload, a short last block
// included. They are read in place behind a player that reads as zeros, from
// a buffer of exactly their size. Besides memory safety the target checks
// that the decoding ends and hands over one full buffer of the header's rate
// per block that delivered at least one byte, and that the survey counts the
// same blocks.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "playback/message_reader.h"

// The message: PAYLOAD_OFFSET bytes of a player that reads as zeros, then
// the input.
struct FuzzMessage {
  const uint8_t* payload;
  size_t size;
};

static size_t readFuzzMessageAt(void* context, int64_t offset, uint8_t* out, size_t count) {
  const FuzzMessage* m = static_cast<const FuzzMessage*>(context);
  size_t n = 0;
  for (; n < count && offset + static_cast<int64_t>(n) < PAYLOAD_OFFSET; n++) out[n] = 0;
  int64_t at = offset + static_cast<int64_t>(n) - PAYLOAD_OFFSET;
  if (at >= static_cast<int64_t>(m->size)) return n;
  size_t available = m->size - static_cast<size_t>(at);
  size_t more = count - n < available ? count - n : available;
  std::memcpy(out + n, m->payload + at, more);
  return n + more;
}

struct Counts {
  size_t buffers, samples, bufferSamples;
};

static bool count(void* context, const int16_t* pcm, size_t samples) {
  (void)pcm;
  Counts* c = static_cast<Counts*>(context);
  c->buffers++;
  c->samples += samples;
  c->bufferSamples = samples;
  return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quietDecoderMessages();
  FuzzInput input(data, size);
  std::unique_ptr<uint8_t[]> payload = input.take(size);
  FuzzMessage message = {payload.get(), size};
  MessageSource source = {PAYLOAD_OFFSET + static_cast<int64_t>(size), readFuzzMessageAt, &message};

  Counts counts = {0, 0, 0};
  FUZZ_CHECK(playMessageSamples(source, false, count, &counts));

  uint8_t rateCode = size > HEADER_RATE_CODE ? payload[HEADER_RATE_CODE] : 0;
  size_t blocks = size > HEADER_BYTES ? (size - HEADER_BYTES + BLOCK_BYTES - 1) / BLOCK_BYTES : 0;
  size_t bufferSamples = static_cast<size_t>(bufferBytesForRate(rateCode) / 2);
  FUZZ_CHECK(counts.buffers == blocks);
  FUZZ_CHECK(counts.samples == blocks * bufferSamples);
  FUZZ_CHECK(counts.buffers == 0 || counts.bufferSamples == bufferSamples);

  MessageSurvey survey = surveyMessage(source);
  FUZZ_CHECK(survey.blocks == static_cast<int64_t>(blocks));
  FUZZ_CHECK(survey.rejected >= 0 && survey.rejected <= survey.blocks);
  return 0;
}

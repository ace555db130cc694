#include "codec/basicop/diagnostics.h"

#include <cstdio>

static DecoderMessageSink message_sink = nullptr;

void decoder_message(const char* line) {
  if (message_sink) {
    message_sink(line);
    return;
  }
  std::fputs(line, stdout);
}

void set_decoder_message_sink(DecoderMessageSink sink) { message_sink = sink; }

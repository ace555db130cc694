#include "fuzz/fuzz_input.h"

#include <cstdio>
#include <cstdlib>

#include "codec/basicop/diagnostics.h"

static bool trapDivision = false;

static void discardLine(const char* line) {
  if (trapDivision && std::strncmp(line, "Division", 8) == 0) fuzzFailure(line);
}

void quietDecoderMessages() {
  const char* trap = std::getenv("QUILLO_FUZZ_TRAP_DIVISION");
  trapDivision = trap && *trap && *trap != '0';
  set_decoder_message_sink(discardLine);
}

void fuzzFailure(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

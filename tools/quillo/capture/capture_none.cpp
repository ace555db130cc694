// A build without SDL2 has no capture device.
#include "tools/quillo/capture.h"

bool capture_open(std::string* error) {
  *error = "no capture device: this quillo was built without SDL2 (Debian: libsdl2-dev)";
  return false;
}

size_t capture_read(int16_t*, size_t) { return 0; }

void capture_close() {}

// Recording from the default capture device for `quillo record`: 8000 Hz,
// mono, 16-bit samples, whatever the device gives converted by the platform
// layer (SDL2's audio capture; without SDL2 there is no capture device).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Opens and starts the default capture device. On failure returns false
// with a one-line reason in `error`.
bool capture_open(std::string* error);

// Takes up to `max` recorded samples, waiting up to about 20 ms for some;
// returns how many (0 when none came).
size_t capture_read(int16_t* samples, size_t max);

// Stops and closes the device.
void capture_close();

// The player's title text, "QLO [hh:mm:ss]-[hh:mm:ss]": the playing position,
// then the message's length.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes a time of whole seconds as the title shows it, "hh:mm:ss", into
// `text` of `size` bytes, cut to fit. Each number is "%02d", so hours above
// 99 take three digits.
void formatClock(char* text, size_t size, int32_t seconds);

// Writes the title text for the two times (whole seconds) into `text` of
// `size` bytes, cut to fit.
void formatTitle(char* text, size_t size, int32_t positionSeconds, int32_t totalSeconds);

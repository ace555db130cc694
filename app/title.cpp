#include "app/title.h"

#include <cstdio>

void formatTitle(char* text, size_t size, int32_t positionSeconds, int32_t totalSeconds) {
  std::snprintf(text, size, "QLO [%02d:%02d:%02d]-[%02d:%02d:%02d]",
                static_cast<int>(positionSeconds / 3600),
                static_cast<int>(positionSeconds % 3600 / 60),
                static_cast<int>(positionSeconds % 60), static_cast<int>(totalSeconds / 3600),
                static_cast<int>(totalSeconds % 3600 / 60), static_cast<int>(totalSeconds % 60));
}

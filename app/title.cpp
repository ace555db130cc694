#include "app/title.h"

#include <cstdio>

void formatClock(char* text, size_t size, int32_t seconds) {
  std::snprintf(text, size, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds % 3600 / 60), static_cast<int>(seconds % 60));
}

void formatTitle(char* text, size_t size, int32_t positionSeconds, int32_t totalSeconds) {
  char position[24], total[24];
  formatClock(position, sizeof position, positionSeconds);
  formatClock(total, sizeof total, totalSeconds);
  std::snprintf(text, size, "QLO [%s]-[%s]", position, total);
}

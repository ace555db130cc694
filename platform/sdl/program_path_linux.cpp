// The running program's own file on Linux.
#include <cstring>

#include "platform/platform.h"

size_t platformProgramPath(InstanceHandle instance, char* buffer, size_t size) {
  (void)instance;
  // The kernel's link to the running program opens that very file, even when
  // it was renamed or replaced on disk after the start.
  static const char SELF[] = "/proc/self/exe";
  if (!buffer || size < sizeof SELF) return 0;
  std::memcpy(buffer, SELF, sizeof SELF);
  return sizeof SELF - 1;
}

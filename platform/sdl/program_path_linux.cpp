// The running program's own file on Linux, or the message file it plays.
#include "platform/sdl/program_path_linux.h"

#include <cstring>

#include "app/dialog_services.h"

namespace {

const char* messagePath;  // null: the program's own file

}  // namespace

void sdlPlayFile(const char* path) { messagePath = path; }

size_t platformProgramPath(InstanceHandle instance, char* buffer, size_t size) {
  (void)instance;
  // The kernel's link to the running program opens that very file, even when
  // it was renamed or replaced on disk after the start.
  static const char SELF[] = "/proc/self/exe";
  const char* path = messagePath ? messagePath : SELF;
  size_t length = std::strlen(path);
  if (!buffer || length == 0 || length >= size) return 0;
  std::memcpy(buffer, path, length + 1);
  return length;
}

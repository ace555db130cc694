// Files on Linux: a path is the bytes the kernel takes.
#include "platform/platform.h"

FILE* platformOpenForReading(const char* path) { return path ? std::fopen(path, "rb") : nullptr; }

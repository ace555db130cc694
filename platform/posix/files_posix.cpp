// Files on Linux: a path is the bytes the kernel takes.
#include "playback/file_access.h"

FILE* platformOpenForReading(const char* path) { return path ? std::fopen(path, "rb") : nullptr; }

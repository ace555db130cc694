// Opening files by name, as the message reader and the player's container
// need it. Implemented per platform: the name as bytes on Linux, as UTF-8
// through the wide-character file functions on Windows.
#pragma once

#include <cstddef>
#include <cstdio>

// File names are passed as the platform names them: bytes on Linux, UTF-8 on
// Windows (so that every character of a name survives, whatever the system's
// code page). PLATFORM_PATH_BYTES holds any path the platform hands out,
// terminating zero included: the longest Windows path, 32,767 UTF-16 units,
// takes at most three bytes per unit.
const size_t PLATFORM_PATH_BYTES = 3 * 32767 + 1;

// Opens the file named `path` for binary reading; the stream is read, sought
// and closed with the standard file functions. Null when it cannot be opened.
FILE* platformOpenForReading(const char* path);

// Which file the Linux player plays: its own, or a message file it was given.
#pragma once

// From now on platformProgramPath names `path` instead of the running
// program's own file (null goes back to it). The text is not copied.
void sdlPlayFile(const char* path);

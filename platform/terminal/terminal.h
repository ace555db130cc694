// The terminal presentation of the player's dialog, for `quillo play`: the
// title is one line updated in place, keys stand in for the buttons (Space
// or p plays, s stops, Escape or q closes), and the dialog ends by itself
// once the message has played to its end. Sound goes through SDL's audio
// without any window.
#pragma once

// The message file the dialog reads as its program file.
void terminalSetProgramPath(const char* path);

// Whether a message box was shown during the last dialog (its text went to
// standard output and the dialog ended at once: there is no one to click
// it away). The player's only message box says the sound device failed.
bool terminalMessageShown();

// What the SDL dialog shows outside the platform interface.
#pragma once

#include <cstdint>

// SDL's identifier of the dialog's window while a dialog runs, else 0.
uint32_t sdlDialogWindowId();

// Whether the last platformRunDialog could not show its window (no display).
bool sdlDialogFailed();

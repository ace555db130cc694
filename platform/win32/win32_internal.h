// Private to the Win32 platform layer: the link between the dialog
// procedure trampoline and the wave-output header records.
#pragma once

#include <cstdint>

// Translates the second parameter of a buffer-done notification from the
// device's own header record into the engine's WaveHeader*: the header the
// buffer was written with, even when the engine has released it since (the
// pointer is then only a name). Returns false for a record that is not one
// of ours or owes no notification; such a message must not reach the dialog
// procedure.
bool win32TranslateWaveDone(intptr_t headerParam, intptr_t* translated);

// Releases the records still waiting for a notification once the dialog
// window is gone: the notifications went with it.
void win32ForgetWaveNotifications();

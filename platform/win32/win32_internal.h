// Private to the Win32 platform layer: the link between the dialog
// procedure trampoline and the wave-output header records.
#pragma once

#include <cstdint>

// Translates the second parameter of a buffer-done notification from the
// device's own header record into the engine's WaveHeader*. Returns false
// when the record is not one of ours that the device has just handed back
// (a notification that arrives after its header was released, or a
// duplicate); such a notification must not reach the dialog procedure.
bool win32TranslateWaveDone(uintptr_t deviceParam, intptr_t headerParam, intptr_t* translated);

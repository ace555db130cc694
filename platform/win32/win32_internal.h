// Private to the Win32 platform layer: the link between the dialog
// procedure trampoline and the wave-output header records, and the
// conversion of file names between UTF-16 and the UTF-8 the shared code
// holds them in.
#pragma once

#include <cstddef>
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

// `units` UTF-16 units as UTF-8 into `out` (at most `size` bytes with the
// terminating zero), an unpaired surrogate as its own three bytes; returns
// the length. 0, with `out` empty, when it does not fit.
size_t win32Utf8FromWide(const wchar_t* wide, size_t units, char* out, size_t size);

// The UTF-8 `text` (unpaired surrogates allowed, as written above) as UTF-16
// into `out` (at most `size` units with the terminating zero). False for
// bytes that are not such UTF-8 and for a name that does not fit.
bool win32WideFromUtf8(const char* text, wchar_t* out, size_t size);

// `name` as the file functions take it when it is MAX_PATH units or longer:
// the full path (backslashes only, no "." or "..") in the "\\?\" form, or
// "\\?\UNC\server\share\..." for a network path. Returns a buffer to free,
// or null when `name` is to be used as it is (shorter, or in such a form
// already).
wchar_t* win32ExtendedLengthPath(const wchar_t* name);

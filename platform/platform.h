// The platform layer: exactly the window, wave-output and program-file services
// the player relies on, and nothing more. One implementation per platform is
// chosen by the build (Win32, SDL2, and a scripted fake for tests); the
// dialog procedure and the playback engine are written once against this.
//
// Semantics follow the Windows dialog manager and wave-output device:
// - every notification (buffer done, commands, init, destroy) reaches the
//   dialog procedure on the dialog's own thread, never from an audio thread;
// - a queued buffer is handed back exactly once with PLATFORM_WOM_DONE, also
//   when a reset returns it; lParam then carries its WaveHeader*;
// - buffer-done notifications are posted: the dialog's message loop delivers
//   them later, in the order they were posted, never from inside a platform
//   call. When platformWaveReset returns, the notifications of every buffer
//   it handed back have been posted, so they arrive before any notification
//   of a device opened afterwards. Notifications still waiting when the
//   dialog is destroyed are discarded;
// - WM_COMMAND carries the control identifier in the low 16 bits of wParam.
//   Escape and the close box send PLATFORM_IDCANCEL; Enter sends the
//   identifier of the control with the PLATFORM_BS_DEFPUSHBUTTON style.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

typedef struct PlatformInstance* InstanceHandle;  // the running program module
typedef struct PlatformWindow* WindowHandle;      // the dialog window
typedef struct PlatformImage* ImageHandle;        // a loaded button bitmap
typedef struct PlatformWaveOut* WaveOutHandle;    // an open wave-output device

// Messages of the dialog procedure (numbered as the Windows messages).
const unsigned PLATFORM_WM_DESTROY = 0x0002;
const unsigned PLATFORM_WM_INITDIALOG = 0x0110;
const unsigned PLATFORM_WM_COMMAND = 0x0111;
const unsigned PLATFORM_WOM_DONE = 0x03BD;  // 957

// Command identifier sent by Escape and the close box.
const int PLATFORM_IDCANCEL = 2;

// Button style bit: the dialog's default button.
const uint32_t PLATFORM_BS_DEFPUSHBUTTON = 0x1;

// Returns nonzero for a handled message.
typedef intptr_t (*DialogProc)(WindowHandle window, unsigned message, uintptr_t wParam,
                               intptr_t lParam);

// PCM format of the wave-output device.
struct WaveFormat {
  uint16_t channels;
  uint32_t samplesPerSecond;
  uint32_t bytesPerSecond;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
};

// One buffer handed to the device. The engine owns it; `native` is the
// platform's own record, set by platformWavePrepare and cleared by
// platformWaveUnprepare.
struct WaveHeader {
  char* data;
  uint32_t bufferLength;
  uint32_t flags;
  uint32_t loops;
  void* native;
};

// --- Program and dialog ---------------------------------------------------

// Runs the modal dialog of template `templateId` with `proc`; returns the
// value given to platformEndDialog. WM_INITDIALOG carries `param` in lParam.
intptr_t platformRunDialog(InstanceHandle instance, int templateId, DialogProc proc,
                           intptr_t param);
// Ends the dialog once the message being handled returns: the procedure then
// receives WM_DESTROY, its last message, and platformRunDialog returns.
void platformEndDialog(WindowHandle window, intptr_t result);

// Loads bitmap resource `resourceId` at its own size, greys mapped to the
// system's 3-D colours. Null when it does not exist.
ImageHandle platformLoadBitmap(InstanceHandle instance, int resourceId);

// Dialog controls, addressed by identifier.
void platformSetButtonImage(WindowHandle window, int controlId, ImageHandle image);
void platformEnableControl(WindowHandle window, int controlId, bool enable);
uint32_t platformGetControlStyle(WindowHandle window, int controlId);
void platformSetControlStyle(WindowHandle window, int controlId, uint32_t style);
void platformFocusControl(WindowHandle window, int controlId);

// The dialog's title text.
void platformSetTitle(WindowHandle window, const char* text);

// Information message box with one OK button; returns when it is closed.
void platformMessageBox(WindowHandle owner, const char* text, const char* caption);

// --- Program file ----------------------------------------------------------

// File names are passed as the platform names them: bytes on Linux, UTF-8 on
// Windows (so that every character of a name survives, whatever the system's
// code page). PLATFORM_PATH_BYTES holds any path the platform hands out,
// terminating zero included: the longest Windows path, 32,767 UTF-16 units,
// takes at most three bytes per unit.
const size_t PLATFORM_PATH_BYTES = 3 * 32767 + 1;

// Full path of the running program file into `buffer` (at most `size` bytes
// with the terminating zero); returns its length. 0 on failure and when the
// path does not fit: a cut path would name another file.
size_t platformProgramPath(InstanceHandle instance, char* buffer, size_t size);

// Opens the file named `path` for binary reading; the stream is read, sought
// and closed with the standard file functions. Null when it cannot be opened.
FILE* platformOpenForReading(const char* path);

// --- Wave output (results: 0 success, nonzero failure) --------------------

unsigned platformWaveDeviceCount();
// Whether `format` can be played on the default device; opens nothing.
int platformWaveQueryFormat(const WaveFormat* format);
// Opens the default device; buffer-done notifications go to `window`.
int platformWaveOpen(WaveOutHandle* device, const WaveFormat* format, WindowHandle window);
int platformWavePrepare(WaveOutHandle device, WaveHeader* header);
// Appends a prepared buffer to the device's queue; buffers play in order.
int platformWaveWrite(WaveOutHandle device, WaveHeader* header);
// Stops at once and hands every queued buffer back (each with its notification).
int platformWaveReset(WaveOutHandle device);
int platformWaveUnprepare(WaveOutHandle device, WaveHeader* header);
int platformWaveClose(WaveOutHandle device);

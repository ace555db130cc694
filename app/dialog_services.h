// The window services the player's dialog procedure relies on, and nothing
// more. One implementation per platform is chosen by the build (Win32, SDL2,
// the terminal, and a scripted fake for tests).
//
// Semantics follow the Windows dialog manager:
// - every message (commands, init, destroy, and the wave output's
//   buffer-done notifications) reaches the dialog procedure on the dialog's
//   own thread;
// - WM_COMMAND carries the control identifier in the low 16 bits of wParam.
//   Escape and the close box send PLATFORM_IDCANCEL; Enter sends the
//   identifier of the control with the PLATFORM_BS_DEFPUSHBUTTON style.
#pragma once

#include <cstddef>
#include <cstdint>

#include "playback/handles.h"

// Messages of the dialog procedure (numbered as the Windows messages).
const unsigned PLATFORM_WM_DESTROY = 0x0002;
const unsigned PLATFORM_WM_INITDIALOG = 0x0110;
const unsigned PLATFORM_WM_COMMAND = 0x0111;

// Command identifier sent by Escape and the close box.
const int PLATFORM_IDCANCEL = 2;

// Button style bit: the dialog's default button.
const uint32_t PLATFORM_BS_DEFPUSHBUTTON = 0x1;

// Returns nonzero for a handled message.
typedef intptr_t (*DialogProc)(WindowHandle window, unsigned message, uintptr_t wParam,
                               intptr_t lParam);

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

// Full path of the running program file into `buffer` (at most `size` bytes
// with the terminating zero, PLATFORM_PATH_BYTES is always enough); returns
// its length. 0 on failure and when the path does not fit: a cut path would
// name another file.
size_t platformProgramPath(InstanceHandle instance, char* buffer, size_t size);

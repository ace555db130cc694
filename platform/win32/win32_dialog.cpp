// Dialog, controls and message box through the Windows user interface. The
// platform handles are the Windows handles themselves.
#include <windows.h>

#include "app/dialog_services.h"
#include "playback/wave_output.h"
#include "platform/win32/win32_internal.h"

// The dialog procedure of the one modal dialog that runs.
static struct Win32DialogState {
  DialogProc proc;  // shared dialog procedure, set while the dialog runs
} dialogState;

static HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The control with identifier `controlId`. Identifiers in a dialog template
// are 16 bits wide, so -1 (the usual identifier of static text) is stored as
// 0xFFFF and may only be found that way.
static HWND controlOf(WindowHandle window, int controlId) {
  HWND control = GetDlgItem(toHwnd(window), controlId);
  if (!control && controlId < 0) control = GetDlgItem(toHwnd(window), controlId & 0xFFFF);
  return control;
}

// Passes every message up to WM_DESTROY to the shared procedure; buffer-done
// notifications carry the engine's WaveHeader* instead of the device's own
// record.
static INT_PTR CALLBACK dialogTrampoline(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogProc proc = dialogState.proc;
  if (!proc) return FALSE;
  if (message == MM_WOM_DONE) {
    intptr_t header = 0;
    if (!win32TranslateWaveDone(lParam, &header)) return TRUE;
    lParam = header;
  }
  if (message == WM_DESTROY) dialogState.proc = nullptr;  // its last message
  return proc(reinterpret_cast<WindowHandle>(hwnd), message, wParam, lParam);
}

intptr_t platformRunDialog(InstanceHandle instance, int templateId, DialogProc proc,
                           intptr_t param) {
  dialogState.proc = proc;
  INT_PTR result = DialogBoxParamA(reinterpret_cast<HINSTANCE>(instance),
                                   MAKEINTRESOURCEA(templateId), nullptr, dialogTrampoline, param);
  dialogState.proc = nullptr;
  win32ForgetWaveNotifications();
  return result;
}

void platformEndDialog(WindowHandle window, intptr_t result) { EndDialog(toHwnd(window), result); }

ImageHandle platformLoadBitmap(InstanceHandle instance, int resourceId) {
  HANDLE image = LoadImageA(reinterpret_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(resourceId),
                            IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS);
  return reinterpret_cast<ImageHandle>(image);
}

void platformSetButtonImage(WindowHandle window, int controlId, ImageHandle image) {
  SendMessageA(controlOf(window, controlId), BM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(image));
}

void platformEnableControl(WindowHandle window, int controlId, bool enable) {
  EnableWindow(controlOf(window, controlId), enable ? TRUE : FALSE);
}

uint32_t platformGetControlStyle(WindowHandle window, int controlId) {
  return static_cast<uint32_t>(GetWindowLongA(controlOf(window, controlId), GWL_STYLE));
}

void platformSetControlStyle(WindowHandle window, int controlId, uint32_t style) {
  SetWindowLongA(controlOf(window, controlId), GWL_STYLE, static_cast<LONG>(style));
}

void platformFocusControl(WindowHandle window, int controlId) {
  SetFocus(controlOf(window, controlId));
}

void platformSetTitle(WindowHandle window, const char* text) {
  SetWindowTextA(toHwnd(window), text);
}

void platformMessageBox(WindowHandle owner, const char* text, const char* caption) {
  MessageBoxA(toHwnd(owner), text, caption, MB_ICONINFORMATION);
}

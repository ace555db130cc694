// Prints what a running player shows, for the end-to-end test under Wine:
// every visible top-level window whose title starts with "QLO" (the dialog
// and its message box), with its controls. One line per window and per
// control:
//
//   window class="#32770" title="QLO" rect=L,T,R,B focus=ID
//   control id=1019 class="Button" style=0x50000080 enabled=1 visible=1
//           image=0x... rect=L,T,R,B text="..."
//
// Rectangles are in screen coordinates, which under Wine's unmanaged
// windows are those of the X display. Exits 1 when no such window exists.
#include <windows.h>

#include <cstdio>
#include <cstring>

static void printControl(HWND control) {
  char cls[64] = "", text[256] = "";
  GetClassNameA(control, cls, sizeof cls);
  GetWindowTextA(control, text, sizeof text);
  RECT r;
  GetWindowRect(control, &r);
  DWORD_PTR image = 0;
  if (_stricmp(cls, "Button") == 0)
    SendMessageTimeoutA(control, BM_GETIMAGE, IMAGE_BITMAP, 0, SMTO_ABORTIFHUNG, 1000, &image);
  std::printf(
      "control id=%d class=\"%s\" style=0x%08lx enabled=%d visible=%d image=0x%llx "
      "rect=%ld,%ld,%ld,%ld text=\"%s\"\n",
      static_cast<int>(static_cast<short>(GetDlgCtrlID(control))), cls,
      static_cast<unsigned long>(GetWindowLongA(control, GWL_STYLE)),
      IsWindowEnabled(control) ? 1 : 0, IsWindowVisible(control) ? 1 : 0,
      static_cast<unsigned long long>(image), r.left, r.top, r.right, r.bottom, text);
}

static BOOL CALLBACK printWindow(HWND window, LPARAM found) {
  char title[256] = "", cls[64] = "";
  GetWindowTextA(window, title, sizeof title);
  if (!IsWindowVisible(window) || std::strncmp(title, "QLO", 3) != 0) return TRUE;
  GetClassNameA(window, cls, sizeof cls);
  RECT r;
  GetWindowRect(window, &r);
  GUITHREADINFO gui;
  gui.cbSize = sizeof gui;
  int focus = 0;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) && gui.hwndFocus &&
      GetParent(gui.hwndFocus) == window)
    focus = static_cast<short>(GetDlgCtrlID(gui.hwndFocus));
  std::printf("window class=\"%s\" title=\"%s\" rect=%ld,%ld,%ld,%ld focus=%d\n", cls, title,
              r.left, r.top, r.right, r.bottom, focus);
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    printControl(child);
  *reinterpret_cast<int*>(found) += 1;
  return TRUE;
}

int main() {
  int found = 0;
  EnumWindows(printWindow, reinterpret_cast<LPARAM>(&found));
  std::fflush(stdout);
  return found > 0 ? 0 : 1;
}

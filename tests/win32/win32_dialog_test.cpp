// The Win32 dialog services and the player's compiled resources, run under
// Wine with a display. The resources are read from the player program named
// by QUILLO_PLAYER_EXE when set (the file that ships), else from this test
// program, which links the same resource object.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/dialog_services.h"
#include "resources/dialog_template.h"
#include "playback/file_access.h"
#include "playback/wave_output.h"

namespace {

// --- Reading resources -----------------------------------------------------

struct ResourceModule {
  HMODULE module = nullptr;
  bool loadedHere = false;
  ResourceModule() {
    const char* player = std::getenv("QUILLO_PLAYER_EXE");
    if (player && *player) {
      module = LoadLibraryExA(player, nullptr, LOAD_LIBRARY_AS_DATAFILE);
      loadedHere = true;
    } else {
      module = GetModuleHandleA(nullptr);
    }
  }
  ~ResourceModule() {
    if (loadedHere && module) FreeLibrary(module);
  }
};

std::vector<uint8_t> resourceBytes(HMODULE module, int id, LPCSTR type) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(loaded));
  return std::vector<uint8_t>(data, data + SizeofResource(module, found));
}

// Reads the little-endian fields of a dialog template in order.
struct TemplateReader {
  const std::vector<uint8_t>& bytes;
  size_t at = 0;
  bool overrun = false;

  uint32_t next(size_t width) {
    if (at + width > bytes.size()) {
      overrun = true;
      return 0;
    }
    uint32_t v = 0;
    for (size_t i = 0; i < width; i++) v |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    at += width;
    return v;
  }
  uint16_t word() { return static_cast<uint16_t>(next(2)); }
  uint32_t dword() { return next(4); }
  int16_t coordinate() { return static_cast<int16_t>(word()); }
  std::string text() {
    std::string s;
    for (uint16_t c = word(); c != 0 && !overrun; c = word()) s += static_cast<char>(c);
    return s;
  }
  // A class or menu field: 0 (none), 0xFFFF then an ordinal, or a text.
  std::string nameOrOrdinal() {
    uint16_t first = word();
    if (first == 0) return "";
    if (first == 0xFFFF) return "#" + std::to_string(word());
    std::string s(1, static_cast<char>(first));
    return s + text();
  }
  void alignToDword() { at = (at + 3) & ~static_cast<size_t>(3); }
};

struct ExpectedControl {
  uint16_t id;
  const char* windowClass;  // predefined classes by ordinal: #128 button, #130 static
  uint32_t style;
  int16_t x, y, cx, cy;
  const char* text;
};

const ExpectedControl PLAYER_CONTROLS[] = {
    {1025, "#128", WS_CHILD | BS_DEFPUSHBUTTON, DEFAULT_BUTTON_RECT, ""},
    {1019, "#128", WS_CHILD | WS_VISIBLE | BS_BITMAP, PLAY_BUTTON_RECT, ""},
    {1020, "#128", WS_CHILD | WS_VISIBLE | BS_BITMAP, STOP_BUTTON_RECT, ""},
    {0xFFFF, "#130", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, PROGRAM_NAME_RECT,
     PROGRAM_NAME_TEXT},
};

TEST(Win32Resources, DialogTemplateHasTheLayoutOfThePlayer) {
  ResourceModule res;
  ASSERT_NE(res.module, nullptr) << "cannot load " << std::getenv("QUILLO_PLAYER_EXE");
  std::vector<uint8_t> bytes = resourceBytes(res.module, 103, MAKEINTRESOURCEA(5));  // RT_DIALOG
  ASSERT_FALSE(bytes.empty());
  TemplateReader t{bytes};

  EXPECT_EQ(t.dword(), static_cast<uint32_t>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                             DS_CENTER | DS_SETFONT));
  EXPECT_EQ(t.dword(), 0u) << "extended style";
  uint16_t count = t.word();
  EXPECT_EQ(count, 4);
  EXPECT_EQ(t.coordinate(), 0);
  EXPECT_EQ(t.coordinate(), 0);
  EXPECT_EQ(t.coordinate(), PLAYER_DIALOG_WIDTH);
  EXPECT_EQ(t.coordinate(), PLAYER_DIALOG_HEIGHT);
  EXPECT_EQ(t.nameOrOrdinal(), "") << "menu";
  EXPECT_EQ(t.nameOrOrdinal(), "") << "window class";
  EXPECT_EQ(t.text(), PLAYER_DIALOG_CAPTION);
  EXPECT_EQ(t.word(), PLAYER_DIALOG_FONT_POINTS) << "point size";
  EXPECT_EQ(t.text(), PLAYER_DIALOG_FONT);

  for (int i = 0; i < count && i < 4; i++) {
    const ExpectedControl& want = PLAYER_CONTROLS[i];
    SCOPED_TRACE("control " + std::to_string(i));
    t.alignToDword();
    EXPECT_EQ(t.dword(), want.style);
    EXPECT_EQ(t.dword(), 0u) << "extended style";
    EXPECT_EQ(t.coordinate(), want.x);
    EXPECT_EQ(t.coordinate(), want.y);
    EXPECT_EQ(t.coordinate(), want.cx);
    EXPECT_EQ(t.coordinate(), want.cy);
    EXPECT_EQ(t.word(), want.id);
    EXPECT_EQ(t.nameOrOrdinal(), want.windowClass);
    EXPECT_EQ(t.nameOrOrdinal(), want.text);
    EXPECT_EQ(t.word(), 0) << "creation data";
  }
  EXPECT_FALSE(t.overrun);
}

TEST(Win32Resources, ManifestMakesTheProgramLongPathAwareAndAsksForNoElevation) {
  ResourceModule res;
  ASSERT_NE(res.module, nullptr);
  std::vector<uint8_t> bytes = resourceBytes(res.module, 1, RT_MANIFEST);
  std::string manifest(bytes.begin(), bytes.end());
  EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                          "WindowsSettings\">true</longPathAware>"),
            std::string::npos)
      << manifest;
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
}

TEST(Win32Resources, BitmapsAndIconHaveTheirSizesAndColours) {
  ResourceModule res;
  ASSERT_NE(res.module, nullptr);
  for (int id : {117, 119, 121}) {
    std::vector<uint8_t> dib = resourceBytes(res.module, id, MAKEINTRESOURCEA(2));  // RT_BITMAP
    ASSERT_GE(dib.size(), sizeof(BITMAPINFOHEADER)) << "bitmap " << id;
    BITMAPINFOHEADER info;
    std::memcpy(&info, dib.data(), sizeof info);
    EXPECT_EQ(info.biWidth, 20) << "bitmap " << id;
    EXPECT_EQ(info.biHeight, 20) << "bitmap " << id;
    EXPECT_EQ(info.biBitCount, 4) << "bitmap " << id;
  }
  // An icon group: reserved, type 1, count, then 14-byte entries.
  std::vector<uint8_t> group = resourceBytes(res.module, 102, MAKEINTRESOURCEA(14));
  ASSERT_EQ(group.size(), 6u + 14u);
  EXPECT_EQ(group[2] | group[3] << 8, 1) << "type icon";
  EXPECT_EQ(group[4] | group[5] << 8, 1) << "one image";
  EXPECT_EQ(group[6], 32) << "width";
  EXPECT_EQ(group[7], 32) << "height";
  EXPECT_EQ(group[8], 16) << "colours";
}

// --- Running the dialog ----------------------------------------------------

InstanceHandle self() { return reinterpret_cast<InstanceHandle>(GetModuleHandleA(nullptr)); }
HWND hwndOf(WindowHandle w) { return reinterpret_cast<HWND>(w); }

// What the scripted dialog procedure saw.
struct DialogLog {
  intptr_t initParam = -1;
  std::vector<unsigned> commands;  // low words of WM_COMMAND
  bool destroyed = false;
  unsigned messagesAfterDestroy = 0;
  std::vector<unsigned> keysToPost;  // virtual keys posted one after another
} dialogLog;

void postNextKey(HWND dialog) {
  if (dialogLog.keysToPost.empty()) return;
  WPARAM key = dialogLog.keysToPost.front();
  dialogLog.keysToPost.erase(dialogLog.keysToPost.begin());
  PostMessageA(dialog, WM_KEYDOWN, key, 1);
  PostMessageA(dialog, WM_KEYUP, key, 0xC0000001);
}

intptr_t keyDialogProc(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (dialogLog.destroyed) dialogLog.messagesAfterDestroy++;
  switch (message) {
    case PLATFORM_WM_INITDIALOG:
      dialogLog.initParam = lParam;
      // Nothing may hold the focus that would take the keys for itself.
      platformFocusControl(window, 1019);
      postNextKey(hwndOf(window));
      return FALSE;
    case PLATFORM_WM_COMMAND:
      dialogLog.commands.push_back(static_cast<unsigned>(wParam & 0xFFFF));
      if ((wParam & 0xFFFF) == PLATFORM_IDCANCEL)
        platformEndDialog(window, 77);
      else
        postNextKey(hwndOf(window));
      return TRUE;
    case PLATFORM_WM_DESTROY:
      dialogLog.destroyed = true;
      return TRUE;
  }
  return FALSE;
}

TEST(Win32Dialog, EnterSendsTheDefaultButtonEscapeEndsTheDialog) {
  dialogLog = DialogLog();
  dialogLog.keysToPost = {VK_RETURN, VK_ESCAPE};
  intptr_t result = platformRunDialog(self(), 103, keyDialogProc, 4242);
  EXPECT_EQ(result, 77);
  EXPECT_EQ(dialogLog.initParam, 4242);
  EXPECT_EQ(dialogLog.commands, (std::vector<unsigned>{1025, PLATFORM_IDCANCEL}));
  EXPECT_TRUE(dialogLog.destroyed);
  EXPECT_EQ(dialogLog.messagesAfterDestroy, 0u) << "WM_DESTROY is the last message";
}

// Checks made from inside WM_INITDIALOG, where the controls exist.
struct ControlChecks {
  bool ran = false;
  bool missingBitmapIsNull = false;
  bool bitmapAtItsOwnSize = false;
  bool focusOnStaticText = false;
} controlChecks;

intptr_t controlDialogProc(WindowHandle window, unsigned message, uintptr_t, intptr_t) {
  if (message != PLATFORM_WM_INITDIALOG) return FALSE;
  ControlChecks& c = controlChecks;
  c.ran = true;
  c.missingBitmapIsNull = platformLoadBitmap(self(), 118) == nullptr;
  ImageHandle playing = platformLoadBitmap(self(), 121);
  BITMAP info{};
  c.bitmapAtItsOwnSize = playing &&
                         GetObjectA(reinterpret_cast<HBITMAP>(playing), sizeof info, &info) &&
                         info.bmWidth == 20 && info.bmHeight == 20;
  // The program name's identifier -1 is 0xFFFF in the template; focusing it
  // must find it, since with no focus at all the dialog ignores its keys.
  platformFocusControl(window, 1019);
  platformFocusControl(window, -1);
  c.focusOnStaticText = GetFocus() && GetDlgCtrlID(GetFocus()) == 0xFFFF;
  platformEndDialog(window, 5);
  return FALSE;
}

TEST(Win32Dialog, BitmapsLoadAtTheirSizeAndTheStaticTextTakesTheFocus) {
  controlChecks = ControlChecks();
  EXPECT_EQ(platformRunDialog(self(), 103, controlDialogProc, 0), 5);
  ASSERT_TRUE(controlChecks.ran);
  EXPECT_TRUE(controlChecks.missingBitmapIsNull);
  EXPECT_TRUE(controlChecks.bitmapAtItsOwnSize);
  EXPECT_TRUE(controlChecks.focusOnStaticText);
}

TEST(Win32Program, PathOfTheRunningProgramAndAPathThatDoesNotFit) {
  char path[MAX_PATH + 1];
  size_t length = platformProgramPath(self(), path, sizeof path);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, std::strlen(path));
  std::string p(path);
  EXPECT_NE(p.find("win32_dialog_test.exe"), std::string::npos) << p;

  std::vector<char> exact(length + 1, 'x');
  EXPECT_EQ(platformProgramPath(self(), exact.data(), exact.size()), length);
  EXPECT_STREQ(exact.data(), path);
  std::vector<char> shortBy1(length, 'x');
  EXPECT_EQ(platformProgramPath(self(), shortBy1.data(), shortBy1.size()), 0u);
  EXPECT_EQ(platformProgramPath(self(), shortBy1.data(), 0), 0u);
}

}  // namespace

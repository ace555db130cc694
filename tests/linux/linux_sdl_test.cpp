// The SDL platform layer run for real with SDL's dummy video and disk audio
// drivers, driven by small scripted dialog procedures: the wave output's
// bytes and notifications, and the dialog's commands and message box.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/dialog_services.h"
#include "playback/file_access.h"
#include "playback/wave_output.h"
#include "platform/sdl/dialog_layout.h"
#include "platform/sdl/dialog_sdl.h"
#include "platform/sdl/font.h"
#include "platform/sdl/font_sdl.h"
#include "platform/sdl/program_path_linux.h"
#include "tests/support/test_support.h"

namespace {

const WaveFormat PCM_8K_MONO = {1, 8000, 16000, 2, 16};

struct Script {
  std::string rawPath;  // what the disk audio driver wrote
  std::vector<WaveHeader*> done;
  std::vector<uintptr_t> doneDevice;
  std::vector<int> commands;
  bool offThread = false;        // a message reached the procedure off the main thread
  bool insideCall = false;       // a platform call is running on the procedure's behalf
  bool deliveredInside = false;  // a notification arrived during such a call
  bool afterDestroy = false;
  SDL_threadID mainThread = 0;
  WaveOutHandle device = nullptr;
  WaveOutHandle second = nullptr;
  WaveHeader headers[3];
  std::vector<int16_t> pcm[3];
};

Script* script;

// Every SDL test uses the dummy video driver and writes its sound to a file.
void useHeadlessDrivers(Script* s, const char* name) {
  s->rawPath = testsupport::tempDir() + "/" + name + ".raw";
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", s->rawPath.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "16", 1);
  s->mainThread = SDL_ThreadID();
  script = s;
}

#define REQUIRE_SDL_VIDEO()                                                                \
  do {                                                                                     \
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)                                            \
      GTEST_SKIP() << "SKIPPED: SDL video (dummy driver) unavailable: " << SDL_GetError(); \
  } while (0)

void makeBuffer(Script* s, int k, int samples) {
  s->pcm[k].resize(samples);
  for (int j = 0; j < samples; j++)
    s->pcm[k][j] = static_cast<int16_t>((k + 1) * 1000 + j % 97 + 1);
  WaveHeader& h = s->headers[k];
  h = WaveHeader();
  h.data = reinterpret_cast<char*>(s->pcm[k].data());
  h.bufferLength = static_cast<uint32_t>(samples * 2);
}

void note(unsigned message) {
  if (SDL_ThreadID() != script->mainThread) script->offThread = true;
  if (script->insideCall && message == PLATFORM_WOM_DONE) script->deliveredInside = true;
  if (script->afterDestroy) ADD_FAILURE() << "message " << message << " after WM_DESTROY";
}

void recordDone(uintptr_t wParam, intptr_t lParam) {
  script->done.push_back(reinterpret_cast<WaveHeader*>(lParam));
  script->doneDevice.push_back(wParam);
}

void stopDevice(WaveOutHandle device, int buffers) {
  script->insideCall = true;
  EXPECT_EQ(platformWaveReset(device), 0);
  for (int k = 0; k < buffers; k++)
    EXPECT_EQ(platformWaveUnprepare(device, &script->headers[k]), 0);
  EXPECT_EQ(platformWaveClose(device), 0);
  script->insideCall = false;
}

std::vector<int16_t> readRaw(const std::string& path) {
  std::vector<uint8_t> bytes;
  testsupport::readFile(path, bytes);
  return testsupport::toSamples(bytes);
}

// Three buffers queued at once play back to back; each comes back once, in
// order, on the dialog's thread; the file holds exactly their samples.
intptr_t playThree(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  note(message);
  if (message == PLATFORM_WM_INITDIALOG) {
    if (platformWaveDeviceCount() < 1 || platformWaveQueryFormat(&PCM_8K_MONO) != 0 ||
        platformWaveOpen(&script->device, &PCM_8K_MONO, window) != 0) {
      ADD_FAILURE() << "disk audio device did not open";
      platformEndDialog(window, -2);
      return 1;
    }
    int lengths[3] = {1000, 777, 2048};
    for (int k = 0; k < 3; k++) {
      makeBuffer(script, k, lengths[k]);
      EXPECT_EQ(platformWavePrepare(script->device, &script->headers[k]), 0);
    }
    script->insideCall = true;
    for (int k = 0; k < 3; k++)
      EXPECT_EQ(platformWaveWrite(script->device, &script->headers[k]), 0);
    // Queued buffers are the device's: not to be unprepared or queued twice.
    EXPECT_NE(platformWaveUnprepare(script->device, &script->headers[0]), 0);
    EXPECT_NE(platformWaveWrite(script->device, &script->headers[0]), 0);
    EXPECT_NE(platformWaveClose(script->device), 0);
    script->insideCall = false;
    return 1;
  }
  if (message == PLATFORM_WOM_DONE) {
    recordDone(wParam, lParam);
    if (script->done.size() == 3) {
      stopDevice(script->device, 3);
      platformEndDialog(window, 7);
    }
    return 1;
  }
  if (message == PLATFORM_WM_DESTROY) script->afterDestroy = true;
  return 0;
}

}  // namespace

TEST(LinuxSdlWave, QueuedBuffersPlayInOrderAndComeBackOnceOnTheDialogThread) {
  Script s;
  useHeadlessDrivers(&s, "three");
  REQUIRE_SDL_VIDEO();
  ASSERT_EQ(platformRunDialog(nullptr, 103, playThree, 0), 7);
  ASSERT_EQ(s.done.size(), 3u);
  for (int k = 0; k < 3; k++) EXPECT_EQ(s.done[k], &s.headers[k]);
  for (uintptr_t d : s.doneDevice) EXPECT_EQ(d, reinterpret_cast<uintptr_t>(s.device));
  EXPECT_FALSE(s.offThread);
  EXPECT_FALSE(s.deliveredInside);

  std::vector<int16_t> expected;
  for (int k = 0; k < 3; k++) expected.insert(expected.end(), s.pcm[k].begin(), s.pcm[k].end());
  std::vector<int16_t> raw = readRaw(s.rawPath);
  size_t first = 0;
  while (first < raw.size() && raw[first] == 0) first++;
  ASSERT_GE(raw.size(), first + expected.size()) << "disk file too short";
  for (size_t i = 0; i < expected.size(); i++)
    ASSERT_EQ(raw[first + i], expected[i]) << "sample " << i;
  for (size_t i = first + expected.size(); i < raw.size(); i++) ASSERT_EQ(raw[i], 0) << i;
}

namespace {

// A reset hands every queued buffer back; the notifications come after the
// call, before those of a device opened afterwards.
intptr_t resetEarly(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  note(message);
  if (message == PLATFORM_WM_INITDIALOG) {
    EXPECT_EQ(platformWaveOpen(&script->device, &PCM_8K_MONO, window), 0);
    for (int k = 0; k < 2; k++) {
      makeBuffer(script, k, 8000);  // a second each: still queued at the reset
      platformWavePrepare(script->device, &script->headers[k]);
      platformWaveWrite(script->device, &script->headers[k]);
    }
    stopDevice(script->device, 2);
    EXPECT_EQ(platformWaveOpen(&script->second, &PCM_8K_MONO, window), 0);
    makeBuffer(script, 2, 100);
    platformWavePrepare(script->second, &script->headers[2]);
    platformWaveWrite(script->second, &script->headers[2]);
    return 1;
  }
  if (message == PLATFORM_WOM_DONE) {
    recordDone(wParam, lParam);
    if (script->done.size() == 3) {
      platformWaveReset(script->second);
      platformWaveUnprepare(script->second, &script->headers[2]);
      platformWaveClose(script->second);
      platformEndDialog(window, 1);
    }
    return 1;
  }
  if (message == PLATFORM_WM_DESTROY) script->afterDestroy = true;
  return 0;
}

// Ends the dialog with buffers still queued; stops the device only at
// WM_DESTROY, whose hand-backs must never be delivered.
intptr_t endWhilePlaying(WindowHandle window, unsigned message, uintptr_t, intptr_t) {
  note(message);
  if (message == PLATFORM_WM_INITDIALOG) {
    EXPECT_EQ(platformWaveOpen(&script->device, &PCM_8K_MONO, window), 0);
    for (int k = 0; k < 2; k++) {
      makeBuffer(script, k, 8000);
      platformWavePrepare(script->device, &script->headers[k]);
      platformWaveWrite(script->device, &script->headers[k]);
    }
    platformEndDialog(window, 3);
    return 1;
  }
  if (message == PLATFORM_WOM_DONE) ADD_FAILURE() << "notification for an ended dialog";
  if (message == PLATFORM_WM_DESTROY) {
    stopDevice(script->device, 2);
    script->afterDestroy = true;
  }
  return 0;
}

// A second dialog that only waits for Escape.
intptr_t waitForEscape(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t) {
  if (message == PLATFORM_WM_INITDIALOG) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_KEYDOWN;
    e.key.windowID = sdlDialogWindowId();
    e.key.keysym.sym = SDLK_ESCAPE;
    SDL_PushEvent(&e);
    return 1;
  }
  if (message == PLATFORM_WOM_DONE) ADD_FAILURE() << "stale notification reached a new dialog";
  if (message == PLATFORM_WM_COMMAND && (wParam & 0xFFFF) == PLATFORM_IDCANCEL)
    platformEndDialog(window, 4);
  return message != PLATFORM_WM_DESTROY;
}

}  // namespace

TEST(LinuxSdlWave, ResetNotificationsArriveAfterTheCallAndBeforeLaterDevices) {
  Script s;
  useHeadlessDrivers(&s, "reset");
  REQUIRE_SDL_VIDEO();
  ASSERT_EQ(platformRunDialog(nullptr, 103, resetEarly, 0), 1);
  ASSERT_EQ(s.done.size(), 3u);
  EXPECT_EQ(s.done[0], &s.headers[0]);
  EXPECT_EQ(s.done[1], &s.headers[1]);
  EXPECT_EQ(s.done[2], &s.headers[2]);
  EXPECT_EQ(s.doneDevice[2], reinterpret_cast<uintptr_t>(s.second));
  EXPECT_FALSE(s.deliveredInside);
  EXPECT_FALSE(s.offThread);
}

TEST(LinuxSdlWave, NotificationsWaitingAtTheEndAreDiscarded) {
  Script s;
  useHeadlessDrivers(&s, "discard");
  REQUIRE_SDL_VIDEO();
  ASSERT_EQ(platformRunDialog(nullptr, 103, endWhilePlaying, 0), 3);
  ASSERT_EQ(platformRunDialog(nullptr, 103, waitForEscape, 0), 4);
}

namespace {

// A key pressed and released, with `mod` (Shift) held.
void pushKey(SDL_Keycode key, Uint16 mod = KMOD_NONE) {
  SDL_Event e;
  SDL_zero(e);
  e.key.windowID = sdlDialogWindowId();
  e.key.keysym.sym = key;
  e.key.keysym.mod = mod;
  for (Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) {
    e.type = type;
    SDL_PushEvent(&e);
  }
}

void pushMouse(Uint32 type, int x, int y, Uint32 windowId) {
  SDL_Event e;
  SDL_zero(e);
  e.type = type;
  if (type == SDL_MOUSEMOTION) {
    e.motion.windowID = windowId;
    e.motion.x = x;
    e.motion.y = y;
  } else {
    e.button.windowID = windowId;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = x;
    e.button.y = y;
  }
  SDL_PushEvent(&e);
}

void click(int x, int y, Uint32 windowId) {
  pushMouse(SDL_MOUSEBUTTONDOWN, x, y, windowId);
  pushMouse(SDL_MOUSEBUTTONUP, x, y, windowId);
}

bool playWasDefault;

// Input queued at the start: Enter, Space on Play (the first button, which
// the dialog focuses), a click on Play, Space (still on Play), a press on
// Stop released outside it, a click on Stop.
// Stop's command disables Stop, clicks it again and presses Escape.
intptr_t scriptedInput(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t) {
  note(message);
  Uint32 windowId = sdlDialogWindowId();
  if (message == PLATFORM_WM_INITDIALOG) {
    pushKey(SDLK_RETURN);
    pushKey(SDLK_SPACE);
    click(20, 20, windowId);  // Play: 9..38 x 7..35
    pushKey(SDLK_SPACE);
    pushMouse(SDL_MOUSEBUTTONDOWN, 50, 20, windowId);  // Stop: 42..71
    pushMouse(SDL_MOUSEMOTION, 120, 20, windowId);
    pushMouse(SDL_MOUSEBUTTONUP, 120, 20, windowId);
    click(71, 35, windowId);
    return 1;
  }
  if (message == PLATFORM_WM_COMMAND) {
    int id = static_cast<int>(wParam & 0xFFFF);
    if (id == 1019 && script->commands.size() == 2) {
      // The dialog gives a clicked button the default look; the procedure
      // takes it away.
      playWasDefault = (platformGetControlStyle(window, 1019) & PLATFORM_BS_DEFPUSHBUTTON) != 0;
      platformSetControlStyle(window, 1019,
                              platformGetControlStyle(window, 1019) & ~PLATFORM_BS_DEFPUSHBUTTON);
    }
    script->commands.push_back(id);
    if (id == 1020) {
      platformEnableControl(window, 1020, false);
      click(50, 20, windowId);
      pushKey(SDLK_ESCAPE);
    }
    if (id == PLATFORM_IDCANCEL) platformEndDialog(window, 1);
    return 1;
  }
  return 0;
}

// The keyboard alone, while Play is disabled (as while playing), then
// enabled: the focus starts on Stop, the only button that can take it; Space
// clicks it; Tab wraps to Play, Shift-Tab back to Stop, and Enter still gives
// the hidden default button's command.
intptr_t keyboardOnly(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t) {
  if (message == PLATFORM_WM_INITDIALOG) {
    platformEnableControl(window, 1019, false);
    pushKey(SDLK_TAB);
    pushKey(SDLK_SPACE);
    return 1;
  }
  if (message != PLATFORM_WM_COMMAND) return 0;
  int id = static_cast<int>(wParam & 0xFFFF);
  script->commands.push_back(id);
  if (script->commands.size() == 1) {
    platformEnableControl(window, 1019, true);
    pushKey(SDLK_TAB);
    pushKey(SDLK_SPACE);
  } else if (id == 1019) {
    pushKey(SDLK_TAB, KMOD_LSHIFT);
    pushKey(SDLK_RETURN);
    pushKey(SDLK_SPACE);
  } else if (id == 1020) {
    pushKey(SDLK_ESCAPE);
  } else if (id == PLATFORM_IDCANCEL) {
    platformEndDialog(window, 1);
  }
  return 1;
}

intptr_t closeBox(WindowHandle window, unsigned message, uintptr_t wParam, intptr_t) {
  if (message == PLATFORM_WM_INITDIALOG) {
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = sdlDialogWindowId();
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    return 1;
  }
  if (message == PLATFORM_WM_COMMAND) {
    script->commands.push_back(static_cast<int>(wParam & 0xFFFF));
    platformEndDialog(window, 9);
  }
  return 1;
}

// Presses the message box's OK button as soon as the box is shown.
int SDLCALL pressOk(void* layout, SDL_Event* e) {
  if (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_SHOWN &&
      e->window.windowID != sdlDialogWindowId()) {
    const PixelRect& ok = static_cast<MessageBoxView*>(layout)->okButton;
    click(ok.x + ok.w / 2, ok.y + ok.h / 2, e->window.windowID);
  }
  return 1;
}

intptr_t showMessage(WindowHandle window, unsigned message, uintptr_t, intptr_t) {
  if (message == PLATFORM_WM_INITDIALOG) {
    platformMessageBox(window, "Can not open sound device.", "QLO");
    script->commands.push_back(-100);  // the box was closed
    platformEndDialog(window, 5);
  }
  return 1;
}

}  // namespace

TEST(LinuxSdlDialog, KeysAndClicksBecomeTheDialogsCommands) {
  Script s;
  useHeadlessDrivers(&s, "input");
  REQUIRE_SDL_VIDEO();
  ASSERT_EQ(platformRunDialog(nullptr, 103, scriptedInput, 0), 1);
  // Enter gives the hidden default button's command; Space clicks the
  // focused button; a press released elsewhere is no click, nor is a click
  // on a disabled button.
  EXPECT_EQ(s.commands, (std::vector<int>{1025, 1019, 1019, 1019, 1020, PLATFORM_IDCANCEL}));
  EXPECT_TRUE(playWasDefault);
  EXPECT_FALSE(s.offThread);

  s.commands.clear();
  ASSERT_EQ(platformRunDialog(nullptr, 103, keyboardOnly, 0), 1);
  EXPECT_EQ(s.commands, (std::vector<int>{1020, 1019, 1025, 1020, PLATFORM_IDCANCEL}));

  s.commands.clear();
  ASSERT_EQ(platformRunDialog(nullptr, 103, closeBox, 0), 9);
  EXPECT_EQ(s.commands, std::vector<int>{PLATFORM_IDCANCEL});
  EXPECT_EQ(platformRunDialog(nullptr, 999, closeBox, 0), -1);  // no such template
}

TEST(LinuxSdlDialog, MessageBoxWaitsForOkAndReturnsToTheDialog) {
  Script s;
  useHeadlessDrivers(&s, "message");
  REQUIRE_SDL_VIDEO();
  MessageBoxView layout;
  layoutMessageBox("Can not open sound device.", &layout);
  SDL_AddEventWatch(pressOk, &layout);
  EXPECT_EQ(platformRunDialog(nullptr, 103, showMessage, 0), 5);
  SDL_DelEventWatch(pressOk, &layout);
  EXPECT_EQ(s.commands, std::vector<int>{-100});
}

TEST(LinuxSdlPlatform, ProgramPathIsTheRunningProgramsOwnFile) {
  char path[64];
  ASSERT_EQ(platformProgramPath(nullptr, path, sizeof path), 14u);
  EXPECT_STREQ(path, "/proc/self/exe");
  EXPECT_EQ(platformProgramPath(nullptr, path, 14), 0u);  // no room for the zero
  // A message file given to the player is read instead of the player itself.
  sdlPlayFile("received/hello.qlo");
  EXPECT_EQ(platformProgramPath(nullptr, path, sizeof path), 18u);
  EXPECT_STREQ(path, "received/hello.qlo");
  EXPECT_EQ(platformProgramPath(nullptr, path, 18), 0u);
  sdlPlayFile(nullptr);
  EXPECT_EQ(platformProgramPath(nullptr, path, sizeof path), 14u);
  EXPECT_EQ(platformLoadBitmap(nullptr, 117), platformLoadBitmap(nullptr, 117));
  EXPECT_EQ(platformLoadBitmap(nullptr, 4), nullptr);
}

namespace {

intptr_t mustNotRun(WindowHandle window, unsigned message, uintptr_t, intptr_t) {
  ADD_FAILURE() << "message " << message << " without a window";
  platformEndDialog(window, 0);
  return 0;
}

}  // namespace

TEST(LinuxSdlDialog, WithoutADisplayTheDialogFailsAndSaysSo) {
  Script s;
  useHeadlessDrivers(&s, "novideo");
  while (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  setenv("SDL_VIDEODRIVER", "quillo-no-such-driver", 1);
  EXPECT_EQ(platformRunDialog(nullptr, 103, mustNotRun, 0), -1);
  EXPECT_TRUE(sdlDialogFailed());
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
    EXPECT_EQ(platformRunDialog(nullptr, 103, closeBox, 0), 9);
    EXPECT_FALSE(sdlDialogFailed());
  }
}

TEST(LinuxSdlDialog, TextUsesTheSystemsFontAntiAliasedAtTheDialogsSize) {
  Script s;
  useHeadlessDrivers(&s, "font");
  REQUIRE_SDL_VIDEO();
  if (!sdlLoadFont())
    GTEST_SKIP() << "SKIPPED: no SDL2_ttf or no font (Debian: libsdl2-ttf-dev, fonts-dejavu-core)";
  const ScalableFont* font = fontScalable();
  ASSERT_NE(font, nullptr);
  // About the 13-pixel line and 6-pixel characters of the dialog's units.
  EXPECT_GE(font->lineHeight, 11);
  EXPECT_LE(font->lineHeight, 16);
  int width = fontTextWidth("Quillo");
  EXPECT_GE(width, 24);
  EXPECT_LE(width, 48);
  TextMask mask;
  ASSERT_TRUE(font->render("Quillo", &mask));
  EXPECT_EQ(mask.width, width);
  int full = 0, partial = 0;
  for (int y = 0; y < mask.height; y++)
    for (int x = 0; x < mask.width; x++) {
      uint8_t c = mask.coverage[y * mask.pitch + x];
      full += c >= 224;
      partial += c > 0 && c < 224;
    }
  EXPECT_GT(full, 10);
  EXPECT_GT(partial, 10);  // anti-aliased edges
}

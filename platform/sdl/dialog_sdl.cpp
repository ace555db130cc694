// The player's dialog on SDL2: one window that draws its own controls (the
// Linux build has no dialog manager), a modal loop that turns mouse and
// keyboard input into commands and hands every buffer-done notification of
// the wave output to the dialog procedure, and the message box.
#include <SDL.h>

#include <cstdio>

#include "resources/resource_ids.h"
#include "app/dialog_services.h"
#include "playback/wave_output.h"
#include "platform/sdl/dialog_layout.h"
#include "platform/sdl/dialog_sdl.h"
#include "platform/sdl/font_sdl.h"
#include "platform/sdl/resources_linux.h"

namespace {

const int MAX_CLIENT_PIXELS = 640 * 240;
const uintptr_t COMMAND_ID_MASK = 0xFFFF;

}  // namespace

// The one dialog a program runs at a time; window handles point at it.
struct PlatformWindow {
  bool running;     // inside platformRunDialog
  bool ending;      // platformEndDialog was called
  intptr_t result;  // value for platformRunDialog to return
  bool dirty;       // the window shows an outdated picture
  SDL_Window* window;
  DialogProc proc;
  DialogView view;
  uint32_t pixels[MAX_CLIENT_PIXELS];
};

namespace {

PlatformWindow dialog;
bool windowFailed;                // the last dialog could not show its window
SDL_sem* wake;                    // posted by the audio thread with every notification
const Uint32 INPUT_POLL_MS = 15;  // how often a waiting loop looks for input

bool startVideo() {
  // The dialog paints its own pixels: a plain window framebuffer will do.
  // (An accelerated one would load OpenGL and re-create the window on its
  // first paint, under a new window id.)
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  sdlLoadFont();
  if (!wake) wake = SDL_CreateSemaphore(0);
  return wake != nullptr;
}

// Called by the audio thread after posting notifications.
void wakeLoop() { SDL_SemPost(wake); }

// The next input event into `e`, true; false as soon as the audio thread
// has posted notifications. Input is polled rather than waited for: SDL's
// own blocking wait wakes itself by sending an X event to one of the
// program's windows, and that window may be destroyed by then (the message
// box), which ends the program with an X error.
bool nextEvent(SDL_Event* e) {
  for (;;) {
    if (SDL_PollEvent(e)) return true;
    if (SDL_SemWaitTimeout(wake, INPUT_POLL_MS) == 0) return false;
  }
}

// Copies a finished picture to the window.
void present(SDL_Window* window, const Canvas& canvas) {
  SDL_Surface* target = SDL_GetWindowSurface(window);
  if (!target) return;
  SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormatFrom(
      canvas.pixels, canvas.width, canvas.height, 32, canvas.width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!picture) return;
  SDL_SetSurfaceBlendMode(picture, SDL_BLENDMODE_NONE);
  SDL_BlitSurface(picture, nullptr, target, nullptr);
  SDL_FreeSurface(picture);
  SDL_UpdateWindowSurface(window);
}

void paintDialogWindow() {
  if (!dialog.window || !dialog.dirty) return;
  Canvas canvas = {dialog.pixels, dialog.view.clientWidth, dialog.view.clientHeight};
  paintDialog(canvas, dialog.view);
  present(dialog.window, canvas);
  dialog.dirty = false;
}

void sendCommand(int id) {
  dialog.proc(&dialog, PLATFORM_WM_COMMAND, static_cast<uintptr_t>(id) & COMMAND_ID_MASK, 0);
}

// Hands the posted buffer-done notifications to the dialog procedure, oldest
// first, until none is left or the dialog is ending.
void deliverNotifications() {
  WaveNotification n;
  while (dialog.running && !dialog.ending && waveTakeNotification(&n))
    if (n.window == &dialog)
      dialog.proc(&dialog, PLATFORM_WOM_DONE, reinterpret_cast<uintptr_t>(n.device),
                  reinterpret_cast<intptr_t>(n.header));
}

// The command Enter gives: the focused button's if it has the default-button
// style (a button pressed with the mouse has it until the dialog procedure
// takes it away), else the default button's.
int defaultCommand() {
  const DialogView& v = dialog.view;
  for (int i = 0; i < v.controlCount; i++)
    if (v.focused && v.controls[i].id == v.focusId && v.controls[i].kind == CONTROL_BUTTON &&
        (v.controls[i].style & STYLE_BUTTON_DEFAULT))
      return v.controls[i].id;
  for (int i = 0; i < v.controlCount; i++)
    if (v.controls[i].kind == CONTROL_BUTTON && (v.controls[i].style & STYLE_BUTTON_DEFAULT))
      return v.controls[i].id;
  return 1;  // IDOK
}

bool insideRect(PixelRect r, int x, int y) {
  return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

bool isDialogEvent(Uint32 windowId) {
  return dialog.window && SDL_GetWindowID(dialog.window) == windowId;
}

// Keys reach the window with the keyboard focus. Without a window manager
// SDL may know of no such window (identifier 0); the keys are then taken as
// meant for the window in front.
bool isKeyFor(Uint32 windowId, Uint32 keyWindowId) {
  return keyWindowId == windowId || keyWindowId == 0;
}

// Moves the keyboard focus to `c` (nothing when null).
void focusButton(const Control* c) {
  if (!c) return;
  dialog.view.focused = true;
  dialog.view.focusId = c->id;
  dialog.dirty = true;
}

// Tab and Shift-Tab move the focus from button to button (the Windows
// dialog manager moves it between tab stops, and this template has none),
// without the default-button style, so that Enter keeps doing what the
// hidden default button does. Space, as on Windows, pushes the focused
// button in and clicks it when released.
void handleFocusKey(const SDL_KeyboardEvent& key) {
  DialogView& v = dialog.view;
  SDL_Keycode sym = key.keysym.sym;
  if (key.type == SDL_KEYDOWN && sym == SDLK_TAB && !v.pressedId) {
    focusButton(nextFocusButton(v, (key.keysym.mod & KMOD_SHIFT) != 0));
  } else if (key.type == SDL_KEYDOWN && sym == SDLK_SPACE && v.focused && !v.pressedId) {
    Control* c = findControl(&v, v.focusId);
    if (c && takesInput(*c)) {
      v.pressedId = c->id;
      v.pressedIn = true;
      v.pressedKey = true;
      dialog.dirty = true;
    }
  } else if (key.type == SDL_KEYUP && sym == SDLK_SPACE && v.pressedKey) {
    int id = v.pressedId;
    v.pressedId = 0;
    v.pressedIn = false;
    v.pressedKey = false;
    dialog.dirty = true;
    if (id) sendCommand(id);
  }
}

void handleDialogEvent(const SDL_Event& e) {
  DialogView& v = dialog.view;
  switch (e.type) {
    case SDL_QUIT:
      sendCommand(PLATFORM_IDCANCEL);
      break;
    case SDL_WINDOWEVENT:
      if (!isDialogEvent(e.window.windowID)) break;
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) sendCommand(PLATFORM_IDCANCEL);
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED || e.window.event == SDL_WINDOWEVENT_SHOWN)
        dialog.dirty = true;
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (!dialog.window || !isKeyFor(SDL_GetWindowID(dialog.window), e.key.windowID) ||
          e.key.repeat)
        break;
      if (e.type == SDL_KEYDOWN && e.key.keysym.sym == SDLK_ESCAPE) {
        sendCommand(PLATFORM_IDCANCEL);
      } else if (e.type == SDL_KEYDOWN &&
                 (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER)) {
        sendCommand(defaultCommand());
      } else {
        handleFocusKey(e.key);
      }
      break;
    case SDL_MOUSEBUTTONDOWN: {
      if (!isDialogEvent(e.button.windowID) || e.button.button != SDL_BUTTON_LEFT || v.pressedKey)
        break;
      const Control* hit = buttonAt(v, e.button.x, e.button.y);
      if (!hit) break;
      // A clicked push button takes the focus and, with it, the default look.
      Control* c = findControl(&v, hit->id);
      v.pressedId = c->id;
      v.pressedIn = true;
      v.focused = true;
      v.focusId = c->id;
      c->style |= STYLE_BUTTON_DEFAULT;
      dialog.dirty = true;
      break;
    }
    case SDL_MOUSEMOTION:
      if (!isDialogEvent(e.motion.windowID) || !v.pressedId || v.pressedKey) break;
      if (Control* c = findControl(&v, v.pressedId)) {
        bool in = insideRect(c->rect, e.motion.x, e.motion.y);
        if (in != v.pressedIn) dialog.dirty = true;
        v.pressedIn = in;
      }
      break;
    case SDL_MOUSEBUTTONUP: {
      if (e.button.button != SDL_BUTTON_LEFT || !v.pressedId || v.pressedKey) break;
      Control* c = findControl(&v, v.pressedId);
      bool click = c && c->enabled && isDialogEvent(e.button.windowID) &&
                   insideRect(c->rect, e.button.x, e.button.y);
      v.pressedId = 0;
      v.pressedIn = false;
      dialog.dirty = true;
      if (click) sendCommand(c->id);
      break;
    }
    default:
      break;
  }
}

void setProgramIcon(SDL_Window* window) {
  const Bitmap* icon = loadResourceIcon(ICON_PROGRAM);
  if (!icon) return;
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(icon->pixels),
                                                      icon->width, icon->height, 32,
                                                      icon->width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!s) return;
  SDL_SetWindowIcon(window, s);
  SDL_FreeSurface(s);
}

Control* control(WindowHandle window, int id) {
  return window == &dialog ? findControl(&dialog.view, id) : nullptr;
}

}  // namespace

bool sdlDialogFailed() { return windowFailed; }

uint32_t sdlDialogWindowId() {
  return dialog.running && dialog.window ? SDL_GetWindowID(dialog.window) : 0;
}

intptr_t platformRunDialog(InstanceHandle instance, int templateId, DialogProc proc,
                           intptr_t param) {
  (void)instance;
  const DialogTemplate* tmpl = findDialogTemplate(templateId);
  if (!tmpl || !proc || dialog.running) return -1;
  windowFailed = true;
  if (!startVideo()) {
    std::fprintf(stderr, "cannot open a window: %s\n", SDL_GetError());
    return -1;
  }
  initDialogView(*tmpl, &dialog.view);
  if (dialog.view.clientWidth * dialog.view.clientHeight > MAX_CLIENT_PIXELS) return -1;
  dialog.window =
      SDL_CreateWindow(tmpl->caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                       dialog.view.clientWidth, dialog.view.clientHeight, SDL_WINDOW_HIDDEN);
  if (!dialog.window) {
    std::fprintf(stderr, "cannot open a window: %s\n", SDL_GetError());
    return -1;
  }
  windowFailed = false;
  setProgramIcon(dialog.window);
  dialog.proc = proc;
  dialog.running = true;
  dialog.ending = false;
  dialog.result = 0;
  waveSetWakeup(wakeLoop);

  // A procedure that returns nonzero asks for the first button that can take
  // the keyboard focus to get it, as the Windows dialog manager gives it.
  if (proc(&dialog, PLATFORM_WM_INITDIALOG, 0, param)) {
    dialog.view.focused = false;
    focusButton(nextFocusButton(dialog.view, false));
  }
  if (!dialog.ending) SDL_ShowWindow(dialog.window);
  dialog.dirty = true;
  while (!dialog.ending) {
    deliverNotifications();
    if (dialog.ending) break;
    paintDialogWindow();
    SDL_Event e;
    if (nextEvent(&e)) handleDialogEvent(e);
  }

  proc(&dialog, PLATFORM_WM_DESTROY, 0, 0);
  waveSetWakeup(nullptr);
  waveDiscardNotifications();  // meant for a window that is gone
  dialog.running = false;
  SDL_DestroyWindow(dialog.window);
  dialog.window = nullptr;
  return dialog.result;
}

void platformEndDialog(WindowHandle window, intptr_t result) {
  if (window != &dialog || !dialog.running) return;
  dialog.ending = true;
  dialog.result = result;
}

ImageHandle platformLoadBitmap(InstanceHandle instance, int resourceId) {
  (void)instance;
  const Bitmap* image = loadResourceBitmap(resourceId);
  return reinterpret_cast<ImageHandle>(const_cast<Bitmap*>(image));
}

void platformSetButtonImage(WindowHandle window, int controlId, ImageHandle image) {
  Control* c = control(window, controlId);
  if (!c || c->kind != CONTROL_BUTTON) return;
  c->image = reinterpret_cast<const Bitmap*>(image);
  dialog.dirty = true;
}

void platformEnableControl(WindowHandle window, int controlId, bool enable) {
  Control* c = control(window, controlId);
  if (!c) return;
  c->enabled = enable;
  if (!enable && dialog.view.pressedId == controlId) {
    dialog.view.pressedId = 0;
    dialog.view.pressedKey = false;
  }
  dialog.dirty = true;
}

uint32_t platformGetControlStyle(WindowHandle window, int controlId) {
  Control* c = control(window, controlId);
  return c ? c->style : 0;
}

void platformSetControlStyle(WindowHandle window, int controlId, uint32_t style) {
  Control* c = control(window, controlId);
  if (!c) return;
  c->style = style;
  dialog.dirty = true;
}

void platformFocusControl(WindowHandle window, int controlId) {
  if (window != &dialog) return;
  dialog.view.focused = findControl(&dialog.view, controlId) != nullptr;
  dialog.view.focusId = controlId;
  dialog.dirty = true;
}

void platformSetTitle(WindowHandle window, const char* text) {
  if (window == &dialog && dialog.window && text) SDL_SetWindowTitle(dialog.window, text);
}

void platformMessageBox(WindowHandle owner, const char* text, const char* caption) {
  if (!text) text = "";
  if (!caption) caption = "";
  bool ownerIsDialog = owner == &dialog && dialog.running;
  SDL_Window* box = nullptr;
  static MessageBoxView view;
  static uint32_t pixels[MESSAGE_BOX_MAX_WIDTH * MESSAGE_BOX_HEIGHT];
  layoutMessageBox(text, &view);
  if (startVideo())
    box = SDL_CreateWindow(caption, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                           view.clientWidth, view.clientHeight, SDL_WINDOW_SHOWN);
  if (!box) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return;
  }
  Uint32 boxId = SDL_GetWindowID(box);
  Canvas canvas = {pixels, view.clientWidth, view.clientHeight};
  bool done = false, dirty = true, held = false;
  while (!done) {
    if (ownerIsDialog) deliverNotifications();
    if (dirty) {
      paintMessageBox(canvas, view);
      present(box, canvas);
      dirty = false;
    }
    if (ownerIsDialog) paintDialogWindow();
    SDL_Event e;
    if (!nextEvent(&e)) continue;
    switch (e.type) {
      case SDL_QUIT:
        done = true;
        SDL_PushEvent(&e);  // the dialog closes too
        break;
      case SDL_WINDOWEVENT:
        if (e.window.windowID == boxId) {
          if (e.window.event == SDL_WINDOWEVENT_CLOSE) done = true;
          if (e.window.event == SDL_WINDOWEVENT_EXPOSED) dirty = true;
        } else if (ownerIsDialog && isDialogEvent(e.window.windowID) &&
                   e.window.event == SDL_WINDOWEVENT_EXPOSED) {
          dialog.dirty = true;
        }
        break;
      case SDL_KEYDOWN:
        if (isKeyFor(boxId, e.key.windowID) && !e.key.repeat &&
            (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER ||
             e.key.keysym.sym == SDLK_ESCAPE || e.key.keysym.sym == SDLK_SPACE))
          done = true;
        break;
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.windowID == boxId && e.button.button == SDL_BUTTON_LEFT &&
            insideRect(view.okButton, e.button.x, e.button.y)) {
          held = true;
          view.okPressed = true;
          dirty = true;
        }
        break;
      case SDL_MOUSEMOTION:
        if (held && e.motion.windowID == boxId) {
          bool in = insideRect(view.okButton, e.motion.x, e.motion.y);
          dirty = dirty || in != view.okPressed;
          view.okPressed = in;
        }
        break;
      case SDL_MOUSEBUTTONUP:
        if (held && e.button.button == SDL_BUTTON_LEFT) {
          held = false;
          view.okPressed = false;
          dirty = true;
          done = e.button.windowID == boxId && insideRect(view.okButton, e.button.x, e.button.y);
        }
        break;
      default:
        break;
    }
  }
  SDL_DestroyWindow(box);
  if (ownerIsDialog) {
    // Back to the dialog, keyboard focus included, as when a box closes.
    // Without a window manager nobody else would give it back.
    if (SDL_GetWindowFlags(dialog.window) & SDL_WINDOW_SHOWN) {
      SDL_RaiseWindow(dialog.window);
      SDL_SetWindowInputFocus(dialog.window);
    }
    dialog.dirty = true;
  }
}

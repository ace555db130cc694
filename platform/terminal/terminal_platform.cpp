// The platform layer for the terminal: the dialog procedure runs in a loop
// that waits on the keyboard and on the wave output's notifications.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "resources/resource_ids.h"
#include "app/dialog_services.h"
#include "playback/wave_output.h"
#include "platform/terminal/terminal.h"

namespace {

const int TITLE_SIZE = 256;
const char WAKE_BYTE = 'w';    // notifications were posted
const char CANCEL_BYTE = 'c';  // a signal asked the program to end

struct TerminalControl {
  int id;
  uint32_t style;
  bool enabled;
};

}  // namespace

// The one terminal dialog; window handles point at it.
struct PlatformWindow {
  bool running;
  bool ending;
  intptr_t result;
  DialogProc proc;
  TerminalControl controls[4];
  char title[TITLE_SIZE];  // last title shown
  bool titleOnLine;        // the cursor stands behind a title line
  bool messageShown;
  bool keysOpen;  // standard input is still read
  bool rawKeys;   // standard input is a terminal switched to single keys
  struct termios savedMode;
  bool pipeOpen;
  int wakePipe[2];  // the loop waits on [0]; the audio thread and signals write [1]
};

namespace {

PlatformWindow term;
const char* programPath = "";

// Dummy handles for the three button bitmaps: nothing is drawn.
char bitmapHandles[3];

bool titleInPlace() { return isatty(STDOUT_FILENO); }

void writeWake(char byte) {
  if (term.pipeOpen) {
    ssize_t ignored = write(term.wakePipe[1], &byte, 1);
    (void)ignored;  // a full pipe already wakes the loop
  }
}

void wakeLoop() { writeWake(WAKE_BYTE); }

void onSignal(int) { writeWake(CANCEL_BYTE); }

void endTitleLine() {
  if (term.titleOnLine) std::fputc('\n', stdout);
  term.titleOnLine = false;
  std::fflush(stdout);
}

void sendCommand(int id) {
  term.proc(&term, PLATFORM_WM_COMMAND, static_cast<uintptr_t>(id) & 0xFFFF, 0);
}

TerminalControl* findControl(int id) {
  for (TerminalControl& c : term.controls)
    if (c.id == id) return &c;
  return nullptr;
}

void pressButton(int id) {
  TerminalControl* c = findControl(id);
  if (c && c->enabled) sendCommand(id);
}

// Hands posted notifications to the procedure. A playback that stops while
// a buffer-done notification is handled has reached the end of the message:
// the terminal dialog then closes, as nobody is there to press Play again.
void deliverNotifications() {
  WaveNotification n;
  while (!term.ending && waveTakeNotification(&n)) {
    if (n.window != &term) continue;
    int openBefore = waveOpenDeviceCount();
    term.proc(&term, PLATFORM_WOM_DONE, reinterpret_cast<uintptr_t>(n.device),
              reinterpret_cast<intptr_t>(n.header));
    if (openBefore > 0 && waveOpenDeviceCount() == 0 && !term.ending)
      sendCommand(PLATFORM_IDCANCEL);
  }
}

void handleKeys(const char* keys, ssize_t count) {
  for (ssize_t i = 0; i < count && !term.ending; i++) {
    char k = keys[i];
    if (k == 0x1B) {
      if (i + 1 == count) {
        sendCommand(PLATFORM_IDCANCEL);  // a lone Escape
        break;
      }
      // An escape sequence (arrow keys and the like): skip it whole.
      i++;
      if (keys[i] == '[' || keys[i] == 'O')
        while (i + 1 < count && !(keys[i + 1] >= 0x40 && keys[i + 1] <= 0x7E)) i++;
      if (i + 1 < count) i++;
    } else if (k == ' ' || k == 'p' || k == 'P') {
      pressButton(ID_PLAY);
    } else if (k == 's' || k == 'S') {
      pressButton(ID_STOP);
    } else if (k == 'q' || k == 'Q') {
      sendCommand(PLATFORM_IDCANCEL);
    }
  }
}

void startKeys() {
  term.keysOpen = true;
  term.rawKeys = false;
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &term.savedMode) != 0) return;
  struct termios raw = term.savedMode;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) term.rawKeys = true;
  std::fputs("Space or p plays, s stops, Escape or q quits.\n", stderr);
}

void stopKeys() {
  if (term.rawKeys) tcsetattr(STDIN_FILENO, TCSANOW, &term.savedMode);
  term.rawKeys = false;
}

// Waits for keys or notifications and handles what arrived.
void waitAndHandle() {
  struct pollfd fds[2] = {{term.wakePipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  int n = poll(fds, term.keysOpen ? 2 : 1, -1);
  if (n < 0) return;  // interrupted: look again
  if (fds[0].revents & POLLIN) {
    char bytes[64];
    ssize_t got;
    while ((got = read(term.wakePipe[0], bytes, sizeof bytes)) > 0)
      if (std::memchr(bytes, CANCEL_BYTE, static_cast<size_t>(got))) sendCommand(PLATFORM_IDCANCEL);
  }
  if (term.keysOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
    char keys[64];
    ssize_t got = read(STDIN_FILENO, keys, sizeof keys);
    if (got > 0)
      handleKeys(keys, got);
    else
      term.keysOpen = false;  // end of input: only the message's own end remains
  }
}

}  // namespace

void terminalSetProgramPath(const char* path) { programPath = path ? path : ""; }

bool terminalMessageShown() { return term.messageShown; }

intptr_t platformRunDialog(InstanceHandle instance, int templateId, DialogProc proc,
                           intptr_t param) {
  (void)instance;
  (void)templateId;
  if (!proc || term.running) return -1;
  if (pipe(term.wakePipe) != 0) return -1;
  term.pipeOpen = true;
  for (int fd : term.wakePipe) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  term.controls[0] = {ID_DEFAULT_BUTTON, PLATFORM_BS_DEFPUSHBUTTON, true};
  term.controls[1] = {ID_PLAY, 0, true};
  term.controls[2] = {ID_STOP, 0, true};
  term.controls[3] = {ID_PROGRAM_NAME, 0, true};
  term.proc = proc;
  term.running = true;
  term.ending = false;
  term.result = 0;
  term.title[0] = '\0';
  term.titleOnLine = false;
  term.messageShown = false;
  struct sigaction action, oldInt, oldTerm;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onSignal;
  sigaction(SIGINT, &action, &oldInt);
  sigaction(SIGTERM, &action, &oldTerm);
  startKeys();
  waveSetWakeup(wakeLoop);

  proc(&term, PLATFORM_WM_INITDIALOG, 0, param);
  while (!term.ending) {
    deliverNotifications();
    if (term.ending) break;
    if (term.messageShown && waveOpenDeviceCount() == 0) {
      sendCommand(PLATFORM_IDCANCEL);
      continue;
    }
    waitAndHandle();
  }

  proc(&term, PLATFORM_WM_DESTROY, 0, 0);
  waveSetWakeup(nullptr);
  waveDiscardNotifications();
  stopKeys();
  endTitleLine();
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  term.pipeOpen = false;
  close(term.wakePipe[0]);
  close(term.wakePipe[1]);
  term.running = false;
  return term.result;
}

void platformEndDialog(WindowHandle window, intptr_t result) {
  if (window != &term || !term.running) return;
  term.ending = true;
  term.result = result;
}

ImageHandle platformLoadBitmap(InstanceHandle instance, int resourceId) {
  (void)instance;
  switch (resourceId) {
    case BITMAP_PLAY:
      return reinterpret_cast<ImageHandle>(&bitmapHandles[0]);
    case BITMAP_STOP:
      return reinterpret_cast<ImageHandle>(&bitmapHandles[1]);
    case BITMAP_PLAYING:
      return reinterpret_cast<ImageHandle>(&bitmapHandles[2]);
    default:
      return nullptr;
  }
}

void platformSetButtonImage(WindowHandle window, int controlId, ImageHandle image) {
  (void)window;
  (void)controlId;
  (void)image;
}

void platformEnableControl(WindowHandle window, int controlId, bool enable) {
  TerminalControl* c = window == &term ? findControl(controlId) : nullptr;
  if (c) c->enabled = enable;
}

uint32_t platformGetControlStyle(WindowHandle window, int controlId) {
  TerminalControl* c = window == &term ? findControl(controlId) : nullptr;
  return c ? c->style : 0;
}

void platformSetControlStyle(WindowHandle window, int controlId, uint32_t style) {
  TerminalControl* c = window == &term ? findControl(controlId) : nullptr;
  if (c) c->style = style;
}

void platformFocusControl(WindowHandle window, int controlId) {
  (void)window;
  (void)controlId;
}

void platformSetTitle(WindowHandle window, const char* text) {
  if (window != &term || !text) return;
  if (titleInPlace()) {
    std::fprintf(stdout, "\r%s\x1b[K", text);
    term.titleOnLine = true;
  } else if (std::strcmp(text, term.title) != 0) {
    std::fprintf(stdout, "%s\n", text);
  }
  std::snprintf(term.title, sizeof term.title, "%s", text);
  std::fflush(stdout);
}

void platformMessageBox(WindowHandle owner, const char* text, const char* caption) {
  (void)caption;
  endTitleLine();
  std::fprintf(stdout, "%s\n", text ? text : "");
  std::fflush(stdout);
  if (owner == &term) term.messageShown = true;
}

size_t platformProgramPath(InstanceHandle instance, char* buffer, size_t size) {
  (void)instance;
  size_t n = std::strlen(programPath);
  if (!buffer || n == 0 || n >= size) return 0;
  std::memcpy(buffer, programPath, n + 1);
  return n;
}

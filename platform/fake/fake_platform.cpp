// The scripted fake platform: a deterministic dialog manager and wave-output
// device that record what the player does with them.
#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstring>

struct PlatformWindow {
  int unused;
};
struct PlatformWaveOut {
  int unused;
};
struct PlatformImage {
  int resourceId;
};

FakePlatformState fakePlatform;

namespace {

// Window style bits of the dialog template's controls, as the dialog
// manager reports them.
const uint32_t WS_CHILD = 0x40000000;
const uint32_t WS_VISIBLE = 0x10000000;
const uint32_t WS_GROUP = 0x00020000;
const uint32_t BS_BITMAP = 0x00000080;

// The player's dialog template and the default button it names.
const int PLAYER_TEMPLATE = 103;
const int TEMPLATE_DEFAULT_BUTTON = 1025;

// The native record a prepared header carries.
int preparedMark;

PlatformWindow theWindow;
PlatformWaveOut theDevice;
DialogProc dialogProc;
std::map<int, PlatformImage> images;

void violation(const std::string& what) { fakePlatform.violations.push_back(what); }

FakeControl* control(const char* operation, WindowHandle window, int controlId) {
  if (!fakePlatform.dialogOpen || window != &theWindow) {
    violation(std::string(operation) + " on a window that is not the open dialog");
    return nullptr;
  }
  auto found = fakePlatform.controls.find(controlId);
  if (found == fakePlatform.controls.end()) {
    violation(std::string(operation) + " on unknown control " + std::to_string(controlId));
    return nullptr;
  }
  return &found->second;
}

bool isOpenDevice(const char* operation, WaveOutHandle device) {
  if (device != &theDevice || !fakePlatform.deviceOpen) {
    violation(std::string(operation) + " on a device that is not open");
    return false;
  }
  return true;
}

bool isPrepared(const WaveHeader* header) {
  const auto& list = fakePlatform.prepared;
  return std::find(list.begin(), list.end(), header) != list.end();
}

bool isQueued(const WaveHeader* header) {
  const auto& queue = fakePlatform.deviceQueue;
  return std::find(queue.begin(), queue.end(), header) != queue.end();
}

std::vector<int16_t> samplesOf(const WaveHeader* header) {
  std::vector<int16_t> samples(header->bufferLength / 2);
  if (!samples.empty()) std::memcpy(samples.data(), header->data, samples.size() * 2);
  return samples;
}

// Destroys the dialog: its last message, then the waiting notifications go.
void destroyDialog() {
  if (fakePlatform.destroyed) return;
  fakePlatform.destroyed = true;
  dialogProc(&theWindow, PLATFORM_WM_DESTROY, 0, 0);
  fakePlatform.dialogOpen = false;
  fakePlatform.posted.clear();
}

void createControls(int templateId) {
  fakePlatform.controls.clear();
  if (templateId != PLAYER_TEMPLATE) {
    violation("unknown dialog template " + std::to_string(templateId));
    return;
  }
  fakePlatform.controls[1025] = {true, 0, true, WS_CHILD | PLATFORM_BS_DEFPUSHBUTTON, false};
  fakePlatform.controls[1019] = {true, 0, true, WS_CHILD | WS_VISIBLE | BS_BITMAP, true};
  fakePlatform.controls[1020] = {true, 0, true, WS_CHILD | WS_VISIBLE | BS_BITMAP, true};
  fakePlatform.controls[-1] = {false, 0, true, WS_CHILD | WS_VISIBLE | WS_GROUP, true};
}

// A push button that takes the focus also takes the default-button style,
// as the dialog manager does.
void focusButton(int controlId) {
  fakePlatform.focus = controlId;
  for (auto& entry : fakePlatform.controls) {
    if (!entry.second.button) continue;
    if (entry.first == controlId)
      entry.second.style |= PLATFORM_BS_DEFPUSHBUTTON;
    else
      entry.second.style &= ~PLATFORM_BS_DEFPUSHBUTTON;
  }
}

}  // namespace

void fakeReset() {
  fakePlatform = FakePlatformState();
  fakePlatform.deviceCount = 1;
  fakePlatform.endResult = -1;
  dialogProc = nullptr;
}

intptr_t fakeSend(unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (!fakePlatform.dialogOpen || !dialogProc) return 0;
  intptr_t result = dialogProc(&theWindow, message, wParam, lParam);
  if (fakePlatform.endRequested) destroyDialog();
  return result;
}

void fakeCommand(int controlId) {
  fakeSend(PLATFORM_WM_COMMAND, static_cast<uint16_t>(controlId), 0);
}

bool fakeClick(int controlId) {
  auto found = fakePlatform.controls.find(controlId);
  if (!fakePlatform.dialogOpen || found == fakePlatform.controls.end()) return false;
  const FakeControl& target = found->second;
  if (!target.button || !target.visible || !target.enabled) return false;
  focusButton(controlId);
  fakeCommand(controlId);
  return true;
}

void fakePressEnter() {
  if (!fakePlatform.dialogOpen) return;
  auto focused = fakePlatform.controls.find(fakePlatform.focus);
  if (focused != fakePlatform.controls.end() && focused->second.button)
    fakeCommand(fakePlatform.focus);
  else
    fakeCommand(TEMPLATE_DEFAULT_BUTTON);
}

void fakePressEscape() { fakeCommand(PLATFORM_IDCANCEL); }

void fakeCloseBox() { fakeCommand(PLATFORM_IDCANCEL); }

void fakePump() {
  while (fakePlatform.dialogOpen && !fakePlatform.posted.empty()) {
    WaveHeader* header = fakePlatform.posted.front();
    fakePlatform.posted.pop_front();
    fakePlatform.notificationsDelivered++;
    fakeSend(PLATFORM_WOM_DONE, reinterpret_cast<uintptr_t>(&theDevice),
             reinterpret_cast<intptr_t>(header));
  }
}

bool fakeFinishBuffer() {
  if (fakePlatform.deviceQueue.empty()) return false;
  WaveHeader* header = fakePlatform.deviceQueue.front();
  fakePlatform.deviceQueue.pop_front();
  std::vector<int16_t> samples = samplesOf(header);
  for (auto it = fakePlatform.written.rbegin(); it != fakePlatform.written.rend(); ++it) {
    if (it->header != header) continue;
    if (it->samples != samples) violation("a buffer was written while the device owned it");
    break;
  }
  fakePlatform.played.insert(fakePlatform.played.end(), samples.begin(), samples.end());
  fakePlatform.posted.push_back(header);
  fakePump();
  return true;
}

const std::vector<int16_t>& fakeWrittenSamples(size_t n) {
  static const std::vector<int16_t> none;
  return n < fakePlatform.written.size() ? fakePlatform.written[n].samples : none;
}

// --- Program and dialog ---------------------------------------------------

intptr_t platformRunDialog(InstanceHandle instance, int templateId, DialogProc proc,
                           intptr_t param) {
  if (fakePlatform.dialogOpen) {
    violation("a second dialog while one is open");
    return -1;
  }
  fakePlatform.instance = instance;
  fakePlatform.templateId = templateId;
  fakePlatform.initParam = param;
  fakePlatform.endRequested = false;
  fakePlatform.endResult = -1;
  fakePlatform.destroyed = false;
  fakePlatform.focus = 0;
  fakePlatform.window = &theWindow;
  createControls(templateId);
  dialogProc = proc;
  fakePlatform.dialogOpen = true;
  fakeSend(PLATFORM_WM_INITDIALOG, 0, param);
  if (!fakePlatform.destroyed && fakePlatform.script) fakePlatform.script();
  if (!fakePlatform.destroyed) {
    violation("the script left the dialog open");
    destroyDialog();
  }
  return fakePlatform.endResult;
}

void platformEndDialog(WindowHandle window, intptr_t result) {
  if (!fakePlatform.dialogOpen || window != &theWindow) {
    violation("platformEndDialog on a window that is not the open dialog");
    return;
  }
  if (fakePlatform.endRequested) return;
  fakePlatform.endRequested = true;
  fakePlatform.endResult = result;
}

ImageHandle platformLoadBitmap(InstanceHandle instance, int resourceId) {
  if (instance != fakePlatform.instance) violation("bitmap loaded from another instance");
  const auto& missing = fakePlatform.missingBitmaps;
  if (std::find(missing.begin(), missing.end(), resourceId) != missing.end()) return nullptr;
  PlatformImage& image = images[resourceId];
  image.resourceId = resourceId;
  return &image;
}

void platformSetButtonImage(WindowHandle window, int controlId, ImageHandle image) {
  FakeControl* target = control("platformSetButtonImage", window, controlId);
  if (target) target->imageId = image ? image->resourceId : 0;
}

void platformEnableControl(WindowHandle window, int controlId, bool enable) {
  FakeControl* target = control("platformEnableControl", window, controlId);
  if (target) target->enabled = enable;
}

uint32_t platformGetControlStyle(WindowHandle window, int controlId) {
  FakeControl* target = control("platformGetControlStyle", window, controlId);
  return target ? target->style : 0;
}

void platformSetControlStyle(WindowHandle window, int controlId, uint32_t style) {
  FakeControl* target = control("platformSetControlStyle", window, controlId);
  if (target) target->style = style;
}

void platformFocusControl(WindowHandle window, int controlId) {
  FakeControl* target = control("platformFocusControl", window, controlId);
  if (!target) return;
  fakePlatform.focus = controlId;
  // Focus on anything but a push button gives the template's default button
  // its style back.
  if (!target->button) {
    auto fallback = fakePlatform.controls.find(TEMPLATE_DEFAULT_BUTTON);
    if (fallback != fakePlatform.controls.end())
      fallback->second.style |= PLATFORM_BS_DEFPUSHBUTTON;
  } else {
    focusButton(controlId);
  }
}

void platformSetTitle(WindowHandle window, const char* text) {
  if (!fakePlatform.dialogOpen || window != &theWindow) {
    violation("platformSetTitle on a window that is not the open dialog");
    return;
  }
  fakePlatform.title = text;
  fakePlatform.titles.push_back(text);
}

void platformMessageBox(WindowHandle owner, const char* text, const char* caption) {
  if (owner != &theWindow) violation("message box owned by another window");
  fakePlatform.messageBoxes.push_back({text, caption});
  // The box runs its own message loop: waiting notifications reach the
  // dialog while it is shown.
  fakePump();
}

size_t platformProgramPath(InstanceHandle instance, char* buffer, size_t size) {
  if (instance != fakePlatform.instance) violation("program path asked for another instance");
  const std::string& path = fakePlatform.programPath;
  if (path.empty() || path.size() + 1 > size) return 0;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return path.size();
}

// --- Wave output ------------------------------------------------------------

unsigned platformWaveDeviceCount() { return fakePlatform.deviceCount; }

int platformWaveQueryFormat(const WaveFormat* format) {
  fakePlatform.queryCount++;
  fakePlatform.queriedFormat = *format;
  return fakePlatform.deviceCount == 0 || fakePlatform.refuseFormat ? 32 : 0;
}

int platformWaveOpen(WaveOutHandle* device, const WaveFormat* format, WindowHandle window) {
  if (fakePlatform.deviceOpen) violation("a second device opened while one is open");
  if (fakePlatform.deviceCount == 0) return 2;
  if (fakePlatform.refuseFormat) return 32;
  if (fakePlatform.failOpen) return 4;
  if (window != &theWindow) violation("notifications sent to a window that is not the dialog");
  fakePlatform.deviceOpen = true;
  fakePlatform.openCount++;
  fakePlatform.openedFormat = *format;
  fakePlatform.notifyWindow = window;
  fakePlatform.preparesSinceOpen = 0;
  *device = &theDevice;
  return 0;
}

int platformWavePrepare(WaveOutHandle device, WaveHeader* header) {
  if (!isOpenDevice("platformWavePrepare", device)) return 5;
  unsigned ordinal = fakePlatform.preparesSinceOpen++;
  if (ordinal < 32 && (fakePlatform.failPrepareMask >> ordinal & 1u)) return 7;
  if (isPrepared(header)) violation("a header prepared twice");
  if (!header->data || header->bufferLength == 0 || header->bufferLength % 2 != 0)
    violation("a header without a whole buffer of samples");
  header->native = &preparedMark;
  fakePlatform.prepared.push_back(header);
  return 0;
}

int platformWaveWrite(WaveOutHandle device, WaveHeader* header) {
  if (!isOpenDevice("platformWaveWrite", device)) return 5;
  if (!isPrepared(header) || header->native != &preparedMark) {
    violation("an unprepared header queued");
    return 34;
  }
  if (isQueued(header)) {
    violation("a header queued while still queued");
    return 33;
  }
  fakePlatform.deviceQueue.push_back(header);
  fakePlatform.written.push_back({header, samplesOf(header), fakePlatform.openCount});
  return 0;
}

int platformWaveReset(WaveOutHandle device) {
  if (!isOpenDevice("platformWaveReset", device)) return 5;
  fakePlatform.resetCount++;
  for (WaveHeader* header : fakePlatform.deviceQueue) fakePlatform.posted.push_back(header);
  fakePlatform.deviceQueue.clear();
  return 0;
}

int platformWaveUnprepare(WaveOutHandle device, WaveHeader* header) {
  if (!isOpenDevice("platformWaveUnprepare", device)) return 5;
  if (isQueued(header)) {
    violation("a header unprepared while still queued");
    return 33;
  }
  auto& list = fakePlatform.prepared;
  auto found = std::find(list.begin(), list.end(), header);
  if (found == list.end()) {
    violation("a header unprepared that was not prepared");
    return 11;
  }
  list.erase(found);
  header->native = nullptr;
  return 0;
}

int platformWaveClose(WaveOutHandle device) {
  if (!isOpenDevice("platformWaveClose", device)) return 5;
  if (!fakePlatform.deviceQueue.empty()) {
    violation("the device closed with buffers still queued");
    return 33;
  }
  if (!fakePlatform.prepared.empty()) violation("the device closed with headers still prepared");
  fakePlatform.prepared.clear();
  fakePlatform.deviceOpen = false;
  fakePlatform.closeCount++;
  return 0;
}

// A scripted, deterministic implementation of the platform layer for tests.
//
// The test plays both the user and the sound device: it writes the program
// file the player reads, chooses which device failures to simulate, and
// drives the modal dialog from a script that runs inside platformRunDialog.
// The fake records everything the player shows or queues, and notes every
// use of the wave-output device that a real device would refuse or that
// could corrupt sound (in `violations`), so a test can assert there is none.
//
// Buffer-done notifications are posted, as on the real platforms: the device
// finishes or hands back a buffer and the notification waits in the dialog's
// queue until the script pumps it (fakeFinishBuffer pumps by itself).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/dialog_services.h"
#include "playback/file_access.h"
#include "playback/wave_output.h"

// One buffer as the device received it from platformWaveWrite.
struct FakeWrittenBuffer {
  const WaveHeader* header;      // identity only: never dereferenced later
  std::vector<int16_t> samples;  // copy of the buffer at the time of queueing
  uint64_t openCount;            // which opening of the device it was queued on
};

struct FakeControl {
  bool button;  // a push button (else static text)
  int imageId;  // resource id of the button image, 0 for none
  bool enabled;
  uint32_t style;  // style bits as read and written by the player
  bool visible;
};

struct FakeMessageBox {
  std::string text;
  std::string caption;
};

struct FakePlatformState {
  // --- Scripted conditions (set by the test before running the dialog) ---
  unsigned deviceCount;             // output devices reported
  bool refuseFormat;                // the format query answers no
  bool failOpen;                    // the real open fails
  uint32_t failPrepareMask;         // bit k: the k-th prepare after an open fails
  std::string programPath;          // what platformProgramPath reports; empty fails
  std::vector<int> missingBitmaps;  // bitmap resources that do not exist
  std::function<void()> script;     // the user and the device, run after WM_INITDIALOG

  // --- Dialog records ---
  InstanceHandle instance;  // handed to platformRunDialog
  int templateId;
  intptr_t initParam;
  WindowHandle window;  // the dialog window
  bool dialogOpen;      // between WM_INITDIALOG and WM_DESTROY
  bool endRequested;
  intptr_t endResult;
  bool destroyed;
  std::string title;
  std::vector<std::string> titles;  // every title set, in order
  std::map<int, FakeControl> controls;
  int focus;  // control with the keyboard focus
  std::vector<FakeMessageBox> messageBoxes;

  // --- Wave-output records ---
  bool deviceOpen;
  uint64_t openCount;  // successful opens so far
  unsigned closeCount;
  unsigned resetCount;
  unsigned queryCount;
  WaveFormat queriedFormat;
  WaveFormat openedFormat;
  WindowHandle notifyWindow;
  unsigned preparesSinceOpen;
  std::vector<const WaveHeader*> prepared;  // prepared and not yet unprepared
  std::deque<WaveHeader*> deviceQueue;      // queued, not yet finished or reset
  std::deque<WaveHeader*> posted;           // buffer-done notifications waiting
  std::vector<FakeWrittenBuffer> written;   // every queued buffer, in order
  std::vector<int16_t> played;              // samples of buffers that finished playing
  unsigned notificationsDelivered;

  std::vector<std::string> violations;  // misuse of the platform, in order
};

extern FakePlatformState fakePlatform;

// Back to a fresh machine: one device that accepts the format, no failures,
// no program path, no script, nothing recorded.
void fakeReset();

// --- What the script can do while the dialog runs --------------------------

// Clicks a visible, enabled button; returns false (and sends nothing) when
// the control cannot be clicked.
bool fakeClick(int controlId);
// Sends WM_COMMAND for `controlId` as the dialog manager would.
void fakeCommand(int controlId);
void fakePressEnter();   // the default button's command
void fakePressEscape();  // PLATFORM_IDCANCEL
void fakeCloseBox();     // PLATFORM_IDCANCEL

// The device finishes playing the buffer at the head of its queue and posts
// its notification; then all waiting notifications are delivered. Returns
// false when nothing was queued.
bool fakeFinishBuffer();
// Delivers every waiting notification, in order, to the dialog.
void fakePump();

// Sends an arbitrary message to the dialog procedure; returns its result.
intptr_t fakeSend(unsigned message, uintptr_t wParam, intptr_t lParam);

// Samples of the n-th queued buffer (n counted from 0 over the whole run).
const std::vector<int16_t>& fakeWrittenSamples(size_t n);

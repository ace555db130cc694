// The wave-output device as the playback engine uses it: exactly the
// services it relies on. One implementation per platform is chosen by the
// build (winmm, SDL2's audio, no sound at all, and a scripted fake for
// tests).
//
// Semantics follow the Windows wave-output device:
// - a queued buffer is handed back exactly once with PLATFORM_WOM_DONE, also
//   when a reset returns it; the notification reaches the dialog procedure
//   on the dialog's own thread, never from an audio thread, with the
//   buffer's WaveHeader* in lParam;
// - buffer-done notifications are posted: the dialog's message loop delivers
//   them later, in the order they were posted, never from inside a platform
//   call. When platformWaveReset returns, the notifications of every buffer
//   it handed back have been posted, so they arrive before any notification
//   of a device opened afterwards. Notifications still waiting when the
//   dialog is destroyed are discarded.
#pragma once

#include <cstdint>

#include "playback/handles.h"

// The buffer-done notification, as the dialog procedure receives it
// (numbered as the Windows message).
const unsigned PLATFORM_WOM_DONE = 0x03BD;  // 957

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

// Results: 0 success, nonzero failure.
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

// --- Posted notifications ---------------------------------------------------
// Where the device runs on a thread of its own (the Linux outputs: SDL2's
// audio, or no sound), the output posts each buffer-done notification here
// and the platform's dialog loop takes them and hands each to the dialog
// procedure. (Windows posts them to the window's own message queue.)

// A posted buffer-done notification.
struct WaveNotification {
  WaveOutHandle device;
  WindowHandle window;  // as given to platformWaveOpen
  WaveHeader* header;   // only passed on, never read once posted
};

// `wakeup` is called, from any thread, after notifications were posted, so
// that a loop waiting for input looks at them. Null for none.
void waveSetWakeup(void (*wakeup)());

// Takes the oldest posted notification; false when none waits.
bool waveTakeNotification(WaveNotification* out);

// Drops every posted notification: the window they were meant for is gone.
void waveDiscardNotifications();

// Number of devices open now.
int waveOpenDeviceCount();

// Releases what the output started for its devices (SDL's audio
// subsystem); every device must have been closed.
void waveShutdown();

// The wave-output device of the Linux builds, on SDL's audio: the audio
// thread only copies queued buffers to the device and posts a buffer-done
// notification for each; the dialog's loop takes the notifications and hands
// them to the dialog procedure on its own thread.
#pragma once

#include "platform/platform.h"

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

// Closes SDL's audio subsystem if this module started it; every device
// must have been closed.
void waveShutdown();

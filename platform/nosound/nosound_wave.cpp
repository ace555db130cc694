// Wave output for builds without SDL2: there is no sound device.
#include "playback/wave_output.h"

void waveSetWakeup(void (*wakeup)()) { (void)wakeup; }
bool waveTakeNotification(WaveNotification* out) {
  (void)out;
  return false;
}
void waveDiscardNotifications() {}
int waveOpenDeviceCount() { return 0; }
void waveShutdown() {}

unsigned platformWaveDeviceCount() { return 0; }
int platformWaveQueryFormat(const WaveFormat* format) {
  (void)format;
  return 1;
}
int platformWaveOpen(WaveOutHandle* device, const WaveFormat* format, WindowHandle window) {
  (void)format;
  (void)window;
  if (device) *device = nullptr;
  return 1;
}
int platformWavePrepare(WaveOutHandle device, WaveHeader* header) {
  (void)device;
  (void)header;
  return 1;
}
int platformWaveWrite(WaveOutHandle device, WaveHeader* header) {
  (void)device;
  (void)header;
  return 1;
}
int platformWaveReset(WaveOutHandle device) {
  (void)device;
  return 1;
}
int platformWaveUnprepare(WaveOutHandle device, WaveHeader* header) {
  (void)device;
  (void)header;
  return 1;
}
int platformWaveClose(WaveOutHandle device) {
  (void)device;
  return 1;
}

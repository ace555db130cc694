// Wave output through SDL's audio device: 8- or 16-bit PCM, queued buffers
// played back to back, one buffer-done notification per buffer.
#include "playback/wave_output.h"

#include <SDL.h>

#include <cstring>
#include <new>

namespace {

const int MAX_QUEUED = 8;       // buffers one device holds at a time
const int MAX_POSTED = 64;      // buffers queued or posted, all devices together
const int DEVICE_FRAMES = 512;  // samples per channel the device asks for at once
const uint32_t HEADER_PREPARED = 0x2;

struct QueuedBuffer {
  WaveHeader* header;
  const uint8_t* data;  // copied at queueing time: the audio thread never reads the header
  uint32_t length;
  uint32_t played;  // bytes already handed to the device
};

struct WaveState {
  SDL_mutex* lock;                      // guards the posted notifications
  WaveNotification posted[MAX_POSTED];  // ring of notifications not yet taken
  int postedHead;
  int postedCount;
  int outstanding;  // buffers queued on any device or posted; dialog thread only
  void (*wakeup)();
  bool audioStarted;  // this module initialised SDL's audio subsystem
  int openDevices;
};

WaveState wave;

}  // namespace

struct PlatformWaveOut {
  SDL_AudioDeviceID id;
  WindowHandle window;
  uint8_t silence;
  QueuedBuffer queue[MAX_QUEUED];  // guarded by the device's audio lock
  int head;
  int count;
};

namespace {

bool startAudio() {
  if (SDL_WasInit(SDL_INIT_AUDIO)) return true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  wave.audioStarted = true;
  return true;
}

bool ensureLock() {
  if (!wave.lock) wave.lock = SDL_CreateMutex();
  return wave.lock != nullptr;
}

// Appends a notification; the caller holds the device's audio lock. There is
// always room: platformWaveWrite admits no more buffers than the ring holds.
void post(PlatformWaveOut* device, WaveHeader* header) {
  SDL_LockMutex(wave.lock);
  int slot = (wave.postedHead + wave.postedCount) % MAX_POSTED;
  wave.posted[slot] = {device, device->window, header};
  wave.postedCount++;
  SDL_UnlockMutex(wave.lock);
}

// Removes the oldest buffer of the device's queue and posts its notification.
void finishOldest(PlatformWaveOut* device) {
  post(device, device->queue[device->head].header);
  device->head = (device->head + 1) % MAX_QUEUED;
  device->count--;
}

void wake() {
  if (wave.wakeup) wave.wakeup();
}

// Audio thread: fills the device's buffer from the queue, silence when the
// queue runs dry, and posts a notification for every buffer played out.
void SDLCALL fillStream(void* user, Uint8* stream, int length) {
  PlatformWaveOut* device = static_cast<PlatformWaveOut*>(user);
  uint32_t want = static_cast<uint32_t>(length);
  uint32_t filled = 0;
  bool posted = false;
  while (device->count > 0) {
    QueuedBuffer& q = device->queue[device->head];
    uint32_t n = q.length - q.played;
    if (n > want - filled) n = want - filled;
    if (n > 0) std::memcpy(stream + filled, q.data + q.played, n);
    q.played += n;
    filled += n;
    if (q.played < q.length) break;
    finishOldest(device);
    posted = true;
  }
  std::memset(stream + filled, device->silence, want - filled);
  if (posted) wake();
}

bool isQueued(PlatformWaveOut* device, WaveHeader* header) {
  bool found = false;
  SDL_LockAudioDevice(device->id);
  for (int i = 0; i < device->count; i++)
    if (device->queue[(device->head + i) % MAX_QUEUED].header == header) found = true;
  SDL_UnlockAudioDevice(device->id);
  return found;
}

}  // namespace

void waveSetWakeup(void (*wakeup)()) { wave.wakeup = wakeup; }

bool waveTakeNotification(WaveNotification* out) {
  if (!wave.lock) return false;
  SDL_LockMutex(wave.lock);
  bool any = wave.postedCount > 0;
  if (any) {
    *out = wave.posted[wave.postedHead];
    wave.postedHead = (wave.postedHead + 1) % MAX_POSTED;
    wave.postedCount--;
    wave.outstanding--;
  }
  SDL_UnlockMutex(wave.lock);
  return any;
}

void waveDiscardNotifications() {
  WaveNotification dropped;
  while (waveTakeNotification(&dropped)) {
  }
}

int waveOpenDeviceCount() { return wave.openDevices; }

void waveShutdown() {
  waveDiscardNotifications();
  if (wave.audioStarted && wave.openDevices == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    wave.audioStarted = false;
  }
  if (wave.lock && wave.openDevices == 0) {
    SDL_DestroyMutex(wave.lock);
    wave.lock = nullptr;
  }
}

unsigned platformWaveDeviceCount() {
  if (!startAudio()) return 0;
  int n = SDL_GetNumAudioDevices(0);
  // -1: the driver cannot list its devices, but its default one may open.
  if (n < 0) return 1;
  return static_cast<unsigned>(n);
}

int platformWaveQueryFormat(const WaveFormat* format) {
  if (!format) return 1;
  bool bitsOk = format->bitsPerSample == 8 || format->bitsPerSample == 16;
  bool channelsOk = format->channels == 1 || format->channels == 2;
  if (!bitsOk || !channelsOk || format->samplesPerSecond == 0) return 1;
  if (format->blockAlign != format->channels * format->bitsPerSample / 8) return 1;
  return 0;
}

int platformWaveOpen(WaveOutHandle* device, const WaveFormat* format, WindowHandle window) {
  if (!device) return 1;
  *device = nullptr;
  if (platformWaveQueryFormat(format) != 0 || format->samplesPerSecond > 384000) return 1;
  if (!startAudio() || !ensureLock()) return 1;
  PlatformWaveOut* d = new (std::nothrow) PlatformWaveOut();
  if (!d) return 1;
  d->window = window;
  SDL_AudioSpec want, have;
  SDL_zero(want);
  want.freq = static_cast<int>(format->samplesPerSecond);
  want.format = format->bitsPerSample == 16 ? AUDIO_S16LSB : AUDIO_U8;
  want.channels = static_cast<Uint8>(format->channels);
  want.samples = DEVICE_FRAMES;
  want.callback = fillStream;
  want.userdata = d;
  d->silence = format->bitsPerSample == 16 ? 0 : 0x80;
  d->id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (d->id == 0) {
    delete d;
    return 1;
  }
  wave.openDevices++;
  SDL_PauseAudioDevice(d->id, 0);
  *device = d;
  return 0;
}

int platformWavePrepare(WaveOutHandle device, WaveHeader* header) {
  if (!device || !header || (!header->data && header->bufferLength > 0)) return 1;
  header->native = device;
  header->flags |= HEADER_PREPARED;
  return 0;
}

int platformWaveWrite(WaveOutHandle device, WaveHeader* header) {
  if (!device || !header || header->native != device) return 1;
  if (wave.outstanding >= MAX_POSTED) return 1;
  int result = 1;
  SDL_LockAudioDevice(device->id);
  bool already = false;
  for (int i = 0; i < device->count; i++)
    if (device->queue[(device->head + i) % MAX_QUEUED].header == header) already = true;
  if (!already && device->count < MAX_QUEUED) {
    int slot = (device->head + device->count) % MAX_QUEUED;
    device->queue[slot] = {header, reinterpret_cast<const uint8_t*>(header->data),
                           header->bufferLength, 0};
    device->count++;
    wave.outstanding++;
    result = 0;
  }
  SDL_UnlockAudioDevice(device->id);
  return result;
}

int platformWaveReset(WaveOutHandle device) {
  if (!device) return 1;
  SDL_LockAudioDevice(device->id);
  bool any = device->count > 0;
  while (device->count > 0) finishOldest(device);
  SDL_UnlockAudioDevice(device->id);
  if (any) wake();
  return 0;
}

int platformWaveUnprepare(WaveOutHandle device, WaveHeader* header) {
  if (!device || !header) return 1;
  if (isQueued(device, header)) return 1;  // still playing
  header->native = nullptr;
  header->flags &= ~HEADER_PREPARED;
  return 0;
}

int platformWaveClose(WaveOutHandle device) {
  if (!device) return 1;
  SDL_LockAudioDevice(device->id);
  bool busy = device->count > 0;
  SDL_UnlockAudioDevice(device->id);
  if (busy) return 1;  // buffers still queued: reset first
  SDL_CloseAudioDevice(device->id);
  wave.openDevices--;
  delete device;
  return 0;
}

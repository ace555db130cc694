// The playback engine: two PCM buffers cycling through the wave-output
// device, refilled on the dialog's thread as the device hands them back.
#include "playback/engine.h"

#include <cstdlib>
#include <cstring>

#include "playback/player_state.h"
#include "playback/refill.h"

namespace {

const int BUFFER_COUNT = 2;

struct EngineState {
  WaveOutHandle waveOut;                  // the open device while playback runs, else null
  int16_t* pcmBuffers[BUFFER_COUNT];      // bufferBytes each, allocated at start, freed at stop
  WaveHeader* waveHeaders[BUFFER_COUNT];  // one per buffer; null when its preparation failed
  bool queued[BUFFER_COUNT];              // the device owns the buffer: written, not handed back
  int32_t bufferBytes;                    // the length the buffers were allocated with

  // Survives stops; cleared only at program start.
  unsigned notificationsOwed;  // buffer-done notifications of stopped playbacks not yet seen
};

EngineState engine;

// Which buffer `header` belongs to, or -1. Compares pointers only.
int bufferIndexOf(const WaveHeader* header) {
  if (!header) return -1;
  for (int i = 0; i < BUFFER_COUNT; i++)
    if (engine.waveHeaders[i] == header) return i;
  return -1;
}

void queueBuffer(int i) {
  engine.queued[i] = platformWaveWrite(engine.waveOut, engine.waveHeaders[i]) == 0;
}

// Frees the headers and buffers and closes the device; every header must
// already be unprepared and none queued.
void releaseAll() {
  for (int i = 0; i < BUFFER_COUNT; i++) {
    std::free(engine.waveHeaders[i]);
    engine.waveHeaders[i] = nullptr;
    engine.queued[i] = false;
    std::free(engine.pcmBuffers[i]);
    engine.pcmBuffers[i] = nullptr;
  }
  if (engine.waveOut) platformWaveClose(engine.waveOut);
  engine.waveOut = nullptr;
  engine.bufferBytes = 0;
}

}  // namespace

void resetPlaybackEngine() { engine = EngineState(); }

WaveOutHandle openOutputDevice(WindowHandle window) {
  if (platformWaveDeviceCount() < 1) return nullptr;
  if (platformWaveQueryFormat(&PLAYBACK_FORMAT) != 0) return nullptr;
  WaveOutHandle device = nullptr;
  if (platformWaveOpen(&device, &PLAYBACK_FORMAT, window) != 0) return nullptr;
  return device;
}

int startPlayback(WindowHandle window, int8_t effectId, int8_t depth) {
  if (engine.waveOut) stopPlayback();
  engine.waveOut = openOutputDevice(window);
  if (!engine.waveOut) return START_NO_DEVICE;

  engine.bufferBytes = playerState.bufferBytes;
  size_t bytes = static_cast<size_t>(engine.bufferBytes);
  for (int i = 0; i < BUFFER_COUNT; i++) {
    engine.pcmBuffers[i] = static_cast<int16_t*>(std::calloc(bytes, 1));
    if (!engine.pcmBuffers[i]) {
      releaseAll();
      return START_NO_DEVICE;
    }
  }

  // A buffer whose header cannot be prepared takes no part in playback.
  int usable = 0;
  for (int i = 0; i < BUFFER_COUNT; i++) {
    WaveHeader* header = static_cast<WaveHeader*>(std::calloc(1, sizeof(WaveHeader)));
    if (!header) continue;
    header->data = reinterpret_cast<char*>(engine.pcmBuffers[i]);
    header->bufferLength = static_cast<uint32_t>(bytes);
    if (platformWavePrepare(engine.waveOut, header) != 0) {
      std::free(header);
      continue;
    }
    engine.waveHeaders[i] = header;
    usable++;
  }
  if (usable == 0) {
    releaseAll();
    return START_NO_DEVICE;
  }

  for (int i = 0; i < BUFFER_COUNT; i++) std::memset(engine.pcmBuffers[i], 0, bytes);
  startRefills(effectId, depth);

  // The two silent buffers pass through no effect.
  for (int i = 0; i < BUFFER_COUNT; i++)
    if (engine.waveHeaders[i]) queueBuffer(i);
  return 0;
}

bool acceptFinishedBuffer(const WaveHeader* header) {
  // Notifications posted by the reset of a stop arrive before any of a later
  // playback, whose headers may even sit at the same addresses.
  if (engine.notificationsOwed > 0) {
    engine.notificationsOwed--;
    return false;
  }
  int i = bufferIndexOf(header);
  if (i < 0 || !engine.queued[i]) return false;
  engine.queued[i] = false;
  return true;
}

bool anyBufferQueued() {
  for (int i = 0; i < BUFFER_COUNT; i++)
    if (engine.queued[i]) return true;
  return false;
}

int16_t* refillBuffer(WaveHeader* header, const uint8_t* block) {
  int i = bufferIndexOf(header);
  if (i < 0 || engine.queued[i]) return nullptr;
  refillPcm(engine.pcmBuffers[i], engine.bufferBytes, block);
  queueBuffer(i);
  return engine.pcmBuffers[i];
}

void stopPlayback() {
  if (!engine.waveOut) return;
  platformWaveReset(engine.waveOut);
  for (int i = 0; i < BUFFER_COUNT; i++) {
    // The reset has posted a notification for every buffer it handed back.
    if (engine.queued[i]) engine.notificationsOwed++;
    engine.queued[i] = false;
    if (engine.waveHeaders[i]) platformWaveUnprepare(engine.waveOut, engine.waveHeaders[i]);
  }
  releaseAll();
}

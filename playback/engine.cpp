// The playback engine: two PCM buffers cycling through the wave-output
// device, refilled on the dialog's thread as the device hands them back.
#include "playback/engine.h"

#include <cstdlib>
#include <cstring>

#include "playback/player_state.h"
#include "playback/refill.h"

namespace {

const int BUFFER_COUNT = 2;

// Headers handed back by the reset of a stop whose notification has not yet
// arrived. Two per stop; a table this size never fills while the device
// delivers what it owes.
const int LATE_HEADER_SLOTS = 8;

struct EngineState {
  WaveOutHandle waveOut;                  // the open device while playback runs, else null
  int16_t* pcmBuffers[BUFFER_COUNT];      // bufferBytes each, allocated at start, freed at stop
  WaveHeader* waveHeaders[BUFFER_COUNT];  // one per buffer; null when its preparation failed
  bool queued[BUFFER_COUNT];              // the device owns the buffer: written, not handed back
  int32_t bufferBytes;                    // the length the buffers were allocated with

  // Survives stops; released when the dialog window goes.
  WaveHeader* lateHeaders[LATE_HEADER_SLOTS];  // still named by a waiting notification: kept
                                               // allocated so that no new header takes the address
};

EngineState engine;

// Which buffer `header` belongs to, or -1. Compares pointers only.
int bufferIndexOf(const WaveHeader* header) {
  if (!header) return -1;
  for (int i = 0; i < BUFFER_COUNT; i++)
    if (engine.waveHeaders[i] == header) return i;
  return -1;
}

// Keeps a header that a waiting notification names until that notification
// arrives. With the table full it is never freed: that is still safe.
void keepUntilNotified(WaveHeader* header) {
  for (WaveHeader*& slot : engine.lateHeaders)
    if (!slot) {
      slot = header;
      return;
    }
}

void queueBuffer(int i) {
  engine.queued[i] = platformWaveWrite(engine.waveOut, engine.waveHeaders[i]) == 0;
}

// Frees the headers and buffers and closes the device; every header must
// already be unprepared, and a queued one kept for its notification.
void releaseAll() {
  for (int i = 0; i < BUFFER_COUNT; i++) {
    if (engine.queued[i])
      keepUntilNotified(engine.waveHeaders[i]);
    else
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

void releaseLateHeaders() {
  for (WaveHeader*& slot : engine.lateHeaders) {
    std::free(slot);
    slot = nullptr;
  }
}

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
  int i = bufferIndexOf(header);
  if (i >= 0 && engine.queued[i]) {
    engine.queued[i] = false;
    return true;
  }
  // A notification the reset of a stop posted: its header can go now.
  for (WaveHeader*& slot : engine.lateHeaders)
    if (header && slot == header) {
      std::free(slot);
      slot = nullptr;
    }
  return false;
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
  // Every buffer still queued comes back with a notification posted now and
  // delivered later; releaseAll keeps its header until then.
  platformWaveReset(engine.waveOut);
  for (int i = 0; i < BUFFER_COUNT; i++)
    if (engine.waveHeaders[i]) platformWaveUnprepare(engine.waveOut, engine.waveHeaders[i]);
  releaseAll();
}

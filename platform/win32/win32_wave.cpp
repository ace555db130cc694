// Wave output through the Windows multimedia interface, with buffer-done
// notifications posted to the dialog window (CALLBACK_WINDOW).
//
// The device's header records (WAVEHDR) live in a small fixed table here
// rather than on the heap. A buffer handed back by a reset is announced by a
// notification that the dialog receives only after the engine has released
// its header; the record stays reserved until that notification has been
// passed on, so every notification finds its record, names the engine's
// header it was written for, and never a record prepared again since.
#include <windows.h>
#include <mmsystem.h>

#include "playback/wave_output.h"
#include "platform/win32/win32_internal.h"

// Header records that can be in use at once: the engine's two, and two more
// still owed a notification from a playback that has just stopped.
const int NATIVE_HEADER_SLOTS = 4;

struct NativeHeader {
  WAVEHDR record;     // the device's header
  WaveHeader* owner;  // the engine's header it stands for; only compared, never
                      // read once unprepared
  bool inUse;         // reserved: prepared, or still owed a notification
  bool prepared;      // between platformWavePrepare and platformWaveUnprepare
  bool awaitingDone;  // written to the device, its notification not yet passed on
};

static struct Win32WaveState {
  NativeHeader slots[NATIVE_HEADER_SLOTS];  // free when not `inUse`
} waveState;

static HWAVEOUT toDevice(WaveOutHandle device) { return reinterpret_cast<HWAVEOUT>(device); }

static NativeHeader* slotOf(const WaveHeader* header) {
  return header ? static_cast<NativeHeader*>(header->native) : nullptr;
}

// The PCM format as the device wants it.
static WAVEFORMATEX toWaveFormat(const WaveFormat* format) {
  WAVEFORMATEX wfx;
  wfx.wFormatTag = WAVE_FORMAT_PCM;
  wfx.nChannels = format->channels;
  wfx.nSamplesPerSec = format->samplesPerSecond;
  wfx.nAvgBytesPerSec = format->bytesPerSecond;
  wfx.nBlockAlign = format->blockAlign;
  wfx.wBitsPerSample = format->bitsPerSample;
  wfx.cbSize = 0;
  return wfx;
}

unsigned platformWaveDeviceCount() { return waveOutGetNumDevs(); }

int platformWaveQueryFormat(const WaveFormat* format) {
  WAVEFORMATEX wfx = toWaveFormat(format);
  return static_cast<int>(waveOutOpen(nullptr, WAVE_MAPPER, &wfx, 0, 0, WAVE_FORMAT_QUERY));
}

int platformWaveOpen(WaveOutHandle* device, const WaveFormat* format, WindowHandle window) {
  WAVEFORMATEX wfx = toWaveFormat(format);
  HWAVEOUT handle = nullptr;
  MMRESULT result = waveOutOpen(&handle, WAVE_MAPPER, &wfx, reinterpret_cast<DWORD_PTR>(window), 0,
                                CALLBACK_WINDOW);
  *device = result == MMSYSERR_NOERROR ? reinterpret_cast<WaveOutHandle>(handle) : nullptr;
  return static_cast<int>(result);
}

int platformWavePrepare(WaveOutHandle device, WaveHeader* header) {
  if (!device || !header || header->native) return MMSYSERR_INVALPARAM;
  NativeHeader* slot = nullptr;
  for (NativeHeader& candidate : waveState.slots)
    if (!candidate.inUse) {
      slot = &candidate;
      break;
    }
  if (!slot) return MMSYSERR_NOMEM;

  WAVEHDR& record = slot->record;
  ZeroMemory(&record, sizeof record);
  record.lpData = header->data;
  record.dwBufferLength = header->bufferLength;
  record.dwFlags = header->flags;
  record.dwLoops = header->loops;
  MMRESULT result = waveOutPrepareHeader(toDevice(device), &record, sizeof record);
  if (result != MMSYSERR_NOERROR) return static_cast<int>(result);
  slot->owner = header;
  slot->inUse = true;
  slot->prepared = true;
  slot->awaitingDone = false;
  header->flags = record.dwFlags;
  header->native = slot;
  return MMSYSERR_NOERROR;
}

int platformWaveWrite(WaveOutHandle device, WaveHeader* header) {
  NativeHeader* slot = slotOf(header);
  if (!slot) return WAVERR_UNPREPARED;
  slot->awaitingDone = true;
  MMRESULT result = waveOutWrite(toDevice(device), &slot->record, sizeof slot->record);
  if (result != MMSYSERR_NOERROR) slot->awaitingDone = false;
  header->flags = slot->record.dwFlags;
  return static_cast<int>(result);
}

int platformWaveReset(WaveOutHandle device) {
  return static_cast<int>(waveOutReset(toDevice(device)));
}

int platformWaveUnprepare(WaveOutHandle device, WaveHeader* header) {
  NativeHeader* slot = slotOf(header);
  if (!slot) return MMSYSERR_NOERROR;  // never prepared: nothing to release
  MMRESULT result = waveOutUnprepareHeader(toDevice(device), &slot->record, sizeof slot->record);
  // The engine's header forgets the record either way. A record the device
  // refused to release stays reserved until the dialog ends: the device may
  // still be using it.
  header->flags = slot->record.dwFlags;
  header->native = nullptr;
  slot->prepared = false;
  if (result != MMSYSERR_NOERROR) return static_cast<int>(result);
  if (!slot->awaitingDone) slot->inUse = false;
  return MMSYSERR_NOERROR;
}

int platformWaveClose(WaveOutHandle device) {
  return static_cast<int>(waveOutClose(toDevice(device)));
}

bool win32TranslateWaveDone(intptr_t headerParam, intptr_t* translated) {
  for (NativeHeader& slot : waveState.slots) {
    if (reinterpret_cast<intptr_t>(&slot.record) != headerParam) continue;
    if (!slot.inUse || !slot.awaitingDone) return false;
    slot.awaitingDone = false;
    if (slot.prepared)
      slot.owner->flags = slot.record.dwFlags;
    else
      slot.inUse = false;  // its last notification: the record may be used again
    *translated = reinterpret_cast<intptr_t>(slot.owner);
    return true;
  }
  return false;
}

void win32ForgetWaveNotifications() {
  for (NativeHeader& slot : waveState.slots)
    if (!slot.prepared) slot.awaitingDone = slot.inUse = false;
}

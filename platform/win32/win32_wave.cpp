// Wave output through the Windows multimedia interface, with buffer-done
// notifications posted to the dialog window (CALLBACK_WINDOW).
//
// The device's header records (WAVEHDR) live in a small fixed table here
// rather than on the heap, so that a notification still waiting in the
// window's queue after its header was released can be recognised and
// dropped without touching freed memory.
#include <windows.h>
#include <mmsystem.h>

#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

// Header records that can be prepared at once. The engine keeps two; a few
// spare ones cover a record whose release the device refused.
const int NATIVE_HEADER_SLOTS = 4;

struct NativeHeader {
  WAVEHDR record;      // the device's header; dwUser holds the engine's WaveHeader*
  HWAVEOUT device;     // device it was prepared for; null while the slot is free
  bool awaitingDone;   // written to the device and not yet handed back
};

static struct Win32WaveState {
  NativeHeader slots[NATIVE_HEADER_SLOTS];  // free when `device` is null
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
  MMRESULT result = waveOutOpen(&handle, WAVE_MAPPER, &wfx, reinterpret_cast<DWORD_PTR>(window),
                                0, CALLBACK_WINDOW);
  *device = result == MMSYSERR_NOERROR ? reinterpret_cast<WaveOutHandle>(handle) : nullptr;
  return static_cast<int>(result);
}

int platformWavePrepare(WaveOutHandle device, WaveHeader* header) {
  if (!device || !header || header->native) return MMSYSERR_INVALPARAM;
  NativeHeader* slot = nullptr;
  for (NativeHeader& candidate : waveState.slots)
    if (!candidate.device) {
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
  record.dwUser = reinterpret_cast<DWORD_PTR>(header);
  MMRESULT result = waveOutPrepareHeader(toDevice(device), &record, sizeof record);
  if (result != MMSYSERR_NOERROR) return static_cast<int>(result);
  slot->device = toDevice(device);
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
  // A record the device still holds stays reserved; the engine's header
  // forgets it either way, so no notification can lead back to it.
  header->flags = slot->record.dwFlags;
  header->native = nullptr;
  slot->record.dwUser = 0;
  slot->awaitingDone = false;
  if (result == MMSYSERR_NOERROR) slot->device = nullptr;
  return static_cast<int>(result);
}

int platformWaveClose(WaveOutHandle device) {
  return static_cast<int>(waveOutClose(toDevice(device)));
}

bool win32TranslateWaveDone(uintptr_t deviceParam, intptr_t headerParam, intptr_t* translated) {
  for (NativeHeader& slot : waveState.slots) {
    if (reinterpret_cast<intptr_t>(&slot.record) != headerParam) continue;
    // Only a record that is prepared, was written, and is marked done by the
    // device belongs to this notification: a stale notification may name a
    // slot that has since been prepared again for a new playback.
    bool current = slot.device && slot.record.dwUser && slot.awaitingDone &&
                   reinterpret_cast<uintptr_t>(slot.device) == deviceParam &&
                   (slot.record.dwFlags & WHDR_DONE);
    if (!current) return false;
    slot.awaitingDone = false;
    WaveHeader* header = reinterpret_cast<WaveHeader*>(slot.record.dwUser);
    header->flags = slot.record.dwFlags;
    *translated = reinterpret_cast<intptr_t>(header);
    return true;
  }
  return false;
}

// The playback engine: keeps the message sounding on the wave-output device
// with two PCM buffers of one block each. The dialog drives it: it starts and
// stops playback, reads the next block and hands every buffer the device
// gives back to refillBuffer.
//
// Every buffer-done notification goes through acceptFinishedBuffer first; a
// notification it refuses names a buffer of a stopped playback (or none) and
// must not be used.
#pragma once

#include <cstdint>

#include "playback/wave_output.h"

// Result of startPlayback when no usable output device exists.
const int START_NO_DEVICE = 5;

// Output format: 16-bit mono PCM at 8000 samples per second.
const WaveFormat PLAYBACK_FORMAT = {1, 8000, 16000, 2, 16};

// The dialog window is going, and with it the notifications still waiting
// for it: frees the headers that were kept for them.
void releaseLateHeaders();

// Opens the default output device for PLAYBACK_FORMAT with buffer-done
// notifications to `window`: none when no device exists, the format is
// refused or the open fails.
WaveOutHandle openOutputDevice(WindowHandle window);

// Opens the device, allocates and prepares two buffers of bufferBytes,
// resets the decoder and the effect `effectId` at `depth`, and queues both
// buffers silent. Returns 0, or START_NO_DEVICE with nothing allocated or
// open when no device can play (also when no buffer could be prepared).
int startPlayback(WindowHandle window, int8_t effectId, int8_t depth);

// Tells whether a buffer-done notification for `header` belongs to the
// running playback: true for one of its buffers that the device has just
// handed back (the buffer now belongs to the engine again); false for a
// buffer handed back by the reset of a stop, or an unknown header. Never
// dereferences `header`.
bool acceptFinishedBuffer(const WaveHeader* header);

// Whether the device still owns a buffer of the running playback, one that
// will come back with a notification.
bool anyBufferQueued();

// Decodes the 512-byte `block` into the buffer of `header`, runs the effect
// over the whole buffer and queues it again. `header` must have been
// accepted by acceptFinishedBuffer. Returns the buffer, or null (and does
// nothing) for a header that is not a buffer of the running playback.
int16_t* refillBuffer(WaveHeader* header, const uint8_t* block);

// Stops at once: resets the device, releases headers and buffers and closes
// the device. The header of a buffer the reset handed back stays allocated
// until its notification has passed acceptFinishedBuffer, so no header of a
// later playback can be mistaken for it. Nothing happens when no playback
// runs.
void stopPlayback();

#!/usr/bin/env python3
"""compare_pcm.py CAPTURED DECODED MESSAGE

Checks that the sound a player wrote through SDL's disk audio driver
(CAPTURED, raw 16-bit little-endian mono) is, bit for bit, two silent
buffers followed by DECODED (what `quillo decode MESSAGE -o x.raw` wrote).
The driver adds silence of its own before and after, so the comparison
starts at the first sound; the captured sound must be preceded by at least
the two silent buffers and may be followed only by what the player queued
after the last block before it stopped (less than a buffer and a device
buffer). Prints a short report; exit status 1 on a mismatch.

A machine too busy to refill a buffer in time makes the device play
silence until the buffer is queued: such an underrun can only fall between
two buffers and only adds zeros. These gaps are skipped and reported (at
most MAX_UNDERRUNS of them); everything the player queued must still be
there, bit for bit and in order.
"""
import struct
import sys

PAYLOAD_OFFSET = 98304
DEVICE_BUFFER = 512
MAX_UNDERRUNS = 3
RESYNC = 32  # samples that must match again after a gap


def samples(path):
    with open(path, "rb") as f:
        data = f.read()
    return struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2])


def first_sound(pcm):
    for i, s in enumerate(pcm):
        if s != 0:
            return i
    return None


def main(captured_path, decoded_path, message_path):
    with open(message_path, "rb") as f:
        f.seek(PAYLOAD_OFFSET + 8)
        rate = f.read(1)
    rate = rate[0] if rate else 0
    buffer_samples = {0: 5120, 1: 4080}.get(rate, 2240)
    captured = samples(captured_path)
    decoded = samples(decoded_path)
    expected = (0,) * (2 * buffer_samples) + tuple(decoded)
    e0 = first_sound(expected)
    c0 = first_sound(captured)
    if e0 is None:
        print("the decoded message is silent")
        return 1
    if c0 is None:
        print("the player made no sound (%d samples captured)" % len(captured))
        return 1
    if c0 < e0:
        print("first sound at sample %d, before the two silent buffers (%d)" % (c0, e0))
        return 1
    start = c0 - e0  # where the two silent buffers begin in the capture
    n = len(expected)
    underruns = []
    i, j = 0, start  # positions in expected and captured
    while i < n:
        if j >= len(captured):
            print("capture ends %d samples early" % (n - i))
            return 1
        if captured[j] == expected[i]:
            i += 1
            j += 1
            continue
        # Only silence, only between two buffers, and the next buffer follows
        # whole. A buffer that starts with zeros matched the gap's first zeros:
        # step back to its start.
        back = i % buffer_samples
        if back and not any(expected[i - back : i]) and not any(captured[j - back : j]):
            i -= back
            j -= back
        gap = 0
        while j + gap < len(captured) and captured[j + gap] == 0:
            gap += 1
        leading = 0  # zeros the buffer itself starts with: not part of the gap
        while leading < gap and i + leading < n and expected[i + leading] == 0:
            leading += 1
        gap -= leading
        resumed = captured[j + gap : j + gap + RESYNC] == expected[i : i + RESYNC]
        if i % buffer_samples != 0 or gap == 0 or not resumed or len(underruns) == MAX_UNDERRUNS:
            at = i - 2 * buffer_samples
            print("first difference at sample %d (%.3f s into the message): %d, expected %d"
                  % (at, at / 8000.0, captured[j], expected[i]))
            return 1
        underruns.append((i // buffer_samples - 2, gap))
        j += gap
    for index, gap in underruns:
        print("underrun before block %d: %d samples of silence (the machine was busy)"
              % (index, gap))
    got_end = j
    tail = len(captured) - got_end
    if tail > buffer_samples + 2 * DEVICE_BUFFER:
        print("%d samples after the message: the player did not stop" % tail)
        return 1
    print("bit-exact: %d samples (%.2f s) after %d samples of leading silence, %d after"
          % (len(decoded), len(decoded) / 8000.0, start + 2 * buffer_samples, tail))
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))

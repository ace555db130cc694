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
"""
import struct
import sys

PAYLOAD_OFFSET = 98304
DEVICE_BUFFER = 512


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
    got = captured[start : start + n]
    for i in range(min(len(got), n)):
        if got[i] != expected[i]:
            print("first difference at sample %d (%.3f s into the message): %d, expected %d"
                  % (i - 2 * buffer_samples, (i - 2 * buffer_samples) / 8000.0, got[i], expected[i]))
            return 1
    if len(got) < n:
        print("capture ends %d samples early" % (n - len(got)))
        return 1
    tail = len(captured) - (start + n)
    if tail > buffer_samples + 2 * DEVICE_BUFFER:
        print("%d samples after the message: the player did not stop" % tail)
        return 1
    print("bit-exact: %d samples (%.2f s) after %d samples of leading silence, %d after"
          % (len(decoded), len(decoded) / 8000.0, start + 2 * buffer_samples, tail))
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))

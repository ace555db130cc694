#!/usr/bin/env python3
"""capture.py MODE CAPTURE BUFFER_BYTES [DECODED]

Compares what the Windows player wrote through waveOut (CAPTURE, the raw
PCM ALSA's file tap received) with what it must have played: two silent
buffers of BUFFER_BYTES each, then DECODED (`quillo decode` of the same
message). Exit status 1 (with a line saying why) when it does not hold.

MODE
  whole   the capture begins with the two silent buffers and all of DECODED,
          bit for bit (what follows is not looked at)
  paused  playback was stopped on the way: the capture is a bit-exact prefix
          of the expected sound, at least one second beyond the silent
          buffers, ending in at most 512 bytes of silence where the device
          completed its last period after the reset
  silent  the capture holds the two silent buffers, then sound (DECODED not
          needed)
"""
import sys


def main(mode, capture_path, buffer_bytes, decoded_path=None):
    cap = open(capture_path, "rb").read()
    silent = 2 * int(buffer_bytes)
    if mode == "silent":
        return 0 if len(cap) > silent and cap[:silent] == bytes(silent) and any(cap[silent:]) else 1
    want = bytes(silent) + open(decoded_path, "rb").read()
    if mode == "whole":
        if cap[: len(want)] != want:
            n = min(len(cap), len(want))
            first = next((i for i in range(n) if cap[i] != want[i]), n)
            print("captured %d bytes, expected %d; first difference at byte %d"
                  % (len(cap), len(want), first))
            return 1
        print("== captured %d bytes: 2 silent buffers + %d bytes decoded, bit-exact; %d bytes after"
              % (len(cap), len(want) - silent, len(cap) - len(want)))
        return 0
    if mode == "paused":
        n = len(cap)
        first = next((i for i in range(min(n, len(want))) if cap[i] != want[i]), n)
        # A reset stops the device within its last period, which the device
        # may complete with silence: at most a few milliseconds at the end.
        cut = n - first
        if n < silent + 8000 or n > len(want) or cut > 512 or any(cap[first:]):
            print("captured %d bytes; first difference at byte %d: %s, expected %s"
                  % (n, first, cap[first:first + 16].hex(), want[first:first + 16].hex()))
            return 1
        print("== paused after %d bytes, bit-exact%s"
              % (n, " up to %d bytes of silence at the stop" % cut if cut else ""))
        return 0
    print("unknown mode %s" % mode)
    return 2


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))

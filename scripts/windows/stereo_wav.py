#!/usr/bin/env python3
"""stereo_wav.py RAW8K OUT.wav: the first 3 s of RAW8K (8 kHz mono 16-bit)
as a 16 kHz stereo WAV, each sample twice in time and in both channels."""
import struct
import sys
import wave

s = struct.unpack("<%dh" % 24000, open(sys.argv[1], "rb").read()[:48000])
w = wave.open(sys.argv[2], "wb")
w.setnchannels(2)
w.setsampwidth(2)
w.setframerate(16000)
w.writeframes(b"".join(struct.pack("<hhhh", v, v, v, v) for v in s))
w.close()

#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/.

Real frames come from samples/hello-8k.g729 (8 kbit/s) and, when the
conformance data folder is found (../shared beside the checkout, or
$QUILLO_SHARED), from its 6.4 and 11.8 kbit/s bitstreams; without it the
6.4 and 11.8 kbit/s seeds use patterned bytes. Run it again after changing
an input format of a target; the files it writes are kept in the repository.
"""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
MASK = 0x6E
FRAME_BYTES = {0: 8, 1: 10, 2: 18}


def shared_dir():
    d = os.environ.get("QUILLO_SHARED") or os.path.join(ROOT, "..", "shared")
    return d if os.path.isdir(os.path.join(d, "g729")) else None


def g192_frames(path, rate, count):
    """The first `count` decodable frames of `rate` in a G.192 file."""
    data = open(path, "rb").read()
    frames, at = [], 0
    while at + 4 <= len(data) and len(frames) < count:
        sync, n = struct.unpack_from("<HH", data, at)
        words = struct.unpack_from("<%dH" % n, data, at + 4)
        at += 4 + 2 * n
        bits = [1 if w == 0x0081 else 0 for w in words]
        if sync != 0x6B21 or any(w == 0 for w in words):
            continue
        if {64: 0, 80: 1, 118: 2}.get(n) != rate:
            continue
        if rate == 2:
            if bits[0] or bits[1]:
                continue
            bits = bits[2:]
        bits += [0] * (FRAME_BYTES[rate] * 8 - len(bits))
        frames.append(bytes(int("".join(map(str, bits[i:i + 8])), 2)
                            for i in range(0, len(bits), 8)))
    return frames


def patterned(rate, count):
    n = FRAME_BYTES[rate]
    return [bytes((37 * i + 11 * f + 5) & 0xFF for i in range(n)) for f in range(count)]


def frames_of(rate, count):
    if rate == 1:
        data = open(os.path.join(ROOT, "samples", "hello-8k.g729"), "rb").read()
        # Frames from the middle of the sample, where the speech is.
        start = 300 * 10
        return [data[start + 10 * i:start + 10 * i + 10] for i in range(count)]
    shared = shared_dir()
    if shared:
        vec = os.path.join(shared, "g729", "vectors")
        path = os.path.join(vec, "annexD", "testmid.1") if rate == 0 else \
            os.path.join(vec, "annexE", "stabilit.bit")
        got = g192_frames(path, rate, count)
        if len(got) == count:
            return got
    return patterned(rate, count)


def block(rate, frames, first):
    """One scrambled 512-byte block of `rate` holding `frames` (repeated to fill it)."""
    header = {0: bytes(8) if first else b"", 1: b"\x10\x00", 2: b"\x20" + bytes(7)}[rate]
    per = (512 - len(header)) // FRAME_BYTES[rate]
    body = b"".join(frames[i % len(frames)] for i in range(per))
    plain = header + body
    assert len(plain) == 512
    return bytes(b ^ MASK for b in plain)


def message_header(rate_code, effect, depth_byte):
    return bytes(8) + bytes([rate_code, 0, effect & 0xFF, depth_byte])


def write(target, name, data):
    d = os.path.join(CORPUS, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def main():
    fr = {rate: frames_of(rate, 40) for rate in (0, 1, 2)}

    # frame_decoder: [control][frame], control % 3 = rate, bit 7 = reset.
    for rate, name in ((0, "rate64"), (1, "rate80"), (2, "rate118")):
        write("frame_decoder", name, b"".join(bytes([rate]) + f for f in fr[rate][:12]))
    mixed = b"".join(bytes([r]) + fr[r][i] for i in range(6) for r in (1, 2, 0))
    write("frame_decoder", "mixed", mixed)
    write("frame_decoder", "reset", bytes([1]) + fr[1][0] + bytes([0x81]) + fr[1][1])

    # block_decoder: [control][512 bytes], control bit 0 = reset first.
    for rate, name in ((0, "rate64"), (1, "rate80"), (2, "rate118")):
        blocks = bytes([0]) + block(rate, fr[rate][:20], True) + \
            bytes([0]) + block(rate, fr[rate][20:], False)
        write("block_decoder", name, blocks)
    switch = bytes([0]) + block(1, fr[1], True) + bytes([0]) + block(0, fr[0], False) + \
        bytes([0]) + block(1, fr[1], False) + bytes([1]) + block(2, fr[2], True)
    write("block_decoder", "switch", switch)

    # message: the bytes behind the player: header, then blocks.
    for rate, name in ((0, "rate64"), (1, "rate80"), (2, "rate118")):
        payload = block(rate, fr[rate][:20], True) + block(rate, fr[rate][20:], False)
        write("message", name, message_header(rate, 0, 0) + payload)
    # Every effect, at rates and depths that vary with it.
    for effect in range(1, 17):
        rate = effect % 3
        write("message", "effect-%02d" % effect,
              message_header(rate, effect, (effect * 37) & 0xFF) + block(rate, fr[rate], True))
    write("message", "short-last-block",
          message_header(0, 0, 0) + block(0, fr[0], True) + block(0, fr[0], False)[:100])
    write("message", "header-rate-disagrees", message_header(2, 0, 0) + block(0, fr[0], True))
    write("message", "header-only", message_header(1, 0, 0))

    # pack: arguments ended by zero bytes, an empty one, then the frames.
    def args(*a):
        return b"".join(x.encode() + b"\0" for x in a) + b"\0"
    write("pack", "rate64", args("--rate", "6.4", "f", "-o", "m") + b"".join(fr[0][:10]))
    write("pack", "rate80", args("--rate", "8", "--effect", "7", "f", "-o", "m") +
          b"".join(fr[1][:10]))
    write("pack", "rate118", args("--depth-byte", "255", "--rate", "11.8", "f", "-o", "m") +
          b"".join(fr[2][:10]))
    write("pack", "player", args("--player", "p", "--rate", "8", "f", "-o", "m") +
          b"".join(fr[1][:20]))
    write("pack", "bad-effect", args("--rate", "8", "--effect", "17", "f", "-o", "m"))
    # A 6.4 kbit/s frame at the start of a later block that reads as an
    # 8 kbit/s block header.
    odd = bytes([0x10, 0x00]) + fr[0][0][2:]
    write("pack", "unplayable-block",
          args("--rate", "6.4", "f", "-o", "m") + b"".join(fr[0][:63]) + odd + fr[0][1])

    # g192: the first frames of bitstreams of each rate, a rate switch and an
    # erased frame; without the conformance data, frames written here.
    def g192(bits_list):
        out = b""
        for bits in bits_list:
            out += struct.pack("<HH", 0x6B21, len(bits))
            out += b"".join(struct.pack("<H", 0x0081 if b else 0x007F) for b in bits)
        return out

    def bits_of(frame, n):
        return [(frame[i // 8] >> (7 - i % 8)) & 1 for i in range(n)]

    write("g192", "rate64", g192([bits_of(f, 64) for f in fr[0][:6]]))
    write("g192", "rate80", g192([bits_of(f, 80) for f in fr[1][:6]]))
    write("g192", "rate118", g192([[0, 0] + bits_of(f, 116) for f in fr[2][:6]]))
    write("g192", "switch", g192([bits_of(fr[1][0], 80), [0, 0] + bits_of(fr[2][0], 116),
                                  bits_of(fr[0][0], 64)]))
    write("g192", "erased", g192([bits_of(fr[1][0], 80)]) + struct.pack("<HH", 0x6B20, 80) +
          bytes(160))

    # wav: 16-bit mono PCM, an extensible one, and one cut inside its data.
    def wav(fmt, samples, extra=b""):
        body = b"".join(struct.pack("<h", s) for s in samples)
        fmt_chunk = b"fmt " + struct.pack("<I", len(fmt)) + fmt
        data_chunk = b"data" + struct.pack("<I", len(body)) + body
        riff = b"WAVE" + extra + fmt_chunk + data_chunk
        return b"RIFF" + struct.pack("<I", len(riff)) + riff

    pcm_fmt = struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16)
    ext_fmt = struct.pack("<HHIIHHHHI", 0xFFFE, 1, 8000, 16000, 2, 16, 22, 16, 4) + \
        struct.pack("<H", 1) + bytes(14)
    tone = [int(3000 * ((i % 40) - 20) / 20) for i in range(200)]
    write("wav", "pcm", wav(pcm_fmt, tone))
    write("wav", "extensible", wav(ext_fmt, tone, b"LIST" + struct.pack("<I", 3) + b"abc\0"))
    write("wav", "cut", wav(pcm_fmt, tone)[:300])

    # encoder: frames of samples, each after its rate byte; a tone, a loud
    # square wave switching rate every frame, noise, silence and a cut frame.
    def enc(rates, samples):
        out = b""
        for k, rate in enumerate(rates):
            out += bytes([rate]) + b"".join(
                struct.pack("<h", v) for v in samples[80 * k:80 * (k + 1)])
        return out

    import math
    import random
    rnd = random.Random(729)
    sine = [int(8000 * math.sin(2 * math.pi * 220 * i / 8000)) for i in range(800)]
    square = [32767 if (i // 20) % 2 else -32768 for i in range(800)]
    noise = [rnd.randint(-32768, 32767) for _ in range(800)]
    write("encoder", "tone80", enc([1] * 10, sine))
    write("encoder", "square_switch", enc([0, 1, 2] * 3 + [1], square))
    write("encoder", "noise118", enc([2] * 10, noise))
    write("encoder", "silence64", enc([0] * 4, [0] * 320))
    write("encoder", "cut", enc([1, 2], sine)[:200])


if __name__ == "__main__":
    sys.exit(main())

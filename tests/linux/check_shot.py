#!/usr/bin/env python3
"""Checks a screenshot of the Linux player's dialog or message box against
the layout the dialog units give, and looks for anti-aliased text.

  check_shot.py PNG playing|paused|focus-play|focus-stop|messagebox

PNG is the window's part of the screen. Prints what it found; exit status 1
names the first thing that is not as expected."""
import subprocess
import sys

FACE, WHITE, BLACK, BLUE = (0xD4, 0xD0, 0xC8), (255, 255, 255), (0, 0, 0), (0, 0, 255)
DARK_SHADOW = (0x40, 0x40, 0x40)
PLAY, STOP, NAME = (9, 7, 30, 29), (42, 7, 30, 29), (83, 13, 92, 13)  # x, y, w, h


def load(path):
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True,
                          capture_output=True, text=True).stdout.split()
    w, h = int(size[0]), int(size[1])
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    return w, h, lambda x, y: tuple(raw[3 * (y * w + x):3 * (y * w + x) + 3])


def fail(message):
    sys.exit("%s: %s" % (sys.argv[1], message))


def inside(r, x, y):
    return r[0] <= x < r[0] + r[2] and r[1] <= y < r[1] + r[3]


def text_pixels(px, r):
    """Ink (dark) and anti-aliased (between ink and face) pixels in r."""
    ink = partial = 0
    for y in range(r[1], r[1] + r[3]):
        for x in range(r[0], r[0] + r[2]):
            c = px(x, y)
            if max(c) < 96:
                ink += 1
            elif c != FACE and max(c) <= max(FACE) and max(c) - min(c) < 16:
                partial += 1
    return ink, partial


def count(px, r, color):
    return sum(px(x, y) == color for y in range(r[1], r[1] + r[3])
               for x in range(r[0], r[0] + r[2]))


def focus_marked(px, r):
    """The dotted focus frame three pixels inside button r: every other pixel
    of its upper edge black, the ones between face grey."""
    row = [px(x, r[1] + 3) for x in range(r[0] + 3, r[0] + r[2] - 4)]
    return all(c == (BLACK if i % 2 == 0 else FACE) for i, c in enumerate(row))


def check_dialog(w, h, px, state):
    if (w, h) != (180, 42):
        fail("dialog is %dx%d, expected 180x42" % (w, h))
    for name, r in (("Play", PLAY), ("Stop", STOP)):
        if px(r[0], r[1]) != WHITE or px(r[0] + r[2] - 1, r[1] + r[3] - 1) != DARK_SHADOW:
            fail("%s has no raised frame at %s" % (name, r))
    blue = count(px, PLAY, BLUE)
    if state == "playing":
        shadow = count(px, PLAY, (0x80, 0x80, 0x80))
        if blue or shadow < 40:
            fail("Play is not drawn disabled (%d blue, %d shadow pixels)" % (blue, shadow))
    elif blue < 24:
        fail("Play shows no blue triangle (%d pixels)" % blue)
    if count(px, (STOP[0] + 10, STOP[1] + 9, 9, 9), BLACK) != 81:
        fail("Stop shows no black square")
    focus = {"playing": "Stop", "focus-play": "Play", "focus-stop": "Stop"}.get(state)
    for name, r in (("Play", PLAY), ("Stop", STOP)):
        if focus_marked(px, r) != (name == focus):
            fail("focus mark on %s is %s" % (name, "missing" if name == focus else "unexpected"))
    ink, partial = text_pixels(px, NAME)
    if ink < 20 or partial < 10:
        fail("'Quillo' has %d ink and %d anti-aliased pixels" % (ink, partial))
    for y in range(h):
        for x in range(w):
            if not (inside(PLAY, x, y) or inside(STOP, x, y) or inside(NAME, x, y)) and \
                    px(x, y) != FACE:
                fail("stray pixel %s at %d,%d" % (px(x, y), x, y))
    print("%s: 180x42, Play %s, focus mark %s, 'Quillo' %d ink + %d anti-aliased pixels"
          % (state, "disabled (embossed)" if state == "playing" else "enabled (blue)",
             "on " + focus if focus else "none", ink, partial))


def check_message_box(w, h, px):
    ok = ((w - 75) // 2, h - 11 - 23, 75, 23)
    if h != 101 or px(ok[0], ok[1]) != BLACK or px(ok[0] + 1, ok[1] + 1) != WHITE:
        fail("no default OK button at %s in the %dx%d box" % (ok, w, h))
    if count(px, (11, 11, 32, 32), BLUE) < 300:
        fail("no information icon")
    text = (54, 11, w - 65, 32)
    ink, partial = text_pixels(px, text)
    ok_ink, ok_partial = text_pixels(px, (ok[0] + 4, ok[1] + 4, ok[2] - 8, ok[3] - 8))
    if ink < 100 or partial < 50 or ok_ink < 10 or ok_partial < 5:
        fail("text: %d ink + %d anti-aliased pixels, OK: %d + %d" % (ink, partial, ok_ink, ok_partial))
    print("messagebox: %dx%d, icon, OK at %d,%d; text %d ink + %d anti-aliased pixels"
          % (w, h, ok[0], ok[1], ink, partial))


def main():
    w, h, px = load(sys.argv[1])
    if sys.argv[2] == "messagebox":
        check_message_box(w, h, px)
    else:
        check_dialog(w, h, px, sys.argv[2])


if __name__ == "__main__":
    main()

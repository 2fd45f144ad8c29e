#!/usr/bin/env python3
"""The LV2 tool test's file work, with nothing beyond Python's standard library.

  lv2_tools.py signal OUT.wav CHANNELS
      Writes one second of a two-tone signal at 48 kHz as a 32-bit float WAV file.
  lv2_tools.py same IN.wav OUT.wav
      Exits 1 unless OUT holds IN's samples exactly (same channels, rate and length).
  lv2_tools.py level DRY.wav WET.wav | level RECORDING.wav
      Exits 1 unless the wet samples are finite, not silent and their RMS within -12..+6 dB of
      the dry ones'. With one file (a recording of the input beside the outputs), channel 0 is
      the dry signal and the others the wet one. 32-bit float or 16/32-bit integer PCM.
  lv2_tools.py ports INFO.txt
      Prints each port lv2info described, one a line: index, symbol, then for a control port
      minimum, maximum, default and "toggled" when it is one, for an audio port "audio" and its
      direction; the name last.
"""
import math
import os
import re
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "ardour"))
from session_tools import read_float_wav, read_wav, rms  # noqa: E402

RATE = 48000


def write_signal(path, channels):
    frames = []
    for i in range(RATE):
        t = i / RATE
        frames.append(struct.pack("<%df" % channels, *[
            0.3 * math.sin(2 * math.pi * (220 + 110 * c) * t) + 0.1 * math.sin(2 * math.pi * 3520 * t + c)
            for c in range(channels)]))
    data = b"".join(frames)
    fmt = struct.pack("<HHIIHH", 3, channels, RATE, RATE * 4 * channels, 4 * channels, 32)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def same(a_path, b_path):
    a, b = read_float_wav(a_path), read_float_wav(b_path)
    differing = sum(1 for x, y in zip(a[2], b[2]) if x != y) if len(a[2]) == len(b[2]) else -1
    print("%s: %d channels, %d samples; %d differ from the input" % (os.path.basename(b_path), b[0], len(b[2]), differing))
    return a[:2] == b[:2] and differing == 0


def level(paths):
    if len(paths) == 2:
        dry, wet = read_wav(paths[0])[2], read_wav(paths[1])[2]
    else:
        channels, _, values = read_wav(paths[0])
        dry = values[0::channels]
        wet = [v for i, v in enumerate(values) if i % channels]
    finite = all(math.isfinite(v) for v in wet)
    dry_rms, wet_rms = rms(dry), rms(wet) if finite else 0.0
    db = 20 * math.log10(wet_rms / dry_rms) if wet_rms > 0 and dry_rms > 0 else float("-inf")
    print("RMS in %.6f, out %.6f (%+.2f dB), %s" % (dry_rms, wet_rms, db, "finite" if finite else "NOT finite"))
    return finite and dry_rms > 1e-3 and wet_rms > 1e-3 and -12.0 <= db <= 6.0


def ports(info_path):
    with open(info_path, encoding="utf-8") as f:
        text = f.read()
    for block in re.split(r"\n\tPort ", text)[1:]:
        index = block.split(":", 1)[0]
        field = dict(re.findall(r"^\t\t(\w+):\s+(.*)$", block, re.M))
        if "AudioPort" in block:
            kind = "audio " + ("input" if "#InputPort" in block else "output")
        else:
            kind = "%g %g %g" % tuple(float(field[k]) for k in ("Minimum", "Maximum", "Default"))
            kind += " toggled" if "lv2core#toggled" in block else ""
        print(index, field.get("Symbol"), kind, field.get("Name"))


def main():
    args = sys.argv[1:]
    if len(args) == 3 and args[0] == "signal":
        write_signal(args[1], int(args[2]))
    elif len(args) == 3 and args[0] == "same":
        sys.exit(0 if same(args[1], args[2]) else 1)
    elif len(args) in (2, 3) and args[0] == "level":
        sys.exit(0 if level(args[1:]) else 1)
    elif len(args) == 2 and args[0] == "ports":
        ports(args[1])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()

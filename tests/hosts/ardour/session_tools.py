#!/usr/bin/env python3
"""The host test's file work, with nothing beyond Python's standard library.

  session_tools.py range SESSION.ardour SECONDS
      Gives a saved session a session range from 0 to SECONDS (Ardour's Lua has no binding
      for it, and its exporter renders the session range).
  session_tools.py check DRY.wav BYPASSED.wav DEFAULTS.wav
      Checks three 32-bit float renders: the bypassed one equals the dry one sample for
      sample; the one at the defaults is finite, not silent, and within 6 dB of the dry RMS.
      Exits 1 on a failed check.
"""
import math
import re
import struct
import sys

# Ardour 7's audio time unit: superclock ticks a second.
SUPERCLOCK_RATE = 282240000


def add_session_range(path, seconds):
    with open(path, encoding="utf-8") as f:
        xml = f.read()
    end = int(round(seconds * SUPERCLOCK_RATE))
    location = ('<Location id="9999999" name="session" start="a0" end="a%d" '
                'flags="IsSessionRange" locked="0" timestamp="0" cue="0"/>' % end)
    xml, n = re.subn(r"<Locations\s*/>", "<Locations>%s</Locations>" % location, xml, count=1)
    if n != 1:
        xml, n = re.subn(r"<Locations>", "<Locations>%s" % location, xml, count=1)
    if n != 1:
        sys.exit("no <Locations> in %s" % path)
    with open(path, "w", encoding="utf-8") as f:
        f.write(xml)


def read_float_wav(path):
    """(channels, rate, interleaved samples) of a 32-bit float WAV file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit("%s: not a WAV file" % path)
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body)
        elif tag == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if not fmt or samples is None:
        sys.exit("%s: no format or no data" % path)
    code, channels, rate, _, _, bits = fmt
    if bits != 32 or code not in (3, 0xFFFE):
        sys.exit("%s: not 32-bit float (format %d, %d bits)" % (path, code, bits))
    count = len(samples) // 4
    return channels, rate, struct.unpack("<%df" % count, samples[:count * 4])


def rms(values):
    return math.sqrt(sum(v * v for v in values) / len(values)) if values else 0.0


def check(dry_path, bypassed_path, defaults_path):
    ok = True

    def expect(cond, what):
        nonlocal ok
        print(("ok    " if cond else "FAIL  ") + what)
        ok = ok and cond

    dry = read_float_wav(dry_path)
    bypassed = read_float_wav(bypassed_path)
    defaults = read_float_wav(defaults_path)
    for name, (channels, rate, values) in (("dry", dry), ("bypassed", bypassed),
                                            ("defaults", defaults)):
        print("%-9s %d channels, %d Hz, %d frames, RMS %.6f" %
              (name, channels, rate, len(values) // max(channels, 1), rms(values)))
    expect(dry[0] == 2 and dry[1] == 48000 and len(dry[2]) >= 2 * 48000,
           "the dry render is stereo at 48 kHz, a second or more")
    expect(rms(dry[2]) > 0.05, "the noise source plays")

    same = bypassed[:2] == dry[:2] and len(bypassed[2]) == len(dry[2])
    differing = sum(1 for a, b in zip(bypassed[2], dry[2]) if a != b) if same else -1
    expect(same and differing == 0,
           "with Bypass on the render equals the render without the plug-in "
           "(%d samples differ)" % differing)

    values = defaults[2]
    expect(len(values) == len(dry[2]), "the render at the defaults is as long as the dry one")
    expect(all(math.isfinite(v) for v in values), "the render at the defaults is finite")
    level = rms(values)
    expect(level > 1e-3, "the render at the defaults is not silent (RMS %.6f)" % level)
    if level > 0.0:
        db = 20.0 * math.log10(level / rms(dry[2]))
        expect(abs(db) < 6.0, "its RMS is within 6 dB of the input's (%+.2f dB)" % db)
    return ok


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "range":
        add_session_range(sys.argv[2], float(sys.argv[3]))
    elif len(sys.argv) == 5 and sys.argv[1] == "check":
        sys.exit(0 if check(*sys.argv[2:5]) else 1)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()

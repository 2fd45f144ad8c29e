#!/usr/bin/env python3
"""The host test's file work, with nothing beyond Python's standard library.

  session_tools.py range SESSION.ardour SECONDS
      Gives a saved session a session range from 0 to SECONDS (Ardour's Lua has no binding
      for it, and its exporter renders the session range).
  session_tools.py check DRY.wav BYPASSED.wav DEFAULTS.wav
      Checks three 32-bit float renders: the bypassed one equals the dry one sample for
      sample from the session range's start on; the one at the defaults is finite, not silent,
      and within 6 dB of the dry RMS. Exits 1 on a failed check.
  session_tools.py vst2-state VST2_SESSION.ardour VST2_MODULE VST3_SESSION.ardour
      Gives the VST3 plug-in in VST3_SESSION the state the VST2 build would keep for the
      parameter values the VST2 plug-in holds in VST2_SESSION: the VST2 module itself, loaded
      here, takes those values and answers its program chunk, and those bytes become the
      component state Ardour hands the VST3 plug-in on loading.
"""
import base64
import ctypes
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


def read_wav(path, float_only=False):
    """(channels, rate, interleaved samples) of a WAV file: 32-bit float, or (unless
    `float_only`) 16- or 32-bit integer PCM scaled to [-1, 1)."""
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
            # An extensible format's sample format is the first two bytes of its subformat.
            if fmt[0] == 0xFFFE and len(body) >= 26:
                fmt = struct.unpack_from("<H", body, 24) + fmt[1:]
        elif tag == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    if not fmt or samples is None:
        sys.exit("%s: no format or no data" % path)
    code, channels, rate, _, _, bits = fmt
    if code == 3 and bits == 32:
        count = len(samples) // 4
        return channels, rate, struct.unpack("<%df" % count, samples[:count * 4])
    if code == 1 and bits in (16, 32) and not float_only:
        width = bits // 8
        count = len(samples) // width
        scale = float(1 << (bits - 1))
        ints = struct.unpack("<%d%s" % (count, "h" if bits == 16 else "i"), samples[:count * width])
        return channels, rate, tuple(v / scale for v in ints)
    sys.exit("%s: not %s (format %d, %d bits)" %
             (path, "32-bit float" if float_only else "float or 16/32-bit PCM", code, bits))


def read_float_wav(path):
    """(channels, rate, interleaved samples) of a 32-bit float WAV file."""
    return read_wav(path, float_only=True)


# ardour7-export writes the engine's first cycle (256 frames, now and then 272: it depends on
# timing) and then the session range from its start again. The noise is a function of the
# timeline position, so a render repeats its first frames where the range starts over.
RESTART_SEARCH_FRAMES = 4096
RESTART_MATCH_FRAMES = 64


def range_start(channels, values):
    """The frame at which a render starts over with its first frames, or 0 if it does not."""
    head = values[:RESTART_MATCH_FRAMES * channels]
    for frame in range(1, RESTART_SEARCH_FRAMES):
        at = frame * channels
        if values[at:at + len(head)] == head:
            return frame
    return 0


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
    starts = (range_start(dry[0], dry[2]), range_start(bypassed[0], bypassed[2]))
    print("the session range starts at frame %d of the dry render, %d of the bypassed" % starts)
    ours = dry[2][starts[0] * dry[0]:]
    theirs = bypassed[2][starts[1] * dry[0]:]
    n = min(len(ours), len(theirs))
    differing = sum(1 for a, b in zip(ours[:n], theirs[:n]) if a != b) if same else -1
    expect(same and n >= dry[1] * dry[0] and differing == 0,
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


def vst2_parameters(path):
    """The parameter values Ardour saved for the VST2 plug-in in a session, in index order."""
    with open(path, encoding="utf-8") as f:
        xml = f.read()
    found = re.search(r"<lxvst\b.*?<parameters\s([^>]*)/>", xml, re.S)
    if not found:
        sys.exit("%s: no VST2 plug-in keeping its parameters" % path)
    values = {int(i): float(v) for i, v in re.findall(r'param-(\d+)="([^"]*)"', found.group(1))}
    return [values[i] for i in range(len(values))]


# The few VST2 calls needed to take a program chunk from a module.
VST2_HOST = ctypes.CFUNCTYPE(ctypes.c_ssize_t, ctypes.c_void_p, ctypes.c_int32, ctypes.c_int32,
                             ctypes.c_ssize_t, ctypes.c_void_p, ctypes.c_float)
VST2_DISPATCH = ctypes.CFUNCTYPE(ctypes.c_ssize_t, ctypes.c_void_p, ctypes.c_int32,
                                 ctypes.c_int32, ctypes.c_ssize_t, ctypes.c_void_p, ctypes.c_float)
VST2_SET_PARAMETER = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_int32, ctypes.c_float)
EFF_OPEN, EFF_CLOSE, EFF_GET_CHUNK, AUDIO_MASTER_VERSION = 0, 1, 23, 1


class AEffectHead(ctypes.Structure):
    """The start of the VST2 effect record, as far as this tool reads it."""
    _fields_ = [("magic", ctypes.c_int32), ("dispatcher", VST2_DISPATCH),
                ("process", ctypes.c_void_p), ("setParameter", VST2_SET_PARAMETER),
                ("getParameter", ctypes.c_void_p), ("numPrograms", ctypes.c_int32),
                ("numParams", ctypes.c_int32)]


def vst2_program_chunk(module, values):
    """The program chunk (effGetChunk, index 1) of the VST2 module holding `values`."""
    host = VST2_HOST(lambda effect, opcode, *rest: 2400 if opcode == AUDIO_MASTER_VERSION else 0)
    entry = ctypes.CDLL(module).VSTPluginMain
    entry.restype = ctypes.POINTER(AEffectHead)
    entry.argtypes = [VST2_HOST]
    effect = entry(host)
    if not effect or effect.contents.magic != 0x56737450:
        sys.exit("%s: no VST2 effect" % module)
    fx = effect.contents
    if fx.numParams != len(values):
        sys.exit("%s: %d parameters, the session holds %d" % (module, fx.numParams, len(values)))
    fx.dispatcher(effect, EFF_OPEN, 0, 0, None, 0.0)
    for i, v in enumerate(values):
        fx.setParameter(effect, i, v)
    data = ctypes.c_void_p()
    size = fx.dispatcher(effect, EFF_GET_CHUNK, 1, 0, ctypes.byref(data), 0.0)
    chunk = ctypes.string_at(data, size) if size > 0 and data.value else b""
    fx.dispatcher(effect, EFF_CLOSE, 0, 0, None, 0.0)
    if not chunk:
        sys.exit("%s: no program chunk" % module)
    return chunk


def replace_component_state(blob, state):
    """Ardour's VST3 state `blob` with the component's part ("Comp") replaced by `state`.

    The blob, as Ardour saves it: "VST3", a version (int32), the class id as 32 characters and
    the offset of a chunk list (int64), then the chunks; the list is "List", a count (int32) and
    per chunk its id (4 characters), offset and size (int64 each), all little-endian."""
    if blob[:4] != b"VST3" or len(blob) < 48:
        sys.exit("not a VST3 state as Ardour saves one")
    at = struct.unpack_from("<q", blob, 40)[0]
    if blob[at:at + 4] != b"List":
        sys.exit("the VST3 state has no chunk list")
    count = struct.unpack_from("<i", blob, at + 4)[0]
    chunks = []
    for n in range(count):
        key, offset, size = struct.unpack_from("<4sqq", blob, at + 8 + 20 * n)
        chunks.append((key, state if key == b"Comp" else blob[offset:offset + size]))
    if b"Comp" not in [key for key, _ in chunks]:
        sys.exit("the VST3 state has no component state")
    body, entries = b"", b""
    for key, data in chunks:
        entries += struct.pack("<4sqq", key, 48 + len(body), len(data))
        body += data
    return (blob[:40] + struct.pack("<q", 48 + len(body)) + body + b"List" +
            struct.pack("<i", len(chunks)) + entries)


def give_vst2_state(vst2_session, module, vst3_session):
    state = vst2_program_chunk(module, vst2_parameters(vst2_session))
    with open(vst3_session, encoding="utf-8") as f:
        xml = f.read()
    found = re.search(r"(<vst3\b.*?<chunk>)([^<]*)(</chunk>)", xml, re.S)
    if not found:
        sys.exit("%s: no VST3 plug-in state" % vst3_session)
    blob = replace_component_state(base64.b64decode(found.group(2)), state)
    xml = xml[:found.start(2)] + base64.b64encode(blob).decode("ascii") + xml[found.end(2):]
    with open(vst3_session, "w", encoding="utf-8") as f:
        f.write(xml)
    print("the VST2 build's program chunk, %d bytes, is the VST3 component state" % len(state))


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "range":
        add_session_range(sys.argv[2], float(sys.argv[3]))
    elif len(sys.argv) == 5 and sys.argv[1] == "check":
        sys.exit(0 if check(*sys.argv[2:5]) else 1)
    elif len(sys.argv) == 5 and sys.argv[1] == "vst2-state":
        give_vst2_state(*sys.argv[2:5])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()

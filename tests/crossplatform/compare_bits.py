#!/usr/bin/env python3
"""Runs tolvane_bits builds and compares what they write (layout: TolvaneBits.cpp).

  compare_bits.py cross --work DIR --seeds S... --linux PROG --windows PROG --emulator CMD
      The Windows build (through CMD, Wine) and the Linux build on every seed: their files must
      be equal byte for byte (cmp). A missing Linux program is a failure, not a skip.
  compare_bits.py repeat --work DIR --seeds S... --program PROG
      One build twice on every seed: the files must be equal, and every rendered sample finite
      and within [-1, 1].

Files that match are deleted. On a difference it names, per section, how many records differ,
the first of them (both values as hex floats) and the largest difference, in value and in units
in the last place; the files stay.
"""

import argparse
import math
import os
import struct
import subprocess
import sys
from array import array

MAGIC = b"TOLVBITS"
HEADER = struct.Struct("<8sIIQ")
SECTION = struct.Struct("<32sIIQ")
RENDER_RATE_FRAMES = 44100  # frames per second of the renders' layout


def read_sections(path):
    """The file's seed and its sections as (name, fields, values as array of 64-bit words)."""
    with open(path, "rb") as f:
        data = f.read()
    magic, version, count, seed = HEADER.unpack_from(data, 0)
    if magic != MAGIC or version != 1:
        raise ValueError(f"{path}: not a tolvane_bits file of version 1")
    sections, at = [], HEADER.size
    for _ in range(count):
        raw_name, fields, _, records = SECTION.unpack_from(data, at)
        at += SECTION.size
        words = array("Q")
        words.frombytes(data[at : at + 8 * fields * records])
        if sys.byteorder != "little":
            words.byteswap()
        at += 8 * fields * records
        sections.append((raw_name.rstrip(b"\0").decode(), fields, words))
    if at != len(data):
        raise ValueError(f"{path}: {len(data) - at} bytes after the last section")
    return seed, sections


def as_double(word):
    return struct.unpack("<d", struct.pack("<Q", word))[0]


def ordered(word):
    """The double's place on the number line in ulps (both zeros at 0)."""
    return -(word & 0x7FFFFFFFFFFFFFFF) if word >> 63 else word


def difference(word_a, word_b):
    """|a - b|, infinite where either is not finite (NaN payloads, infinities)."""
    d = abs(as_double(word_a) - as_double(word_b))
    return d if math.isfinite(d) else math.inf


def hexf(word):
    v = as_double(word)
    return v.hex() if math.isfinite(v) else f"{v} (0x{word:016x})"


def describe_differences(name_a, path_a, name_b, path_b):
    """Lines that locate every section's differences between two files."""
    seed_a, sections_a = read_sections(path_a)
    seed_b, sections_b = read_sections(path_b)
    layout_a = [(n, f, len(w)) for n, f, w in sections_a]
    layout_b = [(n, f, len(w)) for n, f, w in sections_b]
    if seed_a != seed_b or layout_a != layout_b:
        return [
            f"the layouts differ ({name_a}: seed {seed_a:#x}, {layout_a};"
            f" {name_b}: seed {seed_b:#x}, {layout_b}): are both builds of the same sources?"
        ]
    lines, total = [], 0
    for (name, fields, a), (_, _, b) in zip(sections_a, sections_b):
        if a == b:
            lines.append(f"  {name}: identical ({len(a) // fields} records)")
            continue
        differing = [i for i in range(len(a)) if a[i] != b[i]]
        records = sorted({i // fields for i in differing})
        first = records[0]

        def values(words):
            return " ".join(hexf(words[first * fields + k]) for k in range(fields))

        where = f"record {first}"
        if name.startswith("render/"):
            where += f" (frame {first}, {first / RENDER_RATE_FRAMES:.4f} s at 44.1 kHz)"
        largest = max(differing, key=lambda i: difference(a[i], b[i]))
        ulps = max(abs(ordered(a[i]) - ordered(b[i])) for i in differing)
        lines += [
            f"  {name}: {len(records)} of {len(a) // fields} records differ"
            f" ({len(differing)} values), by up to {ulps} ulps; the largest difference"
            f" {difference(a[largest], b[largest]):.3g} in record {largest // fields}"
            f" ({hexf(a[largest])} against {hexf(b[largest])})",
            f"    first: {where}",
            f"      {name_a}: {values(a)}",
            f"      {name_b}: {values(b)}",
        ]
        total += len(differing)
    lines.append(f"  {total} values differ in all")
    return lines


def run(command, output):
    """Runs one build; its summary goes to the log. False, with the reason said, if it fails."""
    print("$", " ".join(command))
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    print(done.stdout.decode(errors="replace").replace("\r\n", "\n"), end="")
    if done.returncode != 0 or not os.path.isfile(output):
        print(f"FAILED: the program exited with {done.returncode}")
        return False
    return True


def same_file(name_a, path_a, name_b, path_b):
    verdict = subprocess.run(["cmp", path_a, path_b], stdout=subprocess.PIPE, text=True)
    if verdict.returncode == 0:
        print(f"identical: {name_a} and {name_b} ({os.path.getsize(path_a)} bytes)")
        # Tens of megabytes each: only files that differ stay for a closer look.
        os.remove(path_a)
        os.remove(path_b)
        return True
    print(f"DIFFERENT: {verdict.stdout.split(', line')[0].strip()}")
    print(f"sections ({name_a} against {name_b}):")
    print("\n".join(describe_differences(name_a, path_a, name_b, path_b)))
    return False


def renders_in_range(path):
    """True if every rendered sample is finite and within [-1, 1] (within [-3, 3] in the
    automated renders, whose Bypass passes the input through, peaks of 2.2 included); else
    says where not."""
    _, sections = read_sections(path)
    good = True
    for name, _, words in sections:
        if not name.startswith("render/"):
            continue
        values = array("d")
        values.frombytes(words.tobytes())
        limit = 3.0 if name.startswith("render/automated") else 1.0
        bad = [i for i, v in enumerate(values) if not -limit <= v <= limit]  # NaN fails too
        if bad:
            print(f"OUT OF RANGE: {name}: {len(bad)} samples, the first {values[bad[0]]!r}"
                  f" at frame {bad[0] // 2}")
            good = False
    return good


def cross(args):
    if not os.path.isfile(args.linux):
        print(f"FAILED: the Linux build's program {args.linux} is missing. This test compares the"
              " Windows build with it: build the linux preset first (cmake --preset linux &&"
              " cmake --build --preset linux --target tolvane_bits), or point the cache variable"
              " TOLVANE_LINUX_BITS_PROGRAM at it.")
        return False
    good = True
    for seed in args.seeds:
        linux_out = os.path.join(args.work, f"linux-{seed}.bin")
        windows_out = os.path.join(args.work, f"windows-{seed}.bin")
        if not (run([args.linux, linux_out, seed], linux_out) and
                run(args.emulator + [args.windows, windows_out, seed], windows_out)):
            return False
        good = same_file("linux", linux_out, "windows", windows_out) and good
    return good


def repeat(args):
    good = True
    for seed in args.seeds:
        first = os.path.join(args.work, f"first-{seed}.bin")
        second = os.path.join(args.work, f"second-{seed}.bin")
        for output in (first, second):
            if not run([args.program, output, seed], output):
                return False
        good = renders_in_range(first) and good
        good = same_file("first run", first, "second run", second) and good
    return good


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("mode", choices=["cross", "repeat"])
    parser.add_argument("--work", required=True, help="folder for the files")
    parser.add_argument("--seeds", nargs="+", required=True)
    parser.add_argument("--linux", help="cross: the Linux build's program")
    parser.add_argument("--windows", help="cross: the Windows build's program")
    parser.add_argument("--emulator", nargs="+", default=[], help="cross: runs --windows")
    parser.add_argument("--program", help="repeat: the program")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    good = cross(args) if args.mode == "cross" else repeat(args)
    print("PASSED" if good else "FAILED")
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main())

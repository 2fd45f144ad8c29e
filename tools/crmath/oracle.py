#!/usr/bin/env python3
"""The oracle of Tolvane's correctly rounded math.

Runs tolvane-crmath-verify for every function (tanh, x^4, x^11, 3^g) on its edge set, on
random inputs of the public function and on a random sample of the slow path called
directly, and checks each result against a reference of its own:

* x^n and 3^g for integral g exactly, with Python integers, rounded by CPython's
  correctly rounded integer division;
* tanh and 3^g otherwise with mpmath at 200 bits (tanh from exp and expm1, not mpmath's
  tanh, which the build's table generator uses), rounded to the nearest double only when
  the value's error interval contains no midpoint between doubles, else recomputed at
  1000 bits (no double rounding).

It reads nothing of the C++ code or its generated tables. Per function and set it prints
the inputs checked, the misrounded results, how often the slow path ran and the fast
path's largest relative error (as a power of two, against the bound the code claims), and
exits non-zero on any misrounded result, any other build of a function (Tanh2, the fused
variants) that differs from the public one, or a
fast-path error above its bound.

Usage: oracle.py --program PATH [--random N] [--slow N] [--seed S] [--jobs J]
                 [--function F ...]
"""
import argparse
import functools
import math
import multiprocessing
import struct
import subprocess
import sys
import time
from fractions import Fraction

import mpmath
from mpmath import libmp

# The program's record: input, exponent, flags, result, fast path's hi and lo.
RECORD = struct.Struct("<diIddd")
DOUBLE = struct.Struct("<d")
SLOW_PATH, FAST_PARTS, VARIANT_MISMATCH = 1, 2, 4

FUNCTIONS = ("tanh", "pow4", "pow11", "pow3")
LABELS = {"tanh": "tanh", "pow4": "x^4", "pow11": "x^11", "pow3": "3^g"}
SETS = ("edge", "random", "slow")
PRECISION = 200
RETRY_PRECISION = 1000
# Random inputs per program run: the unit of work handed to a process.
CHUNK = 50_000


def nearest_double(num, den=1):
    """num / den (integers, den > 0) rounded to the nearest double, ties to even, infinity
    beyond the largest finite one. CPython's integer true division is correctly rounded,
    subnormal results included, and signals overflow only when the rounded result would be
    infinite."""
    try:
        return num / den
    except OverflowError:
        return math.inf if num > 0 else -math.inf


def dyadic_double(man, exp):
    """man * 2^exp rounded to the nearest double."""
    return nearest_double(man << exp) if exp >= 0 else nearest_double(man, 1 << -exp)


def round_approximation(value_at, x):
    """The double nearest a positive value that value_at(x, prec) gives as an mpmath
    (sign, man, exp, bc) tuple within 2^-(prec - 10) relative: rounded when both ends of
    that interval round alike, else recomputed at a higher precision. None when even that
    cannot decide (the value would have to be within 2^-990 of a midpoint)."""
    for prec in (PRECISION, RETRY_PRECISION):
        _, man, exp, _ = value_at(x, prec)
        margin = prec - 10
        low = dyadic_double(man * ((1 << margin) - 1), exp - margin)
        high = dyadic_double(man * ((1 << margin) + 1), exp - margin)
        if low == high:
            return low
    return None


@functools.lru_cache(maxsize=None)
def ln3(prec):
    return libmp.mpf_log(libmp.from_int(3), prec)


def tanh_value(ax, prec):
    """tanh(ax) for finite ax > 0 within 2^-(prec - 10): e / (e + 2) with e = expm1(2 ax)
    below 1/16, where 1 - exp(-2 ax) would cancel; (1 - u) / (1 + u) with u = exp(-2 ax)
    above (cancelling at most 4 bits). Worked with 30 guard bits."""
    wp = prec + 30
    x = libmp.from_float(ax)
    if ax < 0.0625:
        with mpmath.mp.workprec(wp):
            e = mpmath.expm1(2 * mpmath.mpf(x))
            return (e / (e + 2))._mpf_
    u = libmp.mpf_exp(libmp.mpf_neg(libmp.mpf_shift(x, 1)), wp)
    one = libmp.fone
    return libmp.mpf_div(libmp.mpf_sub(one, u, wp), libmp.mpf_add(one, u, wp), wp)


def pow3_value(g, prec):
    """3^g = exp(g ln 3) for |g| < 700 within 2^-(prec - 10): the exponent carries at
    most 700 times ln 3's error at prec + 30 bits, below 2^-(prec + 19)."""
    wp = prec + 30
    return libmp.mpf_exp(libmp.mpf_mul(libmp.from_float(g), ln3(wp), wp), wp)


def reference(function, x, n):
    """The correctly rounded result (math.nan for a NaN result), or None if undecided."""
    if function == "tanh":
        if math.isnan(x):
            return math.nan
        if x == 0:
            return x
        # Beyond 40, 1 - tanh x < 2 e^-80 is far below half an ulp of 1 from below (2^-54).
        if abs(x) > 40:
            return math.copysign(1.0, x)
        t = round_approximation(tanh_value, abs(x))
        return None if t is None else math.copysign(t, x)
    if function in ("pow4", "pow11"):
        if n == 0:
            return 1.0
        if math.isnan(x):
            return math.nan
        negative = x < 0 or (x == 0 and math.copysign(1, x) < 0)
        sign = -1.0 if negative and n % 2 else 1.0
        if math.isinf(x):
            return sign * math.inf
        num, den = abs(x).as_integer_ratio()
        return math.copysign(nearest_double(num**n, den**n), sign)
    # 3^g.
    if math.isnan(x):
        return math.nan
    # Beyond |g| = 700: 3^700 > 2^1109 overflows, 3^-700 < 2^-1109 rounds to 0 (also the
    # infinities).
    if x >= 700:
        return math.inf
    if x <= -700:
        return 0.0
    if x == math.floor(x):
        exact = Fraction(3) ** int(x)
        return nearest_double(exact.numerator, exact.denominator)
    return round_approximation(pow3_value, x)


def same_double(a, b):
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return DOUBLE.pack(a) == DOUBLE.pack(b)


def fast_error(function, x, hi, lo):
    """The fast path's unrounded value hi + lo against the exact value (tanh and x^4: at
    |x|), relative."""
    ax = abs(x)
    if function == "pow4":
        exact = Fraction(ax) ** 4
        return float(abs(Fraction(hi) + Fraction(lo) - exact) / exact)
    exact = pow3_value(x, PRECISION) if function == "pow3" else tanh_value(ax, PRECISION)
    raw = libmp.mpf_add(libmp.from_float(hi), libmp.from_float(lo), 2 * PRECISION)
    diff = libmp.mpf_abs(libmp.mpf_sub(raw, exact, PRECISION))
    return libmp.to_float(libmp.mpf_div(diff, exact, 64))


def hexd(v):
    return v.hex() if not math.isnan(v) else "nan"


class Tally:
    """What the checks of one function and set found."""

    def __init__(self):
        self.inputs = self.misrounded = self.undecided = self.slow = self.variants = 0
        self.fast_checked = 0
        self.max_fast = 0.0
        self.worst_fast_input = None
        self.examples = []

    def check(self, function, record):
        x, n, flags, result, hi, lo = record
        self.inputs += 1
        if flags & SLOW_PATH:
            self.slow += 1
        if flags & VARIANT_MISMATCH:
            self.variants += 1
            self.note(f"a variant (Tanh2 or fused) differs at {hexd(x)}")
        expected = reference(function, x, n)
        where = hexd(x) + (f" (n={n})" if n else "")
        if expected is None:
            self.undecided += 1
            self.note(f"undecided at {where}")
        elif not same_double(result, expected):
            self.misrounded += 1
            self.note(f"{where}: got {hexd(result)}, expected {hexd(expected)}")
        if flags & FAST_PARTS:
            self.fast_checked += 1
            err = fast_error(function, x, hi, lo)
            if err > self.max_fast:
                self.max_fast, self.worst_fast_input = err, x

    def note(self, text):
        if len(self.examples) < 10:
            self.examples.append(text)

    def merge(self, other):
        for name in ("inputs", "misrounded", "undecided", "slow", "variants", "fast_checked"):
            setattr(self, name, getattr(self, name) + getattr(other, name))
        if other.max_fast > self.max_fast:
            self.max_fast, self.worst_fast_input = other.max_fast, other.worst_fast_input
        self.examples = (self.examples + other.examples)[:10]

    def failed(self, bound):
        return bool(self.misrounded or self.undecided or self.variants or
                    (bound is not None and self.max_fast > bound))


def check_records(function, data):
    tally = Tally()
    for record in RECORD.iter_unpack(data):
        tally.check(function, record)
    return tally


def run_program(program, function, kind, first=None, count=None, seed=1):
    args = [program, function, kind, "--seed", str(seed)]
    if first is not None:
        args += ["--first", str(first), "--count", str(count)]
    data = subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout
    if len(data) % RECORD.size or (count is not None and len(data) != count * RECORD.size):
        raise RuntimeError(f"{' '.join(args)}: {len(data)} bytes of records")
    return data


def run_task(task):
    program, function, kind, first, count, seed = task
    data = run_program(program, function, kind, first, count, seed)
    return function, kind, check_records(function, data)


def claimed_bounds(program):
    out = subprocess.run([program, "--bounds"], check=True, stdout=subprocess.PIPE, text=True)
    pairs = (line.split() for line in out.stdout.splitlines() if line)
    return {name: float.fromhex(value) for name, value in pairs}


def log2_text(v):
    return "exact" if v == 0 else f"2^{math.log2(v):.2f}"


def tasks_for(program, functions, counts, seed):
    tasks = [(program, f, "edge", None, None, seed) for f in functions]
    for kind in ("random", "slow"):
        for first in range(0, counts[kind], CHUNK):
            for f in functions:
                tasks.append((program, f, kind, first, min(CHUNK, counts[kind] - first), seed))
    return tasks


def report(tallies, bounds, functions):
    header = f"{'function':<9}{'set':<8}{'inputs':>10}{'misrounded':>12}{'slow path':>11}" \
             f"{'max fast error':>16}{'bound':>10}{'variants differ':>17}"
    print(header)
    failed = False
    for f in functions:
        for kind in SETS:
            t = tallies[(f, kind)]
            bound = bounds.get(f)
            fast = log2_text(t.max_fast) if t.fast_checked else "-"
            variants = str(t.variants) if f != "pow3" and kind != "slow" else "-"
            slow = str(t.slow) if f in bounds or kind == "slow" else "-"
            # The exact path that x^11 takes, sampled at every exponent PowInt serves.
            label = "x^1..20" if f == "pow11" and kind == "slow" else LABELS[f]
            print(f"{label:<9}{kind:<8}{t.inputs:>10}{t.misrounded + t.undecided:>12}"
                  f"{slow:>11}{fast:>16}{log2_text(bound) if bound and t.fast_checked else '-':>10}"
                  f"{variants:>17}")
            if t.fast_checked and t.worst_fast_input is not None:
                print(f"{'':17}largest fast error at {t.worst_fast_input.hex()}")
            for e in t.examples:
                print(f"{'':17}{e}")
            failed |= t.failed(bound if t.fast_checked else None)
    return failed


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", required=True, help="the tolvane-crmath-verify executable")
    parser.add_argument("--random", type=int, default=20_000, help="random inputs per function")
    parser.add_argument("--slow", type=int, default=2_000, help="slow-path inputs per function")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--function", action="append", choices=FUNCTIONS,
                        help="check only this function (repeatable; default all)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--progress", action="store_true", help="report progress on stderr")
    args = parser.parse_args(argv)

    start = time.monotonic()
    bounds = claimed_bounds(args.program)
    functions = args.function or list(FUNCTIONS)
    tasks = tasks_for(args.program, functions, {"random": args.random, "slow": args.slow},
                      args.seed)
    tallies = {(f, k): Tally() for f in FUNCTIONS for k in SETS}
    with multiprocessing.Pool(args.jobs) as pool:
        for done, (f, kind, tally) in enumerate(pool.imap_unordered(run_task, tasks), 1):
            tallies[(f, kind)].merge(tally)
            if args.progress and done % 20 == 0:
                print(f"  {done}/{len(tasks)} chunks, {time.monotonic() - start:.0f} s",
                      file=sys.stderr, flush=True)
    failed = report(tallies, bounds, functions)
    print(f"seed {args.seed}, {args.jobs} processes, {time.monotonic() - start:.1f} s")
    if failed:
        print("FAILED: misrounded or undecided results, variant differences or fast-path errors "
              "above their bounds (see above)")
        return 1
    print("all results correctly rounded")
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""The oracle's own checks: it rounds exact and approximate values as round-to-nearest does,
it reports every kind of fault in a record, and the program's inputs do not depend on how a
sample is split into runs (the oracle checks samples in parallel chunks).

Needs TOLVANE_CRMATH_VERIFY, the tolvane-crmath-verify executable."""
import math
import os
import struct
import sys
import unittest
from fractions import Fraction
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "crmath"))
import oracle  # noqa: E402

PROGRAM = os.environ.get("TOLVANE_CRMATH_VERIFY", "")
MAX = 1.7976931348623157e308


def is_even(d):
    return struct.unpack("<Q", struct.pack("<d", d))[0] % 2 == 0


class RoundingTest(unittest.TestCase):
    def test_exact_values_round_to_nearest_ties_to_even(self):
        # d + k ulp: down below the midpoint, to the even one at it, up above; just off the
        # midpoint too, where rounding in two steps would land on it.
        half, tiny = Fraction(1, 2), Fraction(1, 2**60)
        for d in (1.0, 0.75, 5e-324, 3 * 5e-324, 2.0**-1022 - 5e-324, 2.0**-1022, 2.0**-27, MAX):
            up = math.nextafter(d, math.inf)
            for k, expected in ((0, d), (Fraction(1, 4), d), (half - tiny, d),
                                (half, d if is_even(d) else up), (half + tiny, up),
                                (Fraction(3, 4), up)):
                exact = Fraction(d) + k * Fraction(math.ulp(d))
                with self.subTest(d=d.hex(), ulps=str(k)):
                    got = oracle.nearest_double(exact.numerator, exact.denominator)
                    self.assertEqual(got, expected)
                    self.assertEqual(oracle.nearest_double(-exact.numerator, exact.denominator),
                                     -expected)

    def test_approximation_near_a_midpoint_is_recomputed_or_refused(self):
        midpoint = 1 + Fraction(math.ulp(1.0)) / 2
        # Above the midpoint by 2^-500: inside the interval at 200 bits, outside at 1000.
        for offset, expected in ((Fraction(1, 2**500), math.nextafter(1.0, 2)), (0, None)):
            asked = []

            def value_at(_, prec, exact=midpoint + offset):
                asked.append(prec)
                scale = 2 ** (prec + 8)
                return (0, round(exact * scale), -(prec + 8), None)

            with self.subTest(offset=str(offset)):
                self.assertEqual(oracle.round_approximation(value_at, None), expected)
                self.assertEqual(asked, [oracle.PRECISION, oracle.RETRY_PRECISION])


@unittest.skipUnless(PROGRAM, "TOLVANE_CRMATH_VERIFY names no program")
class FaultTest(unittest.TestCase):
    """Records of the program's edge sets and slow samples with the correct result put in,
    then one fault each: every faulty record is reported."""

    @classmethod
    def setUpClass(cls):
        cls.bounds = oracle.claimed_bounds(PROGRAM)
        cls.records = {}
        for f in oracle.FUNCTIONS:
            data = oracle.run_program(PROGRAM, f, "edge") + \
                oracle.run_program(PROGRAM, f, "slow", 0, 200)
            records = list(oracle.RECORD.iter_unpack(data))
            # The special values (first in each edge set) and every 40th of the rest.
            cls.records[f] = [(x, n, flags, oracle.reference(f, x, n), hi, lo)
                              for x, n, flags, _, hi, lo in records[:40] + records[40::40]]

    def check(self, f, records):
        tally = oracle.Tally()
        for r in records:
            tally.check(f, r)
        return tally

    def test_wrong_results_are_misrounded(self):
        faults = {
            "one ulp off": lambda y: math.nextafter(y, 0.0 if math.isinf(y) else math.inf),
            "sign": lambda y: -y,
            "nan for a number": lambda y: math.nan,
            "a number for nan": lambda y: 0.0,
        }
        for f, records in self.records.items():
            for name, fault in faults.items():
                faulty = [(x, n, flags, fault(y), hi, lo) for x, n, flags, y, hi, lo in records
                          if math.isnan(y) == (name == "a number for nan")]
                with self.subTest(function=f, fault=name):
                    self.assertGreater(len(faulty), 0)
                    tally = self.check(f, faulty)
                    self.assertEqual(tally.misrounded, len(faulty))
                    self.assertTrue(tally.failed(None))

    def test_variant_difference_fails(self):
        records = [(x, n, flags | oracle.VARIANT_MISMATCH, y, hi, lo)
                   for x, n, flags, y, hi, lo in self.records["tanh"]]
        tally = self.check("tanh", records)
        self.assertEqual(tally.variants, len(records))
        self.assertTrue(tally.failed(None))

    def test_fast_error_above_the_bound_fails(self):
        for f in ("tanh", "pow4", "pow3"):
            records = [(x, n, flags, y, hi, lo + hi * 2.0**-60)
                       for x, n, flags, y, hi, lo in self.records[f] if flags & oracle.FAST_PARTS]
            with self.subTest(function=f):
                self.assertGreater(len(records), 0)
                tally = self.check(f, records)
                self.assertGreater(tally.max_fast, 2.0**-61)
                self.assertTrue(tally.failed(self.bounds[f]))


@unittest.skipUnless(PROGRAM, "TOLVANE_CRMATH_VERIFY names no program")
class ChunkingTest(unittest.TestCase):
    def test_inputs_do_not_depend_on_the_split(self):
        for f in oracle.FUNCTIONS:
            for kind in ("random", "slow"):
                with self.subTest(function=f, set=kind):
                    whole = oracle.run_program(PROGRAM, f, kind, 0, 300, seed=7)
                    parts = oracle.run_program(PROGRAM, f, kind, 0, 100, seed=7) + \
                        oracle.run_program(PROGRAM, f, kind, 100, 200, seed=7)
                    other_seed = oracle.run_program(PROGRAM, f, kind, 0, 300, seed=8)
                    self.assertEqual(whole, parts)
                    self.assertNotEqual(whole, other_seed)


if __name__ == "__main__":
    unittest.main()

#include "tolvane/FilterDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "tolvane/ReferenceDsp.h"

namespace tolvane::test {
namespace {

// sin and cos of 2 pi t against the C library's in long double over [0, 1/2], across every
// branch of the reduction and its joins: within 2^-52.
TEST(FilterDesign, SinCosOfTurnsIsAccurate) {
  const long double kTwoPiLong = 6.283185307179586476925286766559L;
  const long double kBound = 2.220446049250313e-16L;
  for (int i = 0; i <= 4096; ++i) {
    const double t = i / 8192.0;
    const SinCos sc = SinCosOfTurns(t);
    EXPECT_LE(std::fabs(sc.sin - std::sin(kTwoPiLong * t)), kBound) << t;
    EXPECT_LE(std::fabs(sc.cos - std::cos(kTwoPiLong * t)), kBound) << t;
  }
}

// The design reproduces every set of the coefficient table with the entry's Q, to a few units
// in the last place: it is the table's design. A Q off by 0.0001 moves some coefficient by more
// than 1e-6.
struct TableEntry {
  int rate;
  double lowPassQ;
  double highPassQ;
};

void PrintTo(const TableEntry& e, std::ostream* os) { *os << e.rate << " Hz"; }

class DesignOfTheTable : public ::testing::TestWithParam<TableEntry> {};

TEST_P(DesignOfTheTable, ReproducesTheTableSet) {
  const TableEntry& e = GetParam();
  const ReferenceDsp::Coefficients& table = ReferenceDsp::CoefficientsForRate(e.rate);
  const BiquadCoefficients lowPass = DesignLowPass(kLowPassCutoff / e.rate, e.lowPassQ);
  const BiquadCoefficients highPass = DesignHighPass(kHighPassCutoff / e.rate, e.highPassQ);
  for (int i = 0; i < 5; ++i) {
    EXPECT_NEAR(lowPass[i], table[i], 1e-15) << "low-pass coefficient " << i;
    EXPECT_NEAR(highPass[i], table[5 + i], 1e-15) << "high-pass coefficient " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, DesignOfTheTable,
                         ::testing::Values(TableEntry{44100, 0.7171, 0.7071},
                                           TableEntry{48000, 0.717, 0.717},
                                           TableEntry{88200, 0.717, 0.717},
                                           TableEntry{96000, 0.717, 0.717},
                                           TableEntry{192000, 0.7071, 0.717}),
                         [](const ::testing::TestParamInfo<TableEntry>& info) {
                           return std::to_string(info.param.rate);
                         });

// Every usable rate, absurd ones too, gets finite, stable filters (both poles inside the unit
// circle: |a2| < 1 and |a1| < 1 + a2).
TEST(FilterDesign, EveryRateGetsStableFilters) {
  for (double rate : {1e-300, 1.0, 30.0, 41.0, 8000.0, 22050.0, 41000.0, 44099.0, 2822400.0, 1e9}) {
    const RateFilters f = DesignRateFilters(rate);
    for (int section : {0, 5}) {
      const double a1 = f[section + 3], a2 = f[section + 4];
      for (int i = 0; i < 5; ++i) EXPECT_TRUE(std::isfinite(f[section + i])) << rate;
      EXPECT_LT(std::fabs(a2), 1) << rate << " Hz, section " << section;
      EXPECT_LT(std::fabs(a1), 1 + a2) << rate << " Hz, section " << section;
    }
  }
}

}  // namespace
}  // namespace tolvane::test

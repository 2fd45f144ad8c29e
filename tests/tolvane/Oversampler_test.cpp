#include "tolvane/Oversampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/AllocTrap.h"
#include "tolvane/DelayLine.h"
#include "tolvane/OversamplerFilters.h"

namespace tolvane {
namespace {

// The filters' passband and stopbands are the coefficients' property, which the build's
// generator (make_halfband_filters.py) checks and refuses to write when missed; these tests
// check that the stages compute exactly the cascade those coefficients define.
constexpr int kMaxBlock = 512;

std::vector<double> Noise(int n, uint32_t seed) {
  std::vector<double> x(static_cast<size_t>(n));
  for (double& v : x) {
    seed = seed * 1664525u + 1013904223u;
    v = static_cast<double>(seed) / 4294967296.0 - 0.5;
  }
  return x;
}

std::vector<double> UpAll(Oversampler& os, const std::vector<double>& in, int block,
                          int channel = 0) {
  const int n = static_cast<int>(in.size());
  std::vector<double> out(in.size() * static_cast<size_t>(os.Factor()));
  for (int i = 0; i < n; i += block)
    os.Up(in.data() + i, std::min(block, n - i), out.data() + i * os.Factor(), channel);
  return out;
}

std::vector<double> DownAll(Oversampler& os, const std::vector<double>& in, int block,
                            int channel = 0) {
  const int n = static_cast<int>(in.size()) / os.Factor();
  std::vector<double> out(static_cast<size_t>(n));
  for (int i = 0; i < n; i += block)
    os.Down(in.data() + i * os.Factor(), std::min(block, n - i), out.data() + i, channel);
  return out;
}

std::vector<double> RoundTrip(Oversampler& os, const std::vector<double>& in, int block,
                              int channel = 0) {
  return DownAll(os, UpAll(os, in, block, channel), block, channel);
}

// Bit for bit (also telling -0 from 0).
void Equal(const std::vector<double>& a, const std::vector<double>& b) {
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
}

// The textbook cascade the polyphase stages must equal: stage s up-samples by putting each
// sample, doubled, at every other position of a zero signal and convolving with the stage's
// full 4K - 1 taps (centre 1/2, zeros between the side taps); down-samples by convolving and
// keeping the even samples.
std::vector<double> FullTaps(int s) {
  const int k = halfband::kHalfLength[s], c = 2 * k - 1;
  std::vector<double> h(static_cast<size_t>(4 * k - 1), 0.0);
  h[c] = 0.5;
  for (int i = 0; i < k; ++i) h[c + 2 * i + 1] = h[c - 2 * i - 1] = halfband::kSideTaps[s][i];
  return h;
}
std::vector<double> Convolve(const std::vector<double>& x, const std::vector<double>& h) {
  std::vector<double> y(x.size(), 0.0);
  for (size_t n = 0; n < x.size(); ++n)
    for (size_t k = 0; k < h.size() && k <= n; ++k) y[n] += h[k] * x[n - k];
  return y;
}
std::vector<double> ReferenceUp(std::vector<double> x, int factorLog2) {
  for (int s = 0; s < factorLog2; ++s) {
    std::vector<double> stuffed(2 * x.size(), 0.0);
    for (size_t m = 0; m < x.size(); ++m) stuffed[2 * m] = 2 * x[m];
    x = Convolve(stuffed, FullTaps(s));
  }
  return x;
}
// `delay` high-rate samples of silence first: what rounds the latency to whole host samples.
std::vector<double> ReferenceDown(std::vector<double> x, int factorLog2, int delay) {
  x.insert(x.begin(), static_cast<size_t>(delay), 0.0);
  x.resize(x.size() - static_cast<size_t>(delay));
  for (int s = factorLog2 - 1; s >= 0; --s) {
    const std::vector<double> filtered = Convolve(x, FullTaps(s));
    x.resize(x.size() / 2);
    for (size_t m = 0; m < x.size(); ++m) x[m] = filtered[2 * m];
  }
  return x;
}

class OversamplerTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { os.Configure(GetParam(), 2, kMaxBlock); }
  Oversampler os;
};

TEST_P(OversamplerTest, MatchesTheTextbookCascade) {
  const int factorLog2 = GetParam(), factor = os.Factor();
  const std::vector<double> in = Noise(400, 17);
  const std::vector<double> high = UpAll(os, in, 64);
  const std::vector<double> expectedHigh = ReferenceUp(in, factorLog2);
  for (size_t i = 0; i < high.size(); ++i) ASSERT_NEAR(high[i], expectedHigh[i], 1e-14) << i;

  // A linear-phase filter of 4K - 1 taps delays by 2K - 1 samples of its high rate, once up
  // and once down; the rest of the latency is the delay in front of the last stage down.
  int filterDelay = 0;
  for (int s = 0; s < factorLog2; ++s)
    filterDelay += 2 * (2 * halfband::kHalfLength[s] - 1) << (factorLog2 - 1 - s);
  const int pad = os.LatencySamples() * factor - filterDelay;
  EXPECT_GE(pad, 0);
  EXPECT_LT(pad, factor);
  const std::vector<double> noiseHigh = Noise(400 * factor, 19);
  const std::vector<double> low = DownAll(os, noiseHigh, 64);
  const std::vector<double> expectedLow = ReferenceDown(noiseHigh, factorLog2, pad);
  for (size_t i = 0; i < low.size(); ++i) ASSERT_NEAR(low[i], expectedLow[i], 1e-14) << i;
}

TEST_P(OversamplerTest, RoundTripImpulseIsSymmetricAboutTheLatency) {
  const int latency = os.LatencySamples();
  std::vector<double> in(static_cast<size_t>(4 * latency), 0.0);
  in[0] = 1.0;
  const std::vector<double> out = RoundTrip(os, in, 64);
  double sum = 0;
  for (int i = 0; i < 4 * latency; ++i) {
    sum += out[i];
    if (i > 2 * latency) {
      EXPECT_EQ(out[i], 0.0) << i;
    }
    if (i != latency) {
      EXPECT_LT(std::abs(out[i]), out[latency]) << i;
    }
  }
  for (int k = 1; k <= latency; ++k) EXPECT_NEAR(out[latency + k], out[latency - k], 1e-15) << k;
  EXPECT_NEAR(sum, 1.0, 1e-14);  // unity gain at DC
}

TEST_P(OversamplerTest, BlockSplittingKeepsTheBits) {
  const std::vector<double> in = Noise(3000, 7);
  const std::vector<double> reference = RoundTrip(os, in, kMaxBlock);
  for (int block : {1, 7, 64, 333}) {
    SCOPED_TRACE(block);
    os.Reset();
    Equal(RoundTrip(os, in, block), reference);
  }
  // Blocks longer than the configured maximum are processed in parts.
  Oversampler small;
  small.Configure(GetParam(), 1, 100);
  Equal(RoundTrip(small, in, 3000), reference);
}

TEST_P(OversamplerTest, ChannelsKeepTheirOwnState) {
  const std::vector<double> a = Noise(1000, 1), b = Noise(1000, 2);
  const std::vector<double> aAlone = RoundTrip(os, a, 100);
  os.Reset();
  std::vector<double> aOut(a.size()), bOut(b.size());
  std::vector<double> high(100 * static_cast<size_t>(os.Factor()));
  for (int i = 0; i < 1000; i += 100) {
    os.Up(b.data() + i, 100, high.data(), 1);
    os.Down(high.data(), 100, bOut.data() + i, 1);
    os.Up(a.data() + i, 100, high.data(), 0);
    os.Down(high.data(), 100, aOut.data() + i, 0);
  }
  Equal(aOut, aAlone);
}

TEST_P(OversamplerTest, ResetAndSelectFactorClearTheState) {
  const std::vector<double> in = Noise(700, 3);
  Oversampler fresh;
  fresh.Configure(GetParam(), 2, kMaxBlock);
  const std::vector<double> reference = RoundTrip(fresh, in, 64);

  RoundTrip(os, Noise(700, 4), 64);
  os.Reset();
  Equal(RoundTrip(os, in, 64), reference);

  // Switching down to another factor and back starts from silence too.
  Oversampler highest;
  highest.Configure(Oversampler::kMaxFactorLog2, 2, kMaxBlock);
  RoundTrip(highest, Noise(700, 5), 64);
  highest.SelectFactor(GetParam());
  EXPECT_EQ(highest.Factor(), 1 << GetParam());
  EXPECT_EQ(highest.LatencySamples(), os.LatencySamples());
  Equal(RoundTrip(highest, in, 64), reference);
}

TEST_P(OversamplerTest, RecoversFromNonFiniteInput) {
  // No feedback: a NaN or an infinity spoils only the outputs the filters reach it with.
  std::vector<double> in = Noise(600, 23);
  const std::vector<double> clean = RoundTrip(os, in, 64);
  os.Reset();
  in[0] = std::nan("");
  in[1] = HUGE_VAL;
  const std::vector<double> out = RoundTrip(os, in, 64);
  const int reach = 2 * os.LatencySamples() + 2;
  EXPECT_TRUE(std::isnan(out[os.LatencySamples()]));
  Equal(std::vector<double>(out.begin() + reach, out.end()),
        std::vector<double>(clean.begin() + reach, clean.end()));
}

TEST_P(OversamplerTest, AudioPathDoesNotAllocate) {
  const std::vector<double> in = Noise(kMaxBlock, 9);
  std::vector<double> high(in.size() * static_cast<size_t>(os.Factor())), out(in.size());
  kantele::test::ScopedAllocTrap trap;
  for (int channel = 0; channel < 2; ++channel) {
    os.Up(in.data(), kMaxBlock, high.data(), channel);
    os.Down(high.data(), kMaxBlock, out.data(), channel);
  }
  os.Reset();
  os.SelectFactor(0);
  EXPECT_EQ(trap.Allocations(), 0);
}

INSTANTIATE_TEST_SUITE_P(Factors, OversamplerTest, ::testing::Values(1, 2, 3, 4),
                         [](const auto& info) { return std::to_string(1 << info.param) + "x"; });

TEST(OversamplerOffTest, CopiesWithoutLatencyAndGuardsItsArguments) {
  Oversampler os;
  os.Configure(0, 1, 16);
  EXPECT_EQ(os.Factor(), 1);
  EXPECT_EQ(os.LatencySamples(), 0);
  const std::vector<double> in = Noise(40, 11);
  Equal(RoundTrip(os, in, 40), in);

  // A channel out of range gives silence, and the factor never exceeds the configured one.
  std::vector<double> out(40, 1.0);
  os.Down(in.data(), 40, out.data(), 1);
  EXPECT_EQ(out, std::vector<double>(40, 0.0));
  os.SelectFactor(3);
  EXPECT_EQ(os.Factor(), 1);
}

class DelayLineTest : public ::testing::TestWithParam<int> {};

TEST_P(DelayLineTest, DelaysByWholeSamplesInAnyBlocksAndInPlace) {
  const int delay = GetParam();
  const std::vector<double> in = Noise(600, 13);
  std::vector<double> expected(in.size(), 0.0);
  for (size_t i = static_cast<size_t>(delay); i < in.size(); ++i) expected[i] = in[i - delay];

  DelayLine line;
  line.Configure(2, delay);
  EXPECT_EQ(line.Delay(), delay);
  for (int block : {1, 7, 64, 600}) {
    SCOPED_TRACE(block);
    line.Reset();
    std::vector<double> buffer = in;  // in place
    for (int i = 0; i < 600; i += block)
      line.Process(buffer.data() + i, buffer.data() + i, std::min(block, 600 - i), 1);
    Equal(buffer, expected);
  }
  line.Reset();
  std::vector<double> single(in.size());
  for (size_t i = 0; i < in.size(); ++i) single[i] = line.ProcessSample(in[i], 0);
  Equal(single, expected);
}

INSTANTIATE_TEST_SUITE_P(Delays, DelayLineTest, ::testing::Values(0, 1, 71, 81));

}  // namespace
}  // namespace tolvane

#include "render/DemoSignal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "render/LevelMeter.h"

namespace tolvane {
namespace render {
namespace {

// One instance for the whole file: synthesizing takes a moment.
const DemoSignal& Demo() {
  static const DemoSignal demo;
  return demo;
}

TEST(DemoSignalTest, IsSixSecondsOfStereoAndTheSameEveryTime) {
  const DemoSignal& a = Demo();
  EXPECT_EQ(a.Frames(), 6 * 48000);
  const DemoSignal b;
  for (int c = 0; c < DemoSignal::kChannels; ++c) {
    ASSERT_EQ(a.Channel(c).size(), b.Channel(c).size());
    EXPECT_EQ(
        std::memcmp(a.Channel(c).data(), b.Channel(c).data(), a.Channel(c).size() * sizeof(double)),
        0)
        << "channel " << c;
  }
}

TEST(DemoSignalTest, LevelsAreThoseOfMixedMusic) {
  const DemoSignal& d = Demo();
  std::vector<double> interleaved(static_cast<size_t>(d.Frames()) * 2);
  ASSERT_EQ(d.ReadInterleaved(0, interleaved.data(), d.Frames()), d.Frames());
  LevelMeter meter(2);
  meter.Add(interleaved.data(), d.Frames());
  // The louder channel peaks at exactly -6 dBFS, the other close below.
  EXPECT_NEAR(std::max(meter.PeakDbfs(0), meter.PeakDbfs(1)), -6.0, 1e-9);
  for (int c = 0; c < 2; ++c) {
    EXPECT_LE(meter.PeakDbfs(c), -6.0 + 1e-9);
    EXPECT_GT(meter.PeakDbfs(c), -8.0);
    EXPECT_GT(meter.RmsDbfs(c), -22.0) << c;
    EXPECT_LT(meter.RmsDbfs(c), -18.0) << c;
  }
}

TEST(DemoSignalTest, HasASlightStereoSpreadAndFadesOut) {
  const std::vector<double>& l = Demo().Channel(0);
  const std::vector<double>& r = Demo().Channel(1);
  double ll = 0, rr = 0, lr = 0;
  for (size_t i = 0; i < l.size(); ++i) {
    ll += l[i] * l[i];
    rr += r[i] * r[i];
    lr += l[i] * r[i];
  }
  const double correlation = lr / std::sqrt(ll * rr);
  EXPECT_GT(correlation, 0.9);    // mostly centred: bass and kick
  EXPECT_LT(correlation, 0.999);  // but the plucks and hats sit to the sides
  EXPECT_EQ(l.back(), 0.0);
  EXPECT_EQ(r.back(), 0.0);
}

// Beats fall every half second (120 per minute): each one starts with a transient
// well above the level just before it.
TEST(DemoSignalTest, EveryBeatStartsWithATransient) {
  const std::vector<double>& l = Demo().Channel(0);
  const size_t beat = 24000, window = 960;  // 20 ms
  for (size_t b = 1; b < 11; ++b) {
    double before = 0.0, after = 0.0;
    for (size_t i = b * beat - window; i < b * beat; ++i)
      before = std::max(before, std::fabs(l[i]));
    for (size_t i = b * beat; i < b * beat + window; ++i) after = std::max(after, std::fabs(l[i]));
    EXPECT_GT(after, 1.5 * before) << "beat " << b;
  }
}

}  // namespace
}  // namespace render
}  // namespace tolvane

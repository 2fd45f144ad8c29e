#include "render/LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tolvane {
namespace render {
namespace {

TEST(LevelMeterTest, SinesReadTheirTextbookLevelsPerChannel) {
  // Channel 0 silent, channel 1 a full-scale sine, channel 2 at half scale: 100 whole
  // periods of 480 samples, added in uneven pieces.
  const int frames = 48000;
  std::vector<double> samples(static_cast<size_t>(frames) * 3, 0.0);
  for (int i = 0; i < frames; ++i) {
    const double s = std::sin(2.0 * 3.14159265358979323846 * i / 480.0 + 0.3);
    samples[static_cast<size_t>(i) * 3 + 1] = s;
    samples[static_cast<size_t>(i) * 3 + 2] = 0.5 * s;
  }
  LevelMeter meter(3);
  meter.Add(samples.data(), 1000);
  meter.Add(samples.data() + 3000, frames - 1000);
  EXPECT_EQ(meter.Frames(), frames);
  EXPECT_TRUE(std::isinf(meter.PeakDbfs(0)) && meter.PeakDbfs(0) < 0);
  EXPECT_TRUE(std::isinf(meter.RmsDbfs(0)) && meter.RmsDbfs(0) < 0);
  EXPECT_NEAR(meter.PeakDbfs(1), 0.0, 0.001);
  EXPECT_NEAR(meter.RmsDbfs(1), -3.0103, 0.001);
  EXPECT_NEAR(meter.PeakDbfs(2), -6.0206, 0.001);
  EXPECT_NEAR(meter.RmsDbfs(2), -9.0309, 0.001);
}

}  // namespace
}  // namespace render
}  // namespace tolvane

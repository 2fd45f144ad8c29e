#include "render/AutomationCurve.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

namespace tolvane {
namespace render {
namespace {

// Holds 0.2 until sample 100, ramps to 0.6 at 300, steps to 1 at 300, holds until 600, ramps
// to 0 at 700.
const AutomationCurve kCurve(3, {{100, 0.2}, {300, 0.6}, {300, 1.0}, {600, 1.0}, {700, 0.0}});

TEST(AutomationCurveTest, ValuesHoldRampAndStepBetweenCorners) {
  const std::pair<int64_t, double> cases[] = {
      {0, 0.2},   {100, 0.2}, {200, 0.4}, {299, 0.598},  {300, 1.0},
      {450, 1.0}, {650, 0.5}, {700, 0.0}, {100000, 0.0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(kCurve.ValueAt(c.first), c.second) << c.first;
  EXPECT_EQ(kCurve.Param(), 3);
  EXPECT_THROW(AutomationCurve(0, {}), std::invalid_argument);
  EXPECT_THROW(AutomationCurve(0, {{5, 0.0}, {4, 1.0}}), std::invalid_argument);
}

// What a block carries: its corners at their offsets, then its last sample's value while the
// curve ramps there; nothing on a flat stretch.
TEST(AutomationCurveTest, BlocksCarryTheirCornersAndTheValueAtTheirEndWhileRamping) {
  using Points = std::vector<std::pair<int32_t, double>>;
  const struct {
    int64_t start;
    int frames;
    Points points;
  } cases[] = {
      {0, 64, {}},                         // before the first corner
      {64, 64, {{36, 0.2}, {63, 0.254}}},  // the ramp starts inside
      {128, 64, {{63, 0.382}}},            // inside the ramp
      {256, 64, {{44, 0.6}, {44, 1.0}}},   // the step; flat after it
      {320, 64, {}},                       // flat between equal corners
      {576, 64, {{24, 1.0}, {63, 0.61}}},  // the last ramp starts inside
      {640, 61, {{60, 0.0}}},              // the final corner on the last sample
      {701, 512, {}},                      // after the end
  };
  for (const auto& c : cases) {
    Points points;
    kCurve.ForEachBlockPoint(c.start, c.frames, [&](int32_t offset, double value) {
      points.emplace_back(offset, value);
    });
    ASSERT_EQ(points.size(), c.points.size()) << c.start;
    for (size_t i = 0; i < points.size(); ++i) {
      EXPECT_EQ(points[i].first, c.points[i].first) << c.start;
      EXPECT_DOUBLE_EQ(points[i].second, c.points[i].second) << c.start;
    }
  }
  // The fullest blocks: the three corners from 100 to 300 need 201 samples.
  EXPECT_EQ(kCurve.MaxBlockPoints(200), 3);
  EXPECT_EQ(kCurve.MaxBlockPoints(201), 4);
  EXPECT_EQ(kCurve.MaxBlockPoints(1), 3);
}

}  // namespace
}  // namespace render
}  // namespace tolvane

// The one path of a host's value to a parameter, checked the same way in every format: this
// file is built once per format, on that format's adapter, with the format's driver.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "path/PathDriver.h"

namespace kantele::test {
namespace {

constexpr int kBlock = 64;
constexpr int kInputGain = 0;  // 0 .. 200 %, default 32
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// A value as a host sends it (normalised and real forms) and what the parameter must hold.
struct ValueCase {
  const char* mName;
  double mNormalized, mReal;
  double mStored;  ///< NaN: the value is ignored and the parameter keeps its value
};

const ValueCase kValues[] = {
    {"in range", 0.25, 50.0, 50.0},        {"above the range", 1.5, 900.0, 200.0},
    {"below the range", -0.5, -20.0, 0.0}, {"plus infinity", kInf, kInf, 200.0},
    {"minus infinity", -kInf, -kInf, 0.0}, {"NaN", kNaN, kNaN, kNaN},
};

class HostPath : public ::testing::Test {
 protected:
  // Started, with one block run (an LV2 plug-in takes every control port's value in its first
  // run), and nothing recorded yet.
  void SetUp() override {
    mDriver->ProcessWith({}, kBlock);
    mDriver->Plugin().mNotifications.clear();
    mDriver->Plugin().mBlocks.clear();
  }

  std::unique_ptr<PathDriver> mDriver = PathDriver::Make(kBlock);
  double Send(const ValueCase& c) const {
    return mDriver->SendsNormalized() ? c.mNormalized : c.mReal;
  }
};

// Outside a block: the value is checked and brought into range, stored, queued for the editor
// (where the editor shares the object) and notified once, in that order; NaN and an unknown
// index change nothing and notify nobody.
TEST_F(HostPath, OutsideABlockEachValueIsStoredQueuedAndNotifiedOnce) {
  for (const ValueCase& c : kValues) {
    SCOPED_TRACE(c.mName);
    mDriver->SetOutsideBlock(kInputGain, 0.1 * (mDriver->SendsNormalized() ? 1.0 : 200.0));
    PathPlugin& plug = mDriver->Plugin();
    plug.DrainEditorQueue();
    plug.mNotifications.clear();
    const double before = plug.GetParam(kInputGain)->GetValue();

    mDriver->SetOutsideBlock(kInputGain, Send(c));
    const std::vector<ParamValueRecord> queued = plug.DrainEditorQueue();
    if (std::isnan(c.mStored)) {
      EXPECT_EQ(plug.GetParam(kInputGain)->GetValue(), before);
      EXPECT_TRUE(plug.mNotifications.empty());
      EXPECT_TRUE(queued.empty());
      continue;
    }
    EXPECT_EQ(plug.GetParam(kInputGain)->GetValue(), c.mStored);
    ASSERT_EQ(plug.mNotifications.size(), 1u);
    const Notification& n = plug.mNotifications[0];
    EXPECT_EQ(n.mSource, kSourceHost);
    EXPECT_EQ(n.mOffset, -1);
    EXPECT_EQ(n.mStored, c.mStored);  // stored before the effect hears of it
    if (mDriver->EditorShares()) {
      EXPECT_EQ(n.mQueued, 1);  // queued before the effect hears of it
      ASSERT_EQ(queued.size(), 1u);
      EXPECT_EQ(queued[0].mIdx, kInputGain);
      EXPECT_EQ(queued[0].mValue, c.mStored);
    } else {
      EXPECT_TRUE(queued.empty());
    }
  }

  PathPlugin& plug = mDriver->Plugin();
  plug.mNotifications.clear();
  for (int idx : {-1, 7, 1000}) mDriver->SetOutsideBlock(idx, 0.5);
  EXPECT_TRUE(plug.mNotifications.empty());
}

// In a block: each value reaches the effect where the format places it (VST2 before the block,
// LV2 at its start, VST3 at the host's offset), the parameter ends the block holding the last
// one, and invalid values are dropped on the way.
TEST_F(HostPath, InABlockValuesReachTheEffectAtTheFormatsOffsets) {
  const double lo = mDriver->SendsNormalized() ? 0.25 : 50.0;
  const double hi = mDriver->SendsNormalized() ? 0.75 : 150.0;
  const double stayed = mDriver->Plugin().GetParam(1)->GetValue();
  mDriver->ProcessWith({{kInputGain, 10, lo}, {1, 5, kNaN}, {kInputGain, 40, hi}, {9, 3, lo}},
                       kBlock);
  PathPlugin& plug = mDriver->Plugin();
  EXPECT_EQ(plug.GetParam(kInputGain)->GetValue(), 150.0);
  EXPECT_EQ(plug.GetParam(1)->GetValue(), stayed);
  ASSERT_FALSE(plug.mBlocks.empty());
  const SeenBlock& block = plug.mBlocks.back();
  std::vector<int> offsets;
  for (const ParamChange& c : block.mChanges) {
    EXPECT_EQ(c.mIdx, kInputGain);
    offsets.push_back(c.mOffset);
  }
  std::vector<int> notified;
  for (const Notification& n : plug.mNotifications) {
    if (n.mIdx == kInputGain) notified.push_back(n.mOffset);
  }
  switch (mDriver->InBlockTiming()) {
    case PathDriver::ETiming::kBetweenBlocks:
      EXPECT_TRUE(offsets.empty());
      EXPECT_EQ(notified, (std::vector<int>{-1, -1}));
      break;
    case PathDriver::ETiming::kBlockStart:
      EXPECT_EQ(offsets, (std::vector<int>{0}));
      EXPECT_EQ(notified, (std::vector<int>{0}));
      break;
    case PathDriver::ETiming::kAtOffset:
      EXPECT_EQ(offsets, (std::vector<int>{10, 40}));
      EXPECT_EQ(block.mChanges[0].mValue, 50.0);
      EXPECT_EQ(notified, (std::vector<int>{10, 40}));
      break;
  }

  // The next block starts without them.
  mDriver->ProcessWith({}, kBlock);
  EXPECT_TRUE(plug.mBlocks.back().mChanges.empty());
}

// A block longer than the host announced is processed whole, in pieces no longer than the
// announced size, and its timed values land in the piece that holds their frame.
TEST_F(HostPath, ABlockLongerThanAnnouncedIsProcessedInPieces) {
  const double v = mDriver->SendsNormalized() ? 0.5 : 100.0;
  mDriver->ProcessWith({{kInputGain, kBlock + 6, v}}, 2 * kBlock + 10);
  const std::vector<SeenBlock>& blocks = mDriver->Plugin().mBlocks;
  ASSERT_GE(blocks.size(), 3u);
  const SeenBlock* last = &blocks[blocks.size() - 3];
  EXPECT_EQ(last[0].mFrames, kBlock);
  EXPECT_EQ(last[1].mFrames, kBlock);
  EXPECT_EQ(last[2].mFrames, 10);
  if (mDriver->InBlockTiming() == PathDriver::ETiming::kAtOffset) {
    ASSERT_EQ(last[1].mChanges.size(), 1u);
    EXPECT_EQ(last[1].mChanges[0].mOffset, 6);
    EXPECT_TRUE(last[0].mChanges.empty());
  }
  EXPECT_EQ(mDriver->Plugin().GetParam(kInputGain)->GetValue(), 100.0);
}

}  // namespace
}  // namespace kantele::test

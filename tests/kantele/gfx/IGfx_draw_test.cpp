// The redraw cycle: collecting the dirty areas, then drawing each control clipped to the
// pixel-aligned, optimised areas.

#include <gtest/gtest.h>

#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

EventLog Draws(const EventLog& log) {
  EventLog out;
  for (const std::string& e : log) {
    if (e.size() > 5 && e.compare(e.size() - 5, 5, ":Draw") == 0) out.push_back(e);
  }
  return out;
}

std::vector<IRect> Regions(const RecordingGfx& g) {
  std::vector<IRect> out;
  for (const DrawCall& c : g.CallsOf("Region")) out.push_back(c.mRect);
  return out;
}

bool IsIdentity(const ITransform& t) {
  return t.xx == 1.0 && t.yx == 0.0 && t.xy == 0.0 && t.yy == 1.0 && t.tx == 0.0 && t.ty == 0.0;
}

TEST(DirtyTest, CollectsThePaddedRectanglesOfDirtyControlsAfterTheTick) {
  TestEditor e;
  e.Add("bg", IRect(0, 0, 300, 200));
  ProbeControl* a = e.Add("A", IRect(10.2f, 10.3f, 50.6f, 40.4f));
  ProbeControl* b = e.Add("B", IRect(100, 100, 150, 150));
  e.g.SetAllControlsClean();
  IRectList rects;
  EXPECT_FALSE(e.g.IsDirty(rects));
  EXPECT_EQ(rects.Size(), 0);

  e.log.clear();
  IControl* animated = nullptr;
  e.g.SetDisplayTick([&] { e.log.push_back("tick"); });
  b->StartAnimation(
      [&](IControl* control) {
        animated = control;
        e.log.push_back("animation");
      },
      1000);
  a->SetDirty(false);
  EXPECT_TRUE(e.g.IsDirty(rects));
  EXPECT_EQ(e.log, (EventLog{"tick", "animation"}));
  EXPECT_EQ(animated, b);
  ASSERT_EQ(rects.Size(), 2);
  EXPECT_EQ(rects.Get(0), a->GetDrawRect().GetPadded(0.75f));
  EXPECT_EQ(rects.Get(1), b->GetDrawRect().GetPadded(0.75f));

  // The animation keeps B dirty through a clean.
  e.g.SetAllControlsClean();
  IRectList again;
  EXPECT_TRUE(e.g.IsDirty(again));
  ASSERT_EQ(again.Size(), 1);
  EXPECT_EQ(again.Get(0), b->GetDrawRect().GetPadded(0.75f));

  b->OnAnimationEnd();
  e.g.SetAllControlsClean();
  IRectList none;
  EXPECT_FALSE(e.g.IsDirty(none));
}

TEST(DrawTest, AnEmptyListDrawsNothing) {
  TestEditor e;
  e.Add("bg", IRect(0, 0, 300, 200));
  IRectList rects;
  e.g.Draw(rects);
  EXPECT_EQ(e.g.mBeginFrames, 0);
  EXPECT_EQ(e.g.mEndFrames, 0);
  EXPECT_TRUE(e.g.mCalls.empty());
  EXPECT_TRUE(Draws(e.log).empty());
}

// A control at fractional coordinates is redrawn over its padded rectangle, aligned to device
// pixels; its right-hand neighbour, 1.9 units away, overlaps that area by a whole pixel at
// scale 1 and by nothing at scale 2.
struct ClipCase {
  float mDrawScale;
  float mScreenScale;
  IRect mArea;
  bool mNeighbourDrawn;
};

class DrawClipTest : public ::testing::TestWithParam<ClipCase> {};

TEST_P(DrawClipTest, EachControlIsClippedToTheAlignedArea) {
  const ClipCase& k = GetParam();
  TestEditor e(300, 200, k.mDrawScale);
  if (k.mScreenScale != 1.f) e.g.SetScreenScale(k.mScreenScale);
  ASSERT_FLOAT_EQ(e.g.GetTotalScale(), k.mDrawScale * k.mScreenScale);
  ProbeControl* bg = e.Add("bg", IRect(0, 0, 300, 200));
  ProbeControl* a = e.Add("A", IRect(10.2f, 10.3f, 50.6f, 40.4f));
  ProbeControl* n = e.Add("N", IRect(52.5f, 10, 80, 40));
  ProbeControl* far = e.Add("F", IRect(100, 100, 150, 150));
  bg->mColor = IArgb(255, 1, 1, 1);
  a->mColor = IArgb(255, 2, 2, 2);
  n->mColor = IArgb(255, 3, 3, 3);
  e.g.SetAllControlsClean();
  a->SetDirty(false);
  IRectList rects;
  ASSERT_TRUE(e.g.IsDirty(rects));
  e.log.clear();
  e.g.Draw(rects);

  EXPECT_EQ(e.g.mBeginFrames, 1);
  EXPECT_EQ(e.g.mEndFrames, 1);
  const IRect neighbourClip(51, 9, 52, 41);
  std::vector<IRect> expected{k.mArea, k.mArea};
  if (k.mNeighbourDrawn) expected.push_back(neighbourClip);
  EXPECT_EQ(Regions(e.g), expected);
  EXPECT_EQ(Draws(e.log), k.mNeighbourDrawn ? (EventLog{"bg:Draw", "A:Draw", "N:Draw"})
                                            : (EventLog{"bg:Draw", "A:Draw"}));
  ASSERT_EQ(a->mDrawn.size(), 1u);
  EXPECT_EQ(a->mDrawn[0].mClip, k.mArea);
  EXPECT_TRUE(far->mDrawn.empty());

  // Every control's fill lands inside its own region.
  const std::vector<DrawCall> fills = e.g.CallsOf("Fill");
  ASSERT_EQ(fills.size(), expected.size());
  EXPECT_EQ(fills[0].mColor, bg->mColor);
  EXPECT_EQ(fills[1].mColor, a->mColor);
  EXPECT_EQ(fills[1].mClip, k.mArea);
  if (k.mNeighbourDrawn) {
    EXPECT_EQ(fills[2].mClip, neighbourClip);
  }
}

INSTANTIATE_TEST_SUITE_P(Scales, DrawClipTest,
                         ::testing::Values(ClipCase{1.f, 1.f, IRect(9, 9, 52, 42), true},
                                           ClipCase{2.f, 1.f, IRect(9, 9.5f, 51.5f, 41.5f), false},
                                           ClipCase{1.f, 2.f, IRect(9, 9.5f, 51.5f, 41.5f),
                                                    false}));

TEST(DrawTest, EachControlStartsWithAResetTransformAndAnEmptyPath) {
  TestEditor e;
  e.Add("bg", IRect(0, 0, 300, 200));
  ProbeControl* a = e.Add("A", IRect(10, 10, 50, 50));
  ProbeControl* b = e.Add("B", IRect(20, 20, 60, 60));
  a->mTranslateInDraw = true;
  IRectList rects;
  rects.Add(IRect(0, 0, 100, 100));
  e.g.Draw(rects);

  ASSERT_EQ(b->mDrawn.size(), 1u);
  EXPECT_TRUE(IsIdentity(b->mDrawn[0].mTransform));
  // Before each region: the identity handed to the back end, then a cleared path; after the
  // control's drawing, the region is completed.
  const std::vector<DrawCall>& calls = e.g.mCalls;
  int regions = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].mKind != "Region") continue;
    ++regions;
    ASSERT_GE(i, 2u);
    EXPECT_EQ(calls[i - 1].mKind, "Clear");
    EXPECT_EQ(calls[i - 2].mKind, "Transform");
    EXPECT_EQ(calls[i - 2].mArgs, (std::vector<double>{1, 0, 0, 1, 0, 0}));
  }
  EXPECT_EQ(regions, 3);
  EXPECT_EQ(e.g.CallsOf("Complete").size(), 3u);
  EXPECT_EQ(calls.back().mKind, "Complete");
  // A's own translation did reach the back end.
  bool translated = false;
  for (const DrawCall& c : e.g.CallsOf("Transform")) translated |= c.mArgs[4] == 7.0;
  EXPECT_TRUE(translated);
}

TEST(DrawTest, HiddenControlsAreSkippedButTheBackgroundIsAlwaysDrawn) {
  TestEditor e;
  ProbeControl* bg = e.Add("bg", IRect(0, 0, 300, 200));
  ProbeControl* a = e.Add("A", IRect(10, 10, 50, 50));
  ProbeControl* c = e.Add("C", IRect(60, 10, 100, 50));
  bg->Hide(true);
  a->Hide(true);
  c->SetDisabled(true);
  IRectList rects;
  rects.Add(IRect(0, 0, 300, 200));
  e.g.Draw(rects);
  EXPECT_EQ(Draws(e.log), (EventLog{"bg:Draw", "C:Draw"}));
  const std::vector<DrawCall> fills = e.g.CallsOf("Fill");
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0].mWeight, 1.f);
  EXPECT_EQ(fills[1].mWeight, 0.25f);  // disabled
}

TEST(DrawTest, OverlappingAreasAreDrawnOnce) {
  TestEditor e;
  ProbeControl* bg = e.Add("bg", IRect(0, 0, 300, 200));
  IRectList rects;
  rects.Add(IRect(0, 0, 20, 20));
  rects.Add(IRect(10, 0, 30, 20));
  rects.Add(IRect(5, 5, 15, 15));
  rects.Add(IRect(25, 10, 40, 30));
  e.g.Draw(rects);
  EXPECT_EQ(e.g.mBeginFrames, 1);
  EXPECT_EQ(e.g.mEndFrames, 1);

  // The union: 30 x 20 and the 15 x 20 that sticks out, less their 5 x 10 overlap.
  float area = 0.f;
  const auto& drawn = bg->mDrawn;
  for (size_t i = 0; i < drawn.size(); ++i) {
    area += drawn[i].mClip.Area();
    EXPECT_TRUE(IRect(0, 0, 40, 30).Contains(drawn[i].mClip));
    for (size_t j = i + 1; j < drawn.size(); ++j) {
      EXPECT_LE(drawn[i].mClip.Intersect(drawn[j].mClip).Area(), 0.f) << i << " and " << j;
    }
  }
  EXPECT_EQ(area, 600.f + 300.f - 50.f);
}

}  // namespace
}  // namespace kantele::gfx::test

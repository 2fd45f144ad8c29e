// The switches: stepping through states on clicks (by state count for the base, by frame
// count for the bitmap switch), wrapping, double clicks as clicks, the states a bound
// parameter's range gives, and the film-strip frame the bitmap switch draws.

#include <gtest/gtest.h>

#include <limits>

#include "kantele/IParam.h"
#include "kantele/gfx/controls/ISwitchControls.h"
#include "kantele/gfx/support/ArtworkFiles.h"
#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

// The switch behaviour alone, drawing nothing.
class PlainSwitch : public ISwitchControlBase {
 public:
  using ISwitchControlBase::ISwitchControlBase;
  void Draw(IGfx&) override {}
};

// Parameter 2 becomes a boolean "Bypass" (0..1, step 1).
class SwitchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    e.dlg.ReplaceParam(2, kKindBool).ConfigureDouble("Bypass", 0., 0., 1., 1.);
  }

  // A bitmap switch of an `n`-frame vertical strip of 30 x 20 frames at (100, 100, 140, 130).
  IBSwitchControl* AddBitmapSwitch(int n, int paramIdx = 2) {
    const std::string name = "switch" + std::to_string(n) + ".png";
    const IBitmapHandle strip = g.LoadBitmap(dir.Png(name, 30, 20 * n).c_str(), n);
    auto* control = new IBSwitchControl(IRect(100, 100, 140, 130), strip, paramIdx);
    g.AttachControl(control);
    log.clear();
    return control;
  }
  void Click(float x = 120, float y = 115) {
    g.OnMouseDown({Pt(x, y)});
    g.OnMouseUp({Pt(x, y)});
  }

  ArtworkDir dir;
  TestEditor e;
  EventLog& log = e.log;
  RecordingGfx& g = e.g;
};

TEST_F(SwitchTest, ATwoFrameSwitchTogglesAndSendsEveryClick) {
  IBSwitchControl* sw = AddBitmapSwitch(2);
  EXPECT_EQ(sw->GetDrawRect(), IRect(105, 105, 135, 125));
  EXPECT_EQ(sw->GetNumStates(), 2);
  Click();
  EXPECT_EQ(sw->GetValue(), 1.0);
  EXPECT_EQ(e.dlg.GetParam(2)->GetValue(), 1.0);
  Click();
  EXPECT_EQ(sw->GetValue(), 0.0);
  EXPECT_EQ(log, (EventLog{"Begin 2", "Value 2 1", "InEditor 2 3", "End 2", "Begin 2", "Value 2 0",
                           "InEditor 2 3", "End 2"}));
  // The bitmap switch leaves the mouse-down flag to its base.
  g.OnMouseDown({Pt(120, 115)});
  EXPECT_FALSE(sw->GetMouseDown());
}

TEST_F(SwitchTest, ADoubleClickCountsAsAnotherClick) {
  IBSwitchControl* sw = AddBitmapSwitch(2);
  // What the platform sends for a double click: down, up, double click, up.
  IMouseState ms;
  g.OnMouseDown({Pt(120, 115)});
  g.OnMouseUp({Pt(120, 115)});
  EXPECT_EQ(sw->GetValue(), 1.0);
  g.OnMouseDoubleClick(120, 115, ms);
  g.OnMouseUp({Pt(120, 115)});
  EXPECT_EQ(sw->GetValue(), 0.0);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 2 1", "Value 2 0"}));
  EXPECT_EQ(Count(log, "Begin 2"), 2);
  EXPECT_EQ(Count(log, "End 2"), 2);
}

TEST_F(SwitchTest, TheBitmapSwitchStepsByFramesNotByStates) {
  // Three frames on a two-state parameter: 0, 0.5, 1, then back to 0.
  IBSwitchControl* three = AddBitmapSwitch(3);
  std::vector<double> seen;
  for (int i = 0; i < 4; ++i) {
    Click();
    seen.push_back(three->GetValue());
  }
  EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0, 0.0, 0.5}));

  // One frame steps by 1: on, then past 1.001, off.
  IBSwitchControl* single = AddBitmapSwitch(1, -1);
  single->SetPosition(200, 100);
  Click(210, 110);
  EXPECT_EQ(single->GetValue(), 1.0);
  Click(210, 110);
  EXPECT_EQ(single->GetValue(), 0.0);

  // A NaN value wraps to 0 rather than reaching the host.
  three->SetValue(std::numeric_limits<double>::quiet_NaN());
  Click();
  EXPECT_EQ(three->GetValue(), 0.0);
}

TEST_F(SwitchTest, TheBitmapSwitchDrawsTheFrameOfItsValue) {
  IBSwitchControl* sw = AddBitmapSwitch(2);
  for (double v : {0.0, 0.5, 1.0}) {
    sw->SetValue(v);
    sw->Draw(g);
  }
  const std::vector<DrawCall> drawn = g.CallsOf("Bitmap");
  ASSERT_EQ(drawn.size(), 3u);
  // 0.5 rounds up to the second frame: 1 + trunc(0.5 + 0.5).
  EXPECT_EQ(drawn[0].mArgs, (std::vector<double>{0, 0}));
  EXPECT_EQ(drawn[1].mArgs, (std::vector<double>{0, 20}));
  EXPECT_EQ(drawn[2].mArgs, (std::vector<double>{0, 20}));
  EXPECT_EQ(drawn[0].mRect, IRect(105, 105, 135, 125));

  // Frames side by side: the offset is horizontal.
  const IBitmapHandle row = g.LoadBitmap(dir.Png("row.png", 60, 20).c_str(), 2, true);
  IBSwitchControl across(IRect(0, 0, 30, 20), row);
  g.ClearDrawing();
  across.SetValue(1.0);
  across.Draw(g);
  EXPECT_EQ(g.CallsOf("Bitmap").at(0).mArgs, (std::vector<double>{30, 0}));
}

TEST_F(SwitchTest, TheBaseStepsThroughItsStatesAndWraps) {
  auto* two = new PlainSwitch(IRect(0, 0, 50, 50));
  g.AttachControl(two);
  two->SetValue(0.3);  // anything but exactly 0 switches off
  Click(10, 10);
  EXPECT_EQ(two->GetValue(), 0.0);
  Click(10, 10);
  EXPECT_EQ(two->GetValue(), 1.0);

  auto* three = new PlainSwitch(IRect(60, 0, 110, 50), -1, nullptr, 3);
  g.AttachControl(three);
  std::vector<double> seen;
  for (int i = 0; i < 4; ++i) {
    g.OnMouseDown({Pt(70, 10)});
    EXPECT_TRUE(three->GetMouseDown());
    g.OnMouseUp({Pt(70, 10)});
    EXPECT_FALSE(three->GetMouseDown());
    seen.push_back(three->GetValue());
  }
  EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0, 0.0, 0.5}));

  // One state has nowhere to go.
  auto* one = new PlainSwitch(IRect(120, 0, 170, 50), -1, nullptr, 1);
  g.AttachControl(one);
  Click(130, 10);
  EXPECT_EQ(one->GetValue(), 0.0);
}

TEST_F(SwitchTest, ABoundParameterDecidesTheStates) {
  // "Trim" -12..12: 25 states, so a click moves 1/24.
  auto* trim = new PlainSwitch(IRect(0, 0, 50, 50), 3);
  g.AttachControl(trim);
  EXPECT_EQ(trim->GetNumStates(), 25);
  Click(10, 10);
  EXPECT_DOUBLE_EQ(trim->GetValue(), 1.0 / 24.0);
  EXPECT_DOUBLE_EQ(e.dlg.GetParam(3)->GetValue(), -11.0);

  // A four-way choice (0..3) wraps after its last.
  e.dlg.ReplaceParam(0, kKindEnum).ConfigureDouble("Mode", 0., 0., 3., 1.);
  auto* mode = new PlainSwitch(IRect(60, 0, 110, 50), 0);
  g.AttachControl(mode);
  EXPECT_EQ(mode->GetNumStates(), 4);
  std::vector<double> params;
  for (int i = 0; i < 4; ++i) {
    Click(70, 10);
    params.push_back(e.dlg.GetParam(0)->GetValue());
  }
  EXPECT_EQ(params, (std::vector<double>{1, 2, 3, 0}));

  // A fractional range counts whole units; unbound switches keep their own count.
  e.dlg.ReplaceParam(1, kKindDouble).ConfigureDouble("Blend", 0., 0., 2.5, 0.5);
  auto* blend = new PlainSwitch(IRect(0, 60, 50, 110), 1, nullptr, 7);
  g.AttachControl(blend);
  EXPECT_EQ(blend->GetNumStates(), 3);
  auto* unbound = new PlainSwitch(IRect(60, 60, 110, 110), -1, nullptr, 7);
  g.AttachControl(unbound);
  EXPECT_EQ(unbound->GetNumStates(), 7);
}

TEST_F(SwitchTest, PerStateFlagsFollowTheStatesAndAHugeRangeIsCut) {
  auto* sw = new PlainSwitch(IRect(0, 0, 50, 50), 3);
  g.AttachControl(sw);
  for (int s = 0; s < 25; ++s) EXPECT_FALSE(sw->GetStateDisabled(s)) << s;
  sw->SetStateDisabled(24, true);
  sw->SetStateDisabled(25, true);  // out of range: ignored
  sw->SetStateDisabled(-1, true);
  EXPECT_TRUE(sw->GetStateDisabled(24));
  EXPECT_FALSE(sw->GetStateDisabled(25));
  EXPECT_FALSE(sw->GetStateDisabled(-1));

  e.dlg.ReplaceParam(0, kKindDouble).ConfigureDouble("Huge", 0., 0., 1e12, 1.);
  auto* huge = new PlainSwitch(IRect(60, 0, 110, 50), 0);
  g.AttachControl(huge);
  EXPECT_EQ(huge->GetNumStates(), ISwitchControlBase::kMaxStates);
  EXPECT_FALSE(huge->GetStateDisabled(ISwitchControlBase::kMaxStates - 1));
}

}  // namespace
}  // namespace kantele::gfx::test

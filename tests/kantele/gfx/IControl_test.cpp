// The control base: values and the dirty flag, where values go (delegate, other controls,
// the action function), rectangles, the disabled weight, animation and the default hooks.

#include <gtest/gtest.h>

#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (ProbeControl* control : {a, b, m, x}) {
      control->SetClickAction([this](IControl* c) { actions.push_back(c); });
    }
    e.g.SetAllControlsClean();
    log.clear();
  }

  TestEditor e;
  EventLog& log = e.log;
  std::vector<IControl*> actions;
  // A and B show "Gain"; M shows "Mix" then "Gain" then nothing; X shows "Mix".
  ProbeControl* a = e.Add("A", IRect(10, 10, 50, 30), 0);
  ProbeControl* b = e.Add("B", IRect(60, 10, 100, 30), 0);
  ProbeControl* m = [this] {
    ProbeControl* p = e.Add("M", IRect(10, 40, 50, 60), 1);
    p->AddValue(0);
    p->AddValue(-1);
    return p;
  }();
  ProbeControl* x = e.Add("X", IRect(60, 40, 100, 60), 1);
};

TEST(ControlDefaultsTest, AFreshControl) {
  EventLog log;
  ProbeControl c("C", IRect(0, 0, 10, 10), log, 2);
  EXPECT_TRUE(c.GetDirtyFlag());
  EXPECT_TRUE(c.IsPromptDisabled());
  EXPECT_EQ(c.GetTextEntryLength(), 7);
  EXPECT_EQ(c.GetBlend().mWeight, 1.f);
  EXPECT_FALSE(c.IsHidden() || c.IsDisabled() || c.GetMouseIsOver());
  EXPECT_EQ(c.ValueCount(), 1);
  EXPECT_EQ(c.GetParamIdx(), 2);
  EXPECT_EQ(c.GetParamIdx(1), -1);
  EXPECT_EQ(c.GetValIdxAt(5, 5), 0);
  c.AddValue(3);
  EXPECT_EQ(c.GetValIdxAt(5, 5), -1);
  EXPECT_EQ(c.FirstValIdxForParam(3), 1);
  EXPECT_EQ(c.FirstValIdxForParam(0), -1);

  // The hit test is the target rectangle's.
  c.SetTargetRect(IRect(0, 0, 4, 4));
  EXPECT_TRUE(c.IsHit(2, 2));
  EXPECT_FALSE(c.IsHit(6, 6));

  c.SetDisabled(true);
  EXPECT_TRUE(c.IsDisabled());
  EXPECT_EQ(c.GetBlend().mWeight, 0.25f);
  c.SetDisabled(false);
  EXPECT_EQ(c.GetBlend().mWeight, 1.f);
}

TEST_F(ControlTest, SetDirtyWithActionSendsTheClampedValueEverywhere) {
  a->SetValue(1.3);
  a->SetDirty(true);
  EXPECT_EQ(a->GetValue(), 1.0);
  EXPECT_EQ(log, (EventLog{"Value 0 1", "InEditor 0 3"}));
  EXPECT_EQ(e.dlg.GetParam(0)->GetValue(), 100.0);
  EXPECT_EQ(actions, (std::vector<IControl*>{a}));
  // The other controls on "Gain" follow, each in its own slot, without their actions.
  EXPECT_EQ(b->GetValue(), 1.0);
  EXPECT_TRUE(b->IsDirty());
  EXPECT_EQ(m->GetValue(1), 1.0);
  EXPECT_EQ(m->GetValue(0), 0.0);
  EXPECT_FALSE(x->IsDirty());

  // Without the action: clamped and marked, nothing sent.
  e.g.SetAllControlsClean();
  log.clear();
  actions.clear();
  a->SetValue(-0.2);
  a->SetDirty(false);
  EXPECT_EQ(a->GetValue(), 0.0);
  EXPECT_TRUE(a->IsDirty());
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(actions.empty());
  EXPECT_FALSE(b->IsDirty());
}

TEST_F(ControlTest, SetDirtySendsTheChosenValues) {
  // A single value is sent whatever index is asked for.
  a->SetValue(0.3);
  a->SetDirty(true, 5);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 0 0.3"}));

  log.clear();
  actions.clear();
  m->SetValue(0.2, 0);
  m->SetValue(0.6, 1);
  m->SetValue(0.9, 2);
  m->SetDirty(true, 1);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 0 0.6"}));
  EXPECT_EQ(x->GetValue(), 0.0);  // value 0 was not sent

  log.clear();
  m->SetDirty(true);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 1 0.2", "Value 0 0.6"}));
  EXPECT_EQ(x->GetValue(), 0.2);
  EXPECT_EQ(actions, (std::vector<IControl*>{m, m}));
}

TEST_F(ControlTest, HostAndUserValuesCountOnlyWhenTheyChange) {
  a->SetValue(0.4);
  a->SetClean();
  a->SetValueFromHost(0.4);
  a->SetValueFromUser(0.4);
  EXPECT_FALSE(a->IsDirty());
  EXPECT_TRUE(log.empty());

  a->SetValueFromHost(0.5);  // marked, but neither sent nor acted on
  EXPECT_EQ(a->GetValue(), 0.5);
  EXPECT_TRUE(a->IsDirty());
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(actions.empty());
  EXPECT_FALSE(b->IsDirty());

  a->SetClean();
  a->SetValueFromUser(0.8);
  EXPECT_EQ(a->GetValue(), 0.8);
  EXPECT_TRUE(a->IsDirty());
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 0 0.8"}));
  EXPECT_EQ(actions, (std::vector<IControl*>{a}));
  EXPECT_EQ(b->GetValue(), 0.8);
}

TEST_F(ControlTest, DefaultsComeFromTheParameters) {
  ProbeControl* drive = e.Add("D", IRect(0, 100, 10, 110), 2);
  log.clear();
  drive->SetValueToDefault();
  EXPECT_DOUBLE_EQ(drive->GetValue(), 0.2);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 2 0.2"}));

  log.clear();
  m->SetValue(0.9, 0);
  m->SetValue(0.9, 1);
  m->SetValueToDefault();
  EXPECT_DOUBLE_EQ(m->GetValue(0), 0.25);
  EXPECT_DOUBLE_EQ(m->GetValue(1), 0.5);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 1 0.25", "Value 0 0.5"}));
}

TEST(ControlGeometryTest, PositionAndSizeMoveBothRectangles) {
  EventLog log;
  ProbeControl c("C", IRect(10, 10, 50, 30), log);
  c.SetTargetRect(IRect(5, 5, 55, 35));
  c.SetPosition(100, 50);
  EXPECT_EQ(c.GetDrawRect(), IRect(100, 50, 140, 70));
  EXPECT_EQ(c.GetTargetRect(), IRect(95, 45, 145, 75));
  c.SetPosition(-5, 20);  // x below 0 becomes 0
  EXPECT_EQ(c.GetDrawRect(), IRect(0, 20, 40, 40));
  EXPECT_EQ(c.GetTargetRect(), IRect(-5, 15, 45, 45));

  // Sizes count from the draw rectangle's corner, for both.
  c.SetPosition(10, 10);
  c.SetSize(20, 30);
  EXPECT_EQ(c.GetDrawRect(), IRect(10, 10, 30, 40));
  EXPECT_EQ(c.GetTargetRect(), IRect(10, 10, 30, 40));
  c.SetSize(-1, 5);
  EXPECT_EQ(c.GetDrawRect(), IRect(10, 10, 10, 15));
  EXPECT_EQ(c.GetTargetRect(), IRect(10, 10, 10, 15));
}

TEST_F(ControlTest, AnAnimationKeepsTheControlDirtyUntilItEnds) {
  int ticks = 0;
  std::vector<IControl*> ended;
  a->SetAnimationDoneHook([&](IControl* c) { ended.push_back(c); });
  a->StartAnimation([&](IControl*) { ++ticks; }, 50);
  a->SetClean();
  EXPECT_FALSE(a->GetDirtyFlag());
  EXPECT_TRUE(a->IsDirty());
  ASSERT_TRUE(a->GetAnimationFunction());

  a->OnAnimationEnd();
  EXPECT_FALSE(a->GetAnimationFunction());
  EXPECT_TRUE(a->GetDirtyFlag());
  EXPECT_EQ(ended, (std::vector<IControl*>{a}));
  EXPECT_TRUE(actions.empty());
  EXPECT_TRUE(log.empty());
  a->SetClean();
  EXPECT_FALSE(a->IsDirty());
  EXPECT_EQ(ticks, 0);  // the context runs the animation, not the control
}

TEST_F(ControlTest, TheRightButtonPromptsOnlyWhenPromptsAreOn) {
  const IMouseState right = Pt(20, 20, 0, 0, true).ms;
  a->OnMouseDown(20, 20, right);
  EXPECT_TRUE(e.g.mTextEntries.empty());
  EXPECT_TRUE(e.g.mMenus.empty());

  a->DisablePrompt(false);
  a->OnMouseDown(20, 20, Pt(20, 20).ms);  // left: nothing
  EXPECT_TRUE(e.g.mTextEntries.empty());
  a->OnMouseDown(20, 20, right);
  ASSERT_EQ(e.g.mTextEntries.size(), 1u);
  EXPECT_EQ(e.g.mTextEntries[0].mParamIdx, 0);
  EXPECT_EQ(e.g.GetTextEntryEditingControl(), a);

  ProbeControl* loose = e.Add("L", IRect(0, 100, 10, 110));
  loose->DisablePrompt(false);
  loose->OnMouseDown(5, 105, right);
  EXPECT_EQ(e.g.mTextEntries.size(), 1u);
}

TEST_F(ControlTest, MouseOverIsRedrawnOnlyWhenItChanges) {
  a->OnMouseOver(20, 20, IMouseState());
  EXPECT_TRUE(a->GetMouseIsOver());
  EXPECT_TRUE(a->IsDirty());
  a->SetClean();
  a->OnMouseOver(21, 20, IMouseState());
  EXPECT_FALSE(a->IsDirty());
  a->OnMouseOut();
  EXPECT_FALSE(a->GetMouseIsOver());
  EXPECT_TRUE(a->IsDirty());
  a->SetClean();
  a->OnMouseOut();
  EXPECT_FALSE(a->IsDirty());
}

TEST_F(ControlTest, SnappingRoundsToThousandthsWithinLimitsAndSends) {
  const IRect column(0, 100, 10, 300);
  x->SnapToPosition(5, 275.31f, kVertical, column);  // 1 - 175.31 / 200 = 0.12345
  EXPECT_DOUBLE_EQ(x->GetValue(), 0.123);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 1 0.123"}));
  x->SnapToPosition(5, 100, kVertical, column, -1, 0.2, 0.8);
  EXPECT_DOUBLE_EQ(x->GetValue(), 0.8);
  x->SnapToPosition(5, 400, kVertical, column, -1, 0.2, 0.8);
  EXPECT_DOUBLE_EQ(x->GetValue(), 0.2);
  x->SnapToPosition(150, 5, kHorizontal, IRect(100, 0, 300, 10));
  EXPECT_DOUBLE_EQ(x->GetValue(), 0.25);
  EXPECT_EQ(actions.size(), 4u);
}

}  // namespace
}  // namespace kantele::gfx::test

// Prompts for values (menus of display texts, text entry), how their answers come back, and
// resizing and rescaling the editor.

#include <gtest/gtest.h>

#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

class PromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // "Shape" 0..3: texts for 0, 1, 3 and 2.5; 2 has none.
    IParam& shapeParam = e.dlg.ReplaceParam(3, kKindEnum);
    shapeParam.ConfigureDouble("Shape", 0., 0., 3., 1.);
    shapeParam.AddDisplayText(0, "Soft");
    shapeParam.AddDisplayText(1, "Hard");
    shapeParam.AddDisplayText(3, "Fold");
    shapeParam.AddDisplayText(2.5, "Half");
    shapeParam.SetValue(3);
    e.dlg.GetParam(0)->SetValue(42.5);
    e.dlg.GetParam(0)->AddDisplayText(42.5, "Unity");
    // The controls show what the parameters hold.
    gain->SetValue(0.425);
    shape->SetValue(1.0);
    log.clear();
  }

  TestEditor e;
  EventLog& log = e.log;
  RecordingGfx& g = e.g;
  ProbeControl* gain = e.Add("G", IRect(10, 10, 60, 30), 0);
  ProbeControl* shape = e.Add("S", IRect(10, 40, 60, 60), 3);
  ProbeControl* loose = e.Add("L", IRect(10, 70, 60, 90));
};

TEST_F(PromptTest, AnEnumeratedParameterPromptsWithAMenuOfItsTexts) {
  g.mMenuChoice = 1;
  g.PromptForValue(shape, IRect(10, 40, 60, 60), 0);
  ASSERT_EQ(g.mMenus.size(), 1u);
  const MenuRequest& menu = g.mMenus[0];
  EXPECT_EQ(menu.mTitle, "Shape");
  EXPECT_EQ(menu.mBounds, IRect(10, 40, 60, 60));
  EXPECT_EQ(menu.mItems, (std::vector<std::string>{"Soft", "Hard", "", "Fold"}));
  EXPECT_EQ(menu.mFlags, (std::vector<int32_t>{0, 0, 0, IPopupMenuItem::kChecked}));
  EXPECT_TRUE(g.mTextEntries.empty());
  // Answered at once: the choice goes to the control and the gesture ends.
  EXPECT_EQ(log, (EventLog{"S:MenuSelection 1 0", "End 3"}));
}

TEST_F(PromptTest, ABooleanPromptsWithAMenuOnlyWhenItHasTexts) {
  IParam& on = e.dlg.ReplaceParam(2, kKindBool);
  on.ConfigureDouble("On", 0., 0., 1., 1.);
  ProbeControl* toggle = e.Add("T", IRect(100, 10, 120, 30), 2);
  g.PromptForValue(toggle, IRect(100, 10, 120, 30), 0);
  EXPECT_TRUE(g.mMenus.empty());
  ASSERT_EQ(g.mTextEntries.size(), 1u);
  EXPECT_EQ(g.mTextEntries[0].mText, "0");

  on.AddDisplayText(0, "off");
  on.AddDisplayText(1, "on");
  g.PromptForValue(toggle, IRect(100, 10, 120, 30), 0);
  ASSERT_EQ(g.mMenus.size(), 1u);
  EXPECT_EQ(g.mMenus[0].mItems, (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(g.mMenus[0].mFlags, (std::vector<int32_t>{IPopupMenuItem::kChecked, 0}));
}

TEST_F(PromptTest, ANumberPromptsWithTextEntryOfThePlainValue) {
  gain->SetText(ITextStyle(20.f, kColorRed, "Mono"));
  g.PromptForValue(gain, IRect(10, 10, 60, 30), 0);
  ASSERT_EQ(g.mTextEntries.size(), 1u);
  const TextEntryRequest& entry = g.mTextEntries[0];
  EXPECT_EQ(entry.mText, "42.5");  // not "Unity": display texts are not typed
  EXPECT_EQ(entry.mParamIdx, 0);
  EXPECT_EQ(entry.mLength, 7);
  EXPECT_EQ(entry.mBounds, IRect(10, 10, 60, 30));
  EXPECT_STREQ(entry.mStyle.mFont, "Mono");
  EXPECT_EQ(entry.mStyle.mSize, 20.f);
  EXPECT_EQ(g.GetTextEntryEditingControl(), gain);
  EXPECT_TRUE(g.mMenus.empty());

  gain->SetPromptShowsParamLabel(true);
  gain->SetTextEntryLength(12);
  g.PromptForValue(gain, IRect(10, 10, 60, 30), 0);
  ASSERT_EQ(g.mTextEntries.size(), 2u);
  EXPECT_EQ(g.mTextEntries[1].mText, "42.5 dB");
  EXPECT_EQ(g.mTextEntries[1].mLength, 12);

  // With an in-editor text entry, it is placed over the bounds and opened instead.
  auto* inEditor = new ProbeTextEntry("E", IRect(0, 0, 1, 1), log);
  g.AttachTextEntryControl(inEditor);
  log.clear();
  gain->SetPromptShowsParamLabel(false);
  g.PromptForValue(gain, IRect(10, 10, 60, 30), 0);
  EXPECT_EQ(g.mTextEntries.size(), 2u);
  EXPECT_EQ(Matching(log, "E:OpenForEditing"), (EventLog{"E:OpenForEditing 42.5"}));
  EXPECT_TRUE(inEditor->IsEditing());
  EXPECT_EQ(inEditor->GetDrawRect(), IRect(10, 10, 60, 30));
}

TEST_F(PromptTest, CommittedTextIsParsedIntoTheBoundParameter) {
  g.PromptForValue(gain, IRect(10, 10, 60, 30), 0);
  g.CommitTextEntry("75");
  EXPECT_DOUBLE_EQ(gain->GetValue(), 0.75);
  EXPECT_EQ(Matching(log, "Value"), (EventLog{"Value 0 0.75"}));
  EXPECT_DOUBLE_EQ(e.dlg.GetParam(0)->GetValue(), 75.0);

  log.clear();
  g.PromptForValue(gain, IRect(10, 10, 60, 30), 0);
  g.CommitTextEntry("250 dB");  // out of range: the parameter clamps
  EXPECT_DOUBLE_EQ(gain->GetValue(), 1.0);
  EXPECT_TRUE(Matching(log, "G:TextEntryDone").empty());

  // An unbound value: the text goes to the control as it is.
  log.clear();
  g.OpenTextEntry(*loose, ITextStyle(), IRect(10, 70, 60, 90), "abc", 0);
  ASSERT_EQ(g.mTextEntries.size(), 3u);
  EXPECT_EQ(g.mTextEntries[2].mParamIdx, -1);
  EXPECT_EQ(g.mTextEntries[2].mText, "abc");
  g.CommitTextEntry("xyz");
  EXPECT_EQ(log, (EventLog{"L:TextEntryDone xyz 0"}));
}

TEST_F(PromptTest, AParameterMenuAnsweredLaterOrWithNothing) {
  g.OnMouseDown({Pt(20, 20)});
  log.clear();
  g.mMenuAsync = true;
  g.PromptForValue(shape, IRect(10, 40, 60, 60), 0);
  ASSERT_EQ(g.mMenus.size(), 1u);
  EXPECT_FALSE(g.ControlIsCaptured());  // a menu releases the capture
  EXPECT_TRUE(log.empty());             // nothing until the platform answers
  IPopupMenu* menu = g.mMenus[0].mMenu;
  menu->SetChosenItemIdx(2);
  g.CommitPopupMenu(menu);
  EXPECT_EQ(log, (EventLog{"S:MenuSelection 2 0", "End 3"}));

  log.clear();
  g.PromptForValue(shape, IRect(10, 40, 60, 60), 0);
  g.mMenus.back().mMenu->SetChosenItemIdx(-1);
  g.CommitPopupMenu(g.mMenus.back().mMenu);
  EXPECT_EQ(log, (EventLog{"S:MenuSelection null 0", "End 3"}));
}

TEST_F(PromptTest, AContextMenuReportsTheChosenIndexWithoutEndingAGesture) {
  gain->mContextItems = 3;
  g.mMenuChoice = 2;
  g.OpenContextMenu(gain, 0, 15, 25);
  ASSERT_EQ(g.mMenus.size(), 1u);
  EXPECT_EQ(g.mMenus[0].mBounds, IRect(15, 25, 15, 25));
  EXPECT_EQ(g.mMenus[0].mItems.size(), 3u);
  EXPECT_EQ(log, (EventLog{"G:FillContextMenu", "G:ContextChoice 2"}));

  // A second menu starts empty, and choosing nothing reports -1.
  log.clear();
  g.mMenuChoice = -1;
  gain->mContextItems = 1;
  g.OpenContextMenu(gain, 0, 15, 25);
  ASSERT_EQ(g.mMenus.size(), 2u);
  EXPECT_EQ(g.mMenus[1].mItems.size(), 1u);
  EXPECT_EQ(log, (EventLog{"G:FillContextMenu", "G:ContextChoice -1"}));
}

// ---- Resizing.

class ResizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    e.dlg.SetSizeConstraints(200, 800, 100, 600);
    e.g.AttachCornerResizer(corner, false);
    e.g.OnMouseDown({Pt(20, 20)});
    g.mSharedLog = &log;
    log.clear();
  }

  TestEditor e{400, 300, 1.5f};
  EventLog& log = e.log;
  RecordingGfx& g = e.g;
  ProbeControl* a = e.Add("A", IRect(10, 10, 60, 30), 0);
  ProbeControl* corner = new ProbeControl("R", IRect(380, 280, 400, 300), log);
};

TEST_F(ResizeTest, AnUnchangedSizeDoesNothingAtAll) {
  g.Resize(400, 300, 1.5f);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(g.ControlIsCaptured(a));
  EXPECT_EQ(g.mPlatformResizes, 0);
  EXPECT_EQ(g.mDrawResizes, 0);
}

TEST_F(ResizeTest, AChangeIsAppliedAndAnnouncedInOrder) {
  g.SetLayoutOnResize(true);
  e.dlg.UseLayout();
  e.dlg.mAcceptResize = false;
  g.SetAllControlsClean();
  g.Resize(301, 201, 1.5f);
  EXPECT_FALSE(g.ControlIsCaptured());
  EXPECT_EQ(g.Width(), 301);
  EXPECT_EQ(g.Height(), 201);
  // Window: trunc(1 x trunc(301 x 1.5)) by trunc(1 x trunc(201 x 1.5)).
  EXPECT_EQ(log, (EventLog{"R:Rescale", "ResizeFromEditor 451 301", "PlatformResize 0", "A:Resize",
                           "R:Resize", "DrawResize", "Layout 301 201 1.5"}));
  EXPECT_TRUE(a->IsDirty());

  log.clear();
  e.dlg.mAcceptResize = true;
  g.Resize(320, 201, 1.5f);
  EXPECT_EQ(Matching(log, "PlatformResize"), (EventLog{"PlatformResize 1"}));
}

TEST_F(ResizeTest, SizeAndScaleAreClamped) {
  g.Resize(1000, 300, 1.5f);
  EXPECT_EQ(g.Width(), 800);
  EXPECT_EQ(g.Height(), 300);
  g.Resize(100, 50, 1.5f);
  EXPECT_EQ(g.Width(), 200);
  EXPECT_EQ(g.Height(), 100);
  g.Resize(400, 300, 5.f);  // at most twice the initial 1.5
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 3.f);
  g.Resize(400, 300, 0.1f);  // at least half
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 0.75f);
  EXPECT_EQ(Count(log, "ResizeFromEditor 300 225"), 1);
}

TEST_F(ResizeTest, TheWindowSizeTruncatesTwice) {
  g.SetScreenScale(1.25f);
  log.clear();
  g.Resize(301, 201, 1.5f);
  // trunc(1.25 x 451) = 563 and trunc(1.25 x 301) = 376, not trunc(1.25 x 451.5) = 564.
  EXPECT_EQ(Matching(log, "ResizeFromEditor"), (EventLog{"ResizeFromEditor 563 376"}));
}

TEST_F(ResizeTest, AScreenScaleChangeRescalesEverything) {
  g.SetAllControlsClean();
  g.SetScreenScale(2.f);
  EXPECT_FLOAT_EQ(g.GetScreenScale(), 2.f);
  EXPECT_FLOAT_EQ(g.GetTotalScale(), 3.f);
  EXPECT_EQ(log, (EventLog{"ResizeFromEditor 1200 900", "PlatformResize 1", "A:Rescale",
                           "R:Rescale", "DrawResize"}));
  EXPECT_TRUE(a->IsDirty());
  EXPECT_EQ(g.Width(), 400);
}

}  // namespace
}  // namespace kantele::gfx::test

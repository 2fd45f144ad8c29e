// The text label: bounds fitted to the measured text, when it is marked dirty, formatted
// labels, and how it draws (not under the text entry that edits it).

#include <gtest/gtest.h>

#include "kantele/gfx/controls/ITextControl.h"
#include "kantele/gfx/support/RecordingGfx.h"

namespace kantele::gfx::test {
namespace {

class TextControlTest : public ::testing::Test {
 protected:
  // The recording back end measures each byte half the size wide and the size high: "abcd"
  // at size 10 is 20 x 10.
  ITextControl* Attach(const char* text, const IArgb& bg = kColorTransparent) {
    auto* label = new ITextControl(IRect(0, 0, 100, 40), text, style, bg);
    e.g.AttachControl(label);
    return label;
  }

  TestEditor e;
  RecordingGfx& g = e.g;
  ITextStyle style{10.f, kColorRed, "Mono"};
};

TEST_F(TextControlTest, BoundsFollowTheMeasuredTextAboutTheOldCentre) {
  ITextControl* label = Attach("abcd");
  EXPECT_EQ(label->GetDrawRect(), IRect(40, 15, 60, 25));
  EXPECT_EQ(label->GetTargetRect(), IRect(40, 15, 60, 25));
  EXPECT_EQ(g.FindControlAt(50, 20, false), nullptr);  // a label is never hit

  label->SetLabel("abcdefgh");
  EXPECT_EQ(label->GetDrawRect(), IRect(30, 15, 70, 25));
  // The empty text has no size, and the centre survives it.
  label->ClearLabel();
  EXPECT_EQ(label->GetDrawRect(), IRect(50, 20, 50, 20));
  label->SetLabel("ab");
  EXPECT_EQ(label->GetDrawRect(), IRect(45, 15, 55, 25));
}

TEST_F(TextControlTest, LabelsMarkDirtyOnChangeAndFormattedOnesAreCutWhole) {
  ITextControl* label = Attach("abcd");
  g.SetAllControlsClean();
  label->SetLabel("abcd");
  EXPECT_FALSE(label->IsDirty());
  label->SetLabel(nullptr);
  EXPECT_STREQ(label->GetLabel(), "");
  EXPECT_TRUE(label->IsDirty());

  label->SetLabelFormatted(5, "%d-%s", 12, "abcdef");
  EXPECT_STREQ(label->GetLabel(), "12-ab");
  EXPECT_EQ(label->GetDrawRect().W(), 25.f);                      // refitted like any label
  label->SetLabelFormatted(5, "%s", "\xC3\xA9\xC3\xA9\xC3\xA9");  // three 2-byte characters
  EXPECT_STREQ(label->GetLabel(), "\xC3\xA9\xC3\xA9");
  label->SetClean();
  label->SetLabelFormatted(5, "%s", "\xC3\xA9\xC3\xA9");
  EXPECT_TRUE(label->IsDirty());  // formatting always marks

  const char* noFormat = nullptr;
  label->SetLabelFormatted(8, noFormat);
  EXPECT_STREQ(label->GetLabel(), "");
  label->SetLabelFormatted(-3, "x");
  EXPECT_STREQ(label->GetLabel(), "");
}

TEST_F(TextControlTest, DrawsItsBackgroundAndTextButNoTextWhileBeingEdited) {
  ITextControl* label = Attach("v1.2", IArgb(255, 1, 2, 3));
  label->SetBlend(IBlending(0.5f));
  g.ClearDrawing();
  label->Draw(g);
  ASSERT_EQ(g.CallsOf("Fill").size(), 1u);
  EXPECT_EQ(g.CallsOf("Fill")[0].mColor, IArgb(255, 1, 2, 3));
  EXPECT_FLOAT_EQ(g.CallsOf("Fill")[0].mWeight, 0.5f);
  ASSERT_EQ(g.CallsOf("Text").size(), 1u);
  const DrawCall text = g.CallsOf("Text")[0];
  EXPECT_EQ(text.mText, "v1.2");
  EXPECT_EQ(text.mRect, label->GetDrawRect());
  EXPECT_EQ(text.mColor, kColorRed);
  EXPECT_FLOAT_EQ(text.mWeight, 0.5f);

  // While its text is typed, the entry over it shows the text; the label keeps its background.
  g.OpenTextEntry(*label, style, label->GetDrawRect(), "v1.2", 0);
  g.ClearDrawing();
  label->Draw(g);
  EXPECT_EQ(g.CallsOf("Fill").size(), 1u);
  EXPECT_TRUE(g.CallsOf("Text").empty());

  g.CommitTextEntry("v1.3");
  g.ClearDrawing();
  label->Draw(g);
  EXPECT_EQ(g.CallsOf("Text").size(), 1u);
}

}  // namespace
}  // namespace kantele::gfx::test

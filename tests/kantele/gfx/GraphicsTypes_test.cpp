#include "kantele/gfx/GraphicsTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "kantele/gfx/IBitmap.h"
#include "kantele/gfx/IPopupMenu.h"
#include "kantele/gfx/ITransform.h"

namespace kantele {
namespace gfx {
namespace {

TEST(IArgb, DefaultNamedColoursAndClamping) {
  EXPECT_EQ(IArgb(), kColorBlack);
  EXPECT_EQ(kColorRed.B, 0) << "components are in the order A, R, G, B";
  EXPECT_EQ(kColorTransparent.A, 0);
  EXPECT_EQ(IArgb(300, -4, 128, 256), IArgb(255, 0, 128, 255));

  EXPECT_FLOAT_EQ(BlendWeight(nullptr), 1.f);
  const IBlending half(0.5f);
  EXPECT_FLOAT_EQ(BlendWeight(&half), 0.5f);
}

TEST(ITextStyle, FontNamesDefaultAndAreCutNeverOverrun) {
  EXPECT_STREQ(ITextStyle().mFont, "Roboto-Regular");
  EXPECT_STREQ(ITextStyle(20.f, kColorRed, nullptr).mFont, "Roboto-Regular");

  const std::string longName(200, 'f');
  const ITextStyle s(18.f, kColorRed, longName.c_str(), kAlignFar);
  EXPECT_EQ(std::string(s.mFont), longName.substr(0, 63));
  EXPECT_FLOAT_EQ(s.mSize, 18.f) << "the field after the name is intact";
  EXPECT_EQ(s.mAlign, kAlignFar);

  // A two-byte character straddling the 63-byte limit is left out whole...
  const std::string straddling = std::string(62, 'a') + "\xC3\xA9z";
  EXPECT_EQ(std::string(ITextStyle(12.f, kColorBlack, straddling.c_str()).mFont),
            std::string(62, 'a'));
  // ...and kept when it ends exactly at the limit.
  const std::string fitting = std::string(61, 'b') + "\xC3\xA9";
  EXPECT_EQ(std::string(ITextStyle(12.f, kColorBlack, fitting.c_str()).mFont), fitting);
}

TEST(KeyPress, CopiesOneCharacterWithoutSplittingIt) {
  const KeyPress a("a", 65, true, false, true);
  EXPECT_STREQ(a.utf8, "a");
  EXPECT_EQ(a.VK, 65);
  EXPECT_TRUE(a.S && !a.C && a.A);

  const char* clef = "\xF0\x9D\x84\x9E";  // four bytes
  EXPECT_STREQ(KeyPress(clef, 0, false, false, false).utf8, clef);
  EXPECT_STREQ(KeyPress("abcdef", 0, false, false, false).utf8, "abcd");
  // "ab" then a three-byte euro sign: four bytes would split the euro.
  EXPECT_STREQ(KeyPress("ab\xE2\x82\xAC", 0, false, false, false).utf8, "ab");
  EXPECT_STREQ(KeyPress(nullptr, 13, false, true, false).utf8, "");
}

void ExpectMaps(const ITransform& t, double x, double y, double ex, double ey) {
  t.TransformPoint(x, y);
  EXPECT_NEAR(x, ex, 1e-6);
  EXPECT_NEAR(y, ey, 1e-6);
}

TEST(ITransform, RotateTranslateScaleCompose) {
  ExpectMaps(ITransform().Rotate(90), 1, 0, 0, 1);
  ExpectMaps(ITransform().Rotate(90), 0, 1, -1, 0);
  // The last call acts on the point first: rotate (1, 0) to (0, 1), then move by (10, 0)...
  ExpectMaps(ITransform().Translate(10, 0).Rotate(90), 1, 0, 10, 1);
  // ...and the other way round: move (1, 0) to (11, 0), then rotate it.
  ExpectMaps(ITransform().Rotate(90).Translate(10, 0), 1, 0, 0, 11);
  // A translation is measured in the scaled space.
  ExpectMaps(ITransform().Scale(2, 3).Translate(1, 1), 0, 0, 2, 3);
  ExpectMaps(ITransform().Scale(2, 3).Rotate(90), 1, 0, 0, 3);

  // pi as the float 3.1415927 leaves sin ~ -8.74e-8 after a half turn; an exact pi ~1e-16.
  EXPECT_NEAR(ITransform().Rotate(180).yx, -8.742278e-8, 1e-13);
}

TEST(IBitmapHandle, SizesAndFrames) {
  APIBitmap strip(7, 246, 2460, 1, 1.f);
  const IBitmapHandle knob(&strip, "knob.png", 10, false);
  EXPECT_EQ(knob.H(), 2460);
  EXPECT_EQ(knob.FW(), 246);
  EXPECT_EQ(knob.FH(), 246);

  APIBitmap wide(1, 2460, 246, 1, 1.f);
  const IBitmapHandle row(&wide, "row", 10, true);
  EXPECT_EQ(row.FW(), 246);
  EXPECT_EQ(row.FH(), 246);

  APIBitmap doubled(2, 201, 101, 2, 2.f);
  EXPECT_EQ(IBitmapHandle(&doubled, "x").W(), 100);
  EXPECT_EQ(IBitmapHandle(&doubled, "x").H(), 50);

  APIBitmap badScale(3, 40, 20, 0, 1.f);
  const IBitmapHandle guarded(&badScale, nullptr, 0);
  EXPECT_EQ(guarded.W(), 40) << "a scale of 0 counts as 1";
  EXPECT_EQ(guarded.FH(), 20) << "at least one frame";

  const IBitmapHandle none(nullptr, "missing", 4);
  EXPECT_FALSE(none.IsValid());
}

TEST(IPopupMenu, ItemsChoiceAndChecks) {
  IPopupMenu menu("Oversampling");
  IPopupMenuItem* off = menu.AddItem("Off");
  menu.AddSeparator();
  IPopupMenuItem* x2 = menu.AddItem("2x", IPopupMenuItem::kDisabled, 42);
  ASSERT_EQ(menu.NItems(), 3);
  EXPECT_EQ(menu.GetItem(0), off);
  EXPECT_TRUE(menu.GetItem(1)->GetIsSeparator());
  EXPECT_EQ(menu.GetItem(3), nullptr);
  EXPECT_EQ(menu.GetItem(-1), nullptr);

  EXPECT_EQ(menu.GetChosenItem(), nullptr) << "nothing chosen yet";
  menu.SetChosenItemIdx(2);
  EXPECT_EQ(menu.GetChosenItem(), x2);

  menu.CheckItem(2, true);
  EXPECT_TRUE(menu.IsItemChecked(2));
  menu.CheckItem(2, false);
  EXPECT_EQ(x2->GetFlags(), IPopupMenuItem::kDisabled) << "other bits are kept";
}

TEST(IPopupMenu, SubmenusFunctionsClearAndMove) {
  IPopupMenu menu("Root", 2, true);
  auto sub = std::make_unique<IPopupMenu>("Sub");
  IPopupMenu* subPtr = sub.get();
  IPopupMenuItem* opener = menu.AddItem("More", std::move(sub));
  EXPECT_EQ(opener->GetSubmenu(), subPtr);

  menu.ExecFunction();  // no function: nothing happens
  IPopupMenu* seen = nullptr;
  menu.SetFunction([&seen](IPopupMenu* m) { seen = m; });
  IPopupMenu moved(std::move(menu));
  EXPECT_EQ(moved.GetItem(0), opener) << "items stay where they are";
  moved.ExecFunction();
  EXPECT_EQ(seen, &moved);

  moved.SetItemsPerColumn(8);
  moved.Clear();
  EXPECT_EQ(moved.NItems(), 0);
  EXPECT_EQ(moved.GetPrefix(), 0);
  EXPECT_FALSE(moved.GetMultiCheck());
  EXPECT_EQ(moved.GetItemsPerColumn(), 8);
  EXPECT_STREQ(moved.GetRootTitle(), "Root");
}

}  // namespace
}  // namespace gfx
}  // namespace kantele

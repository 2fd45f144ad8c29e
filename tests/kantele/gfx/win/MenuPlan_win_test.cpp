#include "kantele/gfx/platform/win/MenuPlan_win.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kantele {
namespace gfx {
namespace {

using Entry = NativeMenuPlan::Entry;

std::unique_ptr<IPopupMenu> MenuOf(std::initializer_list<const char*> texts) {
  auto menu = std::make_unique<IPopupMenu>();
  for (const char* t : texts) menu->AddItem(t);
  return menu;
}

TEST(MenuPlan, ItemText) {
  EXPECT_EQ(NativeMenuItemText("Gain", 2, 9), "09: Gain");
  EXPECT_EQ(NativeMenuItemText("Gain", 1, 9) + NativeMenuItemText("Gain", 3, 12),
            "9: Gain012: Gain");
  EXPECT_EQ(NativeMenuItemText("Gain", 4, 9), "Gain");
  EXPECT_EQ(NativeMenuItemText("Drive & Tone", 0, 1), "Drive && Tone");

  const std::string x80(80, 'x');
  EXPECT_EQ(NativeMenuItemText(x80.c_str(), 0, 1), x80) << "cut only when numbered";
  EXPECT_EQ(NativeMenuItemText(x80.c_str(), 2, 7), "07: " + std::string(46, 'x'));
  EXPECT_EQ(NativeMenuItemText(std::string(60, '&').c_str(), 1, 1), "1: " + std::string(94, '&'))
      << "cut first, then doubled";
  EXPECT_EQ(NativeMenuItemText((std::string(46, 'x') + "\xC3\xA9").c_str(), 1, 1),
            "1: " + std::string(46, 'x'))
      << "a character straddling byte 50 goes whole";
}

TEST(MenuPlan, ColumnBreaks) {
  for (int j = 1; j <= 12; ++j) EXPECT_EQ(NativeMenuColumnBreak(j, 12, 5), j == 6 || j == 11) << j;
  for (int j = 1; j <= 200; ++j) EXPECT_FALSE(NativeMenuColumnBreak(j, 200, 5)) << j;
  EXPECT_TRUE(NativeMenuColumnBreak(156, 159, 5));
  EXPECT_FALSE(NativeMenuColumnBreak(6, 12, 0) || NativeMenuColumnBreak(6, 12, -5));
}

TEST(MenuPlan, EntriesAndFlags) {
  IPopupMenu menu("", 1);
  menu.AddItem("Heading", IPopupMenuItem::kTitle);
  menu.AddSeparator();
  menu.AddItem("Off", IPopupMenuItem::kDisabled | IPopupMenuItem::kChecked);
  // A separator holding a submenu is only a line: its submenu takes no ids.
  menu.AddItem("", MenuOf({"hidden"}))->SetFlags(IPopupMenuItem::kSeparator);
  menu.AddItem("Sub", MenuOf({"a"}));
  menu.SetItemsPerColumn(3);

  const NativeMenuPlan plan = PlanNativeMenu(menu);
  std::string shape;
  for (const Entry& e : plan.mEntries) {
    shape += std::to_string(e.mKind) + std::to_string(e.mId) + (e.mColumnBreak ? "B" : "") +
             (e.mGrayed ? "G" : "") + (e.mDisabled ? "D" : "") + (e.mChecked ? "C" : "") +
             (e.mSubmenu ? "S" : "") + e.mText + " ";
  }
  EXPECT_EQ(shape, "00D1: Heading 1-1 02GC3: Off 1-1B 2-1S5: Sub ");
  EXPECT_EQ(plan.mEntries[4].mSubmenu->mFirstId, 5);
  int index = 0;
  EXPECT_EQ(ResolveNativeMenuId(menu, 5, index), menu.GetItem(4)->GetSubmenu());
  EXPECT_EQ(index, 0);
  EXPECT_EQ(ResolveNativeMenuId(menu, 6, index), nullptr);
  EXPECT_EQ(index, -1);
}

// Every item id of a plan resolves to the entry's own menu and index.
void ExpectIdsResolve(const NativeMenuPlan& plan, IPopupMenu& root) {
  for (size_t i = 0; i < plan.mEntries.size(); ++i) {
    const Entry& e = plan.mEntries[i];
    if (e.mSubmenu) ExpectIdsResolve(*e.mSubmenu, root);
    int index = -1;
    const IPopupMenu* found =
        e.mKind == Entry::kItem ? ResolveNativeMenuId(root, e.mId, index) : plan.mMenu;
    EXPECT_EQ(found, plan.mMenu) << e.mText;
    EXPECT_EQ(index, e.mKind == Entry::kItem ? static_cast<int>(i) : -1) << e.mText;
  }
}

TEST(MenuPlan, IdsAndResolution) {
  IPopupMenu menu;
  menu.AddItem("a");
  menu.AddItem("b", MenuOf({"b1", "b2", "b3"}));
  menu.AddItem("c");
  menu.AddItem("d");
  const NativeMenuPlan plan = PlanNativeMenu(menu);
  const NativeMenuPlan& b = *plan.mEntries[1].mSubmenu;
  EXPECT_EQ(plan.mEntries[3].mId, 3);
  EXPECT_EQ(b.mEntries[0].mId + b.mEntries[1].mId * 10 + b.mEntries[2].mId * 100, 654);
  int index = -1;
  EXPECT_EQ(ResolveNativeMenuId(menu, 5, index), menu.GetItem(1)->GetSubmenu());
  EXPECT_EQ(index, 1);
  for (int unknown : {7, -1, 1 << 30}) {
    EXPECT_EQ(ResolveNativeMenuId(menu, unknown, index), nullptr);
    EXPECT_EQ(index, -1);
  }

  // Depth first: x's submenu takes 2 and 3, its nested one 4 and 5, then y's 6.
  IPopupMenu nested;
  auto inner = MenuOf({"x1"});
  inner->AddItem("x2", MenuOf({"p", "q"}));
  nested.AddItem("x", std::move(inner));
  nested.AddItem("y", MenuOf({"r"}));
  const NativeMenuPlan deep = PlanNativeMenu(nested);
  const NativeMenuPlan& x = *deep.mEntries[0].mSubmenu;
  EXPECT_EQ(x.mFirstId * 100 + x.mEntries[1].mSubmenu->mFirstId * 10 +
                deep.mEntries[1].mSubmenu->mFirstId,
            246);
  ExpectIdsResolve(deep, nested);
  ExpectIdsResolve(plan, menu);
}

}  // namespace
}  // namespace gfx
}  // namespace kantele

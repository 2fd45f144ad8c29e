#include "kantele/gfx/platform/win/MenuPlan_win.h"

#include <cstdio>
#include <utility>

#include "kantele/Text.h"

namespace kantele {
namespace gfx {
namespace {

constexpr size_t kNumberedTextMaxBytes = 50;
// Menus this long are left in one column: the system lays them out in screen-high columns.
constexpr int kColumnsBelowItems = 160;

// The submenu an item opens. Separators open none, whatever they hold, so planning and id
// resolution skip the same submenus.
IPopupMenu* SubmenuOf(const IPopupMenuItem& item) {
  return item.GetIsSeparator() ? nullptr : item.GetSubmenu();
}

// Plans `menu` with its items at ids from `nextId`, which ends past every id given.
void Plan(const IPopupMenu& menu, int& nextId, NativeMenuPlan& plan) {
  const int count = menu.NItems();
  plan.mMenu = &menu;
  plan.mFirstId = nextId;
  nextId += count;  // before any submenu, which takes the ranges after this one
  plan.mEntries.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const IPopupMenuItem& item = *menu.GetItem(i);
    NativeMenuPlan::Entry entry;
    entry.mColumnBreak = NativeMenuColumnBreak(i + 1, count, menu.GetItemsPerColumn());
    if (item.GetIsSeparator()) {
      entry.mKind = NativeMenuPlan::Entry::kSeparator;
    } else {
      entry.mText = NativeMenuItemText(item.GetText(), menu.GetPrefix(), i + 1);
      entry.mGrayed = !item.GetEnabled();
      entry.mDisabled = item.GetIsTitle();
      entry.mChecked = item.GetChecked();
      if (const IPopupMenu* submenu = SubmenuOf(item)) {
        entry.mKind = NativeMenuPlan::Entry::kSubmenu;
        entry.mSubmenu = std::make_unique<NativeMenuPlan>();
        Plan(*submenu, nextId, *entry.mSubmenu);
      } else {
        entry.mId = plan.mFirstId + i;
      }
    }
    plan.mEntries.push_back(std::move(entry));
  }
}

// Searches `menu`, whose items have the ids from `firstId`, then its submenus depth first,
// which take their ranges from `nextId` on as `Plan` gave them.
IPopupMenu* Resolve(IPopupMenu& menu, int firstId, int& nextId, int id, int& index) {
  const int count = menu.NItems();
  if (id >= firstId && id - firstId < count) {
    index = id - firstId;
    return &menu;
  }
  for (int i = 0; i < count; ++i) {
    IPopupMenu* submenu = SubmenuOf(*menu.GetItem(i));
    if (!submenu) continue;
    const int subFirst = nextId;
    nextId += submenu->NItems();
    if (IPopupMenu* found = Resolve(*submenu, subFirst, nextId, id, index)) return found;
  }
  return nullptr;
}

}  // namespace

NativeMenuPlan PlanNativeMenu(const IPopupMenu& menu) {
  NativeMenuPlan plan;
  int nextId = 0;
  Plan(menu, nextId, plan);
  return plan;
}

std::string NativeMenuItemText(const char* text, int prefixMode, int j) {
  std::string shown;
  if (prefixMode >= 1 && prefixMode <= 3) {
    char number[24];
    std::snprintf(number, sizeof(number), "%0*d: ", prefixMode, j);
    shown = number;
    shown += text ? text : "";
    shown.resize(Utf8CutLength(shown.c_str(), kNumberedTextMaxBytes));
  } else {
    shown = text ? text : "";
  }
  std::string out;
  out.reserve(shown.size());
  for (const char c : shown) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

bool NativeMenuColumnBreak(int j, int count, int itemsPerColumn) {
  return count < kColumnsBelowItems && itemsPerColumn > 0 && j > 1 && (j - 1) % itemsPerColumn == 0;
}

IPopupMenu* ResolveNativeMenuId(IPopupMenu& menu, int id, int& index) {
  index = -1;
  if (id < 0) return nullptr;
  int nextId = menu.NItems();
  return Resolve(menu, 0, nextId, id, index);
}

}  // namespace gfx
}  // namespace kantele

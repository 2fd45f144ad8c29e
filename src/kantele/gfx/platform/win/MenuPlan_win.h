#pragma once

// The Windows editor's popup-menu plan: how a popup menu becomes the system's menu (entries,
// ids, texts, columns) and which item a chosen id names. No system header: built and tested on
// every platform.

#include <memory>
#include <string>
#include <vector>

#include "kantele/gfx/IPopupMenu.h"

namespace kantele {
namespace gfx {

/// How a popup menu becomes a platform's native menu: the entries in order with their ids,
/// texts and flags, submenus built depth first. A menu's items take the ids first .. first +
/// count - 1; the counter moves past them before any submenu is planned, so submenus take the
/// following ranges in the order they are met. Platform code turns a plan into system menu
/// calls; the rules themselves are platform-independent.
///
/// Every item takes an id slot, separators and submenu entries included, so the ids of a menu
/// follow from item counts alone and `ResolveNativeMenuId` finds a choice without the plan. A
/// separator is only a dividing line: a submenu it may hold is not planned and takes no ids.
struct NativeMenuPlan {
  struct Entry {
    enum EKind { kItem, kSeparator, kSubmenu };
    EKind mKind = kItem;
    /// The text to show (`NativeMenuItemText`); empty for separators.
    std::string mText;
    /// The id a choice of this entry reports (items only; -1 otherwise).
    int mId = -1;
    bool mColumnBreak = false;  ///< starts a new column (`NativeMenuColumnBreak`), any kind
    bool mGrayed = false;       ///< disabled item
    bool mDisabled = false;     ///< title item: not selectable, not greyed
    bool mChecked = false;      ///< check-marked item
    std::unique_ptr<NativeMenuPlan> mSubmenu;  ///< kSubmenu only
  };

  const IPopupMenu* mMenu = nullptr;  ///< the menu planned; the plan must not outlive it
  int mFirstId = 0;                   ///< the id of its first item
  std::vector<Entry> mEntries;
};

/// The plan of `menu` with ids counted from 0. [main-thread] Allocates.
NativeMenuPlan PlanNativeMenu(const IPopupMenu& menu);

/// The text of item `j` (1-based) for prefix mode 0 (none), 1 ("%1d: "), 2 ("%02d: ") or 3
/// ("%03d: "); any other mode numbers nothing. Null `text` is empty. A numbered text is cut to
/// 50 bytes, never inside a UTF-8 character; then every "&" is doubled so that it shows
/// literally instead of marking a mnemonic. [any-thread] Allocates.
std::string NativeMenuItemText(const char* text, int prefixMode, int j);

/// Whether item `j` (1-based) of a menu of `count` items with `itemsPerColumn` per column
/// starts a new column: only in menus of fewer than 160 items, when itemsPerColumn > 0 and
/// j - 1 is a non-zero multiple of it. [any-thread]
bool NativeMenuColumnBreak(int j, int count, int itemsPerColumn);

/// The (sub)menu of `menu` whose id range holds `id`, searched in the order the ids were
/// given, with the item's index in it; null (and `index` -1) when no item has that id. Agrees
/// with the ids `PlanNativeMenu` gives. [main-thread] Never allocates.
IPopupMenu* ResolveNativeMenuId(IPopupMenu& menu, int id, int& index);

}  // namespace gfx
}  // namespace kantele

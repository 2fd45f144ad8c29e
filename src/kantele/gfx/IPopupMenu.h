#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kantele {
namespace gfx {

class IPopupMenu;

/// One entry of a popup menu: its text, an optional submenu it owns, flag bits and a tag
/// the owner chooses.
///
/// [main-thread] Move-only; constructing allocates.
class IPopupMenuItem {
 public:
  /// Bits of `GetFlags`.
  enum EFlags : int32_t {
    kNoFlags = 0,
    /// Shown but cannot be chosen.
    kDisabled = 1,
    /// A heading: shown, never chosen.
    kTitle = 2,
    /// Shown with a check mark.
    kChecked = 4,
    /// A dividing line; its text is not shown.
    kSeparator = 8,
  };

  /// Null `text` is empty.
  explicit IPopupMenuItem(const char* text, int32_t flags = kNoFlags, int32_t tag = -1);
  /// An entry opening `submenu`, which it takes over.
  IPopupMenuItem(const char* text, std::unique_ptr<IPopupMenu> submenu);
  ~IPopupMenuItem();
  IPopupMenuItem(IPopupMenuItem&&) noexcept;
  IPopupMenuItem& operator=(IPopupMenuItem&&) noexcept;

  const char* GetText() const { return mText.c_str(); }
  /// Null `text` is empty. Allocates.
  void SetText(const char* text) { mText = text ? text : ""; }

  /// The submenu, owned by this item; null for none.
  IPopupMenu* GetSubmenu() const { return mSubmenu.get(); }

  int32_t GetFlags() const { return mFlags; }
  void SetFlags(int32_t flags) { mFlags = flags; }
  bool GetEnabled() const { return (mFlags & kDisabled) == 0; }
  bool GetChecked() const { return (mFlags & kChecked) != 0; }
  bool GetIsTitle() const { return (mFlags & kTitle) != 0; }
  bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }
  /// Sets or clears `kChecked`, leaving the other bits.
  void SetChecked(bool checked) { mFlags = checked ? (mFlags | kChecked) : (mFlags & ~kChecked); }

  /// The owner's tag; -1 by default.
  int32_t GetTag() const { return mTag; }
  void SetTag(int32_t tag) { mTag = tag; }

 private:
  std::string mText;
  std::unique_ptr<IPopupMenu> mSubmenu;
  int32_t mFlags = kNoFlags;
  int32_t mTag = -1;
};

/// A popup menu: a list of items (each possibly opening a submenu), how they are laid out,
/// which one was chosen, and what to call once the choice is made. The menu owns its items
/// and their submenus; item pointers it hands out stay valid until the item is removed
/// (`Clear`) or the menu destroyed, also across a move of the menu.
///
/// [main-thread] Move-only. Adding items allocates; nothing locks.
class IPopupMenu {
 public:
  /// Called once a choice is made (or the menu is dismissed) with the menu itself.
  using CompletionFunc = std::function<void(IPopupMenu*)>;

  /// A menu with no items and nothing chosen. `prefix` numbers the items (see
  /// `SetPrefix`); with `multiCheck` several items may be checked at once. Null `rootTitle`
  /// is empty.
  explicit IPopupMenu(const char* rootTitle = "", int32_t prefix = 0, bool multiCheck = false);
  ~IPopupMenu();
  IPopupMenu(IPopupMenu&&) noexcept;
  IPopupMenu& operator=(IPopupMenu&&) noexcept;
  IPopupMenu(const IPopupMenu&) = delete;
  IPopupMenu& operator=(const IPopupMenu&) = delete;

  /// Appends an item and returns it (owned by the menu).
  IPopupMenuItem* AddItem(const char* text, int32_t flags = IPopupMenuItem::kNoFlags,
                          int32_t tag = -1);
  /// Appends an item opening `submenu`, which the item takes over, and returns it.
  IPopupMenuItem* AddItem(const char* text, std::unique_ptr<IPopupMenu> submenu);
  /// Appends a dividing line and returns it.
  IPopupMenuItem* AddSeparator();

  int NItems() const { return static_cast<int>(mMenuItems.size()); }
  /// The item at `index`, or null outside [0, NItems()).
  IPopupMenuItem* GetItem(int index) const;

  /// The chosen item, or null when nothing is chosen or the index is out of range.
  IPopupMenuItem* GetChosenItem() const { return GetItem(mChosenItemIdx); }
  /// The chosen index, -1 for nothing.
  int32_t GetChosenItemIdx() const { return mChosenItemIdx; }
  /// -1 (or any index without an item) means nothing is chosen.
  void SetChosenItemIdx(int32_t index) { mChosenItemIdx = index; }

  /// Sets or clears the check mark of item `index`; an index without an item is ignored.
  void CheckItem(int index, bool checked);
  /// False for an index without an item.
  bool IsItemChecked(int index) const;

  /// Numbering shown before each item: 0 none, or 1, 2 or 3 digits.
  int32_t GetPrefix() const { return mPrefix; }
  void SetPrefix(int32_t prefix) { mPrefix = prefix; }

  /// Items per column; 0 or less puts all items in one column.
  int32_t GetItemsPerColumn() const { return mItemsPerColumn; }
  void SetItemsPerColumn(int32_t n) { mItemsPerColumn = n; }

  bool GetMultiCheck() const { return mCanMultiCheck; }
  void SetMultiCheck(bool multiCheck) { mCanMultiCheck = multiCheck; }

  /// Replaces the completion function; an empty one means nothing is called.
  void SetFunction(CompletionFunc func) { mMenuFunction = std::move(func); }
  /// Calls the completion function with this menu, if there is one.
  void ExecFunction();

  const char* GetRootTitle() const { return mRootTitle.c_str(); }
  /// Null `title` is empty. Allocates.
  void SetRootTitle(const char* title) { mRootTitle = title ? title : ""; }

  /// Deletes every item (and its submenu) and resets the prefix to 0 and multi-check to
  /// false. The columns, chosen index, completion function and title are kept.
  void Clear();

 private:
  int32_t mItemsPerColumn = 0;
  int32_t mPrefix = 0;
  int32_t mChosenItemIdx = -1;
  bool mCanMultiCheck = false;
  std::vector<std::unique_ptr<IPopupMenuItem>> mMenuItems;
  CompletionFunc mMenuFunction;
  std::string mRootTitle;
};

}  // namespace gfx
}  // namespace kantele

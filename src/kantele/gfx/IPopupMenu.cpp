#include "kantele/gfx/IPopupMenu.h"

#include <utility>

namespace kantele {
namespace gfx {

// The item's special members live here, where IPopupMenu is complete, because the item
// owns a submenu through a unique_ptr.
IPopupMenuItem::IPopupMenuItem(const char* text, int32_t flags, int32_t tag)
    : mText(text ? text : ""), mFlags(flags), mTag(tag) {}

IPopupMenuItem::IPopupMenuItem(const char* text, std::unique_ptr<IPopupMenu> submenu)
    : mText(text ? text : ""), mSubmenu(std::move(submenu)) {}

IPopupMenuItem::~IPopupMenuItem() = default;
IPopupMenuItem::IPopupMenuItem(IPopupMenuItem&&) noexcept = default;
IPopupMenuItem& IPopupMenuItem::operator=(IPopupMenuItem&&) noexcept = default;

IPopupMenu::IPopupMenu(const char* rootTitle, int32_t prefix, bool multiCheck)
    : mPrefix(prefix), mCanMultiCheck(multiCheck), mRootTitle(rootTitle ? rootTitle : "") {}

IPopupMenu::~IPopupMenu() = default;
IPopupMenu::IPopupMenu(IPopupMenu&&) noexcept = default;
IPopupMenu& IPopupMenu::operator=(IPopupMenu&&) noexcept = default;

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int32_t flags, int32_t tag) {
  mMenuItems.push_back(std::make_unique<IPopupMenuItem>(text, flags, tag));
  return mMenuItems.back().get();
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, std::unique_ptr<IPopupMenu> submenu) {
  mMenuItems.push_back(std::make_unique<IPopupMenuItem>(text, std::move(submenu)));
  return mMenuItems.back().get();
}

IPopupMenuItem* IPopupMenu::AddSeparator() { return AddItem("", IPopupMenuItem::kSeparator); }

IPopupMenuItem* IPopupMenu::GetItem(int index) const {
  if (index < 0 || index >= NItems()) return nullptr;
  return mMenuItems[static_cast<size_t>(index)].get();
}

void IPopupMenu::CheckItem(int index, bool checked) {
  if (IPopupMenuItem* item = GetItem(index)) item->SetChecked(checked);
}

bool IPopupMenu::IsItemChecked(int index) const {
  const IPopupMenuItem* item = GetItem(index);
  return item && item->GetChecked();
}

void IPopupMenu::ExecFunction() {
  if (mMenuFunction) mMenuFunction(this);
}

void IPopupMenu::Clear() {
  mPrefix = 0;
  mCanMultiCheck = false;
  mMenuItems.clear();
}

}  // namespace gfx
}  // namespace kantele

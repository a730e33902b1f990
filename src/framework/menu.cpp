#include "framework/menu.h"

namespace vantrel {

MenuItem* FindMenuItem(MenuItem& root, std::string_view name) {
  if (std::string_view(root.name) == name) return &root;
  for (MenuItem& child : root.children) {
    if (MenuItem* found = FindMenuItem(child, name)) return found;
  }
  return nullptr;
}

static const MenuItem* FindChoosable(const MenuItem& item, uint32_t id) {
  if (!item.visible || !item.enabled) return nullptr;
  if (item.id == id) return &item;
  for (const MenuItem& child : item.children) {
    if (const MenuItem* found = FindChoosable(child, id)) return found;
  }
  return nullptr;
}

const MenuItem* FindChoosableMenuItem(const MenuItem& root, uint32_t id) {
  if (id == 0) return nullptr;
  for (const MenuItem& topLevel : root.children) {
    for (const MenuItem& child : topLevel.children) {
      if (const MenuItem* found = FindChoosable(child, id)) return found;
    }
  }
  return nullptr;
}

static void AssignIds(MenuItem& item, uint32_t& next) {
  if (item.children.empty() && !item.IsSeparator()) item.id = next++;
  for (MenuItem& child : item.children) AssignIds(child, next);
}

void AssignMenuIds(MenuItem& root, uint32_t first) { AssignIds(root, first); }

static void AppendFlags(const MenuItem& item, std::vector<bool>& flags) {
  for (const MenuItem& child : item.children) {
    flags.push_back(child.visible);
    flags.push_back(child.enabled);
    AppendFlags(child, flags);
  }
}

// Compares without building a second list: this runs on every popup.
static bool SameFlags(const MenuItem& item, const std::vector<bool>& flags, size_t& at) {
  for (const MenuItem& child : item.children) {
    if (at + 2 > flags.size() || flags[at] != child.visible || flags[at + 1] != child.enabled) return false;
    at += 2;
    if (!SameFlags(child, flags, at)) return false;
  }
  return true;
}

MenuHandle KeptPopupMenu::For(const MenuItem& popup) {
  size_t compared = 0;
  if (menu_ != nullptr && source_ == &popup && SameFlags(popup, flags_, compared) && compared == flags_.size()) {
    return menu_;
  }
  Forget();
  menu_ = os_.CreatePopupMenu(popup);
  source_ = &popup;
  AppendFlags(popup, flags_);
  return menu_;
}

void KeptPopupMenu::Forget() {
  if (menu_ != nullptr) os_.DestroyMenu(menu_);
  menu_ = nullptr;
  source_ = nullptr;
  flags_.clear();
}

}  // namespace vantrel

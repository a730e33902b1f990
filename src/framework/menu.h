#pragma once
// A menu tree as the program models it: visibility and enabled state live here, and the
// Windows menu shown as a popup follows them.
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "framework/os.h"

namespace vantrel {

// Names and captions are texts of the program that live as long as it does (literals,
// tables made at compile time): a menu tree costs no copies of them.
struct MenuItem {
  const char* name = "";
  const char* caption = "";
  bool visible = true;
  bool enabled = true;
  std::vector<MenuItem> children;
  std::function<void()> click;
  uint32_t id = 0;  // command id, given to chooseable leaves by AssignMenuIds

  bool IsSeparator() const { return caption[0] == '-' && caption[1] == '\0'; }
};

MenuItem* FindMenuItem(MenuItem& root, std::string_view name);

// The item with `id` that the user could choose: below the top level (whose items may
// be shown as popups while hidden from the menu bar) only visible, enabled items count.
const MenuItem* FindChoosableMenuItem(const MenuItem& root, uint32_t id);

// Numbers every leaf that is not a separator, in display order, from `first`.
void AssignMenuIds(MenuItem& root, uint32_t first);

// The Windows menu of a popup, built from the tree once and kept: it is built again
// only when a visible or enabled flag below the popup has changed since, so opening it
// costs one call instead of one per item.
class KeptPopupMenu {
 public:
  explicit KeptPopupMenu(Os& os) : os_(os) {}
  ~KeptPopupMenu() { Forget(); }
  KeptPopupMenu(const KeptPopupMenu&) = delete;
  KeptPopupMenu& operator=(const KeptPopupMenu&) = delete;

  // The Windows menu of the children of `popup` as the tree stands now.
  MenuHandle For(const MenuItem& popup);
  void Forget();

 private:
  Os& os_;
  const MenuItem* source_ = nullptr;
  MenuHandle menu_ = nullptr;
  std::vector<bool> flags_;  // visible and enabled of every item below source_, as built
};

}  // namespace vantrel

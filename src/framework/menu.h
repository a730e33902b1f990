#pragma once
// A menu tree as the program models it: the Windows menu is built from this model each
// time it is displayed, so visibility and enabled state live here and nowhere else.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct MenuItem {
  std::string name;
  std::string caption;
  bool visible = true;
  bool enabled = true;
  std::vector<MenuItem> children;
  std::function<void()> click;
  uint32_t id = 0;  // command id, given to chooseable leaves by AssignMenuIds

  bool IsSeparator() const { return caption == "-"; }
};

MenuItem* FindMenuItem(MenuItem& root, std::string_view name);

// The item with `id` that the user could choose: below the top level (whose items may
// be shown as popups while hidden from the menu bar) only visible, enabled items count.
const MenuItem* FindChoosableMenuItem(const MenuItem& root, uint32_t id);

// Numbers every leaf that is not a separator, in display order, from `first`.
void AssignMenuIds(MenuItem& root, uint32_t first);

}  // namespace vantrel

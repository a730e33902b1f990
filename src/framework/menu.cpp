#include "framework/menu.h"

namespace vantrel {

MenuItem* FindMenuItem(MenuItem& root, std::string_view name) {
  if (root.name == name) return &root;
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

}  // namespace vantrel

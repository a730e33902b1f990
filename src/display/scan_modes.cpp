#include "display/scan_modes.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "display/display_modes.h"
#include "res/frm_main_layout.h"

namespace vantrel {

namespace {

MenuItem& Item(MenuItem& menu, const std::string& name) {
  MenuItem* item = FindMenuItem(menu, name);
  if (item == nullptr) throw std::logic_error("menu item " + name + " is missing");
  return *item;
}

bool IsBadMode(int32_t code) { return code == win::kDispChangeBadMode; }

void ScanGroup(Os& os, MenuItem& menu, const PopupRow& group) {
  // Every rate is tested before anything of the group is touched.
  std::vector<int32_t> codes;
  for (int32_t rate : RefreshRates()) codes.push_back(TestMode(os, group.width, group.height, rate));
  if (std::ranges::all_of(codes, IsBadMode)) {
    Item(menu, group.name).visible = false;
    return;
  }
  for (size_t i = 0; i < codes.size(); ++i) {
    if (IsBadMode(codes[i])) Item(menu, RateItemName(group, RefreshRates()[i])).visible = false;
  }
}

}  // namespace

void ScanModes(Os& os, MenuItem& menu) {
  for (const PopupRow& row : PopupRows()) {
    if (row.command == PopupCommand::ResolutionGroup) ScanGroup(os, menu, row);
  }
}

}  // namespace vantrel

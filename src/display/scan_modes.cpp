#include "display/scan_modes.h"

#include <algorithm>
#include <vector>

#include "display/display_modes.h"
#include "res/frm_main_layout.h"

namespace vantrel {

namespace {

void Hide(MenuItem& menu, const std::string& name) {
  // The names come from the same table the menu was built from.
  if (MenuItem* item = FindMenuItem(menu, name)) item->visible = false;
}

bool IsBadMode(int32_t code) { return code == win::kDispChangeBadMode; }

void ScanGroup(Os& os, MenuItem& menu, const PopupRow& group) {
  // Every rate is tested before anything of the group is touched.
  std::vector<int32_t> codes;
  for (int32_t rate : RefreshRates()) codes.push_back(TestMode(os, group.width, group.height, rate));
  if (std::ranges::all_of(codes, IsBadMode)) {
    Hide(menu, group.name);
    return;
  }
  for (size_t i = 0; i < codes.size(); ++i) {
    if (IsBadMode(codes[i])) Hide(menu, RateItemName(group, RefreshRates()[i]));
  }
}

}  // namespace

void ScanModes(Os& os, MenuItem& menu) {
  for (const PopupRow& row : PopupRows()) {
    if (row.command == PopupCommand::ResolutionGroup) ScanGroup(os, menu, row);
  }
}

}  // namespace vantrel

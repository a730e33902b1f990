#include "display/scan_modes.h"

#include <algorithm>

#include "display/display_modes.h"

namespace vantrel {

namespace {

bool IsBadMode(int32_t code) { return code == win::kDispChangeBadMode; }

void ScanGroup(Os& os, const ResolutionGroup& group) {
  // Every rate is tested before anything of the group is touched.
  std::vector<int32_t> codes;
  codes.reserve(group.rates.size());
  for (const auto& rate : group.rates) codes.push_back(TestMode(os, group.width, group.height, rate.rate));
  if (std::ranges::all_of(codes, IsBadMode)) {
    group.item->visible = false;
    return;
  }
  for (size_t i = 0; i < codes.size(); ++i) {
    if (IsBadMode(codes[i])) group.rates[i].item->visible = false;
  }
}

}  // namespace

void ScanModes(Os& os, std::span<const ResolutionGroup> groups) {
  for (const ResolutionGroup& group : groups) ScanGroup(os, group);
}

}  // namespace vantrel

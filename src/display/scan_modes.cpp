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
  // A scan again, for another display, shows what the one before hid.
  group.item->visible = !std::ranges::all_of(codes, IsBadMode);
  for (size_t i = 0; i < codes.size(); ++i) {
    group.rates[i].item->visible = !group.item->visible || !IsBadMode(codes[i]);
  }
}

}  // namespace

void ScanModes(Os& os, std::span<const ResolutionGroup> groups) {
  for (const ResolutionGroup& group : groups) ScanGroup(os, group);
}

std::optional<PrimaryDisplay> ReadPrimaryDisplay(Os& os) {
  DisplayDevice adapter;
  uint32_t index = 0;
  while (os.EnumDisplayDevicesA(nullptr, index++, adapter)) {
    if ((adapter.flags & win::kDisplayDevicePrimaryDevice) == 0) continue;
    PrimaryDisplay primary{.device = adapter.name, .deviceId = adapter.id, .monitors = {}};
    DisplayDevice monitor;
    for (uint32_t m = 0; os.EnumDisplayDevicesA(primary.device.c_str(), m, monitor); ++m) {
      if (monitor.flags & win::kDisplayDeviceActive) primary.monitors.push_back(monitor.id);
    }
    return primary;
  }
  return std::nullopt;
}

}  // namespace vantrel

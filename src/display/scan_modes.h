#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "framework/menu.h"
#include "framework/os.h"

namespace vantrel {

// One resolution of the tray menu: its group item, and its rate items in menu order.
struct ResolutionGroup {
  struct Rate {
    int32_t rate;
    MenuItem* item;
  };
  MenuItem* item;
  int32_t width;
  int32_t height;
  std::vector<Rate> rates;
};

// Tests every mode of the groups once and hides what the driver rejects as a bad mode:
// single rate items, or a whole resolution when all its rates are rejected.
void ScanModes(Os& os, std::span<const ResolutionGroup> groups);

}  // namespace vantrel

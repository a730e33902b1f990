#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
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

// Tests every mode of the groups once and shows what the driver accepts, hiding what it
// rejects as a bad mode: single rate items, or a whole resolution when all its rates are
// rejected (its rate items are then left shown, inside the hidden group).
void ScanModes(Os& os, std::span<const ResolutionGroup> groups);

// The display the mode functions act on, which the driver's answers belong to: the
// primary display device and the monitors on it. Another device, or another monitor on
// it (a dock, another primary monitor, a Remote Desktop session), may answer otherwise.
struct PrimaryDisplay {
  std::string device;
  std::string deviceId;
  std::vector<std::string> monitors;  // the ids of the monitors that are on, in order
  friend bool operator==(const PrimaryDisplay&, const PrimaryDisplay&) = default;
};

// None where no device is primary (a session without a display, for one).
std::optional<PrimaryDisplay> ReadPrimaryDisplay(Os& os);

}  // namespace vantrel

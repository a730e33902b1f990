#pragma once
#include "framework/menu.h"
#include "framework/os.h"

namespace vantrel {

// Tests every mode of the tray menu once and hides what the driver rejects as a bad
// mode: single rate items, or a whole resolution when all its rates are rejected.
void ScanModes(Os& os, MenuItem& menu);

}  // namespace vantrel

#pragma once
#include <memory>

#include "app/frm_main.h"

namespace vantrel {

// Start-up: creates and shows the main window, whose Load does the rest. The caller
// keeps the window for the life of the process.
std::unique_ptr<frmMain> Main(Application& app);

}  // namespace vantrel

#include "app/module1.h"

namespace vantrel {

std::unique_ptr<frmMain> Main(Application& app) {
  auto mainWindow = std::make_unique<frmMain>(app);
  mainWindow->Show();
  return mainWindow;
}

}  // namespace vantrel

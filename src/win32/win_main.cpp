#include <windows.h>

#include "app/module1.h"
#include "framework/application.h"
#include "win32/win32_os.h"

namespace {

// DLLs that the shell, COM or a theme load by name later come from the system directory
// only, never from this exe's folder, where anyone could have put one (a Downloads
// folder). Found at run time: systems without the function still start.
void LoadDllsFromTheSystemOnly() {
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDllDirectories =
      vantrel::SystemFunction<SetDefaultDllDirectoriesFunction>("kernel32.dll", "SetDefaultDllDirectories");
  if (setDefaultDllDirectories != nullptr) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  LoadDllsFromTheSystemOnly();
  vantrel::Win32Os os(instance);
  vantrel::Application app(os);
  const auto mainWindow = vantrel::Main(app);
  // A second copy, or one whose window could not be made, has nothing to wait for.
  return mainWindow->Loaded() ? vantrel::RunMessageLoop() : app.ExitCode();
}

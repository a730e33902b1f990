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
  // A second copy, or one whose window could not be made, has nothing to wait for. A
  // window that could not be made later (the About window) is a failure the process
  // ends with too.
  if (!mainWindow->Loaded()) return app.ExitCode();
  const int quitCode = vantrel::RunMessageLoop();
  return app.ExitCode() != 0 ? app.ExitCode() : quitCode;
}

#include <objbase.h>
#include <windows.h>


#include "app/module1.h"
#include "framework/application.h"
#include "framework/win32/win32_os.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // ShellExecute may hand work to shell extensions that need COM on the calling thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int exitCode = 0;
  {
    vantrel::Win32Os os(instance);
    vantrel::Application app(os);
    const auto mainWindow = vantrel::Main(app);
    // A second copy, or one whose window could not be made, has nothing to wait for.
    if (mainWindow->Loaded()) exitCode = vantrel::RunMessageLoop();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}

#include <objbase.h>
#include <windows.h>

#include <exception>

#include "app/module1.h"
#include "framework/application.h"
#include "framework/win32/win32_os.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // ShellExecute may hand work to shell extensions that need COM on the calling thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int exitCode = 0;
  try {
    vantrel::Win32Os os(instance);
    vantrel::Application app(os);
    const auto mainWindow = vantrel::Main(app);
    exitCode = vantrel::RunMessageLoop();
  } catch (const std::exception& error) {
    MessageBoxA(nullptr, error.what(), vantrel::Application::kTitle, MB_OK | MB_ICONSTOP);
    exitCode = 1;
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}

// The installer's one custom action, run by Windows Installer from the package's Binary
// table before it checks which files are in use (packaging/msi-tables.sql). It closes
// every running Vantrel of the installing user's session the way the tray menu's Exit
// does: its hidden main window is closed, so the icon goes and the process ends by
// itself. Then the files can be replaced or removed without a restart, and the package
// starts the new version when it is done.
//
// A DLL rather than taskkill: taskkill is a console program (a console window flashes
// during an interactive install), and it asks and returns at once, so the files could
// still be in use when they are removed. This waits for each copy's process to end.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <cstdio>

#include "res/frm_main_layout.h"
#include "win32/scoped.h"

namespace {

// A copy that takes longer has hung or waits in a message box for its user; Windows
// Installer's own handling of files in use (the Restart Manager) takes over from there.
constexpr ULONGLONG kPatienceMs = 15000;

// A line in the installation's log (msiexec /l*v).
void Log(MSIHANDLE install, const char* format, DWORD a, DWORD b) {
  char text[200];
  std::snprintf(text, sizeof text, format, static_cast<unsigned long>(a), static_cast<unsigned long>(b));
  PMSIHANDLE record = MsiCreateRecord(0);
  MsiRecordSetStringA(record, 0, text);
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
}

// Closes the copy that owns `window`; whether it ended before `deadline`. Its process is
// waited for, not just its window: the exe stays in use until the process is gone.
bool CloseAndWait(HWND window, DWORD processId, ULONGLONG deadline) {
  const vantrel::scoped::Handle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  if (!PostMessageA(window, WM_CLOSE, 0, 0)) return false;
  const ULONGLONG now = GetTickCount64();
  const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
  if (process) return WaitForSingleObject(process.get(), left) == WAIT_OBJECT_0;
  // A process this user may not wait for (another user's, an elevated one): its window
  // going is the best sign there is.
  while (IsWindow(window) && GetTickCount64() < deadline) Sleep(50);
  return !IsWindow(window);
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall CloseRunningCopies(MSIHANDLE install) {
  const ULONGLONG deadline = GetTickCount64() + kPatienceMs;
  HWND skipped = nullptr;  // the last copy that would not end, and every one before it
  while (HWND window = FindWindowExA(nullptr, skipped, vantrel::kMainWindowClass, nullptr)) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const ULONGLONG started = GetTickCount64();
    if (CloseAndWait(window, processId, deadline)) {
      Log(install, "Vantrel: the running copy (process %lu) was closed in %lu ms.", processId,
          static_cast<DWORD>(GetTickCount64() - started));
    } else {
      Log(install, "Vantrel: the running copy (process %lu) did not end within %lu ms.", processId,
          static_cast<DWORD>(kPatienceMs));
      skipped = window;
    }
  }
  // Closing is a courtesy to the user: the installation goes on either way.
  return ERROR_SUCCESS;
}

// The installer's custom actions, run by Windows Installer from the package's Binary
// table (packaging/msi-tables.sql).
//
// CheckInstallContext, before the launch conditions, notes what the package's conditions
// cannot read: whether this install runs where its user can see a tray icon, at the
// user's own integrity level (VantrelDesktop), and a per-machine copy that the package's
// own search missed in either registry view (MACHINECOPY).
//
// CloseRunningCopies, before Windows Installer checks which files are in use, closes
// every running Vantrel of the installing user's desktop the way the tray menu's Exit
// does: its hidden main window is closed, so the icon goes and the process ends by
// itself. Then the files can be replaced or removed without a restart, and the package
// starts the new version when it is done, or the closed one again when the installation
// fails or is cancelled (VantrelClosed, its exe).
//
// A DLL rather than taskkill: taskkill is a console program (a console window flashes
// during an interactive install), and it asks and returns at once, so the files could
// still be in use when they are removed. This waits for each copy's process to end.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <array>
#include <cstdio>
#include <cstring>

#include "res/frm_main_layout.h"
#include "win32/desktop.h"
#include "win32/integrity.h"
#include "win32/scoped.h"

namespace {

// In all, however many copies there are: they are asked at once and end side by side.
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

// Whether this action runs no higher than the program that shows the notification area
// (Explorer's taskbar), which is the user's own level: not from an elevated install,
// whose start would give an elevated tray program, and its links and control panel with
// it. The token is the thread's where the action impersonates, else the process's.
bool AtTheUsersOwnLevel() {
  HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
  DWORD shellId = 0;
  if (taskbar == nullptr || GetWindowThreadProcessId(taskbar, &shellId) == 0) return false;  // no icon to show
  const vantrel::scoped::Handle shell(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
  HANDLE opened = nullptr;
  if (!shell || !OpenProcessToken(shell.get(), TOKEN_QUERY, &opened)) return false;
  const vantrel::scoped::Handle shellToken(opened);
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &opened) &&
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
    return false;
  }
  const vantrel::scoped::Handle ownToken(opened);
  const vantrel::TokenFunctions advapi;
  if (!advapi.Complete()) return false;
  const std::optional<uint32_t> own = vantrel::IntegrityOfToken(advapi, ownToken.get());
  const std::optional<uint32_t> user = vantrel::IntegrityOfToken(advapi, shellToken.get());
  return own.value_or(0) != 0 && user.value_or(0) != 0 && *own <= *user;
}

struct Copy {
  HWND window;
  DWORD processId;
};

struct Copies {
  std::array<Copy, 64> found;
  size_t count = 0;
};

BOOL CALLBACK AddIfVantrel(HWND window, LPARAM copies) {
  char name[64];
  auto& list = *reinterpret_cast<Copies*>(copies);
  if (list.count < list.found.size() && GetClassNameA(window, name, sizeof name) > 0 &&
      std::strcmp(name, vantrel::kMainWindowClass) == 0) {
    Copy& copy = list.found[list.count++];
    copy.window = window;
    GetWindowThreadProcessId(window, &copy.processId);
  }
  return TRUE;
}

// Whether the copy ended by `deadline`. Its process is waited for, not just its window:
// the exe stays in use until the process is gone.
bool WaitForEnd(const Copy& copy, HANDLE process, ULONGLONG deadline) {
  const ULONGLONG now = GetTickCount64();
  const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
  if (process != nullptr) return WaitForSingleObject(process, left) == WAIT_OBJECT_0;
  // A process this user may not wait for (another user's, an elevated one): its window
  // going is the best sign there is.
  while (IsWindow(copy.window) && GetTickCount64() < deadline) Sleep(50);
  return !IsWindow(copy.window);
}

// The exe of the process, to start again if the installation does not finish.
void NoteClosedExe(MSIHANDLE install, HANDLE process) {
  wchar_t path[MAX_PATH];
  DWORD length = MAX_PATH;
  if (process != nullptr && QueryFullProcessImageNameW(process, 0, path, &length)) {
    MsiSetPropertyW(install, L"VantrelClosed", path);
  }
}

// The product code that a per-machine copy left in one registry view (KEY_WOW64_64KEY or
// KEY_WOW64_32KEY). A 32-bit package's own search may not read the 64-bit view, and not
// every Windows Installer reads the 32-bit view for a 64-bit package's search that asks it
// to (Wine 10's does not).
bool MachineCopyIn(REGSAM view, char (&code)[64]) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Ambrel Utilities\\Vantrel", 0, KEY_QUERY_VALUE | view,
                    &opened) != ERROR_SUCCESS) {
    return false;
  }
  const vantrel::scoped::RegistryKey key(opened);
  DWORD type = 0, length = sizeof code - 1;
  if (RegQueryValueExA(key.get(), "ProductCode", nullptr, &type, reinterpret_cast<BYTE*>(code), &length) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  code[length] = '\0';
  return true;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall CheckInstallContext(MSIHANDLE install) {
  MsiSetPropertyA(install, "VantrelDesktop", vantrel::ThisProcessCanBeSeen() && AtTheUsersOwnLevel() ? "1" : "");
  char code[64];
  DWORD length = sizeof code;
  if (MsiGetPropertyA(install, "MACHINECOPY", code, &length) == ERROR_SUCCESS && length == 0 &&
      (MachineCopyIn(KEY_WOW64_64KEY, code) || MachineCopyIn(KEY_WOW64_32KEY, code))) {
    MsiSetPropertyA(install, "MACHINECOPY", code);
  }
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall CloseRunningCopies(MSIHANDLE install) {
  // Listed before any is closed: a window that goes meanwhile cannot end the walk.
  Copies copies;
  EnumWindows(AddIfVantrel, reinterpret_cast<LPARAM>(&copies));
  std::array<vantrel::scoped::Handle, 64> processes;
  std::array<bool, 64> asked{};
  for (size_t i = 0; i < copies.count; ++i) {
    const Copy& copy = copies.found[i];
    processes[i].reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, copy.processId));
    asked[i] = PostMessageA(copy.window, WM_CLOSE, 0, 0) != FALSE;
    if (!asked[i]) {
      Log(install, "Vantrel: the running copy (process %lu) could not be asked to close (error %lu).", copy.processId,
          GetLastError());
    }
  }
  const ULONGLONG started = GetTickCount64();
  const ULONGLONG deadline = started + kPatienceMs;
  for (size_t i = 0; i < copies.count; ++i) {
    if (!asked[i]) continue;
    const bool ended = WaitForEnd(copies.found[i], processes[i].get(), deadline);
    const auto waited = static_cast<DWORD>(GetTickCount64() - started);
    Log(install,
        ended ? "Vantrel: the running copy (process %lu) ended after %lu ms."
              : "Vantrel: the running copy (process %lu) was still running after %lu ms; the installation goes on.",
        copies.found[i].processId, waited);
    if (ended) NoteClosedExe(install, processes[i].get());
  }
  // Closing is a courtesy to the user: the installation goes on either way.
  return ERROR_SUCCESS;
}

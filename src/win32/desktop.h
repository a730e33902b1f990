#pragma once
// Whether anyone can see this process's windows. Shared by the program, which ends at
// once where nobody could ever see its icon, and the installer's custom action, which
// starts nothing there.
#include <windows.h>

#include "win32/win32_os.h"

namespace vantrel {

// Not on a window station without display surfaces (a service's), and not in session 0
// while the console is another session: from Vista on, session 0 holds only services,
// whatever their account (LocalSystem, LocalService, NetworkService, a named one). On XP
// the console user's own session is 0, and there it counts as seen. Found at run time:
// the exe still starts where a function is missing, and then counts as seen.
inline bool ThisProcessCanBeSeen() {
  USEROBJECTFLAGS flags{};
  if (GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    return false;
  }
  using SessionOfProcess = BOOL(WINAPI*)(DWORD, DWORD*);
  using ConsoleSession = DWORD(WINAPI*)();
  const auto sessionOf = SystemFunction<SessionOfProcess>("kernel32.dll", "ProcessIdToSessionId");
  const auto consoleSession = SystemFunction<ConsoleSession>("kernel32.dll", "WTSGetActiveConsoleSessionId");
  DWORD session = 0;
  if (sessionOf == nullptr || consoleSession == nullptr || !sessionOf(GetCurrentProcessId(), &session)) return true;
  return session != 0 || consoleSession() == 0;
}

}  // namespace vantrel

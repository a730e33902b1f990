// Other processes of the desktop: finding their windows, telling where a process runs (its
// session and integrity level), and letting one of them take the foreground.
#include "win32/integrity.h"
#include "win32/win32_os.h"

namespace vantrel {

namespace {

// The mandatory integrity level of `process`; 0 where the system has none (before Vista);
// none where its token cannot be read.
std::optional<uint32_t> IntegrityOf(HANDLE process) {
  const TokenFunctions advapi;
  if (!advapi.Complete()) return std::nullopt;
  HANDLE opened = nullptr;
  if (!advapi.openProcessToken(process, TOKEN_QUERY, &opened)) return std::nullopt;
  const scoped::Handle token(opened);
  return IntegrityOfToken(advapi, token.get());
}

std::optional<ProcessPlace> PlaceOf(DWORD processId, HANDLE process) {
  // Found at run time, as every function that Windows 2000 may lack; without it every
  // process runs in session 0.
  using ProcessIdToSessionIdFunction = BOOL(WINAPI*)(DWORD, DWORD*);
  const auto processIdToSessionId = SystemFunction<ProcessIdToSessionIdFunction>("kernel32.dll", "ProcessIdToSessionId");
  DWORD session = 0;
  if (processIdToSessionId != nullptr && !processIdToSessionId(processId, &session)) return std::nullopt;
  const std::optional<uint32_t> integrity = IntegrityOf(process);
  if (!integrity) return std::nullopt;
  return ProcessPlace{processId, session, *integrity};
}

}  // namespace

std::vector<WindowHandle> Win32Os::FindWindows(const std::string& className) {
  std::vector<WindowHandle> found;
  HWND after = nullptr;
  while ((after = FindWindowExA(nullptr, after, className.c_str(), nullptr)) != nullptr) found.push_back(after);
  return found;
}

std::optional<ProcessPlace> Win32Os::WindowProcess(WindowHandle window) {
  DWORD processId = 0;
  if (GetWindowThreadProcessId(Hwnd(window), &processId) == 0) return std::nullopt;
  // Limited information is what Vista and later grant on a process of another integrity
  // level; the full right is what earlier systems know.
  HANDLE opened = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (opened == nullptr) opened = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
  const scoped::Handle process(opened);
  if (!process) return std::nullopt;
  return PlaceOf(processId, process.get());
}

ProcessPlace Win32Os::OwnProcess() {
  // Our own token is always readable; a process whose place cannot be told is never ours.
  return PlaceOf(GetCurrentProcessId(), GetCurrentProcess()).value_or(ProcessPlace{GetCurrentProcessId(), ~0u, ~0u});
}

void Win32Os::AllowSetForegroundWindow(uint32_t processId) { ::AllowSetForegroundWindow(processId); }

}  // namespace vantrel

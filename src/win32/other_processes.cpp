// Other processes of the desktop: finding their windows, telling where a process runs (its
// session and integrity level), and letting one of them take the foreground.
#include "win32/win32_os.h"

namespace vantrel {

namespace {

using GetTokenInformationFunction = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
using OpenProcessTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetSidSubAuthorityCountFunction = PUCHAR(WINAPI*)(PSID);
using GetSidSubAuthorityFunction = PDWORD(WINAPI*)(PSID, DWORD);

// advapi32's token functions, found at run time: only a second copy asks, and the exe's
// imports stay the DLLs every process already has.
struct TokenFunctions {
  scoped::Module advapi32{LoadLibraryA("advapi32.dll")};
  OpenProcessTokenFunction openProcessToken = Find<OpenProcessTokenFunction>("OpenProcessToken");
  GetTokenInformationFunction getTokenInformation = Find<GetTokenInformationFunction>("GetTokenInformation");
  GetSidSubAuthorityCountFunction subAuthorityCount = Find<GetSidSubAuthorityCountFunction>("GetSidSubAuthorityCount");
  GetSidSubAuthorityFunction subAuthority = Find<GetSidSubAuthorityFunction>("GetSidSubAuthority");

  template <typename Function>
  Function Find(const char* name) const {
    return advapi32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(advapi32.get(), name)))
                    : nullptr;
  }
  bool Complete() const { return openProcessToken && getTokenInformation && subAuthorityCount && subAuthority; }
};

// The mandatory integrity level of `process` (the last sub-authority of its label's SID);
// 0 where the system has none (before Vista); none where the token cannot be read.
std::optional<uint32_t> IntegrityOf(HANDLE process) {
  const TokenFunctions advapi;
  if (!advapi.Complete()) return std::nullopt;
  HANDLE opened = nullptr;
  if (!advapi.openProcessToken(process, TOKEN_QUERY, &opened)) return std::nullopt;
  const scoped::Handle token(opened);
  alignas(TOKEN_MANDATORY_LABEL) BYTE buffer[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!advapi.getTokenInformation(token.get(), TokenIntegrityLevel, buffer, sizeof buffer, &size)) {
    return GetLastError() == ERROR_INVALID_PARAMETER ? std::optional<uint32_t>(0) : std::nullopt;
  }
  const PSID label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
  const UCHAR count = *advapi.subAuthorityCount(label);
  if (count == 0) return std::nullopt;
  return *advapi.subAuthority(label, count - 1);
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

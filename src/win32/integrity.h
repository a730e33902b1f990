#pragma once
// The mandatory integrity level of a token. Shared by the program, which asks a running
// copy to show itself only at its own level, and the installer's custom action, which
// starts Vantrel only at the level of the user's own shell.
#include <windows.h>

#include <cstdint>
#include <optional>

#include "win32/scoped.h"

namespace vantrel {

// advapi32's token functions, found at run time: the exe's imports stay the DLLs every
// process already has.
struct TokenFunctions {
  using GetTokenInformationFunction = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
  using OpenProcessTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
  using GetSidSubAuthorityCountFunction = PUCHAR(WINAPI*)(PSID);
  using GetSidSubAuthorityFunction = PDWORD(WINAPI*)(PSID, DWORD);

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

// The last sub-authority of the token's label (SECURITY_MANDATORY_*_RID); 0 where the
// system has no integrity levels (before Vista); none where the token cannot be read.
inline std::optional<uint32_t> IntegrityOfToken(const TokenFunctions& advapi, HANDLE token) {
  alignas(TOKEN_MANDATORY_LABEL) BYTE buffer[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!advapi.getTokenInformation(token, TokenIntegrityLevel, buffer, sizeof buffer, &size)) {
    return GetLastError() == ERROR_INVALID_PARAMETER ? std::optional<uint32_t>(0) : std::nullopt;
  }
  const PSID label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
  const UCHAR count = *advapi.subAuthorityCount(label);
  if (count == 0) return std::nullopt;
  return *advapi.subAuthority(label, count - 1);
}

}  // namespace vantrel

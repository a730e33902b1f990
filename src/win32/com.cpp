#include "win32/com.h"

#include <objbase.h>

#include <string>
#include <utility>

namespace vantrel {

namespace {

// By its full path in the system directory: this exe's folder may hold anything.
HMODULE LoadSystemLibrary(const char* name) {
  char directory[MAX_PATH];
  const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryA((std::string(directory, length) + "\\" + name).c_str());
}

}  // namespace

bool Com::Enter() {
  if (std::exchange(tried_, true)) return entered_;
  ole32_.reset(LoadSystemLibrary("ole32.dll"));
  const auto initialize = Find<decltype(&CoInitializeEx)>("CoInitializeEx");
  entered_ = initialize != nullptr &&
             SUCCEEDED(initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  return entered_;
}

Com::~Com() {
  if (!entered_) return;
  if (const auto uninitialize = Find<decltype(&CoUninitialize)>("CoUninitialize")) uninitialize();
}

}  // namespace vantrel

// A hook the probe sets for every process of the desktop (WH_CBT), so that Wine loads this DLL
// into the program under test. There it does what Wine cannot: it answers that high contrast
// is on (Wine 8 always says it is off), and it hangs the sizes of the main window's icons on
// that window as the properties "SmallIconPixels" and "LargeIconPixels" for the probe to read.
#include <windows.h>

#include <utility>

namespace {

BOOL WINAPI HighContrastOn(UINT action, UINT param, void* data, UINT flags) {
  if (action != SPI_GETHIGHCONTRAST) return SystemParametersInfoA(action, param, data, flags);
  static_cast<HIGHCONTRASTA*>(data)->dwFlags = HCF_HIGHCONTRASTON | HCF_AVAILABLE;
  return TRUE;
}

// Points the exe's import of user32's SystemParametersInfoA at HighContrastOn.
void ClaimHighContrast(BYTE* exe) {
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(exe + reinterpret_cast<IMAGE_DOS_HEADER*>(exe)->e_lfanew);
  auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
      exe + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
  for (; module->Name != 0; ++module) {
    auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(exe + module->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(exe + module->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
          lstrcmpA(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(exe + name->u1.AddressOfData)->Name,
                   "SystemParametersInfoA") != 0) {
        continue;
      }
      DWORD previous = 0;
      VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(&HighContrastOn);
      VirtualProtect(slot, sizeof *slot, previous, &previous);
    }
  }
}

void ReportIconSizes(HWND main) {
  for (const auto& [index, name] : {std::pair{GCLP_HICONSM, "SmallIconPixels"}, {GCLP_HICON, "LargeIconPixels"}}) {
    ICONINFO info{};
    BITMAP image{};
    if (!GetIconInfo(reinterpret_cast<HICON>(GetClassLongPtrA(main, index)), &info)) continue;
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof image, &image);
    SetPropA(main, name, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(image.bmWidth)));
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
  }
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK InsideVantrel(int code, WPARAM wParam, LPARAM lParam) {
  static bool done = false;
  HWND main = FindWindowA("Vantrel.frmMain", nullptr);
  DWORD owner = 0;
  GetWindowThreadProcessId(main, &owner);
  if (!done && main != nullptr && owner == GetCurrentProcessId()) {
    done = true;
    ClaimHighContrast(reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr)));
    ReportIconSizes(main);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

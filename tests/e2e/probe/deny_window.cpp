// A hook another program sets for every process of the desktop (WH_CBT), as a hostile or
// broken one on a user's machine may: it refuses every window of Vantrel's own classes.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK RefuseVantrelWindows(int code, WPARAM wParam, LPARAM lParam) {
  char name[64] = {};
  // The class names' common start: Vantrel.frmMain, Vantrel.frmAbout.
  if (code == HCBT_CREATEWND && GetClassNameA(reinterpret_cast<HWND>(wParam), name, 9) == 8 &&
      lstrcmpA(name, "Vantrel.") == 0) {
    return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

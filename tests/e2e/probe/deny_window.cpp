// A hook another program sets for every process of the desktop (WH_CBT), as a hostile or
// broken one on a user's machine may: it refuses Vantrel's main window.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK RefuseMainWindow(int code, WPARAM wParam, LPARAM lParam) {
  char name[64] = {};
  if (code == HCBT_CREATEWND && GetClassNameA(reinterpret_cast<HWND>(wParam), name, sizeof name) > 0 &&
      lstrcmpA(name, "Vantrel.frmMain") == 0) {
    return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

#include "win32/win32_os.h"

namespace vantrel {

namespace {

// Messages the system only ever sends, whose parameters point into the receiver's
// memory or name its windows. Posted, they come from another program and carry
// pointers nobody vouches for.
bool SentOnly(UINT message) {
  switch (message) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_NCCALCSIZE:
    case WM_GETMINMAXINFO:
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_CTLCOLORSTATIC:
    case WM_ERASEBKGND:
    case WM_SETCURSOR:
    case WM_DPICHANGED:
      return true;
    default:
      return false;
  }
}

}  // namespace

int RunMessageLoop() {
  MSG message{};  // GetMessage may fail before it writes anything
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (SentOnly(message.message)) continue;
    // Only keys need the dialog handling (Tab, Enter, Esc) and translation into characters.
    if (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) {
      HWND active = GetActiveWindow();
      if (active != nullptr && IsDialogMessageA(active, &message)) continue;
      TranslateMessage(&message);
    }
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace vantrel

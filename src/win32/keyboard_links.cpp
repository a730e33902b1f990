// A static control takes the focus when it has WS_TABSTOP, but shows nothing of it and
// ignores Space. Subclassed, a link label draws the focus rectangle a button would draw
// and clicks on Space; a mouse user, who never gives a label the focus, sees no change.
#include "win32/keyboard_links.h"

#include "win32/scoped.h"

namespace vantrel {

namespace {

constexpr const char* kStaticProcedureProperty = "Vantrel.StaticProcedure";

WNDPROC StaticProcedure(HWND label) {
  return reinterpret_cast<WNDPROC>(GetPropA(label, kStaticProcedureProperty));
}

// Focus cues show once the keyboard has been used in the window (the dialog keys clear
// UISF_HIDEFOCUS), as for every other control.
bool ShowsFocus(HWND label) {
  return GetFocus() == label && (SendMessageA(label, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) == 0;
}

// Around the text, as a button draws it around its caption, inside the label.
void DrawFocus(HWND label) {
  const scoped::WindowDC dc(label);
  const scoped::Selection font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
  char text[256] = {};
  const int length = GetWindowTextA(label, text, sizeof text);
  RECT client{}, around{};
  GetClientRect(label, &client);
  around = client;
  DrawTextA(dc.get(), text, length, &around, DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK);
  around.right += 1;
  IntersectRect(&around, &around, &client);
  DrawFocusRect(dc.get(), &around);
}

LRESULT Paint(HWND label, WNDPROC original, WPARAM wParam, LPARAM lParam) {
  // The rectangle is drawn by inverting, so the whole label is painted afresh beneath it.
  const bool focused = ShowsFocus(label);
  if (focused) InvalidateRect(label, nullptr, FALSE);
  const LRESULT result = CallWindowProcA(original, label, WM_PAINT, wParam, lParam);
  if (focused) DrawFocus(label);
  return result;
}

void Click(HWND label) {
  SendMessageA(GetParent(label), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(label), STN_CLICKED),
               reinterpret_cast<LPARAM>(label));
}

// Space clicks once per press, not again while held; the character it types is not wanted.
bool SpaceKey(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
  constexpr LPARAM kRepeat = LPARAM{1} << 30;  // the key was already down
  if (message == WM_KEYDOWN && wParam == VK_SPACE) {
    if ((lParam & kRepeat) == 0) Click(label);
    return true;
  }
  return message == WM_CHAR && wParam == ' ';
}

// The label gets its own procedure back before it goes, and forgets the one it kept.
void Unhook(HWND label, WNDPROC original) {
  SetWindowLongPtrA(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  RemovePropA(label, kStaticProcedureProperty);
}

LRESULT CALLBACK LinkProcedure(HWND label, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  const WNDPROC original = StaticProcedure(label);
  if (original == nullptr) return DefWindowProcA(label, message, wParam, lParam);
  if (SpaceKey(label, message, wParam, lParam)) return 0;
  switch (message) {
    case WM_PAINT:
      return Paint(label, original, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE:
      InvalidateRect(label, nullptr, FALSE);
      break;
    case WM_GETDLGCODE:
      // The Space character comes here, not to the dialog keys' handling.
      return CallWindowProcA(original, label, message, wParam, lParam) | DLGC_WANTCHARS;
    case WM_NCDESTROY:
      Unhook(label, original);
      break;
    default:
      break;
  }
  return CallWindowProcA(original, label, message, wParam, lParam);
}

}  // namespace

void MakeKeyboardLink(HWND label) {
  const LONG_PTR original = GetWindowLongPtrA(label, GWLP_WNDPROC);
  if (original == 0 || !SetPropA(label, kStaticProcedureProperty, reinterpret_cast<HANDLE>(original))) return;
  SetWindowLongPtrA(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LinkProcedure));
}

}  // namespace vantrel

// A static control takes the focus when it has WS_TABSTOP, but shows nothing of it and
// ignores the keys. Subclassed, a link label draws the focus rectangle a button would draw
// and opens on Space and Enter, as the system's link control does; a mouse user, who never
// gives a label the focus, sees no change.
#include "win32/keyboard_links.h"

#include <algorithm>

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

// Takes a neighbour's overlap off the edge of `own` it lies on: a strip taller than wide
// lies on the left or right edge, any other on the top or bottom.
void GiveUpOverlap(RECT& own, const RECT& overlap) {
  if (overlap.bottom - overlap.top > overlap.right - overlap.left) {
    if (overlap.left <= own.left) own.left = std::max(own.left, overlap.right);
    else own.right = std::min(own.right, overlap.left);
  } else {
    if (overlap.top <= own.top) own.top = std::max(own.top, overlap.bottom);
    else own.bottom = std::min(own.bottom, overlap.top);
  }
}

// The label's client area without the pixels it shares with its neighbours: the layout
// lets labels overlap by a pixel, and the rectangle must not mark a neighbour's pixels.
RECT OwnArea(HWND label) {
  RECT own{}, window{};
  GetClientRect(label, &own);
  GetWindowRect(label, &window);
  for (HWND other = GetWindow(label, GW_HWNDFIRST); other != nullptr; other = GetWindow(other, GW_HWNDNEXT)) {
    RECT theirs{}, overlap{};
    if (other == label || !IsWindowVisible(other) || !GetWindowRect(other, &theirs)) continue;
    if (!IntersectRect(&overlap, &window, &theirs)) continue;
    OffsetRect(&overlap, -window.left, -window.top);
    GiveUpOverlap(own, overlap);
  }
  return own;
}

// Around the text, as a button draws it around its caption, inside the label's own pixels.
void DrawFocus(HWND label, HDC dc) {
  const scoped::Selection font(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
  char text[256] = {};
  const int length = GetWindowTextA(label, text, sizeof text);
  const RECT own = OwnArea(label);
  RECT around{};
  GetClientRect(label, &around);
  DrawTextA(dc, text, length, &around, DT_CALCRECT | DT_NOPREFIX | DT_WORDBREAK);
  around.right += 1;
  IntersectRect(&around, &around, &own);
  DrawFocusRect(dc, &around);
}

// The label paints into our paint DC and the rectangle goes onto the same DC before
// EndPaint, clipped as the label's painting is. WM_PAINT's wParam is documented as unused;
// WM_PRINTCLIENT is the documented way to have a control draw into a given DC (controls
// answer it, AnimateWindow relies on it).
LRESULT Paint(HWND label, WNDPROC original) {
  // The rectangle is drawn by inverting, so the whole label is painted afresh beneath it.
  const bool focused = ShowsFocus(label);
  if (focused) InvalidateRect(label, nullptr, FALSE);
  const scoped::PaintDC dc(label);
  CallWindowProcA(original, label, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
  if (focused) DrawFocus(label, dc.get());
  return 0;
}

void Click(HWND label) {
  SendMessageA(GetParent(label), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(label), STN_CLICKED),
               reinterpret_cast<LPARAM>(label));
}

// Space, as on a button, and Enter, as on the system's link control. Their characters
// carry the same codes.
bool ClickKey(WPARAM key) { return key == VK_SPACE || key == VK_RETURN; }

// Each clicks once per press, not again while held; the characters they type are not wanted.
bool ClickKeys(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
  constexpr LPARAM kRepeat = LPARAM{1} << 30;  // the key was already down
  if (message == WM_KEYDOWN && ClickKey(wParam)) {
    if ((lParam & kRepeat) == 0) Click(label);
    return true;
  }
  return message == WM_CHAR && ClickKey(wParam);
}

// The dialog keys' handling asks before it acts on a key, with the message in lParam (or
// none, when it only queries). The link takes Enter from the default button and the
// characters of its keys; Tab, Esc and every other key stay the dialog's.
LRESULT DialogCode(HWND label, WNDPROC original, WPARAM wParam, LPARAM lParam) {
  const LRESULT code = CallWindowProcA(original, label, WM_GETDLGCODE, wParam, lParam);
  const auto* asked = reinterpret_cast<const MSG*>(lParam);
  if (asked == nullptr) return code;
  if (asked->message == WM_KEYDOWN && asked->wParam == VK_RETURN) return code | DLGC_WANTMESSAGE;
  if (asked->message == WM_CHAR && ClickKey(asked->wParam)) return code | DLGC_WANTCHARS;
  return code;
}

// The label gets its own procedure back before it goes, and forgets the one it kept.
void Unhook(HWND label, WNDPROC original) {
  SetWindowLongPtrA(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  RemovePropA(label, kStaticProcedureProperty);
}

LRESULT CALLBACK LinkProcedure(HWND label, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  const WNDPROC original = StaticProcedure(label);
  if (original == nullptr) return DefWindowProcA(label, message, wParam, lParam);
  if (ClickKeys(label, message, wParam, lParam)) return 0;
  switch (message) {
    case WM_PAINT:
      return Paint(label, original);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE:
      InvalidateRect(label, nullptr, FALSE);
      break;
    case WM_GETDLGCODE:
      return DialogCode(label, original, wParam, lParam);
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

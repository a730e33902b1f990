// The tray's popup menu on the Windows side: built once from the menu tree, shown as
// often as the user asks, and where the shell shows the icon it belongs to.
#include "win32/win32_os.h"

#include "app/tray_icon.h"
#include "framework/menu.h"

namespace vantrel {

namespace {

// The Windows menu for the children of `item`; hidden items are left out.
scoped::Menu BuildPopup(const MenuItem& item) {
  scoped::Menu popup(::CreatePopupMenu());
  for (const MenuItem& child : item.children) {
    if (!child.visible) continue;
    const UINT grayed = child.enabled ? 0 : MF_GRAYED;
    if (child.IsSeparator()) {
      AppendMenuA(popup.get(), MF_SEPARATOR, 0, nullptr);
    } else if (!child.children.empty()) {
      scoped::Menu submenu = BuildPopup(child);
      if (AppendMenuA(popup.get(), MF_POPUP | grayed, reinterpret_cast<UINT_PTR>(submenu.get()),
                      child.caption)) {
        submenu.release();  // owned by its parent menu from now on
      }
    } else {
      AppendMenuA(popup.get(), MF_STRING | grayed, child.id, child.caption);
    }
  }
  return popup;
}

}  // namespace

MenuHandle Win32Os::CreatePopupMenu(const MenuItem& popup) { return BuildPopup(popup).release(); }

// Its submenus go with it.
void Win32Os::DestroyMenu(MenuHandle menu) { ::DestroyMenu(static_cast<HMENU>(menu)); }

uint32_t Win32Os::TrackPopupMenu(MenuHandle menu, uint32_t flags, PixelPoint at, WindowHandle owner) {
  // The choice comes back as the result, so its Click runs once the menu has closed.
  return static_cast<uint32_t>(::TrackPopupMenu(static_cast<HMENU>(menu), flags | TPM_RETURNCMD | TPM_NONOTIFY,
                                                at.x, at.y, 0, Hwnd(owner), nullptr));
}

std::optional<PixelRect> Win32Os::NotifyIconRect(const NotifyIconData& data) {
  if (shellNotifyIconGetRect_ == nullptr) return std::nullopt;
  NOTIFYICONIDENTIFIER icon{};
  icon.cbSize = sizeof icon;
  icon.hWnd = Hwnd(data.hWnd);
  icon.uID = data.uID;
  RECT rect{};
  if (FAILED(shellNotifyIconGetRect_(&icon, &rect))) return std::nullopt;
  return PixelRect{rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace vantrel

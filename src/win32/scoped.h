#pragma once
// Owners of the Windows handles this program must give back. Each releases its handle
// when it goes out of scope, so no early return leaks one and no code releases by hand.
#include <windows.h>

#include <memory>
#include <type_traits>

namespace vantrel::scoped {

template <auto Release>
struct Releaser {
  template <typename Handle>
  void operator()(Handle handle) const {
    Release(handle);
  }
};

template <typename Handle, auto Release>
using Unique = std::unique_ptr<std::remove_pointer_t<Handle>, Releaser<Release>>;

using Brush = Unique<HBRUSH, ::DeleteObject>;
using Font = Unique<HFONT, ::DeleteObject>;
using Pen = Unique<HPEN, ::DeleteObject>;
using Icon = Unique<HICON, ::DestroyIcon>;
using Menu = Unique<HMENU, ::DestroyMenu>;
using Handle = Unique<HANDLE, ::CloseHandle>;
using Module = Unique<HMODULE, ::FreeLibrary>;
using Window = Unique<HWND, ::DestroyWindow>;
using RegistryKey = Unique<HKEY, ::RegCloseKey>;

// A COM interface pointer, released once.
struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, ComRelease>;

// A device context of a window (or of the screen, for a null window) from GetDC.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// The device context of a WM_PAINT, from BeginPaint to EndPaint.
class PaintDC {
 public:
  explicit PaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  ~PaintDC() { EndPaint(window_, &paint_); }
  PaintDC(const PaintDC&) = delete;
  PaintDC& operator=(const PaintDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// An object selected into a device context, and the one it replaced put back.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace vantrel::scoped

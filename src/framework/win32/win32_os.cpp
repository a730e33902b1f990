#include "framework/win32/win32_os.h"

#include <shellapi.h>

#include <cstddef>
#include <memory>
#include <type_traits>

#include "app/tray_icon.h"
#include "display/devmode.h"
#include "framework/form.h"
#include "framework/menu.h"
#include "framework/twips.h"

namespace vantrel {

// The portable code hands these records and constants across unchanged.
static_assert(sizeof(DevMode) == sizeof(DEVMODEA));
static_assert(offsetof(DevMode, dmSize) == offsetof(DEVMODEA, dmSize));
static_assert(offsetof(DevMode, dmFields) == offsetof(DEVMODEA, dmFields));
static_assert(offsetof(DevMode, dmFormName) == offsetof(DEVMODEA, dmFormName));
static_assert(offsetof(DevMode, dmBitsPerPel) == offsetof(DEVMODEA, dmBitsPerPel));
static_assert(offsetof(DevMode, dmPelsWidth) == offsetof(DEVMODEA, dmPelsWidth));
static_assert(offsetof(DevMode, dmPelsHeight) == offsetof(DEVMODEA, dmPelsHeight));
static_assert(offsetof(DevMode, dmDisplayFlags) == offsetof(DEVMODEA, dmDisplayFlags));
static_assert(offsetof(DevMode, dmDisplayFrequency) == offsetof(DEVMODEA, dmDisplayFrequency));
static_assert(offsetof(DevMode, dmPanningHeight) == offsetof(DEVMODEA, dmPanningHeight));
static_assert(sizeof(NotifyIconData) == NOTIFYICONDATAA_V1_SIZE);
static_assert(offsetof(NotifyIconData, hWnd) == offsetof(NOTIFYICONDATAA, hWnd));
static_assert(offsetof(NotifyIconData, uID) == offsetof(NOTIFYICONDATAA, uID));
static_assert(offsetof(NotifyIconData, uFlags) == offsetof(NOTIFYICONDATAA, uFlags));
static_assert(offsetof(NotifyIconData, uCallbackMessage) ==
              offsetof(NOTIFYICONDATAA, uCallbackMessage));
static_assert(offsetof(NotifyIconData, hIcon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(offsetof(NotifyIconData, szTip) == offsetof(NOTIFYICONDATAA, szTip));
static_assert(win::kWmNull == WM_NULL && win::kWmClose == WM_CLOSE &&
              win::kWmCommand == WM_COMMAND && win::kWmTimer == WM_TIMER &&
              win::kWmMouseMove == WM_MOUSEMOVE && win::kWmLButtonDown == WM_LBUTTONDOWN &&
              win::kWmRButtonUp == WM_RBUTTONUP);
static_assert(win::kSwHide == SW_HIDE && win::kSwShowNormal == SW_SHOWNORMAL &&
              win::kSwShowMinimized == SW_SHOWMINIMIZED &&
              win::kSwShowNoActivate == SW_SHOWNOACTIVATE && win::kSwShow == SW_SHOW &&
              win::kSwShowMinNoActive == SW_SHOWMINNOACTIVE && win::kSwRestore == SW_RESTORE);
static_assert(win::kMbOk == MB_OK && win::kMbIconStop == MB_ICONSTOP);
static_assert(win::kNimAdd == NIM_ADD && win::kNimModify == NIM_MODIFY &&
              win::kNimDelete == NIM_DELETE && win::kNifMessage == NIF_MESSAGE &&
              win::kNifIcon == NIF_ICON && win::kNifTip == NIF_TIP);
static_assert(win::kCdsUpdateRegistry == CDS_UPDATEREGISTRY && win::kCdsTest == CDS_TEST);
static_assert(win::kDispChangeSuccessful == DISP_CHANGE_SUCCESSFUL &&
              win::kDispChangeRestart == DISP_CHANGE_RESTART &&
              win::kDispChangeFailed == DISP_CHANGE_FAILED &&
              win::kDispChangeBadMode == DISP_CHANGE_BADMODE);

namespace {

constexpr const char* kInstanceMutexName = "Local\\AmbrelUtilities.Vantrel.Instance";

HWND Hwnd(WindowHandle window) { return static_cast<HWND>(window); }

Form* FormOf(HWND window) {
  return reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  Form* form = FormOf(window);
  if (form != nullptr && form->hWnd() == window && form->OnMessage(message, wParam, lParam)) {
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

struct MenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

// Builds the Windows menu for the children of `item`; hidden items are left out.
UniqueMenu BuildPopup(const MenuItem& item) {
  UniqueMenu popup(CreatePopupMenu());
  for (const MenuItem& child : item.children) {
    if (!child.visible) continue;
    const UINT grayed = child.enabled ? 0 : MF_GRAYED;
    if (child.IsSeparator()) {
      AppendMenuA(popup.get(), MF_SEPARATOR, 0, nullptr);
    } else if (!child.children.empty()) {
      UniqueMenu submenu = BuildPopup(child);
      if (AppendMenuA(popup.get(), MF_POPUP | grayed, reinterpret_cast<UINT_PTR>(submenu.get()),
                      child.caption.c_str())) {
        submenu.release();  // owned by its parent menu from now on
      }
    } else {
      AppendMenuA(popup.get(), MF_STRING | grayed, child.id, child.caption.c_str());
    }
  }
  return popup;
}

DWORD FrameStyleOf(const FormLayout& layout) {
  return layout.frame == FrameStyle::Sizable ? WS_OVERLAPPEDWINDOW
                                             : WS_POPUP | WS_CAPTION | WS_SYSMENU;
}

DWORD FrameExStyleOf(const FormLayout& layout) {
  DWORD exStyle = layout.taskbarButton ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
  if (layout.frame == FrameStyle::FixedDialog) exStyle |= WS_EX_DLGMODALFRAME;
  return exStyle;
}

}  // namespace

Win32Os::~Win32Os() {
  if (instanceMutex_ != nullptr) CloseHandle(instanceMutex_);
}

bool Win32Os::EnumDisplaySettingsA(DevMode& mode) {
  return ::EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS,
                                reinterpret_cast<DEVMODEA*>(&mode)) != FALSE;
}

int32_t Win32Os::ChangeDisplaySettingsA(DevMode& mode, uint32_t flags) {
  return ::ChangeDisplaySettingsA(reinterpret_cast<DEVMODEA*>(&mode), flags);
}

bool Win32Os::Shell_NotifyIconA(uint32_t message, NotifyIconData& data) {
  return ::Shell_NotifyIconA(message, reinterpret_cast<NOTIFYICONDATAA*>(&data)) != FALSE;
}

intptr_t Win32Os::ShellExecuteA(const std::string& file, const std::string& directory,
                                int32_t showCommand) {
  return reinterpret_cast<intptr_t>(::ShellExecuteA(nullptr, nullptr, file.c_str(), nullptr,
                                                    directory.c_str(), showCommand));
}

bool Win32Os::StartProcess(const std::string& commandLine, int32_t showCommand) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION process{};
  std::string mutableCommandLine = commandLine;  // CreateProcess may write into it
  if (!CreateProcessA(nullptr, mutableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool Win32Os::AnotherInstanceRunning() {
  // A named mutex answers atomically, even for two copies started at the same moment.
  if (instanceMutex_ == nullptr) {
    instanceMutex_ = CreateMutexA(nullptr, FALSE, kInstanceMutexName);
  }
  return instanceMutex_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

void Win32Os::RegisterFormClass(const Form& form) {
  const FormLayout& layout = form.Layout();
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(instance_, layout.className.c_str(), &existing)) return;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = FormWindowProc;
  windowClass.hInstance = instance_;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = layout.className.c_str();
  if (layout.iconResource != 0) {
    const LPCSTR icon = MAKEINTRESOURCEA(layout.iconResource);
    windowClass.hIcon = static_cast<HICON>(LoadImageA(instance_, icon, IMAGE_ICON, 0, 0,
                                                      LR_DEFAULTSIZE | LR_SHARED));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(instance_, icon, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  }
  RegisterClassExA(&windowClass);
}

WindowHandle Win32Os::CreateFormWindow(Form& form) {
  RegisterFormClass(form);
  const FormLayout& layout = form.Layout();
  const double twipsPerPixel = TwipsPerPixel(ScreenDpiX());
  RECT outer{0, 0, TwipsToPixels(layout.clientWidthTwips, twipsPerPixel),
             TwipsToPixels(layout.clientHeightTwips, twipsPerPixel)};
  const DWORD style = FrameStyleOf(layout), exStyle = FrameExStyleOf(layout);
  AdjustWindowRectEx(&outer, style, FALSE, exStyle);
  return CreateWindowExA(exStyle, layout.className.c_str(), layout.caption.c_str(), style,
                         CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                         outer.bottom - outer.top, nullptr, nullptr, instance_, &form);
}

void Win32Os::DestroyWindow(WindowHandle window) { ::DestroyWindow(Hwnd(window)); }

void Win32Os::ShowWindow(WindowHandle window, int32_t showCommand) {
  ::ShowWindow(Hwnd(window), showCommand);
}

void Win32Os::MoveWindow(WindowHandle window, const PixelRect& outer) {
  SetWindowPos(Hwnd(window), nullptr, outer.left, outer.top, outer.right - outer.left,
               outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

PixelRect Win32Os::GetWindowRect(WindowHandle window) {
  RECT rect{};
  ::GetWindowRect(Hwnd(window), &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

void Win32Os::UpdateWindow(WindowHandle window) { ::UpdateWindow(Hwnd(window)); }

bool Win32Os::SetForegroundWindow(WindowHandle window) {
  return ::SetForegroundWindow(Hwnd(window)) != FALSE;
}

IconHandle Win32Os::WindowIcon(WindowHandle window) {
  // The small image: the tray shows icons at small-icon size.
  return reinterpret_cast<HICON>(GetClassLongPtrA(Hwnd(window), GCLP_HICONSM));
}

void Win32Os::SetTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) {
  ::SetTimer(Hwnd(window), id, milliseconds, nullptr);
}

bool Win32Os::PostMessageA(WindowHandle window, uint32_t message) {
  return ::PostMessageA(Hwnd(window), message, 0, 0) != FALSE;
}

uint32_t Win32Os::RegisterWindowMessageA(const char* name) {
  return ::RegisterWindowMessageA(name);
}

PixelPoint Win32Os::GetCursorPos() {
  POINT point{};
  ::GetCursorPos(&point);
  return {point.x, point.y};
}

uint32_t Win32Os::TrackPopupMenu(const MenuItem& menu, uint32_t flags, PixelPoint at,
                                 WindowHandle owner) {
  UniqueMenu popup = BuildPopup(menu);
  // The choice comes back as the result, so its Click runs once the menu has closed.
  return static_cast<uint32_t>(::TrackPopupMenu(popup.get(), flags | TPM_RETURNCMD | TPM_NONOTIFY,
                                                at.x, at.y, 0, Hwnd(owner), nullptr));
}

int32_t Win32Os::MessageBoxA(WindowHandle owner, const std::string& text,
                             const std::string& caption, uint32_t style) {
  return ::MessageBoxA(Hwnd(owner), text.c_str(), caption.c_str(), style);
}

int32_t Win32Os::ScreenDpiX() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

void Win32Os::PostQuitMessage() { ::PostQuitMessage(0); }

int RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    HWND active = GetActiveWindow();
    // Dialog keys (Tab, Enter, Esc) for windows with controls.
    if (active != nullptr && IsDialogMessageA(active, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace vantrel

// The operating system's plain calls: each member of Win32Os here makes the one Windows API
// call a request needs (or the few that belong together) and adds nothing the seam does not promise.
#include "win32/win32_os.h"

#include <shellapi.h>
#include <windowsx.h>
#include <wtsapi32.h>

#include <cstddef>
#include <cstring>

#include "app/tray_icon.h"
#include "display/devmode.h"
#include "win32/desktop.h"

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
static_assert(win::kWmSettingChange == WM_SETTINGCHANGE && win::kWmDisplayChange == WM_DISPLAYCHANGE &&
              win::kWmWtsSessionChange == WM_WTSSESSION_CHANGE && win::kWmDpiChanged == WM_DPICHANGED);
static_assert(win::kDisplayDeviceActive == DISPLAY_DEVICE_ACTIVE &&
              win::kDisplayDevicePrimaryDevice == DISPLAY_DEVICE_PRIMARY_DEVICE);
static_assert(win::kWmNull == WM_NULL && win::kWmClose == WM_CLOSE &&
              win::kWmEndSession == WM_ENDSESSION && win::kWmCommand == WM_COMMAND &&
              win::kWmSysCommand == WM_SYSCOMMAND && win::kWmTimer == WM_TIMER &&
              win::kWmMouseMove == WM_MOUSEMOVE && win::kWmRButtonUp == WM_RBUTTONUP &&
              win::kScClose == SC_CLOSE);
static_assert(win::kSwHide == SW_HIDE && win::kSwShowNormal == SW_SHOWNORMAL &&
              win::kSwShowMinimized == SW_SHOWMINIMIZED &&
              win::kSwShowMaximized == SW_SHOWMAXIMIZED &&
              win::kSwShowNoActivate == SW_SHOWNOACTIVATE &&
              win::kSwShowMinNoActive == SW_SHOWMINNOACTIVE && win::kSwRestore == SW_RESTORE &&
              win::kSwShow == SW_SHOW && win::kSwShowDefault == SW_SHOWDEFAULT);
static_assert(win::kSmCxIcon == SM_CXICON && win::kSmCxSmIcon == SM_CXSMICON &&
              win::kSmXVirtualScreen == SM_XVIRTUALSCREEN && win::kSmYVirtualScreen == SM_YVIRTUALSCREEN &&
              win::kSmCxVirtualScreen == SM_CXVIRTUALSCREEN && win::kSmCyVirtualScreen == SM_CYVIRTUALSCREEN);
static_assert(win::kWsCaption == WS_CAPTION && win::kWsPopup == WS_POPUP && win::kWsChild == WS_CHILD &&
              win::kAsfwAny == ASFW_ANY);
static_assert(win::kMbOk == MB_OK && win::kMbIconStop == MB_ICONSTOP);
static_assert(win::kNimAdd == NIM_ADD && win::kNimModify == NIM_MODIFY &&
              win::kNimDelete == NIM_DELETE && win::kNimSetFocus == NIM_SETFOCUS &&
              win::kNifMessage == NIF_MESSAGE && win::kNifIcon == NIF_ICON && win::kNifTip == NIF_TIP);
static_assert(win::kRestartNoCrash == RESTART_NO_CRASH && win::kRestartNoHang == RESTART_NO_HANG &&
              win::kRestartNoReboot == RESTART_NO_REBOOT);
static_assert(win::kCdsUpdateRegistry == CDS_UPDATEREGISTRY && win::kCdsTest == CDS_TEST);
static_assert(win::kDispChangeSuccessful == DISP_CHANGE_SUCCESSFUL &&
              win::kDispChangeRestart == DISP_CHANGE_RESTART &&
              win::kDispChangeFailed == DISP_CHANGE_FAILED &&
              win::kDispChangeBadMode == DISP_CHANGE_BADMODE);
namespace {

constexpr const char* kInstanceMutexName = "Local\\AmbrelUtilities.Vantrel.Instance";

// `file` in the system directory; empty where the directory cannot be read.
std::string SystemPath(const char* file) {
  char directory[MAX_PATH];
  const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(directory, length) + "\\" + file;
}

template <typename Function>
Function ModuleFunction(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

Win32Os::Win32Os(HINSTANCE instance)
    : instance_(instance),
      getDpiForWindow_(SystemFunction<GetDpiForWindowFunction>("user32.dll", "GetDpiForWindow")),
      adjustWindowRectExForDpi_(SystemFunction<AdjustWindowRectExForDpiFunction>(
          "user32.dll", "AdjustWindowRectExForDpi")),
      getSystemMetricsForDpi_(
          SystemFunction<GetSystemMetricsForDpiFunction>("user32.dll", "GetSystemMetricsForDpi")),
      shellNotifyIconGetRect_(
          SystemFunction<ShellNotifyIconGetRectFunction>("shell32.dll", "Shell_NotifyIconGetRect")) {}

Win32Os::~Win32Os() = default;

bool Win32Os::EnumDisplayDevicesA(const char* adapter, uint32_t index, DisplayDevice& device) {
  DISPLAY_DEVICEA found{};
  found.cb = sizeof found;
  if (!::EnumDisplayDevicesA(adapter, index, &found, 0)) return false;
  device = {.name = std::string(found.DeviceName, strnlen(found.DeviceName, sizeof found.DeviceName)),
            .id = std::string(found.DeviceID, strnlen(found.DeviceID, sizeof found.DeviceID)),
            .flags = found.StateFlags};
  return true;
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
  // ShellExecute may hand the document to shell extensions that need COM on the
  // calling thread. Without it the shell still opens most documents, so a refusal
  // is no reason to fail here.
  com_.Enter();
  return reinterpret_cast<intptr_t>(::ShellExecuteA(nullptr, nullptr, file.c_str(), nullptr,
                                                    directory.c_str(), showCommand));
}

bool Win32Os::StartSystemProgram(const std::string& program, const std::string& commandLine,
                                 int32_t showCommand) {
  // With the program's full path, CreateProcess searches nowhere: not this exe's
  // folder, not the current directory.
  const std::string path = SystemPath(program.c_str());
  if (path.empty()) return false;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION process{};
  std::string mutableCommandLine = commandLine;  // CreateProcess may write into it
  if (!CreateProcessA(path.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  const scoped::Handle thread(process.hThread), started(process.hProcess);
  return true;
}

bool Win32Os::AnotherInstanceRunning() {
  // A named mutex answers atomically, even for two copies started at the same moment.
  // A copy running elevated made the mutex out of this copy's reach: access denied
  // means it exists, so that copy counts as running too.
  if (!instanceMutex_) {
    instanceMutex_.reset(CreateMutexA(nullptr, FALSE, kInstanceMutexName));
    const DWORD error = GetLastError();
    anotherInstance_ = instanceMutex_ ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
  }
  return anotherInstance_;
}

bool Win32Os::OnVisibleDesktop() { return ThisProcessCanBeSeen(); }

void Win32Os::RegisterApplicationRestart(uint32_t flags) {
  // Found at run time: importing it would keep the exe from starting before Vista.
  using RegisterApplicationRestartFunction = HRESULT(WINAPI*)(PCWSTR, DWORD);
  const auto registerApplicationRestart =
      SystemFunction<RegisterApplicationRestartFunction>("kernel32.dll", "RegisterApplicationRestart");
  if (registerApplicationRestart != nullptr) registerApplicationRestart(nullptr, flags);
}

IconHandle Win32Os::LoadIconResource(uint16_t resource, int32_t pixels) {
  // Not LR_SHARED: the shared cache hands out the first size it loaded of a resource,
  // whatever size is asked for.
  return LoadImageA(instance_, MAKEINTRESOURCEA(resource), IMAGE_ICON, pixels, pixels, 0);
}

void Win32Os::WatchSession(WindowHandle window) {
  // Found at run time, from the system folder alone: an import would load the DLL into
  // every start, and keep the exe from starting where it is missing.
  using RegisterFunction = BOOL(WINAPI*)(HWND, DWORD);
  if (sessionWatcher_ != nullptr) return;
  const std::string path = SystemPath("wtsapi32.dll");
  scoped::Module service(path.empty() ? nullptr : LoadLibraryA(path.c_str()));
  const auto watch = ModuleFunction<RegisterFunction>(service.get(), "WTSRegisterSessionNotification");
  if (watch == nullptr || !watch(Hwnd(window), NOTIFY_FOR_THIS_SESSION)) return;
  sessionService_ = std::move(service);
  sessionWatcher_ = Hwnd(window);
}

void Win32Os::StopWatchingSession(HWND window) {
  using UnregisterFunction = BOOL(WINAPI*)(HWND);
  if (window != sessionWatcher_) return;
  const auto unwatch = ModuleFunction<UnregisterFunction>(sessionService_.get(), "WTSUnRegisterSessionNotification");
  if (unwatch != nullptr) unwatch(window);
  sessionWatcher_ = nullptr;
}

void Win32Os::DestroyIcon(IconHandle icon) { ::DestroyIcon(static_cast<HICON>(icon)); }

int32_t Win32Os::GetSystemMetrics(int32_t index) { return ::GetSystemMetrics(index); }

int32_t Win32Os::GetSystemMetricsForDpi(int32_t index, int32_t dpi) {
  if (getSystemMetricsForDpi_ == nullptr) return ::GetSystemMetrics(index);
  return getSystemMetricsForDpi_(index, static_cast<UINT>(dpi));
}

int32_t Win32Os::TaskbarDpi() {
  // The taskbar is aware of each monitor's DPI, so its window's DPI is its monitor's.
  HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
  if (taskbar == nullptr || getDpiForWindow_ == nullptr) return 0;
  return static_cast<int32_t>(getDpiForWindow_(taskbar));
}

void Win32Os::ShowWindow(WindowHandle window, int32_t showCommand) {
  ::ShowWindow(Hwnd(window), showCommand);
}

void Win32Os::ShowUnseenWindow(uint32_t style, int32_t showCommand) {
  // A layered window is not drawn until it is given its layer (SetLayeredWindowAttributes or
  // UpdateLayeredWindow), so it shows nothing even maximized; a tool window has no taskbar
  // button, even minimized; a transparent one lets every click through.
  const scoped::Window unseen(CreateWindowExA(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT, "STATIC", "",
                                              style, 0, 0, 0, 0, nullptr, nullptr, instance_, nullptr));
  if (unseen) ::ShowWindow(unseen.get(), showCommand);
}

void Win32Os::MoveWindow(WindowHandle window, const PixelRect& outer) {
  SetWindowPos(Hwnd(window), nullptr, outer.left, outer.top, outer.Width(), outer.Height(),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

PixelRect Win32Os::GetWindowRect(WindowHandle window) {
  RECT rect{};
  ::GetWindowRect(Hwnd(window), &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

void Win32Os::UpdateWindow(WindowHandle window) { ::UpdateWindow(Hwnd(window)); }

void Win32Os::SetControlText(WindowHandle window, uint32_t controlId, const std::string& text) {
  SetDlgItemTextA(Hwnd(window), static_cast<int>(controlId), text.c_str());
}

void Win32Os::InitialiseKeyboardCues(WindowHandle window) {
  SendMessageA(Hwnd(window), WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, 0), 0);
}

bool Win32Os::SetForegroundWindow(WindowHandle window) {
  return ::SetForegroundWindow(Hwnd(window)) != FALSE;
}

WindowHandle Win32Os::GetForegroundWindow() { return ::GetForegroundWindow(); }

int32_t Win32Os::WindowDpi(WindowHandle window) {
  const UINT dpi = getDpiForWindow_ != nullptr ? getDpiForWindow_(Hwnd(window)) : 0;
  return dpi != 0 ? static_cast<int32_t>(dpi) : ScreenDpiX();
}

PixelRect Win32Os::WorkArea() {
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  return {work.left, work.top, work.right, work.bottom};
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

PixelPoint Win32Os::GetMessagePos() {
  const DWORD position = ::GetMessagePos();
  return {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
}

int32_t Win32Os::MessageBoxA(WindowHandle owner, const std::string& text,
                             const std::string& caption, uint32_t style) {
  return ::MessageBoxA(Hwnd(owner), text.c_str(), caption.c_str(), style);
}

int32_t Win32Os::ScreenDpiX() {
  const scoped::WindowDC screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSX);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

void Win32Os::PostQuitMessage() { ::PostQuitMessage(0); }

}  // namespace vantrel

#pragma once
// The one seam between the program and the operating system. Everything above it is
// plain C++ that the host tests drive with a fake. Most members are one Windows API call
// each and add no policy of their own; the few window services (creating a form's window,
// the frame around a client area, the popup menu) do what a form needs of a window in
// several calls, and say so.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

struct DevMode;
struct NotifyIconData;
struct MenuItem;
struct FormLayout;
class Form;

using WindowHandle = void*;
using IconHandle = void*;
using MenuHandle = void*;

struct PixelPoint {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

struct PixelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool Contains(PixelPoint point) const {
    return point.x >= left && point.x < right && point.y >= top && point.y < bottom;
  }
  PixelPoint Centre() const { return {left + Width() / 2, top + Height() / 2}; }
};

// A process and where it runs: its terminal-services session and its mandatory integrity
// level (the level's relative id, SECURITY_MANDATORY_*_RID; 0 where Windows has none).
struct ProcessPlace {
  uint32_t id = 0;
  uint32_t session = 0;
  uint32_t integrity = 0;
};

// The two sizes of a window's icon: the large one (Alt+Tab) and the small one (title bar
// and notification area).
struct FormIcons {
  IconHandle large = nullptr;
  IconHandle small = nullptr;
};

// What assistive technology (a screen reader) is to be told about a control where its
// class alone would tell it wrong: a role and state of the accessibility layer (ROLE_SYSTEM_*,
// STATE_SYSTEM_*) and a name. Zero and empty leave the control's own.
struct ControlAnnotation {
  int32_t role = 0;
  uint32_t state = 0;
  std::string name;
  friend bool operator==(const ControlAnnotation&, const ControlAnnotation&) = default;
};

// A display device as the system lists it: an adapter's output, or a monitor on one.
struct DisplayDevice {
  std::string name;  // "\\.\DISPLAY1", or "\\.\DISPLAY1\Monitor0"
  std::string id;    // the hardware's: "PCI\VEN_...", "MONITOR\GSM5B7F\{...}\0003"
  uint32_t flags = 0;  // DISPLAY_DEVICE_*
};

class Os {
 public:
  virtual ~Os() = default;

  // Display driver of the primary display. The read always asks for the current
  // settings (ENUM_CURRENT_SETTINGS) of the default device (null name).
  virtual bool EnumDisplaySettingsA(DevMode& mode) = 0;
  virtual int32_t ChangeDisplaySettingsA(DevMode& mode, uint32_t flags) = 0;
  // The `index`th display adapter output (null `adapter`), or monitor on the output named
  // `adapter`; false past the last.
  virtual bool EnumDisplayDevicesA(const char* adapter, uint32_t index, DisplayDevice& device) = 0;

  // Shell
  virtual bool Shell_NotifyIconA(uint32_t message, NotifyIconData& data) = 0;
  // Where the shell shows the icon, on screen; none where the shell cannot tell
  // (before Windows 7, or a shell that does not implement it).
  virtual std::optional<PixelRect> NotifyIconRect(const NotifyIconData& data) = 0;
  // Opens a document with its default action; null owner, operation and parameters.
  virtual intptr_t ShellExecuteA(const std::string& file, const std::string& directory,
                                 int32_t showCommand) = 0;
  // Starts `program` from the system directory, never from a search path, with the
  // given command line, without waiting for it.
  virtual bool StartSystemProgram(const std::string& program, const std::string& commandLine,
                                  int32_t showCommand) = 0;
  virtual bool AnotherInstanceRunning() = 0;
  // Whether a user can see this process's windows: not a service's window station or session.
  virtual bool OnVisibleDesktop() = 0;
  // Asks Windows to start the program again, with no arguments, after an installer's
  // Restart Manager has closed it, except in the cases `flags` (RESTART_NO_*) exclude.
  // Nothing where the system offers no such service (before Windows Vista).
  virtual void RegisterApplicationRestart(uint32_t flags) = 0;
  // Asks for WM_WTSSESSION_CHANGE at `window` about its own session until the window is
  // destroyed. Nothing where the system offers no such service (before Windows XP).
  virtual void WatchSession(WindowHandle window) = 0;

  // Icons of the exe's resources, loaded at exactly the size asked for and owned by the
  // caller.
  virtual IconHandle LoadIconResource(uint16_t resource, int32_t pixels) = 0;
  virtual void DestroyIcon(IconHandle icon) = 0;
  // For the system DPI, which the process keeps for its life.
  virtual int32_t GetSystemMetrics(int32_t index) = 0;
  // For `dpi`; for the system DPI where the system has no per-DPI metrics (before
  // Windows 10 1607).
  virtual int32_t GetSystemMetricsForDpi(int32_t index, int32_t dpi) = 0;
  // The DPI of the taskbar's monitor, which the notification area draws its icons at;
  // 0 where the system cannot tell (no taskbar, or before Windows 10 1607).
  virtual int32_t TaskbarDpi() = 0;

  // Window services: each of these does what a form needs of a window and may make
  // several calls to do it.
  // Creates the window of `form`, hidden, at `outer`, with its controls laid out for the
  // window's DPI; the class takes `icons`.
  virtual WindowHandle CreateFormWindow(Form& form, const FormIcons& icons, const PixelRect& outer) = 0;
  // The outer rectangle of a window of `layout` whose client area is `client`, with the
  // frame the system draws at `dpi`.
  virtual PixelRect FrameAround(const PixelRect& client, const FormLayout& layout, int32_t dpi) = 0;
  // Builds a Windows popup menu of the children of `popup`: the visible ones, greyed
  // where disabled, submenus alike. The caller owns it.
  virtual MenuHandle CreatePopupMenu(const MenuItem& popup) = 0;
  virtual void DestroyMenu(MenuHandle menu) = 0;
  // Shows `menu` and returns the command id chosen, 0 for none.
  virtual uint32_t TrackPopupMenu(MenuHandle menu, uint32_t flags, PixelPoint at, WindowHandle owner) = 0;

  // Tells assistive technology what `annotation` says about a control of `window`,
  // through the system's accessibility layer; where the system offers none, nothing happens.
  virtual void AnnotateControl(WindowHandle window, uint32_t controlId, const ControlAnnotation& annotation) = 0;
  // Makes a top-level, unowned window of `style` (WS_*) that nobody can see, whatever it is
  // shown as (layered and never given its layer, no taskbar button), shows it with
  // `showCommand` and destroys it.
  virtual void ShowUnseenWindow(uint32_t style, int32_t showCommand) = 0;

  // Other processes: the top-level windows of this desktop whose class is `className`, the
  // process that made a window (none where this process may not look at it), this process,
  // and a grant of the right to take the foreground (kAsfwAny: to any process), which only
  // a process that may take it itself can give.
  virtual std::vector<WindowHandle> FindWindows(const std::string& className) = 0;
  virtual std::optional<ProcessPlace> WindowProcess(WindowHandle window) = 0;
  virtual ProcessPlace OwnProcess() = 0;
  virtual void AllowSetForegroundWindow(uint32_t processId) = 0;

  // Windows: one call each.
  virtual void DestroyWindow(WindowHandle window) = 0;
  virtual void ShowWindow(WindowHandle window, int32_t showCommand) = 0;
  virtual void MoveWindow(WindowHandle window, const PixelRect& outer) = 0;
  virtual PixelRect GetWindowRect(WindowHandle window) = 0;
  virtual void UpdateWindow(WindowHandle window) = 0;
  virtual void SetControlText(WindowHandle window, uint32_t controlId, const std::string& text) = 0;
  // Shows the window's focus rectangle and mnemonics if the last input came from the
  // keyboard and hides them if it came from the mouse, as the dialog manager does for a
  // dialog (WM_CHANGEUISTATE with UIS_INITIALIZE).
  virtual void InitialiseKeyboardCues(WindowHandle window) = 0;
  virtual bool SetForegroundWindow(WindowHandle window) = 0;
  virtual WindowHandle GetForegroundWindow() = 0;
  // The window's own DPI (its monitor's, for a program aware of each monitor's DPI).
  virtual int32_t WindowDpi(WindowHandle window) = 0;
  // The primary monitor's area not covered by the taskbar.
  virtual PixelRect WorkArea() = 0;
  virtual void SetTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) = 0;
  virtual bool PostMessageA(WindowHandle window, uint32_t message) = 0;
  virtual uint32_t RegisterWindowMessageA(const char* name) = 0;
  // Where the pointer was when the message being handled was posted.
  virtual PixelPoint GetMessagePos() = 0;
  virtual int32_t MessageBoxA(WindowHandle owner, const std::string& text,
                              const std::string& caption, uint32_t style) = 0;
  virtual int32_t ScreenDpiX() = 0;
  virtual void PostQuitMessage() = 0;
};

// Values of the Windows API that the portable code hands across the seam; the Windows
// implementation checks each against <windows.h> at compile time.
namespace win {
inline constexpr uint32_t kWmNull = 0x0000;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmEndSession = 0x0016;
inline constexpr uint32_t kWmSettingChange = 0x001A;
inline constexpr uint32_t kWmDisplayChange = 0x007E;
inline constexpr uint32_t kWmCommand = 0x0111;
inline constexpr uint32_t kWmSysCommand = 0x0112;
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmMouseMove = 0x0200;
inline constexpr uint32_t kWmRButtonUp = 0x0205;
inline constexpr uint32_t kWmWtsSessionChange = 0x02B1;
inline constexpr uint32_t kWmDpiChanged = 0x02E0;
inline constexpr uintptr_t kScClose = 0xF060;

inline constexpr int32_t kSmCxIcon = 11;
inline constexpr int32_t kSmCxSmIcon = 49;
inline constexpr int32_t kSmXVirtualScreen = 76;
inline constexpr int32_t kSmYVirtualScreen = 77;
inline constexpr int32_t kSmCxVirtualScreen = 78;
inline constexpr int32_t kSmCyVirtualScreen = 79;

inline constexpr int32_t kSwHide = 0;
inline constexpr int32_t kSwShowNormal = 1;
inline constexpr int32_t kSwShowMinimized = 2;
inline constexpr int32_t kSwShowMaximized = 3;
inline constexpr int32_t kSwShowNoActivate = 4;
inline constexpr int32_t kSwShow = 5;
inline constexpr int32_t kSwShowMinNoActive = 7;
inline constexpr int32_t kSwRestore = 9;
inline constexpr int32_t kSwShowDefault = 10;

inline constexpr uint32_t kWsCaption = 0x00C00000;
inline constexpr uint32_t kWsPopup = 0x80000000;
inline constexpr uint32_t kWsChild = 0x40000000;
inline constexpr uint32_t kAsfwAny = 0xFFFFFFFF;

inline constexpr uint32_t kMbOk = 0x0000;
inline constexpr uint32_t kMbIconStop = 0x0010;

inline constexpr uint32_t kNimAdd = 0;
inline constexpr uint32_t kNimModify = 1;
inline constexpr uint32_t kNimDelete = 2;
inline constexpr uint32_t kNimSetFocus = 3;
inline constexpr uint32_t kNifMessage = 1;
inline constexpr uint32_t kNifIcon = 2;
inline constexpr uint32_t kNifTip = 4;

inline constexpr int32_t kRoleSystemLink = 0x1E;
inline constexpr int32_t kRoleSystemGraphic = 0x28;
inline constexpr uint32_t kStateSystemFocusable = 0x100000;
inline constexpr uint32_t kStateSystemLinked = 0x400000;
inline constexpr uint32_t kHcfHighContrastOn = 0x1;

inline constexpr uint32_t kRestartNoCrash = 1;
inline constexpr uint32_t kRestartNoHang = 2;
inline constexpr uint32_t kRestartNoReboot = 8;

inline constexpr uint32_t kCdsUpdateRegistry = 1;
inline constexpr uint32_t kCdsTest = 2;
inline constexpr int32_t kDispChangeSuccessful = 0;
inline constexpr int32_t kDispChangeRestart = 1;
inline constexpr int32_t kDispChangeFailed = -1;
inline constexpr int32_t kDispChangeBadMode = -2;

inline constexpr uint32_t kDisplayDeviceActive = 0x1;  // a monitor that is on
inline constexpr uint32_t kDisplayDevicePrimaryDevice = 0x4;
}  // namespace win

}  // namespace vantrel

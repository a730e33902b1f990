#pragma once
// The one seam between the program and the operating system. Everything above it is
// plain C++ that the host tests drive with a fake; the Windows implementation makes one
// API call per member and adds no policy of its own.
#include <cstdint>
#include <string>

namespace vantrel {

struct DevMode;
struct NotifyIconData;
struct MenuItem;
class Form;

using WindowHandle = void*;
using IconHandle = void*;

struct PixelPoint {
  int32_t x = 0;
  int32_t y = 0;
};

struct PixelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

class Os {
 public:
  virtual ~Os() = default;

  // Display driver of the primary display. The read always asks for the current
  // settings (ENUM_CURRENT_SETTINGS) of the default device (null name).
  virtual bool EnumDisplaySettingsA(DevMode& mode) = 0;
  virtual int32_t ChangeDisplaySettingsA(DevMode& mode, uint32_t flags) = 0;

  // Shell
  virtual bool Shell_NotifyIconA(uint32_t message, NotifyIconData& data) = 0;
  // Opens a document with its default action; null owner, operation and parameters.
  virtual intptr_t ShellExecuteA(const std::string& file, const std::string& directory,
                                 int32_t showCommand) = 0;
  // Starts a command line as a new process without waiting for it.
  virtual bool StartProcess(const std::string& commandLine, int32_t showCommand) = 0;
  virtual bool AnotherInstanceRunning() = 0;

  // Windows
  virtual WindowHandle CreateFormWindow(Form& form) = 0;
  virtual void DestroyWindow(WindowHandle window) = 0;
  virtual void ShowWindow(WindowHandle window, int32_t showCommand) = 0;
  virtual void MoveWindow(WindowHandle window, const PixelRect& outer) = 0;
  virtual PixelRect GetWindowRect(WindowHandle window) = 0;
  virtual void UpdateWindow(WindowHandle window) = 0;
  virtual void SetControlText(WindowHandle window, uint32_t controlId, const std::string& text) = 0;
  virtual bool SetForegroundWindow(WindowHandle window) = 0;
  virtual IconHandle WindowIcon(WindowHandle window) = 0;
  virtual void SetTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) = 0;
  virtual bool PostMessageA(WindowHandle window, uint32_t message) = 0;
  virtual uint32_t RegisterWindowMessageA(const char* name) = 0;
  virtual PixelPoint GetCursorPos() = 0;
  // Shows the submenu of `menu` and returns the command id chosen, 0 for none.
  virtual uint32_t TrackPopupMenu(const MenuItem& menu, uint32_t flags, PixelPoint at,
                                  WindowHandle owner) = 0;
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
inline constexpr uint32_t kWmCommand = 0x0111;
inline constexpr uint32_t kWmTimer = 0x0113;
inline constexpr uint32_t kWmMouseMove = 0x0200;
inline constexpr uint32_t kWmRButtonUp = 0x0205;

inline constexpr int32_t kSwHide = 0;
inline constexpr int32_t kSwShowNormal = 1;
inline constexpr int32_t kSwShowMinimized = 2;
inline constexpr int32_t kSwShowNoActivate = 4;
inline constexpr int32_t kSwShow = 5;
inline constexpr int32_t kSwShowMinNoActive = 7;
inline constexpr int32_t kSwRestore = 9;

inline constexpr uint32_t kMbOk = 0x0000;
inline constexpr uint32_t kMbIconStop = 0x0010;

inline constexpr uint32_t kNimAdd = 0;
inline constexpr uint32_t kNimModify = 1;
inline constexpr uint32_t kNimDelete = 2;
inline constexpr uint32_t kNifMessage = 1;
inline constexpr uint32_t kNifIcon = 2;
inline constexpr uint32_t kNifTip = 4;

inline constexpr uint32_t kCdsUpdateRegistry = 1;
inline constexpr uint32_t kCdsTest = 2;
inline constexpr int32_t kDispChangeSuccessful = 0;
inline constexpr int32_t kDispChangeRestart = 1;
inline constexpr int32_t kDispChangeFailed = -1;
inline constexpr int32_t kDispChangeBadMode = -2;
}  // namespace win

}  // namespace vantrel

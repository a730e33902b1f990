#pragma once
#include <windows.h>
#include <shellapi.h>
#include <oleacc.h>

#include <optional>
#include <string>
#include <vector>

#include "framework/os.h"
#include "win32/com.h"
#include "win32/scoped.h"

namespace vantrel {

inline HWND Hwnd(WindowHandle window) { return static_cast<HWND>(window); }

// A function of newer Windows versions, found at run time so the exe still starts where
// it is missing (null then).
template <typename Function>
Function SystemFunction(const char* module, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}

// The operating system as the program sees it. The plain calls are in api_calls.cpp,
// the window services (a form's window, its frame) in window_toolkit.cpp, the popup
// menu in popup_menu.cpp, what screen readers are told in accessibility.cpp, other
// processes in other_processes.cpp.
class Win32Os final : public Os {
 public:
  explicit Win32Os(HINSTANCE instance);
  ~Win32Os() override;
  Win32Os(const Win32Os&) = delete;
  Win32Os& operator=(const Win32Os&) = delete;

  bool EnumDisplaySettingsA(DevMode& mode) override;
  int32_t ChangeDisplaySettingsA(DevMode& mode, uint32_t flags) override;
  bool EnumDisplayDevicesA(const char* adapter, uint32_t index, DisplayDevice& device) override;
  bool Shell_NotifyIconA(uint32_t message, NotifyIconData& data) override;
  std::optional<PixelRect> NotifyIconRect(const NotifyIconData& data) override;
  intptr_t ShellExecuteA(const std::string& file, const std::string& directory,
                         int32_t showCommand) override;
  bool StartSystemProgram(const std::string& program, const std::string& commandLine,
                          int32_t showCommand) override;
  bool AnotherInstanceRunning() override;
  bool OnVisibleDesktop() override;
  void RegisterApplicationRestart(uint32_t flags) override;
  void WatchSession(WindowHandle window) override;
  IconHandle LoadIconResource(uint16_t resource, int32_t pixels) override;
  void DestroyIcon(IconHandle icon) override;
  int32_t GetSystemMetrics(int32_t index) override;
  int32_t GetSystemMetricsForDpi(int32_t index, int32_t dpi) override;
  int32_t TaskbarDpi() override;
  WindowHandle CreateFormWindow(Form& form, const FormIcons& icons, const PixelRect& outer) override;
  PixelRect FrameAround(const PixelRect& client, const FormLayout& layout, int32_t dpi) override;
  MenuHandle CreatePopupMenu(const MenuItem& popup) override;
  void DestroyMenu(MenuHandle menu) override;
  uint32_t TrackPopupMenu(MenuHandle menu, uint32_t flags, PixelPoint at, WindowHandle owner) override;
  void AnnotateControl(WindowHandle window, uint32_t controlId, const ControlAnnotation& annotation) override;
  void DestroyWindow(WindowHandle window) override;
  void ShowWindow(WindowHandle window, int32_t showCommand) override;
  void ShowUnseenWindow(uint32_t style, int32_t showCommand) override;
  std::vector<WindowHandle> FindWindows(const std::string& className) override;
  std::optional<ProcessPlace> WindowProcess(WindowHandle window) override;
  ProcessPlace OwnProcess() override;
  void AllowSetForegroundWindow(uint32_t processId) override;
  void MoveWindow(WindowHandle window, const PixelRect& outer) override;
  PixelRect GetWindowRect(WindowHandle window) override;
  void UpdateWindow(WindowHandle window) override;
  void SetControlText(WindowHandle window, uint32_t controlId, const std::string& text) override;
  void InitialiseKeyboardCues(WindowHandle window) override;
  bool SetForegroundWindow(WindowHandle window) override;
  WindowHandle GetForegroundWindow() override;
  int32_t WindowDpi(WindowHandle window) override;
  PixelRect WorkArea() override;
  void SetTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) override;
  bool PostMessageA(WindowHandle window, uint32_t message) override;
  uint32_t RegisterWindowMessageA(const char* name) override;
  PixelPoint GetMessagePos() override;
  int32_t MessageBoxA(WindowHandle owner, const std::string& text, const std::string& caption,
                      uint32_t style) override;
  int32_t ScreenDpiX() override;
  void PostQuitMessage() override;

 private:
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  using ShellNotifyIconGetRectFunction = HRESULT(WINAPI*)(const NOTIFYICONIDENTIFIER*, RECT*);
  using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);

  void RegisterFormClass(const Form& form, const FormIcons& icons);
  // The accessibility layer's annotation service; null where the system has none.
  IAccPropServices* AnnotationServices();
  void ForgetAnnotations(HWND window);
  // The session service lets go of a window before it is destroyed, as it asks.
  void StopWatchingSession(HWND window);

  HINSTANCE instance_;
  // Windows 10 and later only; null elsewhere.
  GetDpiForWindowFunction getDpiForWindow_;
  AdjustWindowRectExForDpiFunction adjustWindowRectExForDpi_;
  GetSystemMetricsForDpiFunction getSystemMetricsForDpi_;
  // Windows 7 and later only; null elsewhere.
  ShellNotifyIconGetRectFunction shellNotifyIconGetRect_;
  scoped::Handle instanceMutex_;  // held until the process ends
  bool anotherInstance_ = false;
  Com com_;  // entered when a request first needs it
  // Released before COM is left.
  scoped::ComPtr<IAccPropServices> annotationServices_;
  bool annotationServicesAsked_ = false;
  scoped::Module sessionService_;  // wtsapi32, once a window watches its session
  HWND sessionWatcher_ = nullptr;
};

// Runs the message loop until the last window has closed; returns the exit code.
int RunMessageLoop();

}  // namespace vantrel

#pragma once
// A headless operating system for the host tests: it answers like Windows would,
// records every call and every byte handed to it, and lets a test raise window messages.
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "app/tray_icon.h"
#include "display/devmode.h"
#include "framework/form.h"
#include "framework/os.h"

namespace vantrel::testing {

struct ChangeCall {
  DevMode record;
  uint32_t flags;
};

struct TrayCall {
  uint32_t message;
  NotifyIconData record;
};

struct MessageBoxCall {
  std::string text;
  std::string caption;
  uint32_t style;
};

struct FakeWindow {
  Form* form = nullptr;
  bool visible = false;
  bool minimized = false;
  bool destroyed = false;
  PixelRect rect{};
  std::map<uint32_t, uint32_t> timers;
  std::map<uint32_t, std::string> texts;  // control id -> text
};

// The visible part of a popup as the user would see it: one line per item, indented per
// level, "(grayed)" for disabled items.
std::vector<std::string> VisibleMenu(const MenuItem& popup);

class FakeOs : public Os {
 public:
  FakeOs();

  // --- display driver
  DevMode mode{};                 // what a successful read writes
  bool readFails = false;         // the read writes nothing and returns false
  std::function<bool()> readFailsIf;  // when set, decides each read instead of readFails
  int32_t defaultTestCode = win::kDispChangeSuccessful;
  std::map<std::tuple<int32_t, int32_t, int32_t>, int32_t> testCodes;
  int32_t applyCode = win::kDispChangeSuccessful;
  std::vector<DevMode> readRecords;  // as handed to the read, before it writes
  std::vector<ChangeCall> changeCalls;
  std::function<void()> onDisplayChangeCall;  // runs inside every ChangeDisplaySettingsA
  void SetMode(int32_t width, int32_t height, int32_t frequency);

  // --- shell
  bool trayAnswer = true;
  std::function<bool(uint32_t message)> trayAnswers;  // overrides trayAnswer when set
  std::vector<TrayCall> trayCalls;
  intptr_t shellExecuteResult = 42;
  std::vector<std::tuple<std::string, std::string, int32_t>> shellExecutes;
  bool startProcessResult = true;
  std::vector<std::pair<std::string, int32_t>> processes;
  bool otherInstance = false;

  // --- windows
  std::map<WindowHandle, FakeWindow> windows;
  bool createFails = false;
  int32_t dpi = 96;
  PixelPoint cursor{1012, 757};
  std::vector<MessageBoxCall> messageBoxes;
  std::function<void()> whileMessageBoxOpen;
  std::vector<std::vector<std::string>> popups;  // what each popup showed
  std::function<uint32_t(const MenuItem&)> choosePopupItem;
  std::vector<std::pair<WindowHandle, uint32_t>> postedMessages;
  int quitMessages = 0;

  // Every call in order, one short line each ("ShowWindow 4", "Shell_NotifyIconA 0", ...).
  std::vector<std::string> log;
  std::vector<std::string> Calls(const std::string& prefix) const;

  FakeWindow& Window(WindowHandle handle) { return windows.at(handle); }
  bool Send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
  // The tray's report of a mouse message over the icon, as the shell sends it.
  bool SendTrayMouse(WindowHandle window, uint32_t mouseMessage);

  bool EnumDisplaySettingsA(DevMode& record) override;
  int32_t ChangeDisplaySettingsA(DevMode& record, uint32_t flags) override;
  bool Shell_NotifyIconA(uint32_t message, NotifyIconData& data) override;
  intptr_t ShellExecuteA(const std::string& file, const std::string& directory,
                         int32_t showCommand) override;
  bool StartProcess(const std::string& commandLine, int32_t showCommand) override;
  bool AnotherInstanceRunning() override;
  WindowHandle CreateFormWindow(Form& form) override;
  void DestroyWindow(WindowHandle window) override;
  void ShowWindow(WindowHandle window, int32_t showCommand) override;
  void MoveWindow(WindowHandle window, const PixelRect& outer) override;
  PixelRect GetWindowRect(WindowHandle window) override;
  void UpdateWindow(WindowHandle window) override;
  void SetControlText(WindowHandle window, uint32_t controlId, const std::string& text) override;
  bool SetForegroundWindow(WindowHandle window) override;
  IconHandle WindowIcon(WindowHandle window) override;
  void SetTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) override;
  bool PostMessageA(WindowHandle window, uint32_t message) override;
  uint32_t RegisterWindowMessageA(const char* name) override;
  PixelPoint GetCursorPos() override;
  uint32_t TrackPopupMenu(const MenuItem& menu, uint32_t flags, PixelPoint at,
                          WindowHandle owner) override;
  int32_t MessageBoxA(WindowHandle owner, const std::string& text, const std::string& caption,
                      uint32_t style) override;
  int32_t ScreenDpiX() override { return dpi; }
  void PostQuitMessage() override;

 private:
  uintptr_t nextHandle_ = 0x1000;
  std::map<std::string, uint32_t> registeredMessages_;
};

}  // namespace vantrel::testing

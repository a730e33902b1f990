#pragma once
// A headless operating system for the host tests: it answers like Windows would,
// records every call and every byte handed to it, and lets a test raise window messages.
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/tray_icon.h"
#include "display/devmode.h"
#include "framework/form.h"
#include "framework/os.h"

namespace vantrel {

inline void PrintTo(const PixelPoint& point, std::ostream* out) { *out << "(" << point.x << ", " << point.y << ")"; }
inline void PrintTo(const PixelRect& rect, std::ostream* out) {
  *out << "{" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << "}";
}

}  // namespace vantrel

namespace vantrel::testing {

struct ChangeCall { DevMode record; uint32_t flags; };
struct TrayCall { uint32_t message; NotifyIconData record; };
struct MessageBoxCall { std::string text, caption; uint32_t style; WindowHandle owner; int32_t shownAs; };

// Which shows spend the launcher's show state besides those that take it: any first show of a
// qualifying window, a hide included (ReactOS), or none (Microsoft's ShowWindow page, Raymond Chen).
enum class ShowStateReading { AnyFirstShowSpends, OnlyATakenShowSpends };

struct FakeWindow {
  Form* form = nullptr;
  bool visible = false, minimized = false, maximized = false, destroyed = false;
  bool seenOnScreen = false;  // ever visible, not minimized, on a monitor
  PixelRect rect{};
  FormIcons icons;
  std::map<uint32_t, uint32_t> timers;
  std::map<uint32_t, std::string> texts;  // control id -> text
  // A new top-level window starts with its UI state clear: focus rectangle and mnemonics shown.
  bool keyboardCuesShown = true;
};

// The visible part of a popup as the user would see it: one line per item, indented per
// level, "(grayed)" for disabled items.
std::vector<std::string> VisibleMenu(const MenuItem& popup, int level = 0);

class FakeOs : public Os {
 public:
  FakeOs();

  // --- display driver
  DevMode mode{};                 // what a successful read writes
  bool readFails = false;         // the read writes nothing and returns false
  int32_t defaultTestCode = win::kDispChangeSuccessful;
  std::map<std::tuple<int32_t, int32_t, int32_t>, int32_t> testCodes;
  int32_t applyCode = win::kDispChangeSuccessful;
  std::vector<DevMode> readRecords;  // as handed to the read, before it writes
  std::vector<ChangeCall> changeCalls;
  std::function<void()> onDisplayChangeCall;  // runs inside every ChangeDisplaySettingsA
  void SetMode(int32_t width, int32_t height, int32_t frequency);
  // The display adapters' outputs, the monitors that are on attached to each.
  struct Adapter { std::string name, id; bool primary; std::vector<std::string> monitors; };
  std::vector<Adapter> adapters{{"\\\\.\\DISPLAY1", "PCI\\VEN_1002", true, {"MONITOR\\DEL4058\\0000"}}};
  // Every window hears of a new mode, as Windows tells them.
  void BroadcastDisplayChange();

  // --- shell
  std::function<bool(uint32_t message)> trayAnswers = [](uint32_t) { return true; };
  std::vector<TrayCall> trayCalls;
  intptr_t shellExecuteResult = 42;
  std::vector<std::tuple<std::string, std::string, int32_t>> shellExecutes;
  bool startProcessResult = true;
  std::vector<std::tuple<std::string, std::string, int32_t>> processes;  // program, command line, show
  bool otherInstance = false;
  bool setFocusTakesForeground = true;  // the shell puts the focus on the icon for NIM_SETFOCUS
  // Programs a launch started: each shows when ShowStartedPrograms says so, and then takes the
  // foreground if the program in front started it, or a grant allows it.
  struct Started { WindowHandle window; bool child; };
  std::vector<Started> startedPrograms;
  void ShowStartedPrograms();
  bool visibleDesktop = true;  // false: a service's window station or session 0
  std::map<IconHandle, int32_t> iconSizes;  // loaded and not yet destroyed
  std::map<IconHandle, int> iconsDestroyed;  // how often each was
  bool sessionWatched = false;

  // --- windows
  std::map<WindowHandle, FakeWindow> windows;
  bool createFails = false;
  int32_t dpi = 96;         // the system DPI
  // GetSystemMetrics answers for `dpi` all along; GetDpiForWindow of the per-monitor aware
  // taskbar answers its monitor's DPI now (Microsoft's page of GetDpiForWindow).
  std::optional<int32_t> taskbarDpi;  // none: still the system DPI; 0: the system cannot tell
  int32_t monitorDpi = 0;   // the DPI of the monitor the windows are on; 0: the system DPI
  std::vector<PixelRect> monitors{{0, 0, 1024, 768}};
  // The show state a launcher asked for (STARTUPINFO), until a show spends it.
  std::optional<int32_t> startupShowState;
  ShowStateReading reading = ShowStateReading::AnyFirstShowSpends;
  WindowHandle foreground = nullptr;
  std::set<WindowHandle> foreignWindows;  // windows of other programs
  std::vector<WindowHandle> closedByKeyboard;  // foreign windows an Alt+F4 reached
  std::vector<MessageBoxCall> messageBoxes;
  std::function<void()> whileMessageBoxOpen;
  struct BuiltMenu { const MenuItem* popup; std::vector<std::string> lines; };
  std::map<MenuHandle, BuiltMenu> menus;  // built and not yet destroyed, as built
  std::map<uint32_t, ControlAnnotation> annotations;  // control id -> what screen readers are told
  std::vector<std::vector<std::string>> popups;  // what each popup showed
  std::vector<PixelPoint> popupPlaces;           // where each popup opened
  std::function<uint32_t(const MenuItem&)> choosePopupItem;
  PixelPoint cursor{1012, 757};  // where the pointer was when the message was posted
  std::optional<PixelRect> iconRect;  // none: the shell cannot tell, as Wine's
  bool iconInFlyout = false;  // the overflow flyout holds the icon and closes once the foreground moves
  static inline const WindowHandle kNotificationArea = reinterpret_cast<WindowHandle>(0x7a7a);
  int quitMessages = 0;

  // --- other processes
  ProcessPlace ownProcess{100, 1, 0x2000};
  struct OtherWindow { std::string className; std::optional<ProcessPlace> process; PixelRect rect; };
  std::map<WindowHandle, OtherWindow> otherWindows;  // top-level windows of other programs on this desktop
  static inline const WindowHandle kTaskbar = reinterpret_cast<WindowHandle>(0x7b7b);
  std::vector<std::pair<WindowHandle, uint32_t>> posted;

  // Every call in order, one short line each ("ShowWindow 4", "Shell_NotifyIconA 0", ...).
  std::vector<std::string> log;
  std::vector<std::string> Calls(const std::string& prefix) const;

  FakeWindow& Window(WindowHandle handle) { return windows.at(handle); }
  bool Send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
  // The tray's report of a mouse message over the icon, as the shell sends it.
  bool SendTrayMouse(WindowHandle window, uint32_t mouseMessage);
  // Alt+F4 as the system delivers it: WM_SYSCOMMAND SC_CLOSE to the foreground window,
  // which DefWindowProc turns into WM_CLOSE when the window leaves it alone.
  void PressAltF4();
  // The frame this fake's system draws around a client area at `dpi`.
  static PixelRect Frame(const PixelRect& client, int32_t dpi);

  bool EnumDisplaySettingsA(DevMode& record) override;
  int32_t ChangeDisplaySettingsA(DevMode& record, uint32_t flags) override;
  bool Shell_NotifyIconA(uint32_t message, NotifyIconData& data) override;
  intptr_t ShellExecuteA(const std::string& file, const std::string& directory,
                         int32_t showCommand) override;
  bool StartSystemProgram(const std::string& program, const std::string& commandLine,
                          int32_t showCommand) override;
  bool AnotherInstanceRunning() override { return Logged("AnotherInstanceRunning"), otherInstance; }
  bool OnVisibleDesktop() override { return Logged("OnVisibleDesktop"), visibleDesktop; }
  void RegisterApplicationRestart(uint32_t flags) override {
    Logged("RegisterApplicationRestart " + std::to_string(flags));
  }
  bool EnumDisplayDevicesA(const char* adapter, uint32_t index, DisplayDevice& device) override;
  void WatchSession(WindowHandle) override { sessionWatched = true; }
  IconHandle LoadIconResource(uint16_t resource, int32_t pixels) override;
  void DestroyIcon(IconHandle icon) override { Logged("DestroyIcon"), ++iconsDestroyed[icon], iconSizes.erase(icon); }
  int32_t GetSystemMetrics(int32_t index) override;
  int32_t GetSystemMetricsForDpi(int32_t index, int32_t at) override { return (index == win::kSmCxIcon ? 32 : 16) * at / 96; }
  int32_t TaskbarDpi() override { return taskbarDpi.value_or(dpi); }
  WindowHandle CreateFormWindow(Form& form, const FormIcons& icons, const PixelRect& outer) override;
  PixelRect FrameAround(const PixelRect& client, const FormLayout&, int32_t at) override { return Frame(client, at); }
  void AnnotateControl(WindowHandle, uint32_t id, const ControlAnnotation& a) override { annotations[id] = a; }
  void DestroyWindow(WindowHandle window) override;
  void ShowWindow(WindowHandle window, int32_t showCommand) override;
  void MoveWindow(WindowHandle window, const PixelRect& outer) override;
  void ShowUnseenWindow(uint32_t style, int32_t showCommand) override;
  std::vector<WindowHandle> FindWindows(const std::string& className) override;
  std::optional<ProcessPlace> WindowProcess(WindowHandle window) override;
  ProcessPlace OwnProcess() override { return ownProcess; }
  void AllowSetForegroundWindow(uint32_t processId) override;
  PixelRect GetWindowRect(WindowHandle window) override {
    return windows.contains(window) ? Window(window).rect : otherWindows.at(window).rect;
  }
  void UpdateWindow(WindowHandle) override { Logged("UpdateWindow"); }
  void SetControlText(WindowHandle window, uint32_t id, const std::string& text) override { Window(window).texts.at(id) = text; }
  // The last input the system saw came from the keyboard (else the mouse).
  bool lastInputFromKeyboard = false;
  void InitialiseKeyboardCues(WindowHandle window) override { Window(window).keyboardCuesShown = lastInputFromKeyboard; }
  bool SetForegroundWindow(WindowHandle window) override;
  WindowHandle GetForegroundWindow() override { return foreground; }
  int32_t WindowDpi(WindowHandle) override { return monitorDpi != 0 ? monitorDpi : dpi; }
  PixelRect WorkArea() override { return {0, 0, 1024, 738}; }
  void SetTimer(WindowHandle window, uint32_t id, uint32_t ms) override { Window(window).timers[id] = ms; }
  bool PostMessageA(WindowHandle window, uint32_t message) override {
    return Logged("PostMessageA " + std::to_string(message)), posted.emplace_back(window, message), true;
  }
  uint32_t RegisterWindowMessageA(const char* name) override;
  PixelPoint GetMessagePos() override { return cursor; }
  std::optional<PixelRect> NotifyIconRect(const NotifyIconData&) override { return Logged("NotifyIconRect"), iconRect; }
  MenuHandle CreatePopupMenu(const MenuItem& popup) override;
  void DestroyMenu(MenuHandle menu) override { Logged("DestroyMenu"), menus.erase(menu); }
  uint32_t TrackPopupMenu(MenuHandle menu, uint32_t flags, PixelPoint at, WindowHandle owner) override;
  int32_t MessageBoxA(WindowHandle owner, const std::string& text, const std::string& caption,
                      uint32_t style) override;
  int32_t ScreenDpiX() override { return dpi; }
  void PostQuitMessage() override { Logged("PostQuitMessage"), ++quitMessages; }

 private:
  void Logged(const std::string& call) { log.push_back(call); }
  int32_t LauncherShow(bool qualifies, int32_t showCommand);
  void Seen(FakeWindow& window);
  bool Ours(WindowHandle window) const { return windows.contains(window) && !windows.at(window).destroyed; }
  WindowHandle StartProgram(bool child);
  WindowHandle NewHandle() { return reinterpret_cast<WindowHandle>(nextHandle_ += 0x10); }

  uintptr_t nextHandle_ = 0x1000;
  bool foregroundGranted_ = false;
};

}  // namespace vantrel::testing

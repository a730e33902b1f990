#include "fakes/fake_os.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace vantrel::testing {

std::vector<std::string> VisibleMenu(const MenuItem& popup, int level) {
  std::vector<std::string> lines;
  for (const MenuItem& child : popup.children) {
    if (!child.visible) continue;
    lines.push_back(std::string(level * 2, ' ') + std::string(child.caption) + (child.enabled ? "" : " (grayed)"));
    std::ranges::copy(VisibleMenu(child, level + 1), std::back_inserter(lines));
  }
  return lines;
}

FakeOs::FakeOs() {
  std::memset(&mode, 0, sizeof mode);
  // What Windows reports for a typical desktop: 32 bits per pixel, the system's own
  // record size and field mask, a device name.
  std::strcpy(mode.dmDeviceName, "\\\\.\\DISPLAY1");
  std::strcpy(mode.dmFormName, "form");
  mode.dmSpecVersion = 0x0401;
  mode.dmSize = 124;
  mode.dmFields = 0x7c00a0;
  mode.dmBitsPerPel = 32;
  mode.dmDisplayFlags = 0x4;
  mode.dmLogPixels = 96;
  SetMode(1024, 768, 60);
  otherWindows[kTaskbar] = {"Shell_TrayWnd", ProcessPlace{4, 1, 0x2000}, {0, 738, 1024, 768}};
}

void FakeOs::SetMode(int32_t width, int32_t height, int32_t frequency) {
  mode.dmPelsWidth = width;
  mode.dmPelsHeight = height;
  mode.dmDisplayFrequency = frequency;
}

std::vector<std::string> FakeOs::Calls(const std::string& prefix) const {
  std::vector<std::string> calls;
  std::ranges::copy_if(log, std::back_inserter(calls),
                       [&](const std::string& line) { return line.starts_with(prefix); });
  return calls;
}

bool FakeOs::Send(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  FakeWindow& target = Window(window);
  // A window without controls hands the form only what Form::Handles names, as the
  // toolkit's procedure for it does.
  const bool plain = target.form->Layout().controls.empty();
  return !target.destroyed && (!plain || Form::Handles(message)) && target.form->OnMessage(message, wParam, lParam);
}

bool FakeOs::SendTrayMouse(WindowHandle window, uint32_t mouseMessage) {
  return Send(window, win::kWmMouseMove, kTrayIconId, mouseMessage);
}

void FakeOs::PressAltF4() {
  if (foreignWindows.contains(foreground)) {
    closedByKeyboard.push_back(foreground);
    return;
  }
  if (!windows.contains(foreground) || Window(foreground).destroyed) return;
  if (!Send(foreground, win::kWmSysCommand, win::kScClose, 0)) Send(foreground, win::kWmClose, 0, 0);
}

PixelRect FakeOs::Frame(const PixelRect& client, int32_t dpi) {
  const int32_t border = 4 * dpi / 96, caption = 23 * dpi / 96;
  return {client.left - border, client.top - border - caption, client.right + border,
          client.bottom + border};
}

bool FakeOs::EnumDisplaySettingsA(DevMode& record) {
  log.push_back("EnumDisplaySettingsA");
  readRecords.push_back(record);
  if (readFails) return false;
  record = mode;
  return true;
}

int32_t FakeOs::ChangeDisplaySettingsA(DevMode& record, uint32_t flags) {
  log.push_back("ChangeDisplaySettingsA " + std::to_string(flags));
  changeCalls.push_back({record, flags});
  if (onDisplayChangeCall) onDisplayChangeCall();
  // As Windows: only the fields dmFields names are taken, the rest stays as it is, and a
  // record that names no size or rate asks for nothing and gets it.
  constexpr int32_t kWidth = 0x80000, kHeight = 0x100000, kRate = 0x400000;
  if ((record.dmFields & (kWidth | kHeight | kRate)) == 0) return win::kDispChangeSuccessful;
  const auto field = [&](int32_t flag, int32_t asked, int32_t current) { return record.dmFields & flag ? asked : current; };
  const auto key = std::make_tuple(field(kWidth, record.dmPelsWidth, mode.dmPelsWidth),
                                   field(kHeight, record.dmPelsHeight, mode.dmPelsHeight),
                                   field(kRate, record.dmDisplayFrequency, mode.dmDisplayFrequency));
  const auto found = testCodes.find(key);
  const int32_t testCode = found == testCodes.end() ? defaultTestCode : found->second;
  if (flags == win::kCdsTest) return testCode;
  if (testCode != win::kDispChangeSuccessful) return testCode;
  // Stored for the next restart, or not applied at all: the display keeps its mode.
  if (applyCode != win::kDispChangeSuccessful) return applyCode;
  std::apply([this](auto... values) { SetMode(values...); }, key);
  BroadcastDisplayChange();
  return win::kDispChangeSuccessful;
}

// "The WM_DISPLAYCHANGE message is sent to all windows when the display resolution has
// changed" (Microsoft's page of the message), before the change returns.
void FakeOs::BroadcastDisplayChange() {
  std::vector<WindowHandle> live;
  for (const auto& [handle, window] : windows) if (!window.destroyed) live.push_back(handle);
  for (WindowHandle handle : live) Send(handle, win::kWmDisplayChange, 32, mode.dmPelsWidth | mode.dmPelsHeight << 16);
}

bool FakeOs::EnumDisplayDevicesA(const char* adapter, uint32_t index, DisplayDevice& device) {
  log.push_back("EnumDisplayDevicesA");
  if (adapter == nullptr) {
    if (index >= adapters.size()) return false;
    const Adapter& found = adapters[index];
    device = {found.name, found.id, found.primary ? win::kDisplayDevicePrimaryDevice : 0};
    return true;
  }
  const auto named = std::ranges::find(adapters, std::string(adapter), &Adapter::name);
  if (named == adapters.end() || index >= named->monitors.size()) return false;
  device = {named->name + "\\Monitor" + std::to_string(index), named->monitors[index], win::kDisplayDeviceActive};
  return true;
}

bool FakeOs::Shell_NotifyIconA(uint32_t message, NotifyIconData& data) {
  log.push_back("Shell_NotifyIconA " + std::to_string(message));
  trayCalls.push_back({message, data});
  if (message == win::kNimSetFocus && setFocusTakesForeground) foreground = kNotificationArea;
  return trayAnswers(message);
}

intptr_t FakeOs::ShellExecuteA(const std::string& file, const std::string& directory,
                               int32_t showCommand) {
  log.push_back("ShellExecuteA " + file);
  shellExecutes.emplace_back(file, directory, showCommand);
  if (shellExecuteResult > 32) StartProgram(false);  // handed to a browser that runs already
  return shellExecuteResult;
}

bool FakeOs::StartSystemProgram(const std::string& program, const std::string& commandLine,
                                int32_t showCommand) {
  log.push_back("StartSystemProgram " + program);
  processes.emplace_back(program, commandLine, showCommand);
  if (startProcessResult) StartProgram(true);
  return startProcessResult;
}

WindowHandle FakeOs::StartProgram(bool child) {
  const WindowHandle window = NewHandle();
  foreignWindows.insert(window);
  startedPrograms.push_back({window, child});
  return window;
}

// As SetForegroundWindow's page says: a process started by the one in front may take the
// foreground, and so may any process the one in front allowed (AllowSetForegroundWindow)
// until the user's next input.
void FakeOs::ShowStartedPrograms() {
  for (const Started& program : startedPrograms) {
    if ((program.child && Ours(foreground)) || foregroundGranted_) foreground = program.window;
  }
}

void FakeOs::AllowSetForegroundWindow(uint32_t processId) {
  log.push_back("AllowSetForegroundWindow " + std::to_string(processId));
  // Only a process that may take the foreground itself can grant it.
  foregroundGranted_ |= processId == win::kAsfwAny && Ours(foreground);
}

std::vector<WindowHandle> FakeOs::FindWindows(const std::string& className) {
  std::vector<WindowHandle> found;
  for (const auto& [handle, window] : windows) if (!window.destroyed && window.form->Layout().className == className) found.push_back(handle);
  for (const auto& [handle, window] : otherWindows) if (window.className == className) found.push_back(handle);
  return found;
}

std::optional<ProcessPlace> FakeOs::WindowProcess(WindowHandle window) {
  if (Ours(window)) return ownProcess;
  return otherWindows.contains(window) ? otherWindows.at(window).process : std::nullopt;
}

int32_t FakeOs::GetSystemMetrics(int32_t index) {
  PixelRect all = monitors.front();  // the virtual screen
  for (const PixelRect& m : monitors) {
    all = {std::min(all.left, m.left), std::min(all.top, m.top), std::max(all.right, m.right), std::max(all.bottom, m.bottom)};
  }
  const int32_t virtualScreen[] = {all.left, all.top, all.Width(), all.Height()};
  if (index >= win::kSmXVirtualScreen && index <= win::kSmCyVirtualScreen) return virtualScreen[index - win::kSmXVirtualScreen];
  return (index == win::kSmCxIcon ? 32 : 16) * dpi / 96;
}

IconHandle FakeOs::LoadIconResource(uint16_t, int32_t pixels) {
  const IconHandle icon = NewHandle();
  iconSizes[icon] = pixels;
  return icon;
}

WindowHandle FakeOs::CreateFormWindow(Form& form, const FormIcons& icons, const PixelRect& outer) {
  log.push_back("CreateFormWindow " + form.Layout().caption);
  if (createFails) return nullptr;
  const WindowHandle handle = NewHandle();
  windows[handle] = {.form = &form, .rect = outer, .icons = icons};
  for (const ControlLayout& control : form.Layout().controls) windows[handle].texts[control.id] = control.text;
  return handle;
}

void FakeOs::DestroyWindow(WindowHandle window) {
  log.push_back("DestroyWindow");
  FakeWindow& target = Window(window);
  target.destroyed = true;
  target.visible = false;
  if (foreground == window) foreground = nullptr;
}

// The launcher's show state as Windows applies it, under the reading chosen: SW_SHOWDEFAULT
// takes it on any window, SW_SHOWNORMAL and SW_SHOW only on a top-level, unowned window with
// a caption; no other show takes it. Raymond Chen, "When does STARTF_USESHOWWINDOW override
// the parameter passed to ShowWindow()?"; ReactOS's co_WinPosShowWindow for the other reading.
int32_t FakeOs::LauncherShow(bool qualifies, int32_t command) {
  const bool asksDefault = command == win::kSwShowDefault;
  const bool taken = asksDefault || (qualifies && (command == win::kSwShowNormal || command == win::kSwShow));
  const bool spends = taken || (qualifies && reading == ShowStateReading::AnyFirstShowSpends);
  if (!startupShowState || !spends) return asksDefault ? win::kSwShowNormal : command;
  const int32_t launcher = *std::exchange(startupShowState, std::nullopt);
  return taken ? launcher : command;
}

void FakeOs::ShowUnseenWindow(uint32_t style, int32_t showCommand) {
  log.push_back("ShowUnseenWindow " + std::to_string(showCommand));
  LauncherShow((style & win::kWsCaption) == win::kWsCaption && (style & win::kWsChild) == 0, showCommand);
}

void FakeOs::Seen(FakeWindow& window) {
  const PixelRect& r = window.rect;
  window.seenOnScreen |= window.visible && !window.minimized && (window.maximized || std::ranges::any_of(monitors, [&](const PixelRect& m) {
    return r.left < m.right && m.left < r.right && r.top < m.bottom && m.top < r.bottom;
  }));
}

void FakeOs::ShowWindow(WindowHandle window, int32_t showCommand) {
  log.push_back("ShowWindow " + std::to_string(showCommand));
  const int32_t c = LauncherShow(true, showCommand);  // every form's window is one
  FakeWindow& target = Window(window);
  target.visible = c != win::kSwHide;
  // SW_HIDE and SW_SHOW keep the window's state.
  if (c != win::kSwHide && c != win::kSwShow) {
    target.minimized = c == win::kSwShowMinimized || c == win::kSwShowMinNoActive;
    target.maximized = c == win::kSwShowMaximized;
  }
  if (c != win::kSwHide && c != win::kSwShowMinNoActive && c != win::kSwShowNoActivate) foreground = window;
  Seen(target);
}

void FakeOs::MoveWindow(WindowHandle window, const PixelRect& outer) {
  log.push_back("MoveWindow");
  Window(window).rect = outer;
  Seen(Window(window));
}

bool FakeOs::SetForegroundWindow(WindowHandle window) {
  log.push_back("SetForegroundWindow");
  const bool exists = foreignWindows.contains(window) || (windows.contains(window) && !Window(window).destroyed);
  if (!exists || window == foreground) return exists;
  if (iconInFlyout) iconRect.reset();
  foreground = window;
  return true;
}

// Windows compares the names without regard to case, and every process gets the same
// number for a name.
uint32_t FakeOs::RegisterWindowMessageA(const char* name) {
  uint32_t hash = 2166136261u;
  for (; *name != '\0'; ++name) hash = (hash ^ static_cast<uint32_t>(std::tolower(static_cast<unsigned char>(*name)))) * 16777619u;
  return 0xC000 + hash % 0x4000;
}

MenuHandle FakeOs::CreatePopupMenu(const MenuItem& popup) {
  log.push_back("CreatePopupMenu");
  const MenuHandle menu = NewHandle();
  menus[menu] = {&popup, VisibleMenu(popup)};
  return menu;
}

// Shows the menu as it was built, whatever the tree says now.
uint32_t FakeOs::TrackPopupMenu(MenuHandle menu, uint32_t flags, PixelPoint at, WindowHandle) {
  log.push_back("TrackPopupMenu " + std::to_string(flags));
  const BuiltMenu& built = menus.at(menu);
  popups.push_back(built.lines);
  popupPlaces.push_back(at);
  return choosePopupItem ? choosePopupItem(*built.popup) : 0;
}

int32_t FakeOs::MessageBoxA(WindowHandle owner, const std::string& text, const std::string& caption,
                            uint32_t style) {
  log.push_back("MessageBoxA " + caption);
  // The dialog shows itself with SW_SHOWNORMAL; without an owner it is a top-level, unowned
  // window with a caption, as a main window is.
  messageBoxes.push_back({text, caption, style, owner, LauncherShow(owner == nullptr, win::kSwShowNormal)});
  if (whileMessageBoxOpen) std::exchange(whileMessageBoxOpen, nullptr)();
  return 1;
}

}  // namespace vantrel::testing

#include "fakes/fake_os.h"

#include <algorithm>
#include <utility>

namespace vantrel::testing {

namespace {

void AppendVisible(const MenuItem& item, int level, std::vector<std::string>& lines) {
  for (const MenuItem& child : item.children) {
    if (!child.visible) continue;
    lines.push_back(std::string(level * 2, ' ') + child.caption + (child.enabled ? "" : " (grayed)"));
    AppendVisible(child, level + 1, lines);
  }
}

}  // namespace

std::vector<std::string> VisibleMenu(const MenuItem& popup) {
  std::vector<std::string> lines;
  AppendVisible(popup, 0, lines);
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
  return !target.destroyed && target.form->OnMessage(message, wParam, lParam);
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

WindowHandle FakeOs::NewHandle() { return reinterpret_cast<WindowHandle>(nextHandle_ += 0x10); }

bool FakeOs::EnumDisplaySettingsA(DevMode& record) {
  log.push_back("EnumDisplaySettingsA");
  readRecords.push_back(record);
  if (readFailsIf ? readFailsIf() : readFails) return false;
  record = mode;
  return true;
}

int32_t FakeOs::ChangeDisplaySettingsA(DevMode& record, uint32_t flags) {
  log.push_back("ChangeDisplaySettingsA " + std::to_string(flags));
  changeCalls.push_back({record, flags});
  if (onDisplayChangeCall) onDisplayChangeCall();
  const auto key = std::make_tuple(record.dmPelsWidth, record.dmPelsHeight, record.dmDisplayFrequency);
  const auto found = testCodes.find(key);
  const int32_t testCode = found == testCodes.end() ? defaultTestCode : found->second;
  if (flags == win::kCdsTest) return testCode;
  if (testCode != win::kDispChangeSuccessful || applyCode != win::kDispChangeSuccessful) {
    return testCode != win::kDispChangeSuccessful ? testCode : applyCode;
  }
  SetMode(record.dmPelsWidth, record.dmPelsHeight, record.dmDisplayFrequency);
  return win::kDispChangeSuccessful;
}

bool FakeOs::Shell_NotifyIconA(uint32_t message, NotifyIconData& data) {
  log.push_back("Shell_NotifyIconA " + std::to_string(message));
  trayCalls.push_back({message, data});
  return trayAnswers ? trayAnswers(message) : trayAnswer;
}

intptr_t FakeOs::ShellExecuteA(const std::string& file, const std::string& directory,
                               int32_t showCommand) {
  log.push_back("ShellExecuteA " + file);
  shellExecutes.emplace_back(file, directory, showCommand);
  return shellExecuteResult;
}

bool FakeOs::StartSystemProgram(const std::string& program, const std::string& commandLine,
                                int32_t showCommand) {
  log.push_back("StartSystemProgram " + program);
  processes.emplace_back(program, commandLine, showCommand);
  return startProcessResult;
}

bool FakeOs::AnotherInstanceRunning() {
  log.push_back("AnotherInstanceRunning");
  return otherInstance;
}

IconHandle FakeOs::LoadIconResource(uint16_t, int32_t pixels) {
  const IconHandle icon = NewHandle();
  iconSizes[icon] = pixels;
  return icon;
}

void FakeOs::DestroyIcon(IconHandle icon) { iconSizes.erase(icon); }

int32_t FakeOs::GetSystemMetrics(int32_t index) {
  if (index == win::kSmCxIcon) return 32 * dpi / 96;
  if (index == win::kSmCxSmIcon) return 16 * dpi / 96;
  return 0;
}

WindowHandle FakeOs::CreateFormWindow(Form& form, const FormIcons& icons) {
  log.push_back("CreateFormWindow " + form.Layout().caption);
  if (createFails) return nullptr;
  const WindowHandle handle = NewHandle();
  windows[handle] = {.form = &form, .rect = {0, 0, 0, 0}, .icons = icons};
  for (const ControlLayout& control : form.Layout().controls) windows[handle].texts[control.id] = control.text;
  return handle;
}

PixelRect FakeOs::FrameAround(const PixelRect& client, const FormLayout&, int32_t frameDpi) {
  return Frame(client, frameDpi);
}

void FakeOs::DestroyWindow(WindowHandle window) {
  log.push_back("DestroyWindow");
  FakeWindow& target = Window(window);
  target.destroyed = true;
  target.visible = false;
  if (foreground == window) foreground = nullptr;
}

void FakeOs::ShowWindow(WindowHandle window, int32_t showCommand) {
  log.push_back("ShowWindow " + std::to_string(showCommand));
  if (startupShowState && !std::exchange(firstShowTaken_, true)) showCommand = *startupShowState;
  FakeWindow& target = Window(window);
  target.visible = showCommand != win::kSwHide;
  switch (showCommand) {
    case win::kSwShowMinimized:
    case win::kSwShowMinNoActive:
      target.minimized = true;
      target.maximized = false;
      break;
    case win::kSwShowMaximized:
      target.maximized = true;
      target.minimized = false;
      break;
    case win::kSwShowNormal:
    case win::kSwRestore:
    case win::kSwShowNoActivate:
      target.minimized = target.maximized = false;
      break;
    default:
      break;  // SW_HIDE and SW_SHOW keep the window's state
  }
  const bool activates = showCommand == win::kSwShowNormal || showCommand == win::kSwShowMinimized ||
                         showCommand == win::kSwShowMaximized || showCommand == win::kSwRestore;
  if (activates) foreground = window;
}

void FakeOs::MoveWindow(WindowHandle window, const PixelRect& outer) {
  log.push_back("MoveWindow");
  Window(window).rect = outer;
}

PixelRect FakeOs::GetWindowRect(WindowHandle window) { return Window(window).rect; }

void FakeOs::UpdateWindow(WindowHandle) { log.push_back("UpdateWindow"); }

void FakeOs::SetControlText(WindowHandle window, uint32_t controlId, const std::string& text) {
  Window(window).texts.at(controlId) = text;
}

bool FakeOs::SetForegroundWindow(WindowHandle window) {
  log.push_back("SetForegroundWindow");
  const bool exists = foreignWindows.contains(window) || (windows.contains(window) && !Window(window).destroyed);
  if (exists) foreground = window;
  return exists;
}

void FakeOs::SetTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) {
  Window(window).timers[id] = milliseconds;
}

bool FakeOs::PostMessageA(WindowHandle window, uint32_t message) {
  log.push_back("PostMessageA " + std::to_string(message));
  postedMessages.emplace_back(window, message);
  return true;
}

uint32_t FakeOs::RegisterWindowMessageA(const char* name) {
  const auto [entry, added] =
      registeredMessages_.emplace(name, 0xC100 + static_cast<uint32_t>(registeredMessages_.size()));
  return entry->second;
}

PixelPoint FakeOs::GetCursorPos() { return cursor; }

uint32_t FakeOs::TrackPopupMenu(const MenuItem& menu, uint32_t flags, PixelPoint, WindowHandle) {
  log.push_back("TrackPopupMenu " + std::to_string(flags));
  popups.push_back(VisibleMenu(menu));
  return choosePopupItem ? choosePopupItem(menu) : 0;
}

int32_t FakeOs::MessageBoxA(WindowHandle, const std::string& text, const std::string& caption,
                            uint32_t style) {
  log.push_back("MessageBoxA " + caption);
  messageBoxes.push_back({text, caption, style});
  if (whileMessageBoxOpen) std::exchange(whileMessageBoxOpen, nullptr)();
  return 1;
}

void FakeOs::PostQuitMessage() {
  log.push_back("PostQuitMessage");
  ++quitMessages;
}

}  // namespace vantrel::testing

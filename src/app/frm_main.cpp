#include "app/frm_main.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "framework/twips.h"
#include "launch/web_stuff_functions.h"
#include "res/maker.h"

namespace vantrel {

namespace {

// Top 20000 lies below every screen the menu offers (the tallest is 1200 pixels), but not
// below every screen of today; see ParkedTop.
constexpr double kParkedLeft = 0, kParkedTop = 20000, kParkedHeight = 510, kParkedWidth = 1845;
constexpr uint32_t kTrayFlags = win::kNifMessage | win::kNifIcon | win::kNifTip;
// Left edge at the pointer, items answer the left button.
constexpr uint32_t kPopupFlags = 0;
// Started again only after an update closed it: not after a crash or a hang, and not
// after the restart of Windows that an update may need (a Startup shortcut does that).
constexpr uint32_t kRestartOnlyAfterAnUpdate = win::kRestartNoCrash | win::kRestartNoHang | win::kRestartNoReboot;
// What a copy started again posts to the running one: open your menu.
constexpr const char* kShowMenuMessageName = "AmbrelUtilities.Vantrel.ShowMenu";
constexpr const char* kTaskbarClass = "Shell_TrayWnd";

}  // namespace

frmMain::frmMain(Application& app) : Form(app, MainFormLayout()) {
  SetMenu(BuildMenu());
  resolutionGroups_ = FindResolutionGroups();
}

// The menu bar with its one invisible item, whose submenu is the tray popup.
MenuItem frmMain::BuildMenu() {
  MenuItem popup{.name = kPopupMenuName, .caption = kPopupMenuCaption, .visible = false};
  popup.children.reserve(PopupRows().size());
  for (size_t row = 0; row < PopupRows().size(); ++row) popup.children.push_back(PopupItem(row));
  MenuItem menuBar;
  menuBar.children.push_back(std::move(popup));
  return menuBar;
}

MenuItem frmMain::PopupItem(size_t rowIndex) {
  const PopupRow& row = PopupRows()[rowIndex];
  MenuItem item{.name = row.name, .caption = row.caption, .click = ClickOf(row.command)};
  if (row.command != PopupCommand::ResolutionGroup) return item;
  item.children.reserve(RefreshRates().size());
  for (size_t rate = 0; rate < RefreshRates().size(); ++rate) {
    // Two small indices rather than the mode itself: the handler then fits inside the
    // std::function, which allocates nothing for it.
    const RateIndex index{static_cast<uint16_t>(rowIndex), static_cast<uint16_t>(rate)};
    item.children.push_back({.name = RateItemName(rowIndex, rate),
                             .caption = RateItemCaption(rate),
                             .click = [this, index] { RateItemClick(index); }});
  }
  return item;
}

// What each kind of entry does when chosen; the rate items are bound with their modes.
std::function<void()> frmMain::ClickOf(PopupCommand command) {
  switch (command) {
    case PopupCommand::DisplayProperties: return [this] { OpenDisplayProperties(app()); };
    case PopupCommand::About: return [this] { AboutClick(); };
    case PopupCommand::Web: return [this] { OpenUrl(app(), kHomePageUrl); };
    case PopupCommand::Exit: return [this] { ExitClick(); };
    case PopupCommand::ResolutionGroup:
    case PopupCommand::None: return {};
  }
  return {};
}

// The popup's entries stand in the order of PopupRows, each group's rate items in the
// order of RefreshRates: the groups are taken by place, with no search by name.
std::vector<ResolutionGroup> frmMain::FindResolutionGroups() {
  const std::span<const PopupRow> rows = PopupRows();
  std::vector<ResolutionGroup> groups;
  groups.reserve(rows.size());
  std::vector<MenuItem>& entries = Popup().children;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].command != PopupCommand::ResolutionGroup) continue;
    ResolutionGroup& group = groups.emplace_back(&entries[i], rows[i].width, rows[i].height);
    group.rates.reserve(RefreshRates().size());
    for (size_t j = 0; j < RefreshRates().size(); ++j) {
      group.rates.push_back({RefreshRates()[j], &entries[i].children[j]});
    }
  }
  return groups;
}

// However the message loop ended (Exit, a WM_QUIT sent by another program, the end of
// the session), closing runs Unload, so the icon never outlives the program.
frmMain::~frmMain() { Close(); }

void frmMain::Load() {
  if (os().AnotherInstanceRunning()) {
    ShowRunningCopy();
    Close();
    return;
  }
  // Nobody could ever see the icon of a copy in a service's session or window station,
  // and it would keep the exe in use at the next upgrade.
  if (!os().OnVisibleDesktop()) {
    Close();
    return;
  }
  // Parked below every screen and shown, as the design has it; the Resize of each step
  // hides the window again before it ever reaches the screen.
  SetLeft(kParkedLeft);
  SetTop(ParkedTop());
  Show();
  ScanResolutionGroups(ReadPrimaryDisplay(os()));
  SetHeight(kParkedHeight);
  SetWidth(kParkedWidth);
  Refresh();
  SetWindowState(WindowState::Minimized);
  // The menu's flags are settled now; every popup from here on shows this one menu.
  PreparePopupMenu(Popup());
  lastMode_ = CurrentModeTriple(os());
  FillTrayIconData();
  trayIconPixels_ = os().GetSystemMetrics(win::kSmCxSmIcon);
  FollowTaskbarScale(&frmMain::ModifyTrayIcon);  // nothing to modify yet: it is added next
  AddTrayIcon();
  // Explorer announces a restart with this message; the icon has to be added again then.
  taskbarCreatedMessage_ = os().RegisterWindowMessageA("TaskbarCreated");
  showMenuMessage_ = os().RegisterWindowMessageA(kShowMenuMessageName);
  // An installer that closes this copy to replace its files then starts the new version.
  os().RegisterApplicationRestart(kRestartOnlyAfterAnUpdate);
}

// 20000 twips are 1333 pixels at 100 % and 2000 at 150 %: inside a 2560x1440 screen at
// 100 %, a 3840x2160 one at 150 %, or a monitor placed below another. Where it would lie
// inside the virtual screen (all monitors together), the window goes just below its bottom.
double frmMain::ParkedTop() const {
  const int32_t bottom =
      os().GetSystemMetrics(win::kSmYVirtualScreen) + os().GetSystemMetrics(win::kSmCyVirtualScreen);
  return std::max(kParkedTop, PixelsToTwips(bottom, app().TwipsPerPixelX()));
}

void frmMain::Resize() { Hide(); }

void frmMain::SetResolutionGroupsEnabled(bool enabled) {
  for (const ResolutionGroup& group : resolutionGroups_) group.item->enabled = enabled;
}

// Asks the driver of `display` about every mode of the menu, from all shown; the groups
// are disabled while it answers, as at start-up.
void frmMain::ScanResolutionGroups(std::optional<PrimaryDisplay> display) {
  scannedFor_ = std::move(display);
  SetResolutionGroupsEnabled(false);
  ScanModes(os(), resolutionGroups_);
  SetResolutionGroupsEnabled(true);
}

// The driver's answers belong to the display that gave them. A mode change, this
// program's or another's, leaves the device and its monitors as they were and costs no
// scan; a display whose mode cannot be read yet (a driver starting) is asked at the next
// change, rather than offered everything.
void frmMain::FollowPrimaryDisplay() {
  std::optional<PrimaryDisplay> display = ReadPrimaryDisplay(os());
  if (!display || display == scannedFor_ || !CurrentModeTriple(os())) return;
  ScanResolutionGroups(std::move(display));
}

// The small icon's size at the DPI the notification area draws at, the taskbar's monitor's:
// neither the system DPI, fixed at sign-in, nor that of the monitor the hidden window is
// nearest to.
int32_t frmMain::TrayIconPixels() const {
  const int32_t dpi = os().TaskbarDpi();
  return dpi > 0 ? os().GetSystemMetricsForDpi(win::kSmCxSmIcon, dpi) : os().GetSystemMetrics(win::kSmCxSmIcon);
}

// Loads the icon again at the size the notification area wants, if that has changed, and
// hands it over with `handOver`; the icon it replaces is released only then, once the
// shell holds the new one. Drawn from the same resource, so the shell never stretches a
// bitmap of another size.
bool frmMain::FollowTaskbarScale(void (frmMain::*handOver)()) {
  const int32_t pixels = TrayIconPixels();
  if (pixels <= 0 || pixels == trayIconPixels_) return false;
  const IconHandle loaded = os().LoadIconResource(Layout().iconResource, pixels);
  if (loaded == nullptr) return false;  // the old size: a blurred icon is better than none
  const std::optional<OwnedIcon> replaced = std::move(trayIcon_);
  trayIcon_.emplace(os(), loaded);
  trayIconPixels_ = pixels;
  trayIconData_.hIcon = loaded;
  (this->*handOver)();
  return true;
}

void frmMain::SystemChanged() {
  if (trayIconData_.cbSize == 0) return;  // still loading
  FollowTaskbarScale(&frmMain::ModifyTrayIcon);
  FollowPrimaryDisplay();
}

void frmMain::FillTrayIconData() {
  trayIconData_ = {.cbSize = sizeof(NotifyIconData),
                   .hWnd = hWnd(),
                   .uID = kTrayIconId,
                   .uFlags = kTrayFlags,
                   .uCallbackMessage = win::kWmMouseMove,
                   .hIcon = Icon(),
                   .szTip = {}};
  // Before any mode was read the tooltip names the program rather than a mode that is
  // not there; the first tick that reads one names it.
  if (lastMode_) {
    StoreTrayTip(trayIconData_, lastMode_->width, lastMode_->height, lastMode_->frequency);
  } else {
    StoreTrayTip(trayIconData_, Application::kTitle);
  }
}

void frmMain::AddTrayIcon() {
  // A refused add may mean the shell already shows the icon; a modify tells which.
  trayIconShown_ = os().Shell_NotifyIconA(win::kNimAdd, trayIconData_) ||
                   os().Shell_NotifyIconA(win::kNimModify, trayIconData_);
}

void frmMain::ModifyTrayIcon() {
  // The whole record, as it was added: the shell takes icon and callback again with
  // the tip.
  if (trayIconShown_) trayIconShown_ = os().Shell_NotifyIconA(win::kNimModify, trayIconData_);
}

void frmMain::OfferTrayRecord() {
  // A command whose message box stayed open across Exit ends here after the window
  // and its icon are gone; adding the icon again would leave a ghost in the tray.
  if (!Loaded()) return;
  // The shell was not ready at start-up or has lost the icon: keep offering it.
  if (!trayIconShown_) return AddTrayIcon();
  ModifyTrayIcon();
}

void frmMain::UpdateTrayTip(int32_t width, int32_t height, int32_t frequency) {
  StoreTrayTip(trayIconData_, width, height, frequency);
  OfferTrayRecord();
}

void frmMain::UpdateTrayTipFromCurrentMode() {
  // A failed read (a display driver restarting) keeps the last mode read.
  if (const std::optional<ModeTriple> mode = CurrentModeTriple(os())) lastMode_ = mode;
  if (!lastMode_) return OfferTrayRecord();
  UpdateTrayTip(lastMode_->width, lastMode_->height, lastMode_->frequency);
}

void frmMain::Timer(uint32_t timerId) {
  if (timerId != kTimer1) return;
  // Asked once start-up is over, so the session service's DLL is not loaded during it.
  if (!std::exchange(sessionWatched_, true)) os().WatchSession(hWnd());
  UpdateTrayTipFromCurrentMode();
}

bool frmMain::RegisteredMessage(uint32_t message) {
  if (trayIconData_.cbSize == 0) return false;  // still starting
  if (message == showMenuMessage_) {
    OpenPopup(PopupRequest::FromAnotherCopy);
  } else if (message == taskbarCreatedMessage_) {
    // A restarted Explorer may draw at another scale than the one it replaced.
    if (!FollowTaskbarScale(&frmMain::AddTrayIcon)) AddTrayIcon();
  } else {
    return false;
  }
  return true;
}

// Started again while this copy runs, from the Start menu say: Windows 11 keeps new icons
// hidden in the overflow, so the user would see nothing at all. The running copy opens its
// menu at its icon instead, and may take the foreground for it, which only this copy,
// started by the program the user is in, can grant.
void frmMain::ShowRunningCopy() {
  const std::optional<RunningCopy> running = FindRunningCopy();
  if (!running) return;
  os().AllowSetForegroundWindow(running->processId);
  os().PostMessageA(running->window, os().RegisterWindowMessageA(kShowMenuMessageName));
}

// The main window of another copy in this session, at this integrity level. The mutex that
// told us of it is per session and the window search sees this desktop only; a copy at
// another level (an elevated one, or one of ours while we run elevated) is left alone,
// as is one whose process we may not look at.
std::optional<frmMain::RunningCopy> frmMain::FindRunningCopy() {
  const ProcessPlace own = os().OwnProcess();
  for (WindowHandle window : os().FindWindows(Layout().className)) {
    if (window == hWnd()) continue;
    const std::optional<ProcessPlace> other = os().WindowProcess(window);
    if (other && other->id != own.id && other->session == own.session && other->integrity == own.integrity) {
      return RunningCopy{window, other->id};
    }
  }
  return std::nullopt;
}

void frmMain::MouseMove(int32_t, int32_t, double x, double) {
  // The tray icon reports its mouse messages as WM_MOUSEMOVE with the real message in
  // the low word of lParam, which arrives here converted to twips.
  const long message = std::lrint(x / app().TwipsPerPixelX());
  if (message == win::kWmRButtonUp) OpenPopup(PopupRequest::AtIcon);
}

void frmMain::OpenPopup(PopupRequest request) {
  bool fromKeyboard = false;
  const PixelPoint at = PopupPlace(request, fromKeyboard);
  const WindowHandle previous = os().GetForegroundWindow();
  os().SetForegroundWindow(hWnd());
  const bool chosen = PopupMenu(Popup(), kPopupFlags, at);
  // A click on another window that dismissed the menu, or a command that opened a window
  // of its own, has put the user where they want to be. A program a command started shows
  // later, and comes to the front then because the command let it.
  if (!Loaded() || os().GetForegroundWindow() != hWnd()) return;
  if (fromKeyboard && !chosen) {
    // Dismissed from the keyboard: the focus goes back to the icon it came from, and stays
    // in the notification area, where the shell takes it.
    os().Shell_NotifyIconA(win::kNimSetFocus, trayIconData_);
    if (os().GetForegroundWindow() != hWnd()) return;
  }
  // The hidden window took the foreground only to hold the menu: it goes back to where the
  // user was, so the keys typed next (the arrow keys, an Alt+F4) reach the window they were
  // meant for.
  if (previous != nullptr) os().SetForegroundWindow(previous);
}

// The shell reports the menu key, Shift+F10 or Enter on the icon as a right-button release
// too. The pointer, where it was when that report was posted, is then wherever the mouse
// was left, maybe on another monitor: the menu opens at the icon instead, as it does for
// another copy's request. Where the icon is must be read before the hidden window takes
// the foreground, which closes the overflow flyout that may hold it.
PixelPoint frmMain::PopupPlace(PopupRequest request, bool& fromKeyboard) {
  const PixelPoint pointer = os().GetMessagePos();
  const std::optional<PixelRect> icon = os().NotifyIconRect(trayIconData_);
  fromKeyboard = request == PopupRequest::AtIcon && icon && !icon->Contains(pointer);
  if (icon && (fromKeyboard || request == PopupRequest::FromAnotherCopy)) return icon->Centre();
  if (request == PopupRequest::FromAnotherCopy) return NotificationAreaCorner().value_or(pointer);
  return pointer;
}

// Where the shell cannot tell where the icon is, the notification area is still at the end
// of the taskbar: its right end, or its bottom end on a taskbar at the side of the screen,
// both at its bottom-right corner. The menu turns to fit on the screen from there.
std::optional<PixelPoint> frmMain::NotificationAreaCorner() {
  const std::vector<WindowHandle> taskbars = os().FindWindows(kTaskbarClass);
  if (taskbars.empty()) return std::nullopt;
  const PixelRect bar = os().GetWindowRect(taskbars.front());
  return PixelPoint{bar.right - 1, bar.bottom - 1};
}

void frmMain::RateItemClick(RateIndex index) {
  const PopupRow& row = PopupRows()[index.row];
  ChangeMode(os(), row.width, row.height, RefreshRates()[index.rate]);
  // Read back rather than trust the request: a refused or failed change leaves the
  // display as it was, and the tooltip must never name a mode that is not in force.
  UpdateTrayTipFromCurrentMode();
}

void frmMain::AboutClick() {
  // One About window at most: a closed one loads afresh, an open one comes forward. The
  // object itself is kept, since a closed window's handler may still be on the stack.
  if (!about_) about_ = std::make_unique<frmAbout>(app());
  about_->Show();
  os().SetForegroundWindow(about_->hWnd());
}

void frmMain::ExitClick() {
  // Shown, then closed, as the design has it; the show's Resize hides the window again
  // at once, so nothing appears.
  Show();
  Close();
}

void frmMain::Unload() {
  os().Shell_NotifyIconA(win::kNimDelete, trayIconData_);
  trayIconShown_ = false;
  const std::vector<Form*>& forms = app().Forms();
  for (int16_t index = static_cast<int16_t>(forms.size() - 1); index >= 1; --index) {
    forms[static_cast<size_t>(index)]->Close();
  }
}

}  // namespace vantrel

#include "app/frm_main.h"

#include <algorithm>
#include <cmath>

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
  // Nobody could ever see the icon of a copy in a service's session or window station,
  // and it would keep the exe in use at the next upgrade.
  if (os().AnotherInstanceRunning() || !os().OnVisibleDesktop()) {
    Close();
    return;
  }
  // Parked below every screen and shown, as the design has it; the Resize of each step
  // hides the window again before it ever reaches the screen.
  SetLeft(kParkedLeft);
  SetTop(ParkedTop());
  Show();
  SetResolutionGroupsEnabled(false);
  ScanModes(os(), resolutionGroups_);
  SetResolutionGroupsEnabled(true);
  SetHeight(kParkedHeight);
  SetWidth(kParkedWidth);
  Refresh();
  SetWindowState(WindowState::Minimized);
  // The menu's flags are settled now; every popup from here on shows this one menu.
  PreparePopupMenu(Popup());
  FillTrayIconData(CurrentModeTriple(os()));
  AddTrayIcon();
  // Explorer announces a restart with this message; the icon has to be added again then.
  taskbarCreatedMessage_ = os().RegisterWindowMessageA("TaskbarCreated");
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

void frmMain::FillTrayIconData(const ModeTriple& mode) {
  trayIconData_ = {.cbSize = sizeof(NotifyIconData),
                   .hWnd = hWnd(),
                   .uID = kTrayIconId,
                   .uFlags = kTrayFlags,
                   .uCallbackMessage = win::kWmMouseMove,
                   .hIcon = Icon(),
                   .szTip = {}};
  StoreTrayTip(trayIconData_, mode.width, mode.height, mode.frequency);
}

void frmMain::AddTrayIcon() {
  // A refused add may mean the shell already shows the icon; a modify tells which.
  trayIconShown_ = os().Shell_NotifyIconA(win::kNimAdd, trayIconData_) ||
                   os().Shell_NotifyIconA(win::kNimModify, trayIconData_);
}

void frmMain::UpdateTrayTip(int32_t width, int32_t height, int32_t frequency) {
  // A command whose message box stayed open across Exit ends here after the window
  // and its icon are gone; adding the icon again would leave a ghost in the tray.
  if (!Loaded()) return;
  StoreTrayTip(trayIconData_, width, height, frequency);
  if (!trayIconShown_) {
    // The shell was not ready at start-up or has lost the icon: keep offering it.
    AddTrayIcon();
    return;
  }
  // The whole record, as it was added: the shell takes icon and callback again with
  // the tip.
  trayIconShown_ = os().Shell_NotifyIconA(win::kNimModify, trayIconData_);
}

void frmMain::UpdateTrayTipFromCurrentMode() {
  const ModeTriple mode = CurrentModeTriple(os());
  UpdateTrayTip(mode.width, mode.height, mode.frequency);
}

void frmMain::Timer(uint32_t timerId) {
  if (timerId == kTimer1) UpdateTrayTipFromCurrentMode();
}

bool frmMain::RegisteredMessage(uint32_t message) {
  if (message != taskbarCreatedMessage_ || trayIconData_.cbSize == 0) return false;
  AddTrayIcon();
  return true;
}

void frmMain::MouseMove(int32_t, int32_t, double x, double) {
  // The tray icon reports its mouse messages as WM_MOUSEMOVE with the real message in
  // the low word of lParam, which arrives here converted to twips.
  const long message = std::lrint(x / app().TwipsPerPixelX());
  if (message == win::kWmRButtonUp) OpenPopup();
}

void frmMain::OpenPopup() {
  // The shell reports the menu key, Shift+F10 or Enter on the icon as a right-button
  // release too. The pointer is then wherever the mouse was left, maybe on another
  // monitor: the menu opens at the icon instead. Where the icon is must be read before
  // the hidden window takes the foreground, which closes the overflow flyout that may
  // hold it.
  const PixelPoint pointer = os().GetCursorPos();
  const std::optional<PixelRect> icon = os().NotifyIconRect(trayIconData_);
  const bool fromKeyboard = icon && !icon->Contains(pointer);
  const WindowHandle previous = os().GetForegroundWindow();
  os().SetForegroundWindow(hWnd());
  const bool chosen = PopupMenu(Popup(), kPopupFlags, fromKeyboard ? icon->Centre() : pointer);
  // A click on another window that dismissed the menu, or a command that opened a window
  // of its own, has put the user where they want to be.
  if (!Loaded() || os().GetForegroundWindow() != hWnd()) return;
  if (fromKeyboard && !chosen) {
    // Dismissed from the keyboard: the focus goes back to the icon it came from, and stays
    // in the notification area.
    os().Shell_NotifyIconA(win::kNimSetFocus, trayIconData_);
    return;
  }
  // The hidden window took the foreground only to hold the menu: it goes back to where the
  // user was, so the keys typed next (an Alt+F4 among them) reach the program they were
  // meant for.
  if (previous != nullptr) os().SetForegroundWindow(previous);
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

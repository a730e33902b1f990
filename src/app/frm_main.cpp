#include "app/frm_main.h"

#include <cmath>

#include "launch/web_stuff_functions.h"
#include "res/maker.h"

namespace vantrel {

namespace {

// Parked below the bottom of every screen the menu offers (the tallest is 1200 pixels).
constexpr double kParkedLeft = 0, kParkedTop = 20000, kParkedHeight = 510, kParkedWidth = 1845;
constexpr uint32_t kTrayFlags = win::kNifMessage | win::kNifIcon | win::kNifTip;
// Left edge at the pointer, items answer the left button.
constexpr uint32_t kPopupFlags = 0;

}  // namespace

frmMain::frmMain(Application& app) : Form(app, MainFormLayout()) {
  SetMenu(BuildMenu());
  resolutionGroups_ = FindResolutionGroups();
}

// The menu bar with its one invisible item, whose submenu is the tray popup.
MenuItem frmMain::BuildMenu() {
  MenuItem popup{.name = kPopupMenuName, .caption = kPopupMenuCaption, .visible = false};
  for (const PopupRow& row : PopupRows()) popup.children.push_back(PopupItem(row));
  MenuItem menuBar;
  menuBar.children.push_back(std::move(popup));
  return menuBar;
}

MenuItem frmMain::PopupItem(const PopupRow& row) {
  MenuItem item{.name = row.name, .caption = row.caption, .click = ClickOf(row.command)};
  if (row.command != PopupCommand::ResolutionGroup) return item;
  for (int32_t rate : RefreshRates()) {
    const ModeTriple mode{row.width, row.height, rate};
    item.children.push_back({.name = RateItemName(row, rate),
                             .caption = RateItemCaption(rate),
                             .click = [this, mode] { RateItemClick(mode); }});
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

std::vector<ResolutionGroup> frmMain::FindResolutionGroups() {
  std::vector<ResolutionGroup> groups;
  for (const PopupRow& row : PopupRows()) {
    if (row.command != PopupCommand::ResolutionGroup) continue;
    ResolutionGroup& group = groups.emplace_back(FindMenuItem(Menu(), row.name), row.width, row.height);
    for (int32_t rate : RefreshRates()) group.rates.push_back({rate, FindMenuItem(Menu(), RateItemName(row, rate))});
  }
  return groups;
}

// However the message loop ended (Exit, a WM_QUIT sent by another program, the end of
// the session), closing runs Unload, so the icon never outlives the program.
frmMain::~frmMain() { Close(); }

void frmMain::Load() {
  if (os().AnotherInstanceRunning()) {
    Close();
    return;
  }
  // Parked below every screen and shown, as the design has it; the Resize of each step
  // hides the window again before it ever reaches the screen.
  SetLeft(kParkedLeft);
  SetTop(kParkedTop);
  Show();
  SetResolutionGroupsEnabled(false);
  ScanModes(os(), resolutionGroups_);
  SetResolutionGroupsEnabled(true);
  SetHeight(kParkedHeight);
  SetWidth(kParkedWidth);
  Refresh();
  SetWindowState(WindowState::Minimized);
  FillTrayIconData(CurrentModeTriple(os()));
  AddTrayIcon();
  // Explorer announces a restart with this message; the icon has to be added again then.
  taskbarCreatedMessage_ = os().RegisterWindowMessageA("TaskbarCreated");
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
  // Only the tip changes; handing the icon over again would make the shell convert
  // and repaint it every second.
  NotifyIconData tipOnly = trayIconData_;
  tipOnly.uFlags = win::kNifTip;
  trayIconShown_ = os().Shell_NotifyIconA(win::kNimModify, tipOnly);
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
  if (message != win::kWmRButtonUp) return;
  const WindowHandle previous = os().GetForegroundWindow();
  os().SetForegroundWindow(hWnd());
  PopupMenu(*FindMenuItem(Menu(), kPopupMenuName), kPopupFlags);
  // The hidden window took the foreground only to hold the menu. Unless a command gave it
  // to a window of its own, it goes back to where the user was, so the keys typed next
  // (an Alt+F4 among them) reach the program they were meant for.
  if (Loaded() && previous != nullptr && os().GetForegroundWindow() == hWnd()) {
    os().SetForegroundWindow(previous);
  }
}

void frmMain::RateItemClick(const ModeTriple& mode) {
  ChangeMode(os(), mode.width, mode.height, mode.frequency);
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

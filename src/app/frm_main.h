#pragma once
// The program's one permanent window: never seen, it owns the tray icon, its popup
// menu, the tooltip timer and every menu command.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "about/frm_about.h"
#include "app/tray_icon.h"
#include "display/display_modes.h"
#include "display/scan_modes.h"
#include "framework/form.h"
#include "res/frm_main_layout.h"

namespace vantrel {

class frmMain final : public Form {
 public:
  explicit frmMain(Application& app);
  ~frmMain() override;

  // Rewrites the tooltip with the mode and hands it to the shell.
  void UpdateTrayTip(int32_t width, int32_t height, int32_t frequency);
  const NotifyIconData& TrayIconData() const { return trayIconData_; }

 private:
  void Load() override;
  void Resize() override;
  void MouseMove(int32_t button, int32_t shift, double x, double y) override;
  void Unload() override;
  void Timer(uint32_t timerId) override;
  bool RegisteredMessage(uint32_t message) override;
  void SystemChanged() override;

  MenuItem BuildMenu();
  // The menu bar's one item, whose submenu is the tray popup.
  MenuItem& Popup() { return Menu().children.front(); }
  // Who asked for the popup: the user at the icon (with the mouse or the keyboard), or a
  // copy of the program started again.
  enum class PopupRequest { AtIcon, FromAnotherCopy };
  void OpenPopup(PopupRequest request);
  PixelPoint PopupPlace(PopupRequest request, bool& fromKeyboard);
  std::optional<PixelPoint> NotificationAreaCorner();
  struct RunningCopy {
    WindowHandle window;
    uint32_t processId;
  };
  std::optional<RunningCopy> FindRunningCopy();
  void ShowRunningCopy();
  // A rate item by its group's row in PopupRows and its place in RefreshRates.
  struct RateIndex {
    uint16_t row, rate;
  };
  MenuItem PopupItem(size_t rowIndex);
  std::function<void()> ClickOf(PopupCommand command);
  std::vector<ResolutionGroup> FindResolutionGroups();
  double ParkedTop() const;
  void SetResolutionGroupsEnabled(bool enabled);
  void ScanResolutionGroups(std::optional<PrimaryDisplay> display);
  void FollowPrimaryDisplay();
  int32_t TrayIconPixels() const;
  bool FollowTaskbarScale(void (frmMain::*handOver)());
  void FillTrayIconData();
  void AddTrayIcon();
  void ModifyTrayIcon();
  void OfferTrayRecord();
  void UpdateTrayTipFromCurrentMode();
  void RateItemClick(RateIndex index);
  void AboutClick();
  void ExitClick();

  NotifyIconData trayIconData_{};
  bool trayIconShown_ = false;
  uint32_t taskbarCreatedMessage_ = 0;
  uint32_t showMenuMessage_ = 0;
  std::unique_ptr<frmAbout> about_;
  std::vector<ResolutionGroup> resolutionGroups_;  // items of the menu, with their modes
  std::optional<PrimaryDisplay> scannedFor_;  // the display the menu shows the answers of
  std::optional<ModeTriple> lastMode_;        // the last mode read; none before the first
  // Loaded for the notification area's scale once that differs from the start-up metric;
  // until then the tray shows the form's small icon.
  std::optional<OwnedIcon> trayIcon_;
  int32_t trayIconPixels_ = 0;
  bool sessionWatched_ = false;
};

}  // namespace vantrel

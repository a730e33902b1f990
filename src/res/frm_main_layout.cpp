#include "res/frm_main_layout.h"

#include "launch/web_stuff_functions.h"
#include "res/resource_ids.h"

namespace vantrel {

namespace {

using enum PopupCommand;

constexpr PopupRow kPopupRows[] = {
    {"m640x480", "&640x480", ResolutionGroup, 640, 480, "mnu640"},
    {"m800x600", "&800x600", ResolutionGroup, 800, 600, "mnu800"},
    {"m1024x768", "&1024x768", ResolutionGroup, 1024, 768, "mnu1024"},
    {"m1280x768", "1&280x768", ResolutionGroup, 1280, 768, "mnu12807"},
    {"m1280x960", "1280x&960", ResolutionGroup, 1280, 960, "mnu12809"},
    {"m1280x1024", "128&0x1024", ResolutionGroup, 1280, 1024, "mnu128010"},
    {"m1600x1200", "1&600x1200", ResolutionGroup, 1600, 1200, "mnu1600"},
    {"mnuSep2", "-", None},
    {"mnuDispProps", "&Open Display Properties", DisplayProperties},
    {"mnusep4", "-", None},
    {"mnuPopAbout", "&About", About},
    {"mnuWeb", kHomePageUrl, Web},
    {"mnusep3", "-", None},
    {"mPopExit", "E&xit", Exit},
};

constexpr int32_t kRefreshRates[] = {60, 70, 72, 75, 85, 100};

MenuItem RateItem(const PopupRow& group, int32_t rate, const MainMenuHandlers& handlers) {
  const ModeTriple mode{group.width, group.height, rate};
  return {.name = RateItemName(group, rate),
          .caption = RateItemCaption(rate),
          .click = [rate = handlers.rate, mode] { rate(mode); }};
}

std::function<void()> CommandHandler(PopupCommand command, const MainMenuHandlers& handlers) {
  switch (command) {
    case DisplayProperties: return handlers.displayProperties;
    case About: return handlers.about;
    case Web: return handlers.web;
    case Exit: return handlers.exit;
    default: return {};
  }
}

MenuItem PopupItem(const PopupRow& row, const MainMenuHandlers& handlers) {
  MenuItem item{.name = row.name, .caption = row.caption,
                .click = CommandHandler(row.command, handlers)};
  if (row.command == ResolutionGroup) {
    for (int32_t rate : kRefreshRates) item.children.push_back(RateItem(row, rate, handlers));
  }
  return item;
}

}  // namespace

std::span<const PopupRow> PopupRows() { return kPopupRows; }
std::span<const int32_t> RefreshRates() { return kRefreshRates; }

std::string RateItemName(const PopupRow& group, int32_t rate) {
  return std::string(group.ratePrefix) + "_" + std::to_string(rate);
}

std::string RateItemCaption(int32_t rate) { return std::to_string(rate) + " Hz"; }

MenuItem BuildMainMenu(const MainMenuHandlers& handlers) {
  MenuItem popup{.name = kPopupMenuName, .caption = "&Systray", .visible = false};
  for (const PopupRow& row : kPopupRows) popup.children.push_back(PopupItem(row, handlers));
  MenuItem menuBar;
  menuBar.children.push_back(std::move(popup));
  return menuBar;
}

FormLayout MainFormLayout() {
  return {.className = "Vantrel.frmMain",
          .caption = "Vantrel",
          .frame = FrameStyle::Sizable,
          // Never meant to be seen: no taskbar button, and showing it must not take the
          // focus from whatever the user is working in.
          .taskbarButton = false,
          .activateOnShow = false,
          .clientWidthTwips = 4680,
          .clientHeightTwips = 3090,
          .iconResource = IDI_APP,
          .timers = {{kTimer1, kTimer1IntervalMs}}};
}

}  // namespace vantrel

#include "res/frm_main_layout.h"

#include "res/maker.h"
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

}  // namespace

std::span<const PopupRow> PopupRows() { return kPopupRows; }
std::span<const int32_t> RefreshRates() { return kRefreshRates; }

std::string RateItemName(const PopupRow& group, int32_t rate) {
  return std::string(group.ratePrefix) + "_" + std::to_string(rate);
}

std::string RateItemCaption(int32_t rate) { return std::to_string(rate) + " Hz"; }

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

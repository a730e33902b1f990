#include "res/frm_main_layout.h"

#include <array>
#include <iterator>
#include <string_view>

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
constexpr size_t kRows = std::size(kPopupRows), kRates = std::size(kRefreshRates);

// Room for the longest name, "mnu128010_100", and its NUL.
using Text = std::array<char, 16>;

constexpr char* Append(char* out, const char* text) {
  while (*text != '\0') *out++ = *text++;
  return out;
}

constexpr char* Append(char* out, int32_t number) {
  char digits[10] = {};
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

constexpr auto kRateItemNames = [] {
  std::array<std::array<Text, kRates>, kRows> names{};
  for (size_t row = 0; row < kRows; ++row) {
    if (kPopupRows[row].ratePrefix == nullptr) continue;
    for (size_t rate = 0; rate < kRates; ++rate) {
      Append(Append(Append(names[row][rate].data(), kPopupRows[row].ratePrefix), "_"), kRefreshRates[rate]);
    }
  }
  return names;
}();

constexpr auto kRateItemCaptions = [] {
  std::array<Text, kRates> captions{};
  for (size_t rate = 0; rate < kRates; ++rate) Append(Append(captions[rate].data(), kRefreshRates[rate]), " Hz");
  return captions;
}();

static_assert(std::string_view(kRateItemNames[4][3].data()) == "mnu12809_75");
static_assert(std::string_view(kRateItemCaptions[5].data()) == "100 Hz");

}  // namespace

std::span<const PopupRow> PopupRows() { return kPopupRows; }
std::span<const int32_t> RefreshRates() { return kRefreshRates; }

const char* RateItemName(size_t rowIndex, size_t rateIndex) { return kRateItemNames[rowIndex][rateIndex].data(); }
const char* RateItemCaption(size_t rateIndex) { return kRateItemCaptions[rateIndex].data(); }

FormLayout MainFormLayout() {
  return {.className = kMainWindowClass,
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

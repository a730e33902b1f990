#pragma once
// The main window's design: frame, timer and the tray menu tree, one row per entry.
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "display/display_modes.h"
#include "framework/form.h"
#include "framework/menu.h"

namespace vantrel {

enum class PopupCommand { None, ResolutionGroup, DisplayProperties, About, Web, Exit };

// One entry of the tray popup; a resolution group also names its mode and the prefix of
// its six rate items' names.
struct PopupRow {
  const char* name;
  const char* caption;
  PopupCommand command;
  int32_t width = 0;
  int32_t height = 0;
  const char* ratePrefix = nullptr;
};

inline constexpr uint32_t kTimer1 = 1;
inline constexpr uint32_t kTimer1IntervalMs = 1000;
inline constexpr const char* kPopupMenuName = "mPopupSys";

std::span<const PopupRow> PopupRows();
std::span<const int32_t> RefreshRates();
std::string RateItemName(const PopupRow& group, int32_t rate);
std::string RateItemCaption(int32_t rate);

struct MainMenuHandlers {
  std::function<void(ModeTriple)> rate;
  std::function<void()> displayProperties, about, web, exit;
};

// The menu bar with its one invisible top-level item, whose submenu is the tray popup.
MenuItem BuildMainMenu(const MainMenuHandlers& handlers);
FormLayout MainFormLayout();

}  // namespace vantrel

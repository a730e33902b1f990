#pragma once
// The main window's design as data: frame, timer and the tray popup, one row per entry.
// The main window binds what each kind of entry does.
#include <cstdint>
#include <span>
#include <cstddef>

#include "framework/form.h"

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

// The hidden main window's class, by which the installer finds a running copy to close.
inline constexpr const char* kMainWindowClass = "Vantrel.frmMain";
inline constexpr uint32_t kTimer1 = 1;
inline constexpr uint32_t kTimer1IntervalMs = 1000;
// The menu bar's one item, never shown there: its submenu is the tray popup.
inline constexpr const char* kPopupMenuName = "mPopupSys";
inline constexpr const char* kPopupMenuCaption = "&Systray";

std::span<const PopupRow> PopupRows();
std::span<const int32_t> RefreshRates();
// The name of the rate item at `rateIndex` of the group in row `rowIndex` ("mnu12809_75":
// the group's prefix, "_", the rate), and a rate's caption ("75 Hz"); both made when the
// program is compiled.
const char* RateItemName(size_t rowIndex, size_t rateIndex);
const char* RateItemCaption(size_t rateIndex);

FormLayout MainFormLayout();

}  // namespace vantrel

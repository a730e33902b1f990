#include "framework/application.h"

#include <algorithm>
#include <utility>

#include "framework/twips.h"

namespace vantrel {

int32_t Application::ScreenDpi() const {
  if (screenDpi_ == 0) screenDpi_ = os_.ScreenDpiX();
  return screenDpi_;
}

double Application::TwipsPerPixelX() const { return TwipsPerPixel(ScreenDpi()); }

void Application::SpendStartupShowState() const {
  if (std::exchange(startupShowStateSpent_, true)) return;
  os_.ShowUnseenWindow(win::kWsPopup | win::kWsCaption, win::kSwShowNormal);
}

int32_t Application::MsgBox(const std::string& text, uint32_t style,
                            const std::string& title) const {
  SpendStartupShowState();
  return os_.MessageBoxA(nullptr, text, title.empty() ? kTitle : title, style);
}

FormIcons Application::Icons(uint16_t resource) {
  if (resource == 0) return {};
  for (const auto& [loaded, pair] : icons_) {
    if (loaded == resource) return {pair.large.get(), pair.small.get()};
  }
  // Each size is loaded on its own: an icon scaled down from the large one, or one the
  // system cache handed out at another size, looks blurred in the tray.
  const IconPair& pair = icons_.emplace_back(resource, IconPair{
      {os_, os_.LoadIconResource(resource, os_.GetSystemMetrics(win::kSmCxIcon))},
      {os_, os_.LoadIconResource(resource, os_.GetSystemMetrics(win::kSmCxSmIcon))}}).second;
  return {pair.large.get(), pair.small.get()};
}

void Application::FormOpened(Form& form) { forms_.push_back(&form); }

void Application::FormClosed(Form& form) {
  std::erase(forms_, &form);
  if (forms_.empty()) os_.PostQuitMessage();
}

}  // namespace vantrel

#include "framework/application.h"

#include <algorithm>

#include "framework/twips.h"

namespace vantrel {

double Application::TwipsPerPixelX() const {
  if (screenDpi_ == 0) screenDpi_ = os_.ScreenDpiX();
  return TwipsPerPixel(screenDpi_);
}

int32_t Application::MsgBox(const std::string& text, uint32_t style,
                            const std::string& title) const {
  return os_.MessageBoxA(nullptr, text, title.empty() ? kTitle : title, style);
}

void Application::FormOpened(Form& form) { forms_.push_back(&form); }

void Application::FormClosed(Form& form) {
  std::erase(forms_, &form);
  if (forms_.empty()) os_.PostQuitMessage();
}

}  // namespace vantrel

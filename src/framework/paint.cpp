#include "framework/paint.h"

namespace vantrel {

bool HighContrastOn(uint32_t flags) { return (flags & win::kHcfHighContrastOn) != 0; }

ControlPaint PaintOf(const ControlLayout& control, bool highContrast) {
  if (highContrast) {
    return {control.linkPointer ? SystemColor::HotLight : SystemColor::WindowText,
            FormBackground(true)};
  }
  return {control.textColor ? PaintColor{*control.textColor} : SystemColor::WindowText,
          control.backColor ? PaintColor{*control.backColor} : FormBackground(false)};
}

SystemColor FormBackground(bool highContrast) {
  return highContrast ? SystemColor::Window : SystemColor::ButtonFace;
}

}  // namespace vantrel

#pragma once
// The colours a form's labels and picture boxes are painted in: those of their layout, or,
// under a high-contrast theme, the system's, which the theme keeps apart from each other
// so that no text vanishes into its background.
#include <cstdint>
#include <variant>

#include "framework/form.h"

namespace vantrel {

// Indices of the system's colours (GetSysColor); the Windows side checks them.
enum class SystemColor : int32_t { Window = 5, WindowText = 8, ButtonFace = 15, HotLight = 26 };

using PaintColor = std::variant<Rgb, SystemColor>;

struct ControlPaint {
  PaintColor text;
  PaintColor background;
};

// Whether the system's high-contrast flags (HIGHCONTRAST's dwFlags) put the theme in
// force. Every Windows sets HCF_AVAILABLE and others; only HCF_HIGHCONTRASTON counts.
bool HighContrastOn(uint32_t flags);
ControlPaint PaintOf(const ControlLayout& control, bool highContrast);
SystemColor FormBackground(bool highContrast);

}  // namespace vantrel

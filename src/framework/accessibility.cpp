#include "framework/accessibility.h"

namespace vantrel {

std::optional<ControlAnnotation> AnnotationOf(const ControlLayout& control) {
  if (control.kind == ControlKind::Label && control.linkPointer) {
    // A static control reads as plain text; its own text stays its name.
    return ControlAnnotation{win::kRoleSystemLink, win::kStateSystemFocusable | win::kStateSystemLinked, ""};
  }
  if (control.kind == ControlKind::PictureBox && !control.accessibleName.empty()) {
    return ControlAnnotation{win::kRoleSystemGraphic, 0, control.accessibleName};
  }
  return std::nullopt;
}

}  // namespace vantrel

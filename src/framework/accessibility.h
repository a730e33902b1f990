#pragma once
// What a screen reader is told about a form's controls beyond what their classes say: a
// label that acts as a link reads as a link that takes the focus, and a picture has a name.
#include <optional>

#include "framework/form.h"

namespace vantrel {

std::optional<ControlAnnotation> AnnotationOf(const ControlLayout& control);

}  // namespace vantrel

#pragma once
#include <cstdint>

#include "framework/form.h"

namespace vantrel {

// Control ids of the About window. cmdOK carries IDOK, so Enter reaches it like a
// dialog's default button.
enum AboutControl : uint32_t {
  cmdOK = 1,
  picIcon = 100,
  lblTitle,
  lblVersion,
  lblDescription,
  Label5,
  lblDisclaimer,
  Label3,
  Label1,
  Label4,
  Label6,
  Label2,
  Label7,
};

FormLayout AboutFormLayout();

}  // namespace vantrel

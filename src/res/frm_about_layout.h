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
  Label5,         // the offer of custom versions
  lblDisclaimer,  // "Feedback:"
  Label3,         // the feedback address, a link
  Label1,         // "Website:"
  Label4,         // the home page, a link
  Label6,         // "Click"
  Label2,         // " HERE", the donation link
  Label7,         // " to support utilities like this one."
};

FormLayout AboutFormLayout();

}  // namespace vantrel

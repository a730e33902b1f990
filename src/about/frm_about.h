#pragma once
// The About window: title, version, description and three links handed to the browser
// and the mail client.
#include <string>

#include "framework/form.h"

namespace vantrel {

class frmAbout final : public Form {
 public:
  explicit frmAbout(Application& app);

  static std::string VersionLine();

 private:
  void Load() override;
  void ControlClick(uint32_t controlId) override;
};

}  // namespace vantrel

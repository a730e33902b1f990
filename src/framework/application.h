#pragma once
// Process-wide services of the window framework: the open windows in opening order,
// the application's title and version, message boxes and the screen's twips per pixel.
#include <cstdint>
#include <string>
#include <vector>

#include "framework/os.h"

namespace vantrel {

class Form;

class Application {
 public:
  static constexpr const char* kTitle = "Vantrel";
  static constexpr int32_t kMajor = 2;
  static constexpr int32_t kMinor = 0;
  static constexpr int32_t kRevision = 5;

  explicit Application(Os& os) : os_(os) {}
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  Os& os() const { return os_; }
  double TwipsPerPixelX() const;

  // Modal message box without owner; an empty title means the application title.
  int32_t MsgBox(const std::string& text, uint32_t style, const std::string& title = {}) const;

  const std::vector<Form*>& Forms() const { return forms_; }
  void FormOpened(Form& form);
  // The process ends once the last window has closed.
  void FormClosed(Form& form);

 private:
  Os& os_;
  std::vector<Form*> forms_;
  // The system DPI is fixed for the life of the process; asking costs a device context.
  mutable int32_t screenDpi_ = 0;
};

}  // namespace vantrel

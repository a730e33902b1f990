#pragma once
// Process-wide services of the window framework: the open windows in opening order,
// the application's title and version, its icons, message boxes and the screen's twips
// per pixel.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "framework/os.h"
#include "vantrel_version.h"

namespace vantrel {

class Form;

// An icon this program loaded and must give back.
class OwnedIcon {
 public:
  OwnedIcon(Os& os, IconHandle icon) : os_(&os), icon_(icon) {}
  OwnedIcon(OwnedIcon&& other) noexcept
      : os_(other.os_), icon_(std::exchange(other.icon_, nullptr)) {}
  OwnedIcon& operator=(OwnedIcon&&) = delete;
  ~OwnedIcon() {
    if (icon_ != nullptr) os_->DestroyIcon(icon_);
  }
  IconHandle get() const { return icon_; }

 private:
  Os* os_;
  IconHandle icon_;
};

class Application {
 public:
  static constexpr const char* kTitle = "Vantrel";
  static constexpr int32_t kMajor = VANTREL_VERSION_MAJOR;
  static constexpr int32_t kMinor = VANTREL_VERSION_MINOR;
  static constexpr int32_t kRevision = VANTREL_VERSION_REVISION;

  explicit Application(Os& os) : os_(os) {}
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  Os& os() const { return os_; }
  int32_t ScreenDpi() const;
  double TwipsPerPixelX() const;

  // Modal message box without owner; an empty title means the application title.
  int32_t MsgBox(const std::string& text, uint32_t style, const std::string& title = {}) const;

  // The large and small icon of an icon resource, each loaded at its own size once and
  // kept until the program ends: window classes hold on to them.
  FormIcons Icons(uint16_t resource);

  // Windows hands the show state the launcher asked for (a shortcut set to run minimized, a
  // launcher that starts programs hidden) to the first show of the process's first top-level,
  // unowned window with a caption, whatever the program asks: every form and every message
  // box is one. Readings differ on which show uses it up: any first show, a hide included
  // (ReactOS), or only one whose command it replaces, SW_SHOWNORMAL or SW_SHOW (Microsoft's
  // ShowWindow page, Raymond Chen). Spent once, before anything is shown, on a window that
  // qualifies and is shown with SW_SHOWNORMAL, which every reading replaces and so spends:
  // a window nobody can see, whatever state it takes. No form or message box (which has no
  // second show to put it right) keeps the launcher's state.
  void SpendStartupShowState() const;

  // What the process ends with: non-zero once something the user was told of has
  // failed, so that a launcher or script sees it too.
  int ExitCode() const { return exitCode_; }
  void Failed() { exitCode_ = 1; }

  const std::vector<Form*>& Forms() const { return forms_; }
  void FormOpened(Form& form);
  // The process ends once the last window has closed.
  void FormClosed(Form& form);

 private:
  struct IconPair {
    OwnedIcon large, small;
  };

  Os& os_;
  std::vector<Form*> forms_;
  std::vector<std::pair<uint16_t, IconPair>> icons_;
  mutable bool startupShowStateSpent_ = false;
  int exitCode_ = 0;
  // The system DPI is fixed for the life of the process; asking costs a device context.
  mutable int32_t screenDpi_ = 0;
};

}  // namespace vantrel

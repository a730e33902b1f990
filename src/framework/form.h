#pragma once
// A window of the program as a form: geometry in twips, show/hide/close with the
// Load, Resize, MouseMove, Unload, Click and Timer events raised in a fixed order that
// the handlers can rely on, whatever the operating system does underneath.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/application.h"
#include "framework/menu.h"
#include "framework/os.h"

namespace vantrel {

enum class FrameStyle { Sizable, FixedDialog };
enum class WindowState : int32_t { Normal = 0, Minimized = 1 };

struct TimerLayout {
  uint32_t id = 0;
  uint32_t intervalMs = 0;
};

struct Rgb {
  uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class ControlKind { PictureBox, Label, CommandButton };

// A child control; position and size in twips from the client area's top-left corner.
struct ControlLayout {
  uint32_t id = 0;
  std::string name;
  ControlKind kind = ControlKind::Label;
  double left = 0, top = 0, width = 0, height = 0;
  std::string text;
  std::optional<Rgb> textColor;  // none: the system's colour for dialog text
  std::optional<Rgb> backColor;  // none: the dialog background
  bool linkPointer = false;      // the hand pointer instead of the arrow
  int32_t tabIndex = 0;
  uint16_t iconResource = 0;     // picture boxes only
  std::string accessibleName;    // for a control without text of its own
};

// A control the keyboard reaches with Tab: a button, or a label that acts as a link.
bool IsKeyboardStop(const ControlLayout& control);

// A straight line drawn on the client area, in twips, in the order of the list.
struct LineLayout {
  std::string name;
  Rgb color;
  int32_t widthPixels = 1;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct FormLayout {
  std::string className;
  std::string caption;
  FrameStyle frame = FrameStyle::Sizable;
  bool taskbarButton = true;
  bool activateOnShow = true;
  bool centred = false;  // opens in the middle of the work area
  double clientWidthTwips = 0;
  double clientHeightTwips = 0;
  uint16_t iconResource = 0;
  std::vector<TimerLayout> timers;
  std::vector<ControlLayout> controls;
  std::vector<LineLayout> lines;
  uint32_t defaultControl = 0;  // Enter clicks it
  uint32_t cancelControl = 0;   // Esc clicks it
};

// The keyboard stop that holds the focus when the window opens: the lowest tab index.
uint32_t FirstFocus(const FormLayout& layout);

// Command id of Esc in a window with dialog keys (IDCANCEL).
inline constexpr uint32_t kCancelCommand = 2;

class Form {
 public:
  Form(Application& app, FormLayout layout);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // Loads the window first if needed, so Load runs inside the first Show.
  void Show();
  void Hide();
  // Raises Unload, destroys the window and ends the process if it was the last one.
  void Close();
  void Refresh();
  void SetControlText(uint32_t controlId, const std::string& text);

  bool Loaded() const { return window_ != nullptr; }
  bool Visible() const { return visible_; }
  WindowHandle hWnd() const { return window_; }
  // The small icon, as the title bar and the notification area show it.
  IconHandle Icon() const;
  const FormLayout& Layout() const { return layout_; }
  MenuItem& Menu() { return menu_; }
  const MenuItem& Menu() const { return menu_; }

  double Left() const { return left_; }
  double Top() const { return top_; }
  double Width() const { return width_; }
  double Height() const { return height_; }
  WindowState State() const { return state_; }
  void SetLeft(double twips);
  void SetTop(double twips);
  void SetWidth(double twips);
  void SetHeight(double twips);
  void SetWindowState(WindowState state);

  // Displays the submenu of `item` at `at`; the chosen item's Click runs after the menu
  // has closed. False when the menu was dismissed without a choice.
  bool PopupMenu(const MenuItem& item, uint32_t flags, PixelPoint at);
  // Builds the Windows menu of `item` ahead of its first popup.
  void PreparePopupMenu(const MenuItem& item) { popupMenu_.For(item); }

  // Whether OnMessage may handle `message`; every other message is the system's.
  static bool Handles(uint32_t message);
  // Entry point for every message the window receives; false means "not handled here".
  // Nothing in the program throws, so no exception can reach the window procedure.
  bool OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) noexcept;

 protected:
  Application& app() const { return app_; }
  Os& os() const { return app_.os(); }
  void SetMenu(MenuItem root);

  virtual void Load() {}
  virtual void Resize() {}
  virtual void MouseMove(int32_t /*button*/, int32_t /*shift*/, double /*x*/, double /*y*/) {}
  virtual void Unload() {}
  virtual void Timer(uint32_t /*timerId*/) {}
  virtual void ControlClick(uint32_t /*controlId*/) {}
  virtual bool RegisteredMessage(uint32_t /*message*/) { return false; }
  // The display, its scale, a system setting or the session changed (WM_DISPLAYCHANGE,
  // WM_DPICHANGED, WM_SETTINGCHANGE, WM_WTSSESSION_CHANGE): what the form took from them
  // may be out of date. The system still sees each message.
  virtual void SystemChanged() {}

 private:
  void ControlCommand(uint32_t id);
  void MoveToGeometry();
  bool LoadWindow();
  void Annotate();
  PixelRect PlacementAt(int32_t dpi) const;
  void ReadGeometry();
  void PutOnScreen(int32_t showCommand);
  bool SystemCommand(uintptr_t command);

  Application& app_;
  FormLayout layout_;
  MenuItem menu_;
  KeptPopupMenu popupMenu_;
  WindowHandle window_ = nullptr;
  bool visible_ = false;   // as the program sees it
  bool onScreen_ = false;  // as the system shows it
  bool closing_ = false;
  WindowState state_ = WindowState::Normal;
  double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

}  // namespace vantrel

#include "framework/form.h"

#include <utility>

#include "framework/accessibility.h"
#include "framework/twips.h"

namespace vantrel {

namespace {

// First id given to menu commands; control ids of a form's own controls stay below it.
constexpr uint32_t kFirstMenuId = 1000;
constexpr uint32_t kFirstRegisteredMessage = 0xC000;
constexpr uintptr_t kMkLeftButton = 0x01, kMkRightButton = 0x02, kMkShift = 0x04,
                    kMkControl = 0x08, kMkMiddleButton = 0x10;

int32_t LowWordSigned(intptr_t value) { return static_cast<int16_t>(value & 0xFFFF); }
int32_t HighWordSigned(intptr_t value) { return static_cast<int16_t>((value >> 16) & 0xFFFF); }

int32_t MouseButtons(uintptr_t keys) {
  return ((keys & kMkLeftButton) ? 1 : 0) | ((keys & kMkRightButton) ? 2 : 0) |
         ((keys & kMkMiddleButton) ? 4 : 0);
}

int32_t ShiftKeys(uintptr_t keys) {
  return ((keys & kMkShift) ? 1 : 0) | ((keys & kMkControl) ? 2 : 0);
}

}  // namespace

bool IsKeyboardStop(const ControlLayout& control) {
  return control.kind == ControlKind::CommandButton || control.linkPointer;
}

uint32_t FirstFocus(const FormLayout& layout) {
  const ControlLayout* first = nullptr;
  for (const ControlLayout& control : layout.controls) {
    if (IsKeyboardStop(control) && (first == nullptr || control.tabIndex < first->tabIndex)) first = &control;
  }
  return first != nullptr ? first->id : 0;
}

Form::Form(Application& app, FormLayout layout)
    : app_(app), layout_(std::move(layout)), popupMenu_(app.os()) {}

Form::~Form() {
  if (window_ == nullptr) return;
  os().DestroyWindow(window_);
  app_.FormClosed(*this);
}

void Form::SetMenu(MenuItem root) {
  popupMenu_.Forget();
  menu_ = std::move(root);
  AssignMenuIds(menu_, kFirstMenuId);
}

IconHandle Form::Icon() const { return Loaded() ? app_.Icons(layout_.iconResource).small : nullptr; }

bool Form::LoadWindow() {
  const int32_t systemDpi = app_.ScreenDpi();
  window_ = os().CreateFormWindow(*this, app_.Icons(layout_.iconResource), PlacementAt(systemDpi));
  if (window_ == nullptr) {
    app_.MsgBox("The window \"" + layout_.caption + "\" could not be created.", win::kMbIconStop);
    app_.Failed();
    return false;
  }
  app_.FormOpened(*this);
  Annotate();
  if (FirstFocus(layout_) != 0) os().InitialiseKeyboardCues(window_);
  // On a monitor whose scale differs from the system's, the window takes the size and
  // frame of its own DPI.
  if (const int32_t dpi = os().WindowDpi(window_); dpi != systemDpi) os().MoveWindow(window_, PlacementAt(dpi));
  ReadGeometry();
  for (const TimerLayout& timer : layout_.timers) os().SetTimer(window_, timer.id, timer.intervalMs);
  return true;
}

void Form::Annotate() {
  for (const ControlLayout& control : layout_.controls) {
    if (const auto annotation = AnnotationOf(control)) os().AnnotateControl(window_, control.id, *annotation);
  }
}

// The outer rectangle whose client area has the layout's size at `dpi`, inside the frame
// the system draws at that DPI; in the middle of the work area for a centred form.
PixelRect Form::PlacementAt(int32_t dpi) const {
  const double tpp = TwipsPerPixel(dpi);
  const PixelRect client{0, 0, TwipsToPixels(layout_.clientWidthTwips, tpp),
                         TwipsToPixels(layout_.clientHeightTwips, tpp)};
  const PixelRect frame = os().FrameAround(client, layout_, dpi);
  PixelPoint at{};
  if (layout_.centred) {
    const PixelRect work = os().WorkArea();
    at = {work.left + (work.Width() - frame.Width()) / 2, work.top + (work.Height() - frame.Height()) / 2};
  }
  return {at.x, at.y, at.x + frame.Width(), at.y + frame.Height()};
}

void Form::ReadGeometry() {
  const double tpp = app_.TwipsPerPixelX();
  const PixelRect outer = os().GetWindowRect(window_);
  left_ = PixelsToTwips(outer.left, tpp);
  top_ = PixelsToTwips(outer.top, tpp);
  width_ = PixelsToTwips(outer.Width(), tpp);
  height_ = PixelsToTwips(outer.Height(), tpp);
}

void Form::Show() {
  if (!Loaded()) {
    if (!LoadWindow()) return;
    Load();
    if (!Loaded()) return;  // Load may close the window again
  }
  if (visible_) return;
  visible_ = true;
  // Resize comes first: a handler that hides the window again keeps it from ever
  // reaching the screen, and saves the system the work of showing it.
  Resize();
  PutOnScreen(state_ == WindowState::Minimized ? win::kSwShowMinNoActive
              : layout_.activateOnShow         ? win::kSwShowNormal
                                               : win::kSwShowNoActivate);
}

// Shows the window as asked, or not at all when a handler has hidden it. The launcher's
// show state is spent before any window of the program can take it.
void Form::PutOnScreen(int32_t showCommand) {
  if (!Loaded()) return;
  app_.SpendStartupShowState();
  if (!visible_) return;
  os().ShowWindow(window_, showCommand);
  onScreen_ = true;
}

void Form::Hide() {
  visible_ = false;
  if (!onScreen_) return;
  onScreen_ = false;
  os().ShowWindow(window_, win::kSwHide);
}

void Form::Close() {
  if (!Loaded() || closing_) return;
  closing_ = true;
  Unload();
  WindowHandle window = std::exchange(window_, nullptr);
  visible_ = onScreen_ = false;
  closing_ = false;
  os().DestroyWindow(window);
  app_.FormClosed(*this);
}

void Form::Refresh() {
  if (Loaded()) os().UpdateWindow(window_);
}

void Form::SetControlText(uint32_t controlId, const std::string& text) {
  if (Loaded()) os().SetControlText(window_, controlId, text);
}

void Form::MoveToGeometry() {
  if (!Loaded()) return;
  const double tpp = app_.TwipsPerPixelX();
  const int32_t left = TwipsToPixels(left_, tpp), top = TwipsToPixels(top_, tpp);
  os().MoveWindow(window_, {left, top, left + TwipsToPixels(width_, tpp),
                            top + TwipsToPixels(height_, tpp)});
}

void Form::SetLeft(double twips) {
  left_ = twips;
  MoveToGeometry();
}

void Form::SetTop(double twips) {
  top_ = twips;
  MoveToGeometry();
}

void Form::SetWidth(double twips) {
  if (width_ == twips) return;
  width_ = twips;
  MoveToGeometry();
  Resize();
}

void Form::SetHeight(double twips) {
  if (height_ == twips) return;
  height_ = twips;
  MoveToGeometry();
  Resize();
}

void Form::SetWindowState(WindowState state) {
  if (state_ == state) return;
  state_ = state;
  if (!Loaded()) return;
  // A change of state displays the window in that state, unless Resize hides it.
  visible_ = true;
  Resize();
  PutOnScreen(state == WindowState::Minimized ? win::kSwShowMinNoActive : win::kSwRestore);
}

bool Form::PopupMenu(const MenuItem& item, uint32_t flags, PixelPoint at) {
  const uint32_t chosen = os().TrackPopupMenu(popupMenu_.For(item), flags, at, window_);
  // Without this the menu of a tray icon does not close when the user clicks elsewhere
  // and fails to open every second time.
  os().PostMessageA(window_, win::kWmNull);
  const MenuItem* choice = FindChoosableMenuItem(menu_, chosen);
  if (choice == nullptr) return false;
  if (auto click = choice->click) click();  // a copy: the handler may rebuild the menu
  return true;
}

// Menu choices come back only as the popup's result: a WM_COMMAND that names a menu item
// was posted by another program, which must not switch the display.
void Form::ControlCommand(uint32_t id) {
  if (id == kCancelCommand && layout_.cancelControl != 0) id = layout_.cancelControl;
  if (id < kFirstMenuId) ControlClick(id);
}

bool Form::SystemCommand(uintptr_t command) {
  // A window that is not on screen can still hold the foreground, and an Alt+F4 meant
  // for another program would then close it unseen; only a window the user sees closes
  // from the keyboard. Everything else is the system's business.
  return (command & 0xFFF0) == win::kScClose && !onScreen_;
}

bool Form::Handles(uint32_t message) {
  switch (message) {
    case win::kWmMouseMove:
    case win::kWmTimer:
    case win::kWmCommand:
    case win::kWmClose:
    case win::kWmEndSession:
    case win::kWmSysCommand:
    case win::kWmSettingChange:
    case win::kWmDisplayChange:
    case win::kWmWtsSessionChange:
    case win::kWmDpiChanged:
      return true;
    default:
      return message >= kFirstRegisteredMessage && message <= 0xFFFF;
  }
}

bool Form::OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) noexcept {
  switch (message) {
    case win::kWmMouseMove: {
      const double tpp = app_.TwipsPerPixelX();
      MouseMove(MouseButtons(wParam), ShiftKeys(wParam), LowWordSigned(lParam) * tpp,
                HighWordSigned(lParam) * tpp);
      return true;
    }
    case win::kWmTimer:
      Timer(static_cast<uint32_t>(wParam));
      return true;
    case win::kWmCommand:
      // Clicks on buttons and labels carry notification code 0.
      if (HighWordSigned(static_cast<intptr_t>(wParam)) == 0) ControlCommand(wParam & 0xFFFF);
      return true;
    case win::kWmClose:
      Close();
      return true;
    case win::kWmEndSession:
      // The session ends (log-off, shutdown, an update's restart) and the process with
      // it: close as Exit would, so no icon is left behind in the tray.
      if (wParam != 0) Close();
      return true;
    case win::kWmSysCommand:
      return SystemCommand(wParam);
    case win::kWmSettingChange:
    case win::kWmDisplayChange:
    case win::kWmWtsSessionChange:
    case win::kWmDpiChanged:
      // Any program may send these; nothing of their parameters is trusted or needed.
      SystemChanged();
      return false;
    default:
      return message >= kFirstRegisteredMessage && message <= 0xFFFF && RegisteredMessage(message);
  }
}

}  // namespace vantrel

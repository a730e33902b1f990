// The window toolkit behind the forms: window classes, the window procedure, controls,
// painting, fonts and the DPI, all made from a form's layout.
#include "win32/win32_os.h"

#include <algorithm>
#include <memory>
#include <variant>
#include <vector>

#include "framework/form.h"
#include "framework/paint.h"
#include "framework/twips.h"
#include "res/resource_ids.h"
#include "win32/keyboard_links.h"
#include "win32/scoped.h"

namespace vantrel {

static_assert(static_cast<int>(SystemColor::Window) == COLOR_WINDOW &&
              static_cast<int>(SystemColor::WindowText) == COLOR_WINDOWTEXT &&
              static_cast<int>(SystemColor::ButtonFace) == COLOR_BTNFACE &&
              static_cast<int>(SystemColor::HotLight) == COLOR_HOTLIGHT);
static_assert(win::kHcfHighContrastOn == HCF_HIGHCONTRASTON);

namespace {

Form* FormOf(HWND window) {
  return reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// GDI objects a window with controls draws with; they live as long as the window.
struct WindowResources {
  scoped::Font font;
  scoped::Icon picture;
  std::vector<std::pair<COLORREF, scoped::Brush>> brushes;  // the few the layout names
  HCURSOR linkCursor = nullptr;  // shared, owned by the system
  double twipsPerPixel = 15;
  HWND lastFocus = nullptr;  // the control that held the focus when the window was left
};

constexpr const char* kResourcesProperty = "Vantrel.WindowResources";

WindowResources* ResourcesOf(HWND window) {
  return static_cast<WindowResources*>(GetPropA(window, kResourcesProperty));
}

// The layout of one of the window's own controls; none for anything else, so a message
// naming another program's window is never taken for one of ours.
const ControlLayout* ControlOf(const Form& form, HWND window, HWND control) {
  if (control == nullptr || GetParent(control) != window) return nullptr;
  const int id = GetDlgCtrlID(control);
  for (const ControlLayout& layout : form.Layout().controls) {
    if (layout.id == static_cast<uint32_t>(id)) return &layout;
  }
  return nullptr;
}

COLORREF ColorOf(const Rgb& color) { return RGB(color.red, color.green, color.blue); }

COLORREF ColorOf(const PaintColor& color) {
  if (const auto* system = std::get_if<SystemColor>(&color)) {
    return GetSysColor(static_cast<int>(*system));
  }
  return ColorOf(std::get<Rgb>(color));
}

HBRUSH BrushOf(const PaintColor& color, WindowResources& resources) {
  if (const auto* system = std::get_if<SystemColor>(&color)) {
    return GetSysColorBrush(static_cast<int>(*system));
  }
  const COLORREF rgb = ColorOf(color);
  for (const auto& [made, brush] : resources.brushes) {
    if (made == rgb) return brush.get();
  }
  return resources.brushes.emplace_back(rgb, CreateSolidBrush(rgb)).second.get();
}

bool HighContrast() {
  HIGHCONTRASTA contrast{};
  contrast.cbSize = sizeof contrast;
  return SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
         HighContrastOn(contrast.dwFlags);
}

bool ColorStatic(const Form& form, HWND window, HDC dc, HWND control, LRESULT& result) {
  const ControlLayout* layout = ControlOf(form, window, control);
  WindowResources* resources = ResourcesOf(window);
  if (layout == nullptr || resources == nullptr || dc == nullptr) return false;
  const ControlPaint paint = PaintOf(*layout, HighContrast());
  SetTextColor(dc, ColorOf(paint.text));
  SetBkColor(dc, ColorOf(paint.background));
  result = reinterpret_cast<LRESULT>(BrushOf(paint.background, *resources));
  return true;
}

void EraseBackground(HWND window, HDC dc) {
  RECT client{};
  GetClientRect(window, &client);
  FillRect(dc, &client, GetSysColorBrush(static_cast<int>(FormBackground(HighContrast()))));
}

bool SetLinkCursor(const Form& form, HWND window, HWND hovered) {
  const ControlLayout* layout = ControlOf(form, window, hovered);
  const WindowResources* resources = ResourcesOf(window);
  if (layout == nullptr || !layout->linkPointer || resources == nullptr || !resources->linkCursor) return false;
  SetCursor(resources->linkCursor);
  return true;
}

// A line as the layout means it: a horizontal line of width w covers the w pixel rows
// from its y downwards (a GDI pen would centre it and hide the line drawn before).
void PaintLine(HDC dc, const LineLayout& line, double tpp) {
  const int x1 = TwipsToPixels(line.x1, tpp), y1 = TwipsToPixels(line.y1, tpp);
  const int x2 = TwipsToPixels(line.x2, tpp), y2 = TwipsToPixels(line.y2, tpp);
  if (y1 == y2) {
    const RECT rows{std::min(x1, x2), y1, std::max(x1, x2) + 1, y1 + line.widthPixels};
    const scoped::Brush brush(CreateSolidBrush(ColorOf(line.color)));
    FillRect(dc, &rows, brush.get());
    return;
  }
  const scoped::Pen pen(CreatePen(PS_SOLID, line.widthPixels, ColorOf(line.color)));
  const scoped::Selection selected(dc, pen.get());
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
}

void PaintLines(const Form& form, HWND window) {
  const scoped::PaintDC dc(window);
  const WindowResources* resources = ResourcesOf(window);
  const double tpp = resources != nullptr ? resources->twipsPerPixel : TwipsPerPixel(96);
  for (const LineLayout& line : form.Layout().lines) PaintLine(dc.get(), line, tpp);
}

scoped::Font CreateFontFace(const char* face, int32_t dpi) {
  LOGFONTA font{};
  font.lfHeight = -MulDiv(8, dpi, 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
  return scoped::Font(CreateFontIndirectA(&font));
}

bool HasFace(HFONT font, const char* face) {
  const scoped::WindowDC screen(nullptr);
  const scoped::Selection selected(screen.get(), font);
  char actual[LF_FACESIZE] = {};
  GetTextFaceA(screen.get(), LF_FACESIZE, actual);
  return lstrcmpiA(actual, face) == 0;
}

// The dialog face the layouts' twips were measured in, at 8 points: its TrueType cut
// where the system has it (crisp at any DPI), else the classic face of that name.
scoped::Font CreateDialogFont(int32_t dpi) {
  constexpr const char* kTrueTypeFace = "Microsoft Sans Serif";
  scoped::Font font = CreateFontFace(kTrueTypeFace, dpi);
  if (font && HasFace(font.get(), kTrueTypeFace)) return font;
  return CreateFontFace("MS Sans Serif", dpi);
}

const char* ControlClassOf(ControlKind kind) {
  return kind == ControlKind::CommandButton ? "BUTTON" : "STATIC";
}

DWORD ControlStyleOf(const ControlLayout& control, const FormLayout& layout) {
  switch (control.kind) {
    case ControlKind::CommandButton:
      return WS_TABSTOP | (control.id == layout.defaultControl ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    case ControlKind::PictureBox:
      return SS_ICON | SS_CENTERIMAGE | SS_REALSIZECONTROL;
    case ControlKind::Label:
      // SS_NOTIFY makes labels report clicks; SS_NOPREFIX keeps "&" literal.
      return SS_LEFT | SS_NOPREFIX | SS_NOTIFY | (IsKeyboardStop(control) ? WS_TABSTOP : 0);
  }
  return 0;
}

// Children are created in the layout's order, which is the reading order: screen readers
// walk a window's children in the order they were made (z-order), and so does Tab, which
// the layout's tab indices agree with. Place, size and font come from ApplyDpi.
void CreateControls(HWND window, HINSTANCE instance, const FormLayout& layout) {
  for (const ControlLayout& control : layout.controls) {
    HWND child = CreateWindowExA(0, ControlClassOf(control.kind), control.text.c_str(),
                                 WS_CHILD | WS_VISIBLE | ControlStyleOf(control, layout), 0, 0, 0, 0, window,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(control.id)), instance, nullptr);
    if (child != nullptr && control.kind == ControlKind::Label && IsKeyboardStop(control)) MakeKeyboardLink(child);
  }
}

// Lays the controls out and sets their font for `dpi`, so the window is as crisp at
// 200 % as at 100 %, where it matches its layout pixel for pixel.
void ApplyDpi(HWND window, HINSTANCE instance, const FormLayout& layout, WindowResources& resources,
              int32_t dpi) {
  const double tpp = TwipsPerPixel(dpi);
  resources.twipsPerPixel = tpp;
  scoped::Font font = CreateDialogFont(dpi);
  for (const ControlLayout& control : layout.controls) {
    HWND child = GetDlgItem(window, static_cast<int>(control.id));
    if (child == nullptr) continue;
    SetWindowPos(child, nullptr, TwipsToPixels(control.left, tpp), TwipsToPixels(control.top, tpp),
                 TwipsToPixels(control.width, tpp), TwipsToPixels(control.height, tpp),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    if (control.iconResource != 0) {
      const int size = MulDiv(32, dpi, USER_DEFAULT_SCREEN_DPI);
      scoped::Icon icon(static_cast<HICON>(
          LoadImageA(instance, MAKEINTRESOURCEA(control.iconResource), IMAGE_ICON, size, size, 0)));
      SendMessageA(child, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
      resources.picture = std::move(icon);
    }
  }
  resources.font = std::move(font);  // the controls let go of the old one above
}

DWORD FrameStyleOf(const FormLayout& layout) {
  return layout.frame == FrameStyle::Sizable ? WS_OVERLAPPEDWINDOW
                                             : WS_POPUP | WS_CAPTION | WS_SYSMENU;
}

DWORD FrameExStyleOf(const FormLayout& layout) {
  DWORD exStyle = layout.taskbarButton ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
  if (layout.frame == FrameStyle::FixedDialog) exStyle |= WS_EX_DLGMODALFRAME;
  return exStyle;
}

// As in a dialog, the control that held the focus when the user left the window gets it
// back on return.
void RememberFocus(HWND window) {
  WindowResources* resources = ResourcesOf(window);
  HWND focus = GetFocus();
  if (resources != nullptr) resources->lastFocus = focus != nullptr && IsChild(window, focus) ? focus : nullptr;
}

// The remembered control, else the first in tab order (OK), so Space presses it; the
// first control made is another, since they are made in reading order.
void GiveFocus(const Form& form, HWND window) {
  const WindowResources* resources = ResourcesOf(window);
  HWND control = resources != nullptr ? resources->lastFocus : nullptr;
  if (control == nullptr || !IsChild(window, control)) {
    control = GetDlgItem(window, static_cast<int>(FirstFocus(form.Layout())));
  }
  if (control != nullptr) SetFocus(control);
}

// Moved to a monitor of another scale: lay out anew and take the size the system
// suggests. Any program can send this message, so a missing rectangle or a DPI of zero
// is ignored rather than trusted.
void DpiChanged(const Form& form, HWND window, WPARAM wParam, LPARAM lParam) {
  const auto* suggested = reinterpret_cast<const RECT*>(lParam);
  WindowResources* resources = ResourcesOf(window);
  const int32_t dpi = LOWORD(wParam);
  if (suggested == nullptr || dpi == 0 || HIWORD(wParam) == 0 || resources == nullptr) return;
  ApplyDpi(window, reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)),
           form.Layout(), *resources, dpi);
  SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
               suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Messages about drawing, the pointer, the keyboard focus and the DPI, answered here
// from the layout; everything else is the form's business.
bool AnswerFromLayout(const Form& form, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                      LRESULT& result) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
      return ColorStatic(form, window, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                         result);
    case WM_ERASEBKGND:
      if (wParam == 0) return false;
      EraseBackground(window, reinterpret_cast<HDC>(wParam));
      result = TRUE;
      return true;
    case WM_SETCURSOR:
      result = TRUE;
      return SetLinkCursor(form, window, reinterpret_cast<HWND>(wParam));
    case WM_PAINT:
      if (form.Layout().lines.empty()) return false;
      PaintLines(form, window);
      result = 0;
      return true;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) RememberFocus(window);
      return false;
    case WM_SETFOCUS:
      GiveFocus(form, window);
      result = 0;
      return true;
    case WM_SYSCOLORCHANGE:
      // Only top-level windows get it; controls of the common-controls library need it too.
      for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageA(child, message, wParam, lParam);
      }
      [[fallthrough]];
    case WM_SETTINGCHANGE:
      // The theme, or high contrast, came or went: paint everything in its colours.
      RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      return false;
    case WM_DPICHANGED:
      DpiChanged(form, window, wParam, lParam);
      result = 0;
      return true;
    case DM_GETDEFID:
      if (form.Layout().defaultControl == 0) return false;
      result = MAKELRESULT(form.Layout().defaultControl, DC_HASDEFID);
      return true;
    default:
      return false;
  }
}

// The form is bound once, by CreateWindowEx itself; a later WM_NCCREATE can only come
// from another program.
void BindOnCreate(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE && lParam != 0 && FormOf(window) == nullptr) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
}

LRESULT FormMessage(Form* form, HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (form != nullptr && form->hWnd() == window && form->OnMessage(message, wParam, lParam)) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

// A window with controls: the layout answers for drawing, the pointer, the focus and the DPI.
LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  BindOnCreate(window, message, lParam);
  Form* form = FormOf(window);
  LRESULT result = 0;
  if (form != nullptr && AnswerFromLayout(*form, window, message, wParam, lParam, result)) return result;
  return FormMessage(form, window, message, wParam, lParam);
}

// A window without controls (the hidden main window) has nothing to lay out, colour,
// point at or focus. Most of what it gets (activation around every popup menu, the
// IME, the frame) goes to the system without finding the form first.
LRESULT CALLBACK PlainFormWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  BindOnCreate(window, message, lParam);
  if (!Form::Handles(message)) return DefWindowProcA(window, message, wParam, lParam);
  return FormMessage(FormOf(window), window, message, wParam, lParam);
}

}  // namespace

void Win32Os::RegisterFormClass(const Form& form, const FormIcons& icons) {
  const FormLayout& layout = form.Layout();
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(instance_, layout.className.c_str(), &existing)) return;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = layout.controls.empty() ? PlainFormWindowProc : FormWindowProc;
  windowClass.hInstance = instance_;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = layout.className.c_str();
  windowClass.hIcon = static_cast<HICON>(icons.large);
  windowClass.hIconSm = static_cast<HICON>(icons.small);
  RegisterClassExA(&windowClass);
}

WindowHandle Win32Os::CreateFormWindow(Form& form, const FormIcons& icons, const PixelRect& outer) {
  RegisterFormClass(form, icons);
  const FormLayout& layout = form.Layout();
  HWND window = CreateWindowExA(FrameExStyleOf(layout), layout.className.c_str(), layout.caption.c_str(),
                                FrameStyleOf(layout), outer.left, outer.top, outer.Width(), outer.Height(),
                                nullptr, nullptr, instance_, &form);
  if (window == nullptr || layout.controls.empty()) return window;
  auto resources = std::make_unique<WindowResources>();
  resources->linkCursor = static_cast<HCURSOR>(LoadImageA(
      instance_, MAKEINTRESOURCEA(IDC_HAND_LINK), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  WindowResources& created = *resources;
  SetPropA(window, kResourcesProperty, resources.release());  // freed by DestroyWindow
  CreateControls(window, instance_, layout);
  ApplyDpi(window, instance_, layout, created, WindowDpi(window));
  return window;
}

PixelRect Win32Os::FrameAround(const PixelRect& client, const FormLayout& layout, int32_t dpi) {
  RECT outer{client.left, client.top, client.right, client.bottom};
  if (adjustWindowRectExForDpi_ != nullptr) {
    adjustWindowRectExForDpi_(&outer, FrameStyleOf(layout), FALSE, FrameExStyleOf(layout),
                              static_cast<UINT>(dpi));
  } else {
    AdjustWindowRectEx(&outer, FrameStyleOf(layout), FALSE, FrameExStyleOf(layout));
  }
  return {outer.left, outer.top, outer.right, outer.bottom};
}

void Win32Os::DestroyWindow(WindowHandle window) {
  HWND destroyed = Hwnd(window);
  const std::unique_ptr<WindowResources> resources(
      static_cast<WindowResources*>(RemovePropA(destroyed, kResourcesProperty)));
  ForgetAnnotations(destroyed);
  StopWatchingSession(destroyed);
  ::DestroyWindow(destroyed);
}

}  // namespace vantrel

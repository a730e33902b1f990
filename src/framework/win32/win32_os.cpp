#include "framework/win32/win32_os.h"

#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <variant>
#include <vector>

#include "app/tray_icon.h"
#include "display/devmode.h"
#include "framework/form.h"
#include "framework/menu.h"
#include "framework/paint.h"
#include "framework/twips.h"
#include "framework/win32/scoped.h"
#include "res/resource_ids.h"

namespace vantrel {

// The portable code hands these records and constants across unchanged.
static_assert(sizeof(DevMode) == sizeof(DEVMODEA));
static_assert(offsetof(DevMode, dmSize) == offsetof(DEVMODEA, dmSize));
static_assert(offsetof(DevMode, dmFields) == offsetof(DEVMODEA, dmFields));
static_assert(offsetof(DevMode, dmFormName) == offsetof(DEVMODEA, dmFormName));
static_assert(offsetof(DevMode, dmBitsPerPel) == offsetof(DEVMODEA, dmBitsPerPel));
static_assert(offsetof(DevMode, dmPelsWidth) == offsetof(DEVMODEA, dmPelsWidth));
static_assert(offsetof(DevMode, dmPelsHeight) == offsetof(DEVMODEA, dmPelsHeight));
static_assert(offsetof(DevMode, dmDisplayFlags) == offsetof(DEVMODEA, dmDisplayFlags));
static_assert(offsetof(DevMode, dmDisplayFrequency) == offsetof(DEVMODEA, dmDisplayFrequency));
static_assert(offsetof(DevMode, dmPanningHeight) == offsetof(DEVMODEA, dmPanningHeight));
static_assert(sizeof(NotifyIconData) == NOTIFYICONDATAA_V1_SIZE);
static_assert(offsetof(NotifyIconData, hWnd) == offsetof(NOTIFYICONDATAA, hWnd));
static_assert(offsetof(NotifyIconData, uID) == offsetof(NOTIFYICONDATAA, uID));
static_assert(offsetof(NotifyIconData, uFlags) == offsetof(NOTIFYICONDATAA, uFlags));
static_assert(offsetof(NotifyIconData, uCallbackMessage) ==
              offsetof(NOTIFYICONDATAA, uCallbackMessage));
static_assert(offsetof(NotifyIconData, hIcon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(offsetof(NotifyIconData, szTip) == offsetof(NOTIFYICONDATAA, szTip));
static_assert(win::kWmNull == WM_NULL && win::kWmClose == WM_CLOSE &&
              win::kWmEndSession == WM_ENDSESSION && win::kWmCommand == WM_COMMAND &&
              win::kWmSysCommand == WM_SYSCOMMAND && win::kWmTimer == WM_TIMER &&
              win::kWmMouseMove == WM_MOUSEMOVE && win::kWmRButtonUp == WM_RBUTTONUP &&
              win::kScClose == SC_CLOSE);
static_assert(win::kSwHide == SW_HIDE && win::kSwShowNormal == SW_SHOWNORMAL &&
              win::kSwShowMinimized == SW_SHOWMINIMIZED &&
              win::kSwShowMaximized == SW_SHOWMAXIMIZED &&
              win::kSwShowNoActivate == SW_SHOWNOACTIVATE &&
              win::kSwShowMinNoActive == SW_SHOWMINNOACTIVE && win::kSwRestore == SW_RESTORE);
static_assert(win::kSmCxIcon == SM_CXICON && win::kSmCxSmIcon == SM_CXSMICON);
static_assert(win::kMbOk == MB_OK && win::kMbIconStop == MB_ICONSTOP);
static_assert(win::kNimAdd == NIM_ADD && win::kNimModify == NIM_MODIFY &&
              win::kNimDelete == NIM_DELETE && win::kNifMessage == NIF_MESSAGE &&
              win::kNifIcon == NIF_ICON && win::kNifTip == NIF_TIP);
static_assert(win::kCdsUpdateRegistry == CDS_UPDATEREGISTRY && win::kCdsTest == CDS_TEST);
static_assert(win::kDispChangeSuccessful == DISP_CHANGE_SUCCESSFUL &&
              win::kDispChangeRestart == DISP_CHANGE_RESTART &&
              win::kDispChangeFailed == DISP_CHANGE_FAILED &&
              win::kDispChangeBadMode == DISP_CHANGE_BADMODE);
static_assert(static_cast<int>(SystemColor::Window) == COLOR_WINDOW &&
              static_cast<int>(SystemColor::WindowText) == COLOR_WINDOWTEXT &&
              static_cast<int>(SystemColor::ButtonFace) == COLOR_BTNFACE &&
              static_cast<int>(SystemColor::HotLight) == COLOR_HOTLIGHT);

namespace {

constexpr const char* kInstanceMutexName = "Local\\AmbrelUtilities.Vantrel.Instance";

HWND Hwnd(WindowHandle window) { return static_cast<HWND>(window); }

Form* FormOf(HWND window) {
  return reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// Functions of newer Windows versions, found at run time so the exe still starts where
// they are missing.
template <typename Function>
Function SystemFunction(const char* module, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}

// GDI objects a window with controls draws with; they live as long as the window.
struct WindowResources {
  scoped::Font font;
  scoped::Icon picture;
  std::vector<std::pair<COLORREF, scoped::Brush>> brushes;  // the few the layout names
  HCURSOR linkCursor = nullptr;  // shared, owned by the system
  double twipsPerPixel = 15;
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
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
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
      return SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
  }
  return 0;
}

// Children are created in tab order, which is also the order Tab walks them in; their
// place, size and font come from ApplyDpi.
void CreateControls(HWND window, HINSTANCE instance, const FormLayout& layout) {
  std::vector<const ControlLayout*> ordered;
  for (const ControlLayout& control : layout.controls) ordered.push_back(&control);
  std::ranges::sort(ordered, {}, &ControlLayout::tabIndex);
  for (const ControlLayout* control : ordered) {
    CreateWindowExA(0, ControlClassOf(control->kind), control->text.c_str(),
                    WS_CHILD | WS_VISIBLE | ControlStyleOf(*control, layout), 0, 0, 0, 0, window,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(control->id)), instance, nullptr);
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
    case WM_SETFOCUS:
      // As in a dialog, the focus goes to the first control in tab order (OK), so Space
      // presses it.
      if (HWND first = GetNextDlgTabItem(window, nullptr, FALSE)) SetFocus(first);
      result = 0;
      return true;
    case WM_SYSCOLORCHANGE:
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

LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam,
                                LPARAM lParam) noexcept {
  // The form is bound once, by CreateWindowEx itself; a later WM_NCCREATE can only come
  // from another program.
  if (message == WM_NCCREATE && lParam != 0 && FormOf(window) == nullptr) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  Form* form = FormOf(window);
  if (form == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  LRESULT result = 0;
  if (!form->Layout().controls.empty() &&
      AnswerFromLayout(*form, window, message, wParam, lParam, result)) {
    return result;
  }
  if (form->hWnd() == window && form->OnMessage(message, wParam, lParam)) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

// Builds the Windows menu for the children of `item`; hidden items are left out.
scoped::Menu BuildPopup(const MenuItem& item) {
  scoped::Menu popup(CreatePopupMenu());
  for (const MenuItem& child : item.children) {
    if (!child.visible) continue;
    const UINT grayed = child.enabled ? 0 : MF_GRAYED;
    if (child.IsSeparator()) {
      AppendMenuA(popup.get(), MF_SEPARATOR, 0, nullptr);
    } else if (!child.children.empty()) {
      scoped::Menu submenu = BuildPopup(child);
      if (AppendMenuA(popup.get(), MF_POPUP | grayed, reinterpret_cast<UINT_PTR>(submenu.get()),
                      child.caption.c_str())) {
        submenu.release();  // owned by its parent menu from now on
      }
    } else {
      AppendMenuA(popup.get(), MF_STRING | grayed, child.id, child.caption.c_str());
    }
  }
  return popup;
}

// Messages the system only ever sends, whose parameters point into the receiver's
// memory or name its windows. Posted, they come from another program and carry
// pointers nobody vouches for.
bool SentOnly(UINT message) {
  switch (message) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_NCCALCSIZE:
    case WM_GETMINMAXINFO:
    case WM_WINDOWPOSCHANGING:
    case WM_WINDOWPOSCHANGED:
    case WM_CTLCOLORSTATIC:
    case WM_ERASEBKGND:
    case WM_SETCURSOR:
    case WM_DPICHANGED:
      return true;
    default:
      return false;
  }
}

}  // namespace

Win32Os::Win32Os(HINSTANCE instance)
    : instance_(instance),
      getDpiForWindow_(SystemFunction<GetDpiForWindowFunction>("user32.dll", "GetDpiForWindow")),
      adjustWindowRectExForDpi_(SystemFunction<AdjustWindowRectExForDpiFunction>(
          "user32.dll", "AdjustWindowRectExForDpi")) {}

Win32Os::~Win32Os() = default;

bool Win32Os::EnumDisplaySettingsA(DevMode& mode) {
  return ::EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS,
                                reinterpret_cast<DEVMODEA*>(&mode)) != FALSE;
}

int32_t Win32Os::ChangeDisplaySettingsA(DevMode& mode, uint32_t flags) {
  return ::ChangeDisplaySettingsA(reinterpret_cast<DEVMODEA*>(&mode), flags);
}

bool Win32Os::Shell_NotifyIconA(uint32_t message, NotifyIconData& data) {
  return ::Shell_NotifyIconA(message, reinterpret_cast<NOTIFYICONDATAA*>(&data)) != FALSE;
}

intptr_t Win32Os::ShellExecuteA(const std::string& file, const std::string& directory,
                                int32_t showCommand) {
  return reinterpret_cast<intptr_t>(::ShellExecuteA(nullptr, nullptr, file.c_str(), nullptr,
                                                    directory.c_str(), showCommand));
}

bool Win32Os::StartSystemProgram(const std::string& program, const std::string& commandLine,
                                 int32_t showCommand) {
  char directory[MAX_PATH];
  const UINT length = GetSystemDirectoryA(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  // With the program's full path, CreateProcess searches nowhere: not this exe's
  // folder, not the current directory.
  const std::string path = std::string(directory, length) + "\\" + program;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION process{};
  std::string mutableCommandLine = commandLine;  // CreateProcess may write into it
  if (!CreateProcessA(path.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  const scoped::Handle thread(process.hThread), started(process.hProcess);
  return true;
}

bool Win32Os::AnotherInstanceRunning() {
  // A named mutex answers atomically, even for two copies started at the same moment.
  // A copy running elevated made the mutex out of this copy's reach: access denied
  // means it exists, so that copy counts as running too.
  if (!instanceMutex_) {
    instanceMutex_.reset(CreateMutexA(nullptr, FALSE, kInstanceMutexName));
    const DWORD error = GetLastError();
    anotherInstance_ = instanceMutex_ ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
  }
  return anotherInstance_;
}

IconHandle Win32Os::LoadIconResource(uint16_t resource, int32_t pixels) {
  // Not LR_SHARED: the shared cache hands out the first size it loaded of a resource,
  // whatever size is asked for.
  return LoadImageA(instance_, MAKEINTRESOURCEA(resource), IMAGE_ICON, pixels, pixels, 0);
}

void Win32Os::DestroyIcon(IconHandle icon) { ::DestroyIcon(static_cast<HICON>(icon)); }

int32_t Win32Os::GetSystemMetrics(int32_t index) { return ::GetSystemMetrics(index); }

void Win32Os::RegisterFormClass(const Form& form, const FormIcons& icons) {
  const FormLayout& layout = form.Layout();
  WNDCLASSEXA existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExA(instance_, layout.className.c_str(), &existing)) return;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = FormWindowProc;
  windowClass.hInstance = instance_;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = layout.className.c_str();
  windowClass.hIcon = static_cast<HICON>(icons.large);
  windowClass.hIconSm = static_cast<HICON>(icons.small);
  RegisterClassExA(&windowClass);
}

WindowHandle Win32Os::CreateFormWindow(Form& form, const FormIcons& icons) {
  RegisterFormClass(form, icons);
  const FormLayout& layout = form.Layout();
  // Made without a size: the form sizes and places it for the DPI of its monitor.
  HWND window = CreateWindowExA(FrameExStyleOf(layout), layout.className.c_str(),
                                layout.caption.c_str(), FrameStyleOf(layout), 0, 0, 0, 0, nullptr,
                                nullptr, instance_, &form);
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
  ::DestroyWindow(destroyed);
}

void Win32Os::ShowWindow(WindowHandle window, int32_t showCommand) {
  ::ShowWindow(Hwnd(window), showCommand);
}

void Win32Os::MoveWindow(WindowHandle window, const PixelRect& outer) {
  SetWindowPos(Hwnd(window), nullptr, outer.left, outer.top, outer.Width(), outer.Height(),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

PixelRect Win32Os::GetWindowRect(WindowHandle window) {
  RECT rect{};
  ::GetWindowRect(Hwnd(window), &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

void Win32Os::UpdateWindow(WindowHandle window) { ::UpdateWindow(Hwnd(window)); }

void Win32Os::SetControlText(WindowHandle window, uint32_t controlId, const std::string& text) {
  SetDlgItemTextA(Hwnd(window), static_cast<int>(controlId), text.c_str());
}

bool Win32Os::SetForegroundWindow(WindowHandle window) {
  return ::SetForegroundWindow(Hwnd(window)) != FALSE;
}

WindowHandle Win32Os::GetForegroundWindow() { return ::GetForegroundWindow(); }

int32_t Win32Os::WindowDpi(WindowHandle window) {
  const UINT dpi = getDpiForWindow_ != nullptr ? getDpiForWindow_(Hwnd(window)) : 0;
  return dpi != 0 ? static_cast<int32_t>(dpi) : ScreenDpiX();
}

PixelRect Win32Os::WorkArea() {
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  return {work.left, work.top, work.right, work.bottom};
}

void Win32Os::SetTimer(WindowHandle window, uint32_t id, uint32_t milliseconds) {
  ::SetTimer(Hwnd(window), id, milliseconds, nullptr);
}

bool Win32Os::PostMessageA(WindowHandle window, uint32_t message) {
  return ::PostMessageA(Hwnd(window), message, 0, 0) != FALSE;
}

uint32_t Win32Os::RegisterWindowMessageA(const char* name) {
  return ::RegisterWindowMessageA(name);
}

PixelPoint Win32Os::GetCursorPos() {
  POINT point{};
  ::GetCursorPos(&point);
  return {point.x, point.y};
}

uint32_t Win32Os::TrackPopupMenu(const MenuItem& menu, uint32_t flags, PixelPoint at,
                                 WindowHandle owner) {
  const scoped::Menu popup = BuildPopup(menu);
  // The choice comes back as the result, so its Click runs once the menu has closed.
  return static_cast<uint32_t>(::TrackPopupMenu(popup.get(), flags | TPM_RETURNCMD | TPM_NONOTIFY,
                                                at.x, at.y, 0, Hwnd(owner), nullptr));
}

int32_t Win32Os::MessageBoxA(WindowHandle owner, const std::string& text,
                             const std::string& caption, uint32_t style) {
  return ::MessageBoxA(Hwnd(owner), text.c_str(), caption.c_str(), style);
}

int32_t Win32Os::ScreenDpiX() {
  const scoped::WindowDC screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSX);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

void Win32Os::PostQuitMessage() { ::PostQuitMessage(0); }

int RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (SentOnly(message.message)) continue;
    // Only keys need the dialog handling (Tab, Enter, Esc) and translation into characters.
    if (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) {
      HWND active = GetActiveWindow();
      if (active != nullptr && IsDialogMessageA(active, &message)) continue;
      TranslateMessage(&message);
    }
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace vantrel

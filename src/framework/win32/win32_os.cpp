#include "framework/win32/win32_os.h"

#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <vector>
#include <memory>
#include <type_traits>

#include "app/tray_icon.h"
#include "display/devmode.h"
#include "framework/form.h"
#include "framework/menu.h"
#include "framework/twips.h"
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
              win::kWmCommand == WM_COMMAND && win::kWmTimer == WM_TIMER &&
              win::kWmMouseMove == WM_MOUSEMOVE &&
              win::kWmRButtonUp == WM_RBUTTONUP);
static_assert(win::kSwHide == SW_HIDE && win::kSwShowNormal == SW_SHOWNORMAL &&
              win::kSwShowMinimized == SW_SHOWMINIMIZED &&
              win::kSwShowNoActivate == SW_SHOWNOACTIVATE && win::kSwShow == SW_SHOW &&
              win::kSwShowMinNoActive == SW_SHOWMINNOACTIVE && win::kSwRestore == SW_RESTORE);
static_assert(win::kMbOk == MB_OK && win::kMbIconStop == MB_ICONSTOP);
static_assert(win::kNimAdd == NIM_ADD && win::kNimModify == NIM_MODIFY &&
              win::kNimDelete == NIM_DELETE && win::kNifMessage == NIF_MESSAGE &&
              win::kNifIcon == NIF_ICON && win::kNifTip == NIF_TIP);
static_assert(win::kCdsUpdateRegistry == CDS_UPDATEREGISTRY && win::kCdsTest == CDS_TEST);
static_assert(win::kDispChangeSuccessful == DISP_CHANGE_SUCCESSFUL &&
              win::kDispChangeRestart == DISP_CHANGE_RESTART &&
              win::kDispChangeFailed == DISP_CHANGE_FAILED &&
              win::kDispChangeBadMode == DISP_CHANGE_BADMODE);

namespace {

constexpr const char* kInstanceMutexName = "Local\\AmbrelUtilities.Vantrel.Instance";

HWND Hwnd(WindowHandle window) { return static_cast<HWND>(window); }

Form* FormOf(HWND window) {
  return reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

// GDI objects a window with controls draws with; they live as long as the window.
struct WindowResources {
  HFONT font = nullptr;
  HBRUSH pictureBackground = nullptr;
  HCURSOR linkCursor = nullptr;
  HICON picture = nullptr;
  double twipsPerPixel = 15;

  ~WindowResources() {
    if (font != nullptr) DeleteObject(font);
    if (pictureBackground != nullptr) DeleteObject(pictureBackground);
    if (picture != nullptr) DestroyIcon(picture);
  }
};

constexpr const char* kResourcesProperty = "Vantrel.WindowResources";
constexpr COLORREF kPictureBackground = RGB(192, 192, 192);

WindowResources* ResourcesOf(HWND window) {
  return static_cast<WindowResources*>(GetPropA(window, kResourcesProperty));
}

const ControlLayout* ControlOf(const Form& form, HWND control) {
  const int id = GetDlgCtrlID(control);
  for (const ControlLayout& layout : form.Layout().controls) {
    if (layout.id == static_cast<uint32_t>(id)) return &layout;
  }
  return nullptr;
}

COLORREF ColorOf(const Rgb& color) { return RGB(color.red, color.green, color.blue); }

LRESULT ColorStatic(const Form& form, HWND window, HDC dc, HWND control) {
  const ControlLayout* layout = ControlOf(form, control);
  const WindowResources* resources = ResourcesOf(window);
  if (layout != nullptr && layout->kind == ControlKind::PictureBox && resources != nullptr) {
    SetBkColor(dc, kPictureBackground);
    return reinterpret_cast<LRESULT>(resources->pictureBackground);
  }
  SetTextColor(dc, layout != nullptr && layout->textColor ? ColorOf(*layout->textColor)
                                                          : GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

bool SetLinkCursor(const Form& form, HWND window, HWND hovered) {
  if (hovered == window) return false;
  const ControlLayout* layout = ControlOf(form, hovered);
  WindowResources* resources = ResourcesOf(window);
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
    HBRUSH brush = CreateSolidBrush(ColorOf(line.color));
    FillRect(dc, &rows, brush);
    DeleteObject(brush);
    return;
  }
  HPEN pen = CreatePen(PS_SOLID, line.widthPixels, ColorOf(line.color));
  HGDIOBJ previous = SelectObject(dc, pen);
  MoveToEx(dc, x1, y1, nullptr);
  LineTo(dc, x2, y2);
  SelectObject(dc, previous);
  DeleteObject(pen);
}

void PaintLines(const Form& form, HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  const WindowResources* resources = ResourcesOf(window);
  const double tpp = resources != nullptr ? resources->twipsPerPixel : TwipsPerPixel(96);
  for (const LineLayout& line : form.Layout().lines) PaintLine(dc, line, tpp);
  EndPaint(window, &paint);
}

HFONT CreateFontFace(const char* face, int32_t dpi) {
  LOGFONTA font{};
  font.lfHeight = -MulDiv(8, dpi, 72);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
  return CreateFontIndirectA(&font);
}

bool HasFace(HFONT font, const char* face) {
  HDC screen = GetDC(nullptr);
  HGDIOBJ previous = SelectObject(screen, font);
  char actual[LF_FACESIZE] = {};
  GetTextFaceA(screen, LF_FACESIZE, actual);
  SelectObject(screen, previous);
  ReleaseDC(nullptr, screen);
  return lstrcmpiA(actual, face) == 0;
}

// The dialog face the layouts' twips were measured in, at 8 points: its TrueType cut
// where the system has it (crisp at any DPI), else the classic face of that name.
HFONT CreateDialogFont(int32_t dpi) {
  constexpr const char* kTrueTypeFace = "Microsoft Sans Serif";
  HFONT font = CreateFontFace(kTrueTypeFace, dpi);
  if (font != nullptr && HasFace(font, kTrueTypeFace)) return font;
  if (font != nullptr) DeleteObject(font);
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
  HFONT font = CreateDialogFont(dpi);
  for (const ControlLayout& control : layout.controls) {
    HWND child = GetDlgItem(window, static_cast<int>(control.id));
    if (child == nullptr) continue;
    SetWindowPos(child, nullptr, TwipsToPixels(control.left, tpp), TwipsToPixels(control.top, tpp),
                 TwipsToPixels(control.width, tpp), TwipsToPixels(control.height, tpp),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (control.iconResource != 0) {
      const int size = MulDiv(32, dpi, USER_DEFAULT_SCREEN_DPI);
      HICON icon = static_cast<HICON>(
          LoadImageA(instance, MAKEINTRESOURCEA(control.iconResource), IMAGE_ICON, size, size, 0));
      SendMessageA(child, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
      if (resources.picture != nullptr) DestroyIcon(resources.picture);
      resources.picture = icon;
    }
  }
  if (resources.font != nullptr) DeleteObject(resources.font);
  resources.font = font;
}

// The window's own DPI where Windows knows it (per-monitor awareness, Windows 10),
// else the screen's.
int32_t WindowDpi(HWND window, int32_t screenDpi) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  const UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
  return dpi != 0 ? static_cast<int32_t>(dpi) : screenDpi;
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

RECT OuterRectFor(const FormLayout& layout, int32_t dpi) {
  const double tpp = TwipsPerPixel(dpi);
  RECT outer{0, 0, TwipsToPixels(layout.clientWidthTwips, tpp),
             TwipsToPixels(layout.clientHeightTwips, tpp)};
  AdjustWindowRectEx(&outer, FrameStyleOf(layout), FALSE, FrameExStyleOf(layout));
  return outer;
}

// Drawing and pointer messages are answered here from the layout; everything else is
// the form's business.
bool Present(const Form& form, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
             LRESULT& result) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
      result = ColorStatic(form, window, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      return true;
    case WM_SETCURSOR:
      result = TRUE;
      return SetLinkCursor(form, window, reinterpret_cast<HWND>(wParam));
    case WM_PAINT:
      if (form.Layout().lines.empty()) return false;
      PaintLines(form, window);
      result = 0;
      return true;
    case WM_DPICHANGED: {
      WindowResources* resources = ResourcesOf(window);
      if (resources == nullptr) return false;
      // Moved to a monitor of another scale: lay out anew and take the suggested size.
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      ApplyDpi(window, reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)),
               form.Layout(), *resources, HIWORD(wParam));
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      result = 0;
      return true;
    }
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
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  if (message == WM_NCDESTROY) delete static_cast<WindowResources*>(RemovePropA(window, kResourcesProperty));
  Form* form = FormOf(window);
  if (form == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  LRESULT result = 0;
  if (Present(*form, window, message, wParam, lParam, result)) return result;
  if (form->hWnd() == window && form->OnMessage(message, wParam, lParam)) return 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

struct MenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

// Builds the Windows menu for the children of `item`; hidden items are left out.
UniqueMenu BuildPopup(const MenuItem& item) {
  UniqueMenu popup(CreatePopupMenu());
  for (const MenuItem& child : item.children) {
    if (!child.visible) continue;
    const UINT grayed = child.enabled ? 0 : MF_GRAYED;
    if (child.IsSeparator()) {
      AppendMenuA(popup.get(), MF_SEPARATOR, 0, nullptr);
    } else if (!child.children.empty()) {
      UniqueMenu submenu = BuildPopup(child);
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


}  // namespace

Win32Os::~Win32Os() {
  if (instanceMutex_ != nullptr) CloseHandle(instanceMutex_);
}

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

bool Win32Os::StartProcess(const std::string& commandLine, int32_t showCommand) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION process{};
  std::string mutableCommandLine = commandLine;  // CreateProcess may write into it
  if (!CreateProcessA(nullptr, mutableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool Win32Os::AnotherInstanceRunning() {
  // A named mutex answers atomically, even for two copies started at the same moment.
  if (instanceMutex_ == nullptr) {
    instanceMutex_ = CreateMutexA(nullptr, FALSE, kInstanceMutexName);
  }
  return instanceMutex_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

void Win32Os::RegisterFormClass(const Form& form) {
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
  if (layout.iconResource != 0) {
    const LPCSTR icon = MAKEINTRESOURCEA(layout.iconResource);
    windowClass.hIcon = static_cast<HICON>(LoadImageA(instance_, icon, IMAGE_ICON, 0, 0,
                                                      LR_DEFAULTSIZE | LR_SHARED));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(instance_, icon, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  }
  RegisterClassExA(&windowClass);
}

WindowHandle Win32Os::CreateFormWindow(Form& form) {
  RegisterFormClass(form);
  const FormLayout& layout = form.Layout();
  const int32_t screenDpi = ScreenDpiX();
  const RECT outer = OuterRectFor(layout, screenDpi);
  HWND window = CreateWindowExA(FrameExStyleOf(layout), layout.className.c_str(),
                                layout.caption.c_str(), FrameStyleOf(layout), CW_USEDEFAULT,
                                CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                                nullptr, nullptr, instance_, &form);
  if (window == nullptr || layout.controls.empty()) return window;
  // A dialog opens in the middle of the work area, at the size its monitor's DPI asks for.
  const int32_t dpi = WindowDpi(window, screenDpi);
  const RECT scaled = OuterRectFor(layout, dpi);
  const int width = scaled.right - scaled.left, height = scaled.bottom - scaled.top;
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  auto resources = std::make_unique<WindowResources>();
  resources->pictureBackground = CreateSolidBrush(kPictureBackground);
  resources->linkCursor = static_cast<HCURSOR>(LoadImageA(
      instance_, MAKEINTRESOURCEA(IDC_HAND_LINK), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  WindowResources& created = *resources;
  SetPropA(window, kResourcesProperty, resources.release());  // freed at WM_NCDESTROY
  CreateControls(window, instance_, layout);
  ApplyDpi(window, instance_, layout, created, dpi);
  return window;
}

void Win32Os::DestroyWindow(WindowHandle window) { ::DestroyWindow(Hwnd(window)); }

void Win32Os::ShowWindow(WindowHandle window, int32_t showCommand) {
  ::ShowWindow(Hwnd(window), showCommand);
}

void Win32Os::MoveWindow(WindowHandle window, const PixelRect& outer) {
  SetWindowPos(Hwnd(window), nullptr, outer.left, outer.top, outer.right - outer.left,
               outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
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

IconHandle Win32Os::WindowIcon(WindowHandle window) {
  // The small image: the tray shows icons at small-icon size.
  return reinterpret_cast<HICON>(GetClassLongPtrA(Hwnd(window), GCLP_HICONSM));
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
  UniqueMenu popup = BuildPopup(menu);
  // The choice comes back as the result, so its Click runs once the menu has closed.
  return static_cast<uint32_t>(::TrackPopupMenu(popup.get(), flags | TPM_RETURNCMD | TPM_NONOTIFY,
                                                at.x, at.y, 0, Hwnd(owner), nullptr));
}

int32_t Win32Os::MessageBoxA(WindowHandle owner, const std::string& text,
                             const std::string& caption, uint32_t style) {
  return ::MessageBoxA(Hwnd(owner), text.c_str(), caption.c_str(), style);
}

int32_t Win32Os::ScreenDpiX() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

void Win32Os::PostQuitMessage() { ::PostQuitMessage(0); }

int RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
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

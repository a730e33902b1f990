// The floor: the least a tray program of Vantrel's design has to do, written as
// directly as the Win32 API allows. The benchmark runs it beside vantrel.exe, so
// every figure of Vantrel has a "this much is Windows' (or Wine's) share" next to
// it. Anything Vantrel spends above these figures is its own.
//
// What it does, and nothing more:
//   - one hidden top-level tool window (no taskbar button), its class named below;
//   - at start-up, for each of the 42 modes, one read of the current mode and one
//     ChangeDisplaySettingsA test of the requested mode;
//   - one NIM_ADD with callback WM_MOUSEMOVE, a stock icon and the mode tooltip;
//   - every 1000 ms one read of the current mode and one NIM_MODIFY of the whole record;
//   - a right-button release on the icon opens a popup menu built once after the
//     test, with TrackPopupMenu and TPM_RETURNCMD; "Exit" or WM_CLOSE ends it.

#include <windows.h>
#include <shellapi.h>

namespace {

constexpr char kClassName[] = "VantrelBench.Floor";
constexpr UINT kIconId = 1;
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 1000;

constexpr UINT kFirstModeCommand = 100;
constexpr UINT kOpenCommand = 1;
constexpr UINT kAboutCommand = 2;
constexpr UINT kWebCommand = 3;
constexpr UINT kExitCommand = 4;

struct Resolution {
  DWORD width, height;
  const char* caption;
};

constexpr Resolution kResolutions[] = {
    {640, 480, "&640x480"},     {800, 600, "&800x600"},     {1024, 768, "&1024x768"},
    {1280, 768, "1&280x768"},   {1280, 960, "1280x&960"},   {1280, 1024, "128&0x1024"},
    {1600, 1200, "1&600x1200"},
};
constexpr DWORD kRates[] = {60, 70, 72, 75, 85, 100};

NOTIFYICONDATAA icon{};
HMENU popup = nullptr;

// Writes the number's digits at `out` and returns the end. Done by hand so that a
// tick makes no call the benchmark's call count would miss (Wine's relay tracing
// does not see wsprintfA) and no C runtime call either.
char* AppendNumber(char* out, DWORD value) {
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

char* AppendText(char* out, const char* text) {
  while (*text != '\0') *out++ = *text++;
  return out;
}

DEVMODEA CurrentMode() {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
  return mode;
}

// Asks the driver about every mode once and keeps only the accepted rates in the
// menu; the menu never changes afterwards, so it is built here, once.
HMENU BuildMenuFromTest() {
  HMENU menu = CreatePopupMenu();
  UINT command = kFirstModeCommand;
  for (const Resolution& resolution : kResolutions) {
    HMENU rates = CreatePopupMenu();
    int accepted = 0;
    for (DWORD rate : kRates) {
      DEVMODEA mode = CurrentMode();
      mode.dmPelsWidth = resolution.width;
      mode.dmPelsHeight = resolution.height;
      mode.dmDisplayFrequency = rate;
      if (ChangeDisplaySettingsA(&mode, CDS_TEST) != DISP_CHANGE_BADMODE) {
        char caption[16];
        *AppendText(AppendNumber(caption, rate), " Hz") = '\0';
        AppendMenuA(rates, MF_STRING, command, caption);
        ++accepted;
      }
      ++command;
    }
    if (accepted > 0) {
      AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(rates), resolution.caption);
    } else {
      DestroyMenu(rates);
    }
  }
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kOpenCommand, "&Open Display Properties");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kAboutCommand, "&About");
  AppendMenuA(menu, MF_STRING, kWebCommand, "http://www.example.com/");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kExitCommand, "E&xit");
  return menu;
}

void WriteTip(const DEVMODEA& mode) {
  char* end = AppendText(icon.szTip, "Current Resolution: ");
  end = AppendText(AppendNumber(end, mode.dmPelsWidth), "x");
  end = AppendText(AppendNumber(end, mode.dmPelsHeight), " ");
  *AppendText(AppendNumber(end, mode.dmDisplayFrequency), "Hz") = '\0';
}

void ShowPopup(HWND window) {
  POINT at{};
  GetCursorPos(&at);
  // A tray menu only closes on a click elsewhere when its owner is in the
  // foreground, and the WM_NULL afterwards lets the next one open at once.
  SetForegroundWindow(window);
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, window, nullptr));
  PostMessageA(window, WM_NULL, 0, 0);
  if (chosen == kExitCommand) PostMessageA(window, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEMOVE:
      if (lParam == WM_RBUTTONUP) ShowPopup(window);
      return 0;
    case WM_TIMER:
      // The whole record, as it was added, as Vantrel's ticks hand it over.
      WriteTip(CurrentMode());
      Shell_NotifyIconA(NIM_MODIFY, &icon);
      return 0;
    case WM_DESTROY:
      Shell_NotifyIconA(NIM_DELETE, &icon);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "Floor", WS_OVERLAPPED, 0, 0, 0, 0,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;

  popup = BuildMenuFromTest();

  icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
  icon.hWnd = window;
  icon.uID = kIconId;
  icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon.uCallbackMessage = WM_MOUSEMOVE;
  icon.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  WriteTip(CurrentMode());
  Shell_NotifyIconA(NIM_ADD, &icon);
  SetTimer(window, kTickTimer, kTickMs, nullptr);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  DestroyMenu(popup);
  return static_cast<int>(message.wParam);
}

// probe: a small Win32 console helper that the end-to-end tests run inside the same Wine
// desktop as the program under test. It looks at windows, the tray and the display the
// way another program on that desktop would, and sends them messages and keys.
//
// Usage: probe COMMAND ARGS... (without arguments: the list). Results go to stdout, one
// value per line, records as tab-separated fields; window handles are printed as 0x-hex
// and read as hex or decimal. Exit code 0: done, 1: not found or failed (the reason on
// stderr), 2: bad usage.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

struct Failure {
  std::string what;
};

// Cross-process messages must never hang the probe when the target is stuck.
constexpr UINT kSendTimeoutMs = 5000;

long long Number(const std::string& text) {
  char* end = nullptr;
  const long long value = text.starts_with('-') ? std::strtoll(text.c_str(), &end, 0)
                                                : static_cast<long long>(std::strtoull(text.c_str(), &end, 0));
  if (text.empty() || *end != '\0') throw Failure{"not a number: " + text};
  return value;
}

HWND Window(const std::string& text) {
  HWND hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(Number(text)));
  if (!IsWindow(hwnd)) throw Failure{"no such window: " + text};
  return hwnd;
}

const char* AnyIfDash(const std::string& text) { return text == "-" ? nullptr : text.c_str(); }

void PrintHandle(HWND hwnd) { std::printf("0x%llx\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(hwnd))); }

std::string ClassOf(HWND hwnd) {
  char name[256] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

DWORD PidOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

// WM_GETTEXT works across processes (the system carries the buffer), unlike
// GetWindowTextA, which only returns the caption stored with the window. Tabs and line
// breaks would break the records, so they become blanks.
std::string TextOf(HWND hwnd) {
  char text[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &copied);
  std::string line = text;
  for (char& c : line) c = (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
  return line;
}

BOOL CALLBACK Collect(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

UINT MessageOf(const std::string& text) {
#define MESSAGE(name) {#name, name}
  static const std::pair<const char*, UINT> names[] = {
      MESSAGE(WM_CLOSE), MESSAGE(WM_COMMAND), MESSAGE(WM_TIMER), MESSAGE(WM_MOUSEMOVE), MESSAGE(WM_QUIT),
      MESSAGE(WM_QUERYENDSESSION), MESSAGE(WM_ENDSESSION), MESSAGE(WM_DPICHANGED), MESSAGE(WM_NCCREATE),
      MESSAGE(WM_NCDESTROY), MESSAGE(WM_CTLCOLORSTATIC), MESSAGE(WM_SETCURSOR)};
#undef MESSAGE
  for (const auto& [name, value] : names) {
    if (text == name) return value;
  }
  return static_cast<UINT>(Number(text));
}

void PostKey(HWND hwnd, UINT message, UINT vk, LPARAM extra = 0) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16 | 1 | extra;
  const LPARAM up = LPARAM{1} << 30 | LPARAM{1} << 31;
  if (!PostMessageA(hwnd, message, vk, scan) || !PostMessageA(hwnd, message + 1, vk, scan | up)) {
    throw Failure{"the window is gone"};
  }
}

DEVMODEA CurrentMode() {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) throw Failure{"no current mode"};
  return mode;
}

void PrintMode(const DEVMODEA& mode) {
  std::printf("%lux%lu %lu %lu\n", mode.dmPelsWidth, mode.dmPelsHeight, mode.dmDisplayFrequency, mode.dmBitsPerPel);
}

// ---- commands ---------------------------------------------------------------------------

void Find(const Args& a) {
  HWND hwnd = FindWindowA(AnyIfDash(a[0]), AnyIfDash(a[1]));
  if (!hwnd) throw Failure{"no window found"};
  PrintHandle(hwnd);
}

// Top-level windows, of one process if given: handle, class, visible.
void Windows(const Args& a) {
  for (HWND hwnd : TopLevelWindows()) {
    if (a.empty() || PidOf(hwnd) == static_cast<DWORD>(Number(a[0]))) {
      std::printf("0x%llx\t%s\t%d\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(hwnd)),
                  ClassOf(hwnd).c_str(), IsWindowVisible(hwnd) ? 1 : 0);
    }
  }
}

// The parent's client size and where its client area starts on the screen, then each
// child: id, class, visible, its rectangle in the parent's client area, and its text.
void Children(const Args& a) {
  HWND parent = Window(a[0]);
  RECT client{};
  GetClientRect(parent, &client);
  POINT origin{};
  ClientToScreen(parent, &origin);
  std::printf("client\t%ld\t%ld\t%ld\t%ld\n", client.right, client.bottom, origin.x, origin.y);
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    std::printf("0x%x\t%s\t%d\t%ld\t%ld\t%ld\t%ld\t%s\n", static_cast<unsigned>(GetDlgCtrlID(child)) & 0xFFFF,
                ClassOf(child).c_str(), IsWindowVisible(child) ? 1 : 0, r.left, r.top, r.right, r.bottom,
                TextOf(child).c_str());
  }
}

void Rect(const Args& a) {
  RECT r{};
  GetWindowRect(Window(a[0]), &r);
  std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
}

void Post(const Args& a) {
  if (!PostMessageA(Window(a[0]), MessageOf(a[1]), static_cast<WPARAM>(Number(a[2])), static_cast<LPARAM>(Number(a[3])))) {
    throw Failure{"PostMessage failed"};
  }
}

// Sent, not posted: a message with pointers or handles from another program arrives so.
void Send(const Args& a) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(Window(a[0]), MessageOf(a[1]), static_cast<WPARAM>(Number(a[2])),
                           static_cast<LPARAM>(Number(a[3])), SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) {
    throw Failure{"no answer"};
  }
}

// The first visible top-level window of that class and caption ("-": any), waited for.
void WaitWindow(const Args& a) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(Number(a[2]));
  for (;;) {
    for (HWND hwnd : TopLevelWindows()) {
      char caption[256] = {};
      GetWindowTextA(hwnd, caption, sizeof caption);
      if (IsWindowVisible(hwnd) && (a[0] == "-" || lstrcmpiA(ClassOf(hwnd).c_str(), a[0].c_str()) == 0) &&
          (a[1] == "-" || a[1] == caption)) {
        PrintHandle(hwnd);
        return;
      }
    }
    if (GetTickCount64() >= deadline) throw Failure{"timed out waiting for the window"};
    Sleep(50);
  }
}

void TrayDelete(const Args& a) {
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(Number(a[0])));  // the owner may be gone
  data.uID = static_cast<UINT>(Number(a[1]));
  std::printf("%d\n", Shell_NotifyIconA(NIM_DELETE, &data) ? 1 : 0);
}

void BroadcastRegistered(const Args& a) {
  if (!PostMessageA(HWND_BROADCAST, RegisterWindowMessageA(a[0].c_str()), 0, 0)) throw Failure{"broadcast failed"};
}

// Wine 8's shell gives an icon a rectangle of the taskbar, emptied when the icon goes;
// Wine 10's a window of its own (whose style, as the taskbar may be hidden, tells).
bool ToolShown(const TTTOOLINFOA& tool) {
  if (!(tool.uFlags & TTF_IDISHWND)) return !IsRectEmpty(&tool.rect);
  return (GetWindowLongA(reinterpret_cast<HWND>(tool.uId), GWL_STYLE) & WS_VISIBLE) != 0;
}

// The texts the shell holds for its tray icons' tooltips, read out of the tooltip
// controls of the taskbar's process: unlike hovering, this does not depend on where the
// shell believes the icons are.
void TrayTips(const Args&) {
  const DWORD shell = PidOf(FindWindowA("Shell_TrayWnd", nullptr));
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, shell);
  if (!process) throw Failure{"cannot open the shell's process"};
  constexpr SIZE_T kText = 256;
  char* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(TTTOOLINFOA) + kText, MEM_COMMIT,
                                                   PAGE_READWRITE));
  for (HWND tip : TopLevelWindows()) {
    if (!remote || ClassOf(tip) != TOOLTIPS_CLASSA || PidOf(tip) != shell) continue;
    for (LRESULT index = 0, count = SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0); index < count; ++index) {
      // The tool is enumerated into the shell's memory, then its text asked for there.
      TTTOOLINFOA info{};
      info.cbSize = sizeof info;
      char text[kText] = {};
      WriteProcessMemory(process, remote, &info, sizeof info, nullptr);
      if (!SendMessageA(tip, TTM_ENUMTOOLSA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote))) continue;
      ReadProcessMemory(process, remote, &info, sizeof info, nullptr);
      if (!ToolShown(info)) continue;
      info.lpszText = remote + sizeof info;
      WriteProcessMemory(process, remote, &info, sizeof info, nullptr);
      WriteProcessMemory(process, info.lpszText, text, sizeof text, nullptr);
      SendMessageA(tip, TTM_GETTEXTA, kText, reinterpret_cast<LPARAM>(remote));
      ReadProcessMemory(process, info.lpszText, text, sizeof text - 1, nullptr);
      std::printf("%s\n", text);
    }
  }
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
}

void Modes(const Args&) {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode); ++i) PrintMode(mode);
}

// Changes the mode as an unrelated program would, for this session only.
void SetMode(const Args& a) {
  DEVMODEA mode = CurrentMode();
  mode.dmPelsWidth = static_cast<DWORD>(Number(a[0]));
  mode.dmPelsHeight = static_cast<DWORD>(Number(a[1]));
  mode.dmDisplayFrequency = static_cast<DWORD>(Number(a[2]));
  mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY | DM_BITSPERPEL;
  std::printf("%ld\n", ChangeDisplaySettingsA(&mode, 0));
}

// Keys for an open menu, posted to its window: keys typed into the X server do not reach
// a tray popup in Wine's desktop.
void MenuKeys(const Args& a) {
  HWND menu = Window(a[0]);
  for (size_t i = 1; i < a.size(); ++i) {
    const std::string& key = a[i];
    const UINT vk = key == "DOWN" ? VK_DOWN : key == "UP" ? VK_UP : key == "RIGHT" ? VK_RIGHT
                    : key == "RETURN" ? VK_RETURN : key == "ESCAPE" ? VK_ESCAPE
                    : key.size() == 1 ? static_cast<UINT>(VkKeyScanA(key[0]) & 0xFF)
                                      : throw Failure{"unknown key: " + key};
    PostKey(menu, WM_KEYDOWN, vk);
    Sleep(30);  // the menu may open or close a submenu on each key, as for a person's typing
  }
}

// An elevated program's mutex as an unelevated one meets it: it exists, and opening it
// is denied (an empty access list). Held until the probe is ended.
void DenyMutex(const Args& a) {
  SECURITY_DESCRIPTOR descriptor;
  ACL empty;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  InitializeAcl(&empty, sizeof empty, ACL_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  if (!CreateMutexA(&attributes, FALSE, a[0].c_str())) throw Failure{"CreateMutex failed"};
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(INFINITE);
}

// A stand-in for a running copy as an installer's close action meets it: a hidden window
// of CLASS that goes WINDOW_MS after it is asked to close, in a process that then lingers
// for PROCESS_MS ("never" for either: it never goes).
LRESULT CALLBACK FakeCopyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto windowMs = static_cast<DWORD>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_CLOSE) return windowMs != INFINITE && SetTimer(window, 1, windowMs, nullptr), 0;
  if (message == WM_TIMER) return DestroyWindow(window), PostQuitMessage(0), 0;
  return DefWindowProcA(window, message, wParam, lParam);
}

void FakeCopy(const Args& a) {
  const auto milliseconds = [](const std::string& text) { return text == "never" ? INFINITE : std::stoul(text); };
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = FakeCopyProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = a[0].c_str();
  HWND window = RegisterClassA(&windowClass) ? CreateWindowA(a[0].c_str(), "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                                             nullptr, windowClass.hInstance, nullptr)
                                             : nullptr;
  if (window == nullptr) throw Failure{"no window"};
  SetWindowLongPtrA(window, GWLP_USERDATA, static_cast<LONG_PTR>(milliseconds(a[1])));
  std::printf("ready\n");
  std::fflush(stdout);
  for (MSG message; GetMessageA(&message, nullptr, 0, 0) > 0;) DispatchMessageA(&message);
  Sleep(static_cast<DWORD>(milliseconds(a[2])));
}

// Sets the hook of a DLL for every thread of the desktop and keeps it while it runs.
void Hook(const Args& a) {
  HMODULE module = LoadLibraryA(a[0].c_str());
  const auto proc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, a[1].c_str())));
  if (proc == nullptr || !SetWindowsHookExA(WH_CBT, proc, module, 0)) throw Failure{"no hook"};
  std::printf("held\n");
  std::fflush(stdout);
  for (MSG message; GetMessageA(&message, nullptr, 0, 0) > 0;) DispatchMessageA(&message);
}

// Alt+F4 as the keyboard delivers it: to the focus window of the foreground thread, or
// its active window when nothing has the focus.
void AltF4(const Args&) {
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(GetForegroundWindow(), nullptr), &thread)) {
    throw Failure{"no foreground thread"};
  }
  PostKey(thread.hwndFocus ? thread.hwndFocus : thread.hwndActive, WM_SYSKEYDOWN, VK_F4, LPARAM{1} << 29);
}

// Keeps the Wine desktop open: it closes a second after its last program ends. "ready"
// tells the rig that the desktop, its explorer and services are up.
void Hold(const Args&) {
  GetDesktopWindow();
  std::printf("ready\n");
  std::fflush(stdout);
  char buffer[256];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) && read > 0) {
  }
}

// Wine 10's shell hides its taskbar at a display-mode change for good; Windows' and
// Wine 8's move it to the new bottom edge, the icons with its right end, as done here.
void TaskbarToBottom(const Args&) {
  HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
  RECT desktop{}, bar{};
  if (!taskbar || !GetWindowRect(GetDesktopWindow(), &desktop) || !GetWindowRect(taskbar, &bar)) {
    throw Failure{"no taskbar"};
  }
  const int width = desktop.right - desktop.left, height = bar.bottom - bar.top, moved = width - (bar.right - bar.left);
  if (IsWindowVisible(taskbar) && moved == 0 && bar.bottom == desktop.bottom) return;
  SetWindowPos(taskbar, nullptr, desktop.left, desktop.bottom - height, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  for (HWND icon = FindWindowExA(taskbar, nullptr, "__wine_tray_icon", nullptr); icon;
       icon = FindWindowExA(taskbar, icon, "__wine_tray_icon", nullptr)) {
    RECT r{};
    GetWindowRect(icon, &r);
    MapWindowPoints(nullptr, taskbar, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(icon, nullptr, r.left + moved, r.top, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
  }
}

struct Command {
  const char* name;
  size_t args;  // at least; menu-keys takes more
  void (*run)(const Args&);
};

const Command kCommands[] = {
    {"find", 2, Find},  // CLASS|- CAPTION|-
    {"windows", 0, Windows},  // [PID]
    {"children", 1, Children},  // HWND
    {"pid", 1, [](const Args& a) { std::printf("%lu\n", PidOf(Window(a[0]))); }},
    {"rect", 1, Rect},
    {"visible", 1, [](const Args& a) { std::printf("%d\n", IsWindowVisible(Window(a[0])) ? 1 : 0); }},
    {"prop", 2, [](const Args& a) { std::printf("%lld\n", reinterpret_cast<long long>(GetPropA(Window(a[0]), a[1].c_str()))); }},
    {"exstyle", 1, [](const Args& a) { std::printf("0x%08lx\n", GetWindowLongA(Window(a[0]), GWL_EXSTYLE)); }},
    {"post", 4, Post},  // HWND MESSAGE WPARAM LPARAM
    {"send", 4, Send},
    {"wait-window", 3, WaitWindow},  // CLASS|- CAPTION|- TIMEOUT_MS
    {"tray-delete", 2, TrayDelete},  // HWND ID
    {"broadcast-registered", 1, BroadcastRegistered},  // NAME
    {"tray-tips", 0, TrayTips},
    {"mode", 0, [](const Args&) { PrintMode(CurrentMode()); }},
    {"modes", 0, Modes},
    {"set-mode", 3, SetMode},  // WIDTH HEIGHT RATE
    {"menu-keys", 2, MenuKeys},  // HWND KEY...
    {"deny-mutex", 1, DenyMutex},  // NAME
    {"fake-copy", 3, FakeCopy},  // CLASS WINDOW_MS|never PROCESS_MS|never
    {"hook-cbt", 2, Hook},  // DLL FUNCTION
    {"foreground", 0, [](const Args&) { PrintHandle(GetForegroundWindow()); }},
    {"alt-f4", 0, AltF4},
    {"focus", 1, [](const Args& a) {  // HWND: the text of the control with the focus in its thread
       GUITHREADINFO thread{sizeof thread};
       if (!GetGUIThreadInfo(GetWindowThreadProcessId(Window(a[0]), nullptr), &thread)) throw Failure{"no thread"};
       std::printf("%s\n", TextOf(thread.hwndFocus).c_str());
     }},
    {"hold", 0, Hold},
    {"taskbar-to-bottom", 0, TaskbarToBottom},
};

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // plain "\n": the reader is a Linux test
  // Rectangles in the screen's own pixels: Windows (and Wine 10) scale another program's
  // windows down to 96 dpi for a program that does not say it knows the DPI.
  SetProcessDPIAware();
  const Args all(argv + 1, argv + argc);
  for (const Command& command : kCommands) {
    if (all.empty() || all[0] != command.name) continue;
    if (all.size() - 1 < command.args) break;
    try {
      command.run(Args(all.begin() + 1, all.end()));
      std::fflush(stdout);
      return 0;
    } catch (const Failure& failure) {
      std::fprintf(stderr, "%s\n", failure.what.c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "usage: probe COMMAND ARGS...; commands:");
  for (const Command& command : kCommands) std::fprintf(stderr, " %s", command.name);
  std::fprintf(stderr, "\n");
  return 2;
}

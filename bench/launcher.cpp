// launcher: the benchmark's timing helper. It runs inside the same Wine desktop as
// the programs it measures, so the clock it reads (QueryPerformanceCounter) and the
// events it waits for are the ones those programs see.
//
//   launcher startup [--crowd N] ROUNDS WARMUP EXE CLASS [EXE CLASS ...]
//       Per round and program: CreateProcess, WaitForInputIdle, then until the
//       program's window of that class exists and the shell knows its tray icon
//       (id 1); then WM_CLOSE and wait for the process to end. The programs take
//       turns, so a slow spell of the machine hits both alike. WARMUP rounds run
//       first and are not printed. Between starts the tooltip windows that Wine's
//       explorer leaves behind are closed. --crowd N puts N more hidden top-level
//       windows on the desktop first. One line per measured start:
//         startup EXE ROUND IDLE_MS WINDOW_MS ICON_MS EXIT_MS
//   launcher start EXE CLASS
//       One start as above, but the program keeps running:
//         started EXE WINDOWS_PID IDLE_MS WINDOW_MS ICON_MS
//   launcher popup ROUNDS CLASS [CLASS ...]
//       Per round and window class: posts the tray's right-button release
//       (WM_MOUSEMOVE, lParam 517) to the program's window and waits until a
//       visible popup menu (#32768) of that program is there; then closes it with
//       Escape. Before each popup a window of the launcher's own takes the
//       foreground, as the program a user works in holds it when they right-click
//       the icon: every program then starts from the same state, whatever the one
//       before it did with the foreground. One line each:  popup CLASS ROUND MS
//
// Exit code 0 = done, 1 = something did not happen in time, 2 = bad usage.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kStepTimeoutMs = 30000;
// After a program ends, the shell drops its icon and Wine tidies up; the next start
// must not pay for that.
constexpr DWORD kSettleMs = 300;
// A menu has to be fully gone before the next right-click, or it is that old menu
// the next round sees.
constexpr DWORD kMenuSettleMs = 200;

LARGE_INTEGER frequency;

double Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct WindowQuery {
  const char* className;
  DWORD pid;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM queryAddress) {
  auto* query = reinterpret_cast<WindowQuery*>(queryAddress);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != query->pid) return TRUE;
  char name[128] = {};
  GetClassNameA(window, name, sizeof name);
  if (lstrcmpA(name, query->className) != 0) return TRUE;
  query->found = window;
  return FALSE;
}

// The program's own window of that class: another copy's or an older one's is no use.
HWND WindowOf(DWORD pid, const char* className) {
  WindowQuery query{className, pid, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

// A modify that changes nothing succeeds only for an icon the shell already holds.
bool ShellKnowsIcon(HWND owner) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = owner;
  data.uID = 1;
  data.uFlags = 0;
  return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

struct Started {
  PROCESS_INFORMATION process{};
  HWND window = nullptr;
  double idleMs = 0, windowMs = 0, iconMs = 0;
};

bool Start(const std::string& exe, const char* className, Started& out) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string commandLine = "\"" + exe + "\"";
  const double begin = Now();
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &out.process)) {
    std::fprintf(stderr, "CreateProcess %s failed: %lu\n", exe.c_str(), GetLastError());
    return false;
  }
  const DWORD idle = WaitForInputIdle(out.process.hProcess, kStepTimeoutMs);
  out.idleMs = Now() - begin;
  if (idle != 0) std::fprintf(stderr, "WaitForInputIdle %s answered %lu\n", exe.c_str(), idle);
  const double deadline = begin + kStepTimeoutMs;
  while (!(out.window = WindowOf(out.process.dwProcessId, className))) {
    if (Now() > deadline) return false;
    Sleep(1);
  }
  out.windowMs = Now() - begin;
  while (!ShellKnowsIcon(out.window)) {
    if (Now() > deadline) return false;
    Sleep(1);
  }
  out.iconMs = Now() - begin;
  return true;
}

void Forget(Started& started) {
  CloseHandle(started.process.hThread);
  CloseHandle(started.process.hProcess);
}

// Wine's explorer keeps the tooltip window of every tray icon it has ever shown (one
// per program start here). Those pile up as hidden top-level windows and make every
// later window operation on the desktop slower, so the starts that come late in a
// series would meet a different desktop than the early ones. Between starts no icon
// is left, so every tooltip window of the shell is such a leftover.
void CloseLeftoverTooltips() {
  HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
  if (tray == nullptr) return;
  DWORD shell = 0;
  GetWindowThreadProcessId(tray, &shell);
  for (int attempt = 0; attempt < 100; ++attempt) {
    int left = 0;
    for (HWND tip = FindWindowExA(nullptr, nullptr, "tooltips_class32", nullptr); tip != nullptr;
         tip = FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(tip, &owner);
      if (owner != shell) continue;
      PostMessageA(tip, WM_CLOSE, 0, 0);
      ++left;
    }
    if (left == 0) return;
    Sleep(10);
  }
}

DWORD WINAPI CrowdThread(LPVOID count) {
  for (int i = 0; i < static_cast<int>(reinterpret_cast<INT_PTR>(count)); ++i) {
    CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "STATIC", "crowd", WS_POPUP, 0, 0, 10, 10, nullptr,
                    nullptr, nullptr, nullptr);
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}

// Hidden top-level windows, as a desktop full of programs has: a thread of ours owns
// them and answers their messages.
void Crowd(int count) {
  if (count <= 0) return;
  HANDLE thread = CreateThread(nullptr, 0, CrowdThread, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(count)), 0,
                               nullptr);
  if (thread != nullptr) CloseHandle(thread);
  Sleep(200);
}

int CmdStartup(std::vector<std::string> args) {
  int crowd = 0;
  if (args.size() >= 2 && args[0] == "--crowd") {
    crowd = std::atoi(args[1].c_str());
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() < 4 || args.size() % 2 != 0) return 2;
  const int rounds = std::atoi(args[0].c_str());
  const int warmup = std::atoi(args[1].c_str());
  if (rounds < 1 || warmup < 0) return 2;
  CloseLeftoverTooltips();
  Crowd(crowd);
  for (int round = -warmup; round < rounds; ++round) {
    for (size_t i = 2; i + 1 < args.size(); i += 2) {
      Started started;
      if (!Start(args[i], args[i + 1].c_str(), started)) {
        std::fprintf(stderr, "%s did not start in time\n", args[i].c_str());
        TerminateProcess(started.process.hProcess, 1);
        return 1;
      }
      const double closing = Now();
      PostMessageA(started.window, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(started.process.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "%s did not exit after WM_CLOSE\n", args[i].c_str());
        TerminateProcess(started.process.hProcess, 1);
        return 1;
      }
      const double exitMs = Now() - closing;
      Forget(started);
      CloseLeftoverTooltips();
      if (round >= 0) {
        std::printf("startup %s %d %.2f %.2f %.2f %.2f\n", BaseName(args[i]).c_str(), round,
                    started.idleMs, started.windowMs, started.iconMs, exitMs);
        std::fflush(stdout);
      }
      Sleep(kSettleMs);
    }
  }
  return 0;
}

int CmdStart(const std::vector<std::string>& args) {
  Started started;
  if (!Start(args[0], args[1].c_str(), started)) return 1;
  std::printf("started %s %lu %.2f %.2f %.2f\n", BaseName(args[0]).c_str(),
              started.process.dwProcessId, started.idleMs, started.windowMs, started.iconMs);
  Forget(started);
  return 0;
}

HWND VisibleMenuOf(DWORD pid) {
  for (HWND menu = FindWindowExA(nullptr, nullptr, "#32768", nullptr); menu != nullptr;
       menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(menu, &owner);
    if (owner == pid && IsWindowVisible(menu)) return menu;
  }
  return nullptr;
}

// Brings `window` to the foreground and waits until the system says it is there.
bool TakeForeground(HWND window) {
  const double begin = Now();
  while (GetForegroundWindow() != window) {
    if (Now() - begin > kStepTimeoutMs) return false;
    SetForegroundWindow(window);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(1);
  }
  return true;
}

int CmdPopup(const std::vector<std::string>& args) {
  const int rounds = std::atoi(args[0].c_str());
  if (rounds < 1 || args.size() < 2) return 2;
  HWND user = CreateWindowExA(0, "STATIC", "user", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 1; i < args.size(); ++i) {
      if (!TakeForeground(user)) {
        std::fprintf(stderr, "the launcher's window does not come to the foreground\n");
        return 1;
      }
      HWND window = FindWindowA(args[i].c_str(), nullptr);
      if (window == nullptr) {
        std::fprintf(stderr, "no window of class %s\n", args[i].c_str());
        return 1;
      }
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      const double begin = Now();
      PostMessageA(window, WM_MOUSEMOVE, 0, WM_RBUTTONUP);
      HWND menu = nullptr;
      // Sleep(1) rather than spinning: on a small machine a spinning poller would
      // take the processor the measured program needs.
      while (!(menu = VisibleMenuOf(pid))) {
        if (Now() - begin > kStepTimeoutMs) {
          std::fprintf(stderr, "no popup menu from %s\n", args[i].c_str());
          return 1;
        }
        Sleep(1);
      }
      const double elapsed = Now() - begin;
      PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 1);
      PostMessageA(menu, WM_KEYUP, VK_ESCAPE, 1 | (LPARAM{3} << 30));
      const double closing = Now();
      while (VisibleMenuOf(pid)) {
        if (Now() - closing > kStepTimeoutMs) {
          std::fprintf(stderr, "the popup menu of %s does not close\n", args[i].c_str());
          return 1;
        }
        Sleep(1);
      }
      std::printf("popup %s %d %.2f\n", args[i].c_str(), round, elapsed);
      std::fflush(stdout);
      Sleep(kMenuSettleMs);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QueryPerformanceFrequency(&frequency);
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty()) return 2;
  const std::vector<std::string> args(all.begin() + 1, all.end());
  if (all[0] == "startup" && args.size() >= 4) return CmdStartup(args);
  if (all[0] == "start" && args.size() == 2) return CmdStart(args);
  if (all[0] == "popup" && args.size() >= 2) return CmdPopup(args);
  std::fprintf(stderr,
               "usage: launcher startup [--crowd N] ROUNDS WARMUP EXE CLASS [EXE CLASS ...]\n"
               "       launcher start EXE CLASS\n"
               "       launcher popup ROUNDS CLASS [CLASS ...]\n");
  return 2;
}

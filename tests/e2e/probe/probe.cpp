// probe: a tiny Win32 console helper that end-to-end tests run inside the same
// Wine desktop as the program under test. It looks at windows and the display
// the way another process on that desktop would, and pokes them with messages.
//
// Usage: probe [--out FILE] COMMAND ARGS...   (run without arguments for the
// list). Results go to stdout, one value per line; lists have one record per
// line with tab-separated fields. Window handles are printed as 0x-hex and
// accepted as hex or decimal; pids are Windows process ids. Exit code 0 =
// success, 1 = not found / failed, 2 = bad usage; diagnostics go to stderr.
//
// --out FILE makes the probe write its stdout to FILE instead; handy when the
// caller cannot read the console of a process started by Wine.

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <psapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kOk = 0;
constexpr int kNo = 1;
constexpr int kUsage = 2;

// Cross-process messages must never hang the probe when the target is stuck;
// a test would rather see a clear failure than a timeout of the whole run.
constexpr UINT kSendTimeoutMs = 5000;

using Args = std::vector<std::string>;

int fail(const char* fmt, const char* detail = "")
{
    std::fprintf(stderr, fmt, detail);
    std::fputc('\n', stderr);
    return kNo;
}

// Numbers may be decimal, 0x-hex or negative ("-1" for LPARAM values).
bool parse_number(const std::string& text, long long& out)
{
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    if (text[0] == '-') {
        out = std::strtoll(text.c_str(), &end, 0);
    } else {
        out = static_cast<long long>(std::strtoull(text.c_str(), &end, 0));
    }
    return errno == 0 && end && *end == '\0';
}

bool parse_hwnd(const std::string& text, HWND& out)
{
    long long value = 0;
    if (!parse_number(text, value)) return false;
    out = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
    return true;
}

// "-" stands for "any" where the Win32 call takes a NULL string.
const char* optional_arg(const std::string& text)
{
    return text == "-" ? nullptr : text.c_str();
}

void print_hwnd(HWND hwnd)
{
    std::printf("0x%llx\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(hwnd)));
}

std::string class_of(HWND hwnd)
{
    char buffer[256] = {};
    GetClassNameA(hwnd, buffer, sizeof buffer);
    return buffer;
}

// WM_GETTEXT works across processes (the system marshals the buffer), unlike
// GetWindowTextA which only returns the caption stored with the window.
bool text_of(HWND hwnd, std::string& out)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) {
        return false;
    }
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return false;
    }
    out.assign(buffer.data());
    return true;
}

// Records are tab-separated lines, so texts must not break them.
std::string one_line(std::string text)
{
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

std::string caption_of(HWND hwnd)
{
    char caption[512] = {};
    GetWindowTextA(hwnd, caption, sizeof caption);
    return caption;
}

void print_window_record(HWND hwnd)
{
    RECT r{};
    GetWindowRect(hwnd, &r);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    std::printf("0x%llx\t%s\t%s\t%d\t%d\t%ld\t%ld\t%ld\t%ld\t%lu\n",
                static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(hwnd)), class_of(hwnd).c_str(),
                one_line(caption_of(hwnd)).c_str(), IsWindowVisible(hwnd) ? 1 : 0, IsIconic(hwnd) ? 1 : 0, r.left, r.top, r.right,
                r.bottom, static_cast<unsigned long>(pid));
}

// A named CALLBACK, not a lambda: on 32-bit Windows the callback must be
// stdcall, which a captureless lambda does not convert to.
BOOL CALLBACK collect_window(HWND hwnd, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> top_level_windows()
{
    std::vector<HWND> result;
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&result));
    return result;
}

DWORD pid_of(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

std::vector<DWORD> pids_of_exe(const std::string& name)
{
    std::vector<DWORD> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, name.c_str()) == 0) pids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return pids;
}

bool require_window(const std::string& text, HWND& hwnd)
{
    if (!parse_hwnd(text, hwnd)) {
        fail("not a window handle: %s", text.c_str());
        return false;
    }
    if (!IsWindow(hwnd)) {
        fail("no such window: %s", text.c_str());
        return false;
    }
    return true;
}

// A few message names, so tests read "WM_COMMAND" instead of 273.
// "WM_APP+3" style offsets are accepted too.
bool parse_message(const std::string& text, UINT& out)
{
    static const struct {
        const char* name;
        UINT value;
    } names[] = {
        {"WM_NULL", WM_NULL},           {"WM_CLOSE", WM_CLOSE},           {"WM_QUIT", WM_QUIT},
        {"WM_COMMAND", WM_COMMAND},     {"WM_SYSCOMMAND", WM_SYSCOMMAND}, {"WM_KEYDOWN", WM_KEYDOWN},
        {"WM_KEYUP", WM_KEYUP},         {"WM_CHAR", WM_CHAR},             {"WM_SETTEXT", WM_SETTEXT},
        {"WM_GETTEXT", WM_GETTEXT},     {"WM_GETTEXTLENGTH", WM_GETTEXTLENGTH}, {"WM_TIMER", WM_TIMER},           {"WM_DISPLAYCHANGE", WM_DISPLAYCHANGE},
        {"WM_SETTINGCHANGE", WM_SETTINGCHANGE}, {"WM_ENDSESSION", WM_ENDSESSION},
        {"WM_QUERYENDSESSION", WM_QUERYENDSESSION}, {"WM_MOUSEMOVE", WM_MOUSEMOVE}, {"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
        {"WM_LBUTTONUP", WM_LBUTTONUP}, {"WM_RBUTTONDOWN", WM_RBUTTONDOWN}, {"WM_RBUTTONUP", WM_RBUTTONUP},
        {"WM_CONTEXTMENU", WM_CONTEXTMENU}, {"WM_USER", WM_USER},         {"WM_APP", WM_APP},
        {"WM_DPICHANGED", WM_DPICHANGED}, {"WM_NCCREATE", WM_NCCREATE},   {"WM_NCDESTROY", WM_NCDESTROY},
        {"WM_CTLCOLORSTATIC", WM_CTLCOLORSTATIC}, {"WM_SETCURSOR", WM_SETCURSOR},
    };
    long long offset = 0;
    std::string base = text;
    if (auto plus = text.find('+'); plus != std::string::npos && plus > 0) {
        base = text.substr(0, plus);
        if (!parse_number(text.substr(plus + 1), offset)) return false;
    }
    for (const auto& entry : names) {
        if (base == entry.name) {
            out = entry.value + static_cast<UINT>(offset);
            return true;
        }
    }
    long long value = 0;
    if (base != text || !parse_number(text, value)) return false;
    out = static_cast<UINT>(value);
    return true;
}

bool parse_message_args(const Args& args, HWND& hwnd, UINT& msg, WPARAM& wparam, LPARAM& lparam)
{
    if (!require_window(args[0], hwnd)) return false;
    if (!parse_message(args[1], msg)) {
        fail("bad message: %s", args[1].c_str());
        return false;
    }
    long long w = 0;
    long long l = 0;
    if (!parse_number(args[2], w) || !parse_number(args[3], l)) {
        fail("bad wparam/lparam");
        return false;
    }
    wparam = static_cast<WPARAM>(w);
    lparam = static_cast<LPARAM>(l);
    return true;
}

// ---- subcommands ---------------------------------------------------------

int cmd_find(const Args& a)
{
    HWND hwnd = FindWindowA(optional_arg(a[0]), optional_arg(a[1]));
    if (!hwnd) return fail("no window found");
    print_hwnd(hwnd);
    return kOk;
}

int cmd_windows(const Args& a)
{
    const std::string filter = a.empty() ? "-" : a[0];
    long long pid = -1;
    if (filter != "-" && !parse_number(filter, pid)) return fail("bad pid: %s", filter.c_str());
    for (HWND hwnd : top_level_windows()) {
        if (pid < 0 || pid_of(hwnd) == static_cast<DWORD>(pid)) print_window_record(hwnd);
    }
    return kOk;
}

int cmd_windows_of_exe(const Args& a)
{
    const auto pids = pids_of_exe(a[0]);
    for (HWND hwnd : top_level_windows()) {
        const DWORD owner = pid_of(hwnd);
        for (DWORD pid : pids) {
            if (pid == owner) print_window_record(hwnd);
        }
    }
    return kOk;
}

int cmd_pids(const Args& a)
{
    for (DWORD pid : pids_of_exe(a[0])) std::printf("%lu\n", static_cast<unsigned long>(pid));
    return kOk;
}

int cmd_children(const Args& a)
{
    HWND parent{};
    if (!require_window(a[0], parent)) return kNo;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::string text;
        text_of(child, text);
        std::printf("0x%llx\t0x%x\t%s\t%d\t%s\n",
                    static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(child)),
                    static_cast<unsigned>(GetDlgCtrlID(child)) & 0xFFFFu, class_of(child).c_str(),
                    IsWindowVisible(child) ? 1 : 0, one_line(text).c_str());
    }
    return kOk;
}

int cmd_text(const Args& a)
{
    HWND hwnd{};
    if (!require_window(a[0], hwnd)) return kNo;
    std::string text;
    if (!text_of(hwnd, text)) return fail("WM_GETTEXT failed");
    std::printf("%s\n", text.c_str());
    return kOk;
}

int cmd_child_text(const Args& a)
{
    HWND parent{};
    long long id = 0;
    if (!require_window(a[0], parent)) return kNo;
    if (!parse_number(a[1], id)) return fail("bad control id: %s", a[1].c_str());
    // Dialog templates store ids as 16-bit words, so "-1", 0xFFFF and
    // 0xFFFFFFFF all mean the same static control; compare the low word.
    HWND child = GetDlgItem(parent, static_cast<int>(id));
    for (HWND c = GetWindow(parent, GW_CHILD); !child && c; c = GetWindow(c, GW_HWNDNEXT)) {
        if ((static_cast<unsigned>(GetDlgCtrlID(c)) & 0xFFFFu) == (static_cast<unsigned>(id) & 0xFFFFu)) child = c;
    }
    if (!child) return fail("no child with id %s", a[1].c_str());
    std::string text;
    if (!text_of(child, text)) return fail("WM_GETTEXT failed");
    std::printf("%s\n", text.c_str());
    return kOk;
}

int cmd_class(const Args& a)
{
    HWND hwnd{};
    if (!require_window(a[0], hwnd)) return kNo;
    std::printf("%s\n", class_of(hwnd).c_str());
    return kOk;
}

int cmd_pid(const Args& a)
{
    HWND hwnd{};
    if (!require_window(a[0], hwnd)) return kNo;
    std::printf("%lu\n", static_cast<unsigned long>(pid_of(hwnd)));
    return kOk;
}

int cmd_rect(const Args& a)
{
    HWND hwnd{};
    RECT r{};
    if (!require_window(a[0], hwnd)) return kNo;
    if (!GetWindowRect(hwnd, &r)) return fail("GetWindowRect failed");
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return kOk;
}

int cmd_visible(const Args& a)
{
    HWND hwnd{};
    if (!require_window(a[0], hwnd)) return kNo;
    std::printf("%d\n", IsWindowVisible(hwnd) ? 1 : 0);
    return kOk;
}

int cmd_iconic(const Args& a)
{
    HWND hwnd{};
    if (!require_window(a[0], hwnd)) return kNo;
    std::printf("%d\n", IsIconic(hwnd) ? 1 : 0);
    return kOk;
}


int print_long(const Args& a, int index)
{
    HWND hwnd{};
    if (!require_window(a[0], hwnd)) return kNo;
    std::printf("0x%08lx\n", static_cast<unsigned long>(GetWindowLongPtrA(hwnd, index)));
    return kOk;
}

int cmd_exstyle(const Args& a) { return print_long(a, GWL_EXSTYLE); }

int cmd_post(const Args& a)
{
    HWND hwnd{};
    UINT msg = 0;
    WPARAM w = 0;
    LPARAM l = 0;
    if (!parse_message_args(a, hwnd, msg, w, l)) return kNo;
    if (!PostMessageA(hwnd, msg, w, l)) return fail("PostMessage failed");
    return kOk;
}


bool matches(HWND hwnd, const char* cls, const char* caption)
{
    if (cls && lstrcmpiA(class_of(hwnd).c_str(), cls) != 0) return false;
    return !caption || caption_of(hwnd) == caption;
}

int cmd_wait_window(const Args& a)
{
    long long timeout = 0;
    if (!parse_number(a[2], timeout)) return fail("bad timeout: %s", a[2].c_str());
    const char* cls = optional_arg(a[0]);
    const char* caption = optional_arg(a[1]);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout);
    for (;;) {
        for (HWND hwnd : top_level_windows()) {
            if (IsWindowVisible(hwnd) && matches(hwnd, cls, caption)) {
                print_hwnd(hwnd);
                return kOk;
            }
        }
        if (GetTickCount64() >= deadline) return fail("timed out waiting for the window");
        Sleep(50);
    }
}

int cmd_tray_delete(const Args& a)
{
    HWND hwnd{};
    long long id = 0;
    // The owner may already be gone; the shell decides whether that matters.
    if (!parse_hwnd(a[0], hwnd)) return fail("not a window handle: %s", a[0].c_str());
    if (!parse_number(a[1], id)) return fail("bad icon id: %s", a[1].c_str());
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = hwnd;
    data.uID = static_cast<UINT>(id);
    std::printf("%d\n", Shell_NotifyIconA(NIM_DELETE, &data) ? 1 : 0);
    return kOk;
}

// Memory in another process, for messages whose arguments are pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, SIZE_T size)
        : process_(process), address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
    ~RemoteBuffer() { if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE); }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    char* get() const { return static_cast<char*>(address_); }
private:
    HANDLE process_;
    void* address_;
};

// The texts the shell holds for its tray tooltips, read out of the tooltip controls
// of the taskbar's process: unlike hovering, this does not depend on where the shell
// believes the icons are.
int cmd_tray_tips(const Args&)
{
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    if (!tray) return fail("no taskbar");
    const DWORD shell = pid_of(tray);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, shell);
    if (!process) return fail("cannot open the shell's process");
    constexpr SIZE_T kText = 256;
    RemoteBuffer remote(process, sizeof(TTTOOLINFOA) + kText);
    if (!remote.get()) { CloseHandle(process); return fail("VirtualAllocEx failed"); }
    for (HWND tip : top_level_windows()) {
        if (class_of(tip) != TOOLTIPS_CLASSA || pid_of(tip) != shell) continue;
        const LRESULT count = SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0);
        for (LRESULT index = 0; index < count; ++index) {
            // Enumerate the tool into remote memory, then ask for its text there.
            TTTOOLINFOA info{};
            info.cbSize = sizeof info;
            char text[kText] = {};
            SIZE_T moved = 0;
            WriteProcessMemory(process, remote.get(), &info, sizeof info, &moved);
            if (!SendMessageA(tip, TTM_ENUMTOOLSA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote.get()))) continue;
            ReadProcessMemory(process, remote.get(), &info, sizeof info, &moved);
            if (IsRectEmpty(&info.rect)) continue;  // an icon the shell has taken away
            info.lpszText = remote.get() + sizeof info;
            WriteProcessMemory(process, remote.get(), &info, sizeof info, &moved);
            WriteProcessMemory(process, info.lpszText, text, sizeof text, &moved);
            SendMessageA(tip, TTM_GETTEXTA, kText, reinterpret_cast<LPARAM>(remote.get()));
            ReadProcessMemory(process, info.lpszText, text, sizeof text - 1, &moved);
            std::printf("%s\n", one_line(text).c_str());
        }
    }
    CloseHandle(process);
    return kOk;
}

int cmd_broadcast_registered(const Args& a)
{
    const UINT msg = RegisterWindowMessageA(a[0].c_str());
    if (!msg) return fail("RegisterWindowMessage failed");
    if (!PostMessageA(HWND_BROADCAST, msg, 0, 0)) return fail("broadcast failed");
    std::printf("0x%x\n", msg);
    return kOk;
}

void print_mode(const DEVMODEA& dm)
{
    std::printf("%lux%lu %lu %lu\n", dm.dmPelsWidth, dm.dmPelsHeight, dm.dmDisplayFrequency, dm.dmBitsPerPel);
}

bool current_mode(DEVMODEA& dm)
{
    dm = DEVMODEA{};
    dm.dmSize = sizeof dm;
    return EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &dm) != FALSE;
}

int cmd_mode(const Args&)
{
    DEVMODEA dm;
    if (!current_mode(dm)) return fail("EnumDisplaySettings failed");
    print_mode(dm);
    return kOk;
}

int cmd_modes(const Args&)
{
    DEVMODEA dm{};
    dm.dmSize = sizeof dm;
    for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &dm); ++i) {
        print_mode(dm);
        dm.dmSize = sizeof dm;
    }
    return kOk;
}

// Changes the mode the way an unrelated program would: only for this session
// (flags 0) unless the caller passes flags such as CDS_TEST (2).
int cmd_set_mode(const Args& a)
{
    long long w = 0;
    long long h = 0;
    long long f = 0;
    long long flags = 0;
    if (!parse_number(a[0], w) || !parse_number(a[1], h) || !parse_number(a[2], f)) {
        return fail("bad mode numbers");
    }
    if (a.size() > 3 && !parse_number(a[3], flags)) return fail("bad flags: %s", a[3].c_str());
    DEVMODEA dm;
    if (!current_mode(dm)) return fail("EnumDisplaySettings failed");
    dm.dmPelsWidth = static_cast<DWORD>(w);
    dm.dmPelsHeight = static_cast<DWORD>(h);
    dm.dmDisplayFrequency = static_cast<DWORD>(f);
    dm.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY | DM_BITSPERPEL;
    std::printf("%ld\n", ChangeDisplaySettingsA(&dm, static_cast<DWORD>(flags)));
    return kOk;
}

bool key_code(const std::string& name, UINT& vk)
{
    static const struct {
        const char* name;
        UINT vk;
    } keys[] = {
        {"DOWN", VK_DOWN},     {"UP", VK_UP},       {"LEFT", VK_LEFT}, {"RIGHT", VK_RIGHT},
        {"RETURN", VK_RETURN}, {"ENTER", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"ESC", VK_ESCAPE},
        {"HOME", VK_HOME},     {"END", VK_END},     {"TAB", VK_TAB},   {"SPACE", VK_SPACE},
    };
    for (const auto& key : keys) {
        if (name == key.name) {
            vk = key.vk;
            return true;
        }
    }
    if (name.size() != 1) return false;
    const SHORT scan = VkKeyScanA(name[0]);
    if (scan == -1) return false;
    vk = static_cast<UINT>(scan & 0xFF);
    return true;
}

int cmd_menu_keys(const Args& a)
{
    HWND hwnd{};
    if (!require_window(a[0], hwnd)) return kNo;
    std::vector<UINT> codes;
    for (size_t i = 1; i < a.size(); ++i) {
        UINT vk = 0;
        if (!key_code(a[i], vk)) return fail("unknown key: %s", a[i].c_str());
        codes.push_back(vk);
    }
    for (UINT vk : codes) {
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
        // The menu loop may open or close a submenu on each key; give it a
        // moment, as a person's typing would.
        if (!PostMessageA(hwnd, WM_KEYDOWN, vk, scan | 1)) return fail("PostMessage failed");
        if (!PostMessageA(hwnd, WM_KEYUP, vk, scan | 1 | (LPARAM{1} << 30) | (LPARAM{1} << 31))) {
            return fail("PostMessage failed");
        }
        Sleep(30);
    }
    return kOk;
}




// ---- floods and resource counts ---------------------------------------------

// splitmix64: the same seed gives the same messages on every machine and run.
struct SplitMix64 {
    unsigned long long state;
    unsigned long long next()
    {
        unsigned long long z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

std::vector<HWND> visible_menus_of(DWORD pid)
{
    std::vector<HWND> menus;
    for (HWND hwnd : top_level_windows()) {
        if (pid_of(hwnd) == pid && IsWindowVisible(hwnd) && class_of(hwnd) == "#32768") menus.push_back(hwnd);
    }
    return menus;
}

void post_key(HWND hwnd, UINT vk)
{
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
    PostMessageA(hwnd, WM_KEYDOWN, vk, scan | 1);
    PostMessageA(hwnd, WM_KEYUP, vk, scan | 1 | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

// Escape closes one menu level per press; keeps pressing until none of the
// process's menus is on screen. False if they are still there after 5 s.
bool close_menus_of(DWORD pid)
{
    const ULONGLONG deadline = GetTickCount64() + 5000;
    for (;;) {
        const std::vector<HWND> menus = visible_menus_of(pid);
        if (menus.empty()) return true;
        if (GetTickCount64() >= deadline) return false;
        post_key(menus.front(), VK_ESCAPE);
        Sleep(60);
    }
}

bool wait_for_menu_of(DWORD pid, DWORD timeout_ms)
{
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (visible_menus_of(pid).empty()) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);
    }
    return true;
}

// Returns once the target thread has taken the messages posted before the call
// off its queue: a sent message is handled only when the thread asks for its next
// message, so the second of two sends normally comes back after the posted
// message before them has been dispatched (or has started a modal loop).
void queue_barrier(HWND hwnd)
{
    DWORD_PTR ignored = 0;
    for (int i = 0; i < 2; ++i) SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored);
}

// Posts COUNT messages with pseudo-random wParam and lParam from SEED. One in
// eight low words of lParam is a mouse message number (512..521, what a tray
// icon reports), the others any 16-bit value. Prints how many had low word
// 517 (WM_RBUTTONUP). With "close-menus" it treats the target as a tray
// program: after a 517 it waits for the popup menu and closes it with Escape,
// after any other message it checks that no menu opened, so every message
// reaches the window rather than an open menu's loop.
int cmd_post_random(const Args& a)
{
    HWND hwnd{};
    UINT msg = 0;
    long long count = 0;
    long long seed = 0;
    if (!require_window(a[0], hwnd)) return kNo;
    if (!parse_message(a[1], msg)) return fail("bad message: %s", a[1].c_str());
    if (!parse_number(a[2], count) || count < 0) return fail("bad count: %s", a[2].c_str());
    if (!parse_number(a[3], seed)) return fail("bad seed: %s", a[3].c_str());
    const bool close_menus = a.size() > 4 && a[4] == "close-menus";
    if (a.size() > 4 && !close_menus) return fail("unknown option: %s", a[4].c_str());
    const DWORD pid = pid_of(hwnd);
    SplitMix64 random{static_cast<unsigned long long>(seed)};
    long long posted = 0, right_button_ups = 0, menus = 0, unexpected = 0, missing = 0, stuck = 0;
    for (long long i = 0; i < count; ++i) {
        const unsigned long long w = random.next();
        const unsigned long long l = random.next();
        const unsigned long long pick = random.next();
        const unsigned long long low = pick % 8 == 0 ? 512 + (pick >> 8) % 10 : (l & 0xFFFF);
        const LPARAM lparam = static_cast<LPARAM>((l & ~0xFFFFull) | low);
        if (!PostMessageA(hwnd, msg, static_cast<WPARAM>(w), lparam)) {
            if (!IsWindow(hwnd)) break;  // the target is gone: stop and let the counts tell
            continue;
        }
        ++posted;
        if (low == WM_RBUTTONUP) ++right_button_ups;
        if (!close_menus) continue;
        bool opened = false;
        if (low == WM_RBUTTONUP) {
            opened = wait_for_menu_of(pid, 5000);
            if (opened) ++menus; else ++missing;
        } else {
            queue_barrier(hwnd);
            opened = !visible_menus_of(pid).empty();
            if (opened) ++unexpected;
        }
        if (opened && !close_menus_of(pid)) ++stuck;
    }
    std::printf("posted %lld\nlow517 %lld\n", posted, right_button_ups);
    if (close_menus) {
        std::printf("menus %lld\nunexpected %lld\nmissing %lld\nstuck %lld\n", menus, unexpected, missing, stuck);
    }
    return kOk;
}

BOOL CALLBACK count_window(HWND, LPARAM counter)
{
    ++*reinterpret_cast<long long*>(counter);
    return TRUE;
}

template <typename Function>
Function ntdll_function(const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

// Live entries of the GDI handle table that the process's PEB points to. Wine
// (which has no GetGuiResources) gives every process a table of its own, so
// there this is the process's GDI object count, stock objects included. On
// Windows the table is shared by the session, so the count means nothing there.
long long gdi_table_count(HANDLE process)
{
    struct BasicInformation {
        LONG exit_status;
        void* peb;
        ULONG_PTR affinity;
        LONG base_priority;
        ULONG_PTR process_id;
        ULONG_PTR parent_id;
    } basic{};
    using QueryProcess = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = ntdll_function<QueryProcess>("NtQueryInformationProcess");
    if (!query || query(process, 0, &basic, sizeof basic, nullptr) != 0 || !basic.peb) return -1;
    constexpr SIZE_T kTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;  // PEB.GdiSharedHandleTable
    void* table = nullptr;
    SIZE_T moved = 0;
    if (!ReadProcessMemory(process, static_cast<char*>(basic.peb) + kTableOffset, &table, sizeof table, &moved) || !table) {
        return -1;
    }
    // Wine's GDI_HANDLE_ENTRY: 24 bytes, the object type in byte 14, 0 = free.
    constexpr SIZE_T kEntry = 24, kEntries = 0x10000;
    std::vector<unsigned char> entries(kEntry * kEntries);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size(), &moved)) return -1;
    long long live = 0;
    for (SIZE_T i = 0; i < kEntries; ++i) live += entries[i * kEntry + 14] != 0;
    return live;
}

// Kernel handles the process holds, from the system-wide handle list.
long long system_handle_count(DWORD pid)
{
    struct Entry {
        void* object;
        ULONG_PTR process_id;
        ULONG_PTR handle;
        ULONG access;
        USHORT creator;
        USHORT type;
        ULONG attributes;
        ULONG reserved;
    };
    struct List {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    using QuerySystem = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
    const auto query = ntdll_function<QuerySystem>("NtQuerySystemInformation");
    if (!query) return -1;
    constexpr int kExtendedHandleInformation = 64;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<unsigned char> buffer(1 << 16);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(kExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0) return -1;
        const auto* list = reinterpret_cast<const List*>(buffer.data());
        long long count = 0;
        for (ULONG_PTR i = 0; i < list->count; ++i) count += list->entries[i].process_id == pid;
        return count;
    }
    return -1;
}

// What a process holds, one "name value" per line, -1 where the system cannot
// tell: its windows counted here (top-level, their descendants, message-only),
// GDI and USER objects as GetGuiResources reports them and GDI objects from
// the handle table (see above), kernel handles as GetProcessHandleCount and as
// the system handle list report them, and its working set in bytes.
int cmd_resources(const Args& a)
{
    long long pid = 0;
    if (!parse_number(a[0], pid)) return fail("bad pid: %s", a[0].c_str());
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, static_cast<DWORD>(pid));
    if (!process) return fail("cannot open the process");
    const auto gui = [process](DWORD which) {
        SetLastError(0);
        const DWORD count = GetGuiResources(process, which);
        return count != 0 || GetLastError() == 0 ? static_cast<long long>(count) : -1LL;
    };
    const long long gdi_api = gui(GR_GDIOBJECTS);
    const long long user_api = gui(GR_USEROBJECTS);
    const long long gdi_table = gdi_table_count(process);
    DWORD handles = 0;
    const long long handles_api = GetProcessHandleCount(process, &handles) ? static_cast<long long>(handles) : -1;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    const long long working_set =
        K32GetProcessMemoryInfo(process, &memory, sizeof memory) ? static_cast<long long>(memory.WorkingSetSize) : -1;
    CloseHandle(process);
    long long windows = 0;
    for (HWND hwnd : top_level_windows()) {
        if (pid_of(hwnd) != static_cast<DWORD>(pid)) continue;
        ++windows;
        EnumChildWindows(hwnd, count_window, reinterpret_cast<LPARAM>(&windows));
    }
    for (HWND hwnd = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); hwnd;
         hwnd = FindWindowExA(HWND_MESSAGE, hwnd, nullptr, nullptr)) {
        if (pid_of(hwnd) == static_cast<DWORD>(pid)) ++windows;
    }
    std::printf("windows %lld\ngdi-api %lld\ngdi-table %lld\nuser-api %lld\nhandles-api %lld\nhandles-system %lld\n"
                "workingset %lld\n",
                windows, gdi_api, gdi_table, user_api, handles_api, system_handle_count(static_cast<DWORD>(pid)),
                working_set);
    return kOk;
}

// Wine closes a virtual desktop a second after its last program exits, so
// a test rig keeps one process on the desktop for as long as it wants it.
// "ready" tells the rig that the desktop exists (its explorer was started on
// our behalf, with our environment and stderr); stdin reaching EOF ends the
// hold, so the desktop never outlives the rig holding the pipe.
// An elevated program's mutex as an unelevated one meets it: it exists, and opening it
// is denied (an empty access list). Held until the probe is ended.
int cmd_deny_mutex(const Args& a)
{
    SECURITY_DESCRIPTOR descriptor;
    ACL empty;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    if (!CreateMutexA(&attributes, FALSE, a[0].c_str())) return fail("CreateMutex failed");
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(INFINITE);
    return kOk;
}

int cmd_foreground(const Args&)
{
    print_hwnd(GetForegroundWindow());
    return kOk;
}

// Alt+F4 as the keyboard delivers it: to the focus window of the foreground thread, or
// to its active window when nothing has the focus.
int cmd_alt_f4(const Args&)
{
    HWND foreground = GetForegroundWindow();
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &thread)) {
        return fail("no foreground thread");
    }
    HWND target = thread.hwndFocus ? thread.hwndFocus : thread.hwndActive;
    const LPARAM alt = LPARAM{1} << 29, scan = static_cast<LPARAM>(MapVirtualKeyA(VK_F4, MAPVK_VK_TO_VSC)) << 16;
    if (!PostMessageA(target, WM_SYSKEYDOWN, VK_F4, alt | scan | 1)) return fail("PostMessage failed");
    PostMessageA(target, WM_SYSKEYUP, VK_F4, alt | scan | 1 | (LPARAM{1} << 30) | (LPARAM{1} << 31));
    print_hwnd(target);
    return kOk;
}

int cmd_hold(const Args&)
{
    GetDesktopWindow();
    std::printf("ready\n");
    std::fflush(stdout);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
    return kOk;
}

struct Command {
    const char* name;
    size_t min_args;
    size_t max_args;
    int (*run)(const Args&);
    const char* usage;
};

constexpr size_t kMany = 64;

const Command kCommands[] = {
    {"find", 2, 2, cmd_find, "CLASS|- CAPTION|-"},
    {"windows", 0, 1, cmd_windows, "[PID|-]"},
    {"windows-of-exe", 1, 1, cmd_windows_of_exe, "NAME.exe"},
    {"pids", 1, 1, cmd_pids, "NAME.exe"},
    {"children", 1, 1, cmd_children, "HWND"},
    {"text", 1, 1, cmd_text, "HWND"},
    {"child-text", 2, 2, cmd_child_text, "HWND ID"},
    {"class", 1, 1, cmd_class, "HWND"},
    {"pid", 1, 1, cmd_pid, "HWND"},
    {"rect", 1, 1, cmd_rect, "HWND"},
    {"visible", 1, 1, cmd_visible, "HWND"},
    {"iconic", 1, 1, cmd_iconic, "HWND"},
    {"exstyle", 1, 1, cmd_exstyle, "HWND"},
    {"post", 4, 4, cmd_post, "HWND MSG WPARAM LPARAM"},
    {"wait-window", 3, 3, cmd_wait_window, "CLASS|- CAPTION|- TIMEOUT_MS"},
    {"tray-delete", 2, 2, cmd_tray_delete, "HWND ID"},
    {"broadcast-registered", 1, 1, cmd_broadcast_registered, "NAME"},
    {"tray-tips", 0, 0, cmd_tray_tips, ""},
    {"mode", 0, 0, cmd_mode, ""},
    {"modes", 0, 0, cmd_modes, ""},
    {"set-mode", 3, 4, cmd_set_mode, "W H F [FLAGS]"},
    {"menu-keys", 2, kMany, cmd_menu_keys, "HWND KEY..."},
    {"post-random", 4, 5, cmd_post_random, "HWND MSG COUNT SEED [close-menus]"},
    {"resources", 1, 1, cmd_resources, "WINDOWS_PID"},
    {"hold", 0, 0, cmd_hold, "(until stdin closes)"},
    {"deny-mutex", 1, 1, cmd_deny_mutex, "NAME (until ended)"},
    {"foreground", 0, 0, cmd_foreground, ""},
    {"alt-f4", 0, 0, cmd_alt_f4, ""},
};

int usage()
{
    std::fprintf(stderr, "usage: probe [--out FILE] COMMAND ARGS...\n");
    for (const Command& c : kCommands) std::fprintf(stderr, "  %s%s%s\n", c.name, *c.usage ? " " : "", c.usage);
    return kUsage;
}

int run(int argc, char** argv)
{
    Args all(argv + 1, argv + argc);
    if (all.size() >= 2 && all[0] == "--out") {
        if (!std::freopen(all[1].c_str(), "w", stdout)) {
            std::fprintf(stderr, "cannot write %s\n", all[1].c_str());
            return kUsage;
        }
        all.erase(all.begin(), all.begin() + 2);
    }
    // Plain "\n" line ends: the reader is a Linux test, not a Windows console.
    _setmode(_fileno(stdout), _O_BINARY);
    if (all.empty()) return usage();
    const std::string name = all[0];
    Args args(all.begin() + 1, all.end());
    for (const Command& c : kCommands) {
        if (name != c.name) continue;
        if (args.size() < c.min_args || args.size() > c.max_args) {
            std::fprintf(stderr, "usage: probe %s %s\n", c.name, c.usage);
            return kUsage;
        }
        return c.run(args);
    }
    std::fprintf(stderr, "unknown command: %s\n", name.c_str());
    return usage();
}

} // namespace

int main(int argc, char** argv)
{
    int code = kNo;
    try {
        code = run(argc, argv);
    } catch (...) {
        std::fprintf(stderr, "probe: internal error\n");
        code = kNo;
    }
    std::fflush(stdout);
    return code;
}

"""Proves the end-to-end rig works under Wine: a throwaway Windows program is
started on the rig's desktop, seen through the probe, the screen and OCR,
driven through its tray icon, and everything is gone after the rig stops.

Run from the repository root: python3 -m unittest tests/e2e/test_rig.py
"""

import struct
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from rig import WineRig, compile_windows_program  # noqa: E402

# A window with a static text and a tray icon whose right-click menu hands
# a URL to the browser, which is what the rig's tray helpers must reach.
HELLO_SOURCE = r"""
#include <windows.h>
#include <shellapi.h>

constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT kOpenSite = 10;
NOTIFYICONDATAA icon{};

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kTrayMessage && LOWORD(lp) == WM_RBUTTONUP) {
        HMENU menu = CreatePopupMenu();
        AppendMenuA(menu, MF_STRING, kOpenSite, "&Open site");
        AppendMenuA(menu, MF_STRING, 2, "&Nothing");
        POINT pt;
        GetCursorPos(&pt);
        SetForegroundWindow(hwnd);
        UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, nullptr);
        DestroyMenu(menu);
        if (chosen == kOpenSite) ShellExecuteA(hwnd, "open", "https://example.org/rig test", nullptr, nullptr, SW_SHOWNORMAL);
        return 0;
    }
    if (msg == WM_DESTROY) {
        Shell_NotifyIconA(NIM_DELETE, &icon);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.lpszClassName = "RigHello";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowA("RigHello", "Rig Hello", WS_OVERLAPPEDWINDOW, 100, 100, 400, 200,
                              nullptr, nullptr, instance, nullptr);
    CreateWindowA("STATIC", "hello from the rig", WS_CHILD | WS_VISIBLE, 10, 10, 300, 20, hwnd,
                  reinterpret_cast<HMENU>(100), instance, nullptr);
    icon.cbSize = sizeof icon;
    icon.hWnd = hwnd;
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    icon.uCallbackMessage = kTrayMessage;
    icon.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    lstrcpyA(icon.szTip, "Rig Hello");
    Shell_NotifyIconA(NIM_ADD, &icon);
    ShowWindow(hwnd, show);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}
"""


def png_size(path: Path) -> tuple[int, int]:
    header = path.read_bytes()[:24]
    assert header[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    return struct.unpack(">II", header[16:24])


def processes_using_prefix(prefix: Path) -> list[int]:
    """Independent of the rig's own bookkeeping: any live process whose
    environment names the prefix."""
    needle = f"WINEPREFIX={prefix}".encode()
    pids = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if needle not in (entry / "environ").read_bytes().split(b"\0"):
                continue
            if (entry / "stat").read_bytes().rsplit(b")", 1)[1].split()[0] == b"Z":
                continue
        except OSError:
            continue
        pids.append(int(entry.name))
    return pids


def process_alive(pid: int) -> bool:
    try:
        state = Path(f"/proc/{pid}/stat").read_bytes().rsplit(b")", 1)[1].split()[0]
    except OSError:
        return False
    return state != b"Z"


class WineRigTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.build_dir = tempfile.TemporaryDirectory(prefix="rig-test-")
        cls.hello = compile_windows_program(HELLO_SOURCE, Path(cls.build_dir.name) / "hello.exe", ["-mwindows"])

    @classmethod
    def tearDownClass(cls):
        cls.build_dir.cleanup()

    def start_hello(self, rig: WineRig) -> str:
        rig.launch(self.hello)
        return rig.wait_window("RigHello", timeout=15)

    def test_program_is_seen_through_probe_screen_and_ocr(self):
        with WineRig() as rig:
            hwnd = self.start_hello(rig)
            self.assertEqual(rig.probe_ok("text", hwnd), "Rig Hello")
            self.assertEqual(rig.probe_ok("child-text", hwnd, 100), "hello from the rig")
            self.assertEqual(rig.probe_ok("visible", hwnd), "1")
            records = [line.split("\t") for line in rig.probe_ok("windows-of-exe", "hello.exe").splitlines()]
            self.assertIn(["RigHello", "Rig Hello", "1"], [r[1:4] for r in records])

            self.assertEqual(rig.desktop_geometry().size, (1024, 768))
            self.assertTrue(rig.probe_ok("mode").startswith("1024x768 60 "), rig.probe_ok("mode"))

            shot = rig.screenshot()
            self.assertEqual(png_size(shot), (1600, 1200))
            desktop = rig.desktop_geometry()
            left, top, right, bottom = map(int, rig.probe_ok("rect", hwnd).split())
            text = rig.ocr(shot, crop=(desktop.x + left, desktop.y + top, right - left, bottom - top))
            self.assertIn("hello from the rig", text.lower())

    def test_right_click_on_tray_icon_drives_the_program(self):
        with WineRig() as rig:
            self.start_hello(rig)
            x, y = rig.tray_icon_point()
            rig.xdotool("mousemove", x, y, "click", 3)
            menu = rig.wait_window("#32768", timeout=10)
            rig.probe_ok("menu-keys", menu, "DOWN", "RETURN")
            launches = rig.wait_until(rig.recorded_launches, timeout=10, message="a browser launch")
            self.assertEqual(launches, ["https://example.org/rig%20test"])

    def test_stop_ends_every_process_and_deletes_the_prefix_even_after_a_failure(self):
        with self.assertRaises(ZeroDivisionError):
            with WineRig() as rig:
                self.start_hello(rig)
                prefix, folder, xvfb = rig.prefix, rig.dir, rig.xvfb.pid
                self.assertTrue(processes_using_prefix(prefix))
                self.assertTrue(process_alive(xvfb))
                1 / 0
        self.assertEqual(processes_using_prefix(prefix), [])
        self.assertFalse(process_alive(xvfb))
        self.assertFalse(folder.exists())
        self.assertFalse(rig.running)


if __name__ == "__main__":
    unittest.main()

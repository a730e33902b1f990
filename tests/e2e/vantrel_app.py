"""Drives the real vantrel.exe inside a WineRig as a user would: the tray icon,
its tooltip and its popup menu."""
from __future__ import annotations

import os
import re
import unittest
from pathlib import Path

from rig import WineRig

REPO = Path(__file__).resolve().parents[2]
# The build under test: win64, or win32 (the product) where the machine runs 32-bit programs.
BUILD = REPO / "build" / os.environ.get("VANTREL_BUILD", "win64")
VANTREL = BUILD / "vantrel.exe"
MODE_TOOL = BUILD / "mode_tool.exe"

MAIN_CLASS = "Vantrel.frmMain"
ABOUT_CLASS = "Vantrel.frmAbout"
MENU_CLASS = "#32768"
DIALOG_CLASS = "#32770"
TIP_PATTERN = re.compile(r'Show tooltip \d+, L"([^"]*)"')


def new_rig(**kwargs) -> WineRig:
    """A rig whose desktop log carries the tray's tooltips."""
    return WineRig(debug="+tooltips", **kwargs)


class RigTestCase(unittest.TestCase):
    """Each test gets its own rig; with `start_app` the program runs in it too."""
    start_app = True
    app_debug = "+menu"

    def setUp(self):
        self.start_rig()

    def start_rig(self, before_app=None) -> None:
        self.rig = new_rig()
        self.rig.start()
        self.addCleanup(self.rig.stop)
        if before_app:
            before_app(self.rig)
        if self.start_app:
            self.app = TrayApp(self.rig, debug=self.app_debug)


class TrayApp:
    def __init__(self, rig: WineRig, debug: str = "+menu", exe: Path = VANTREL):
        self.rig = rig
        self.launch = rig.launch(exe, debug=debug)
        self.hwnd = rig.wait_until(lambda: self.find(MAIN_CLASS), timeout=30, message="the main window")
        # The icon is added at the end of start-up.
        rig.wait_until(lambda: self.tray_tips(), timeout=30, message="the tray icon")

    def find(self, cls: str, caption: str = "-") -> str | None:
        result = self.rig.probe("find", cls, caption)
        return result.out.strip() if result.ok else None

    # ---- windows ------------------------------------------------------------------

    def pid(self) -> str:
        return self.rig.probe_ok("pid", self.hwnd)

    def windows(self, pid: str) -> list[dict]:
        """Top-level windows of a process: hwnd, class, caption, visible, iconic, rect."""
        records = []
        for line in self.rig.probe_ok("windows", pid).splitlines():
            hwnd, cls, caption, visible, iconic, *rect, _ = line.split("\t")
            records.append({"hwnd": hwnd, "class": cls, "caption": caption, "visible": visible == "1",
                            "iconic": iconic == "1", "rect": tuple(map(int, rect))})
        return records

    def visible_windows(self) -> list[dict]:
        """Windows of the program on screen, apart from an open popup menu."""
        return [window for window in self.windows(self.pid())
                if window["visible"] and window["class"] != MENU_CLASS]

    def processes(self) -> list[str]:
        return self.rig.probe_ok("pids", "vantrel.exe").split()

    def running(self) -> bool:
        return self.launch.running()

    # ---- the tray icon ------------------------------------------------------------

    def tray_tips(self) -> list[str]:
        """The tooltip of every icon in the notification area, as the shell holds them.
        Wine's shell keeps the hover area of an icon where it was before a display-mode
        change, so after one only this, not hovering, tells what the tooltip says."""
        return self.rig.probe_ok("tray-tips").splitlines()

    def wait_tray_tips(self, expected: list[str], timeout: float = 5.0) -> list[str]:
        try:
            self.rig.wait_until(lambda: self.tray_tips() == expected, timeout=timeout, interval=0.1)
        except TimeoutError:
            pass
        return self.tray_tips()

    def tooltips_shown(self) -> list[str]:
        return TIP_PATTERN.findall(self.rig.desktop_log())

    def hover_tip(self, slot: int = 0, timeout: float = 6.0) -> str | None:
        """Rests the pointer on the icon in `slot` and returns the tooltip that the
        shell shows for it, or None if none appears."""
        rig = self.rig
        seen = len(self.tooltips_shown())
        x, y = rig.tray_icon_point(slot)
        rig.xdotool("mousemove", x - 200, y - 200)
        rig.xdotool("mousemove", x, y)
        try:
            rig.wait_until(lambda: len(self.tooltips_shown()) > seen, timeout=timeout)
        except TimeoutError:
            return None
        finally:
            rig.xdotool("mousemove", x - 200, y - 200)
        return self.tooltips_shown()[-1]

    def wait_tip(self, expected: str, timeout: float = 10.0) -> str:
        """Hovers until the tooltip reads `expected`; returns the last one seen."""
        last = [None]

        def matches():
            last[0] = self.hover_tip()
            return last[0] == expected
        try:
            self.rig.wait_until(matches, timeout=timeout, interval=0.2)
        except TimeoutError:
            pass
        return last[0]

    def menu_open(self) -> str | None:
        result = self.rig.probe("find", MENU_CLASS, "-")
        if not result.ok:
            return None
        return result.out.strip() if self.rig.probe_ok("visible", result.out.strip()) == "1" else None

    def open_popup(self) -> str:
        x, y = self.rig.tray_icon_point()
        self.rig.click(x, y, 3)
        return self.rig.wait_window(MENU_CLASS)

    def choose(self, *keys: str) -> None:
        """Opens the popup with a right click and walks it with the keyboard."""
        menu = self.open_popup()
        self.rig.probe_ok("menu-keys", menu, *keys)
        self.rig.wait_until(lambda: self.menu_open() is None, timeout=10, message="the menu to close")

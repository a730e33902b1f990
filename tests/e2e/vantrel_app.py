"""Drives the real vantrel.exe inside a WineRig as a user would: the tray icon, its
tooltip, its popup menu and the windows it opens."""
from __future__ import annotations

import os
import re
import time
from pathlib import Path

from rig import Launch, WineRig, settle, wait_until

REPO = Path(__file__).resolve().parents[2]
# The build under test: win64, or win32 (the product) where the machine runs 32-bit programs.
VANTREL = REPO / "build" / os.environ.get("VANTREL_BUILD", "win64") / "vantrel.exe"

MAIN_CLASS = "Vantrel.frmMain"
ABOUT_CLASS = "Vantrel.frmAbout"
MENU_CLASS = "#32768"
DIALOG_CLASS = "#32770"
TIP_1024 = "Current Resolution: 1024x768 60Hz"
TIP_SHOWN = re.compile(r'Show tooltip \d+, L"([^"]*)"')
# Wine's +menu channel logs every item the program puts into the popup it builds.
MENU_ITEM = re.compile(r'InsertMenuW hMenu \w+, pos -?\d+, flags [0-9a-f]+, id [0-9a-f]+, str L"(?P<caption>[^"]*)"')


def new_rig(**kwargs) -> WineRig:
    """A rig whose desktop log carries the tray's tooltips as they are shown."""
    return WineRig(debug="+tooltips", **kwargs)


def assert_never(condition, seconds: float, message: str) -> None:
    """Fails if `condition` becomes true within `seconds`, polling all the while."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            raise AssertionError(message)
        time.sleep(0.1)


def open_menus(rig: WineRig) -> int:
    """How many popup menus (and submenus) are on screen."""
    records = (line.split("\t") for line in rig.probe_ok("windows").splitlines())
    return sum(1 for _, cls, visible in records if cls == MENU_CLASS and visible == "1")


class TrayApp:
    def __init__(self, rig: WineRig, debug: str = "+menu", exe: Path = VANTREL, launch: Launch | None = None):
        """Starts `exe`, or drives the copy `launch` started otherwise."""
        self.rig = rig
        self.launch = launch or rig.launch(exe, debug=debug)
        self.hwnd = wait_until(lambda: self.find(MAIN_CLASS), 30, message="the main window")
        # The icon is added at the end of start-up.
        wait_until(self.tray_tips, 30, message="the tray icon")

    def find(self, cls: str, caption: str = "-") -> str | None:
        result = self.rig.probe("find", cls, caption)
        return result.out.strip() if result.ok else None

    # ---- windows ----------------------------------------------------------------------

    def pid(self) -> str:
        return self.rig.probe_ok("pid", self.hwnd)

    def visible_windows(self) -> list[str]:
        """Classes of the program's windows on screen, an open popup menu apart."""
        records = [line.split("\t") for line in self.rig.probe_ok("windows", self.pid()).splitlines()]
        return [cls for _, cls, visible in records if visible == "1" and cls != MENU_CLASS]

    # ---- the tray icon --------------------------------------------------------------

    def tray_tips(self) -> list[str]:
        """The tooltip of every icon in the notification area, as the shell holds them.
        After a display-mode change Wine's shell keeps an icon's hover area where it was,
        so then only this, not hovering, tells what the tooltip says."""
        return self.rig.probe_ok("tray-tips").splitlines()

    def tips_after_change(self, changed: float, expected: list[str]) -> tuple[list[str], float]:
        """The tooltips once they are `expected` (or the last read), and how long after
        `changed` the latest read that still saw another text began: judged by the program,
        not by how fast the probe can ask, so a busy machine only makes it smaller."""
        stale = [0.0]

        def read() -> list[str]:
            began = time.monotonic()
            tips = self.tray_tips()
            if tips != expected:
                stale.append(began - changed)
            return tips
        return settle(read, expected), max(stale)

    def hover_tip(self, timeout: float = 10.0) -> str:
        """Rests the pointer on the first icon until the shell shows a tooltip; its text."""
        rig = self.rig
        seen = len(TIP_SHOWN.findall(rig.desktop_log()))
        x, y = rig.tray_icon_point()

        def shown():
            rig.xdotool("mousemove", x - 200, y - 200, "mousemove", x, y)
            return wait_until(lambda: TIP_SHOWN.findall(rig.desktop_log())[seen:], 2)
        try:
            return wait_until(shown, timeout, message="a tooltip")[-1]
        finally:
            rig.xdotool("mousemove", x - 200, y - 200)

    # ---- the popup menu -------------------------------------------------------------

    def menu_open(self) -> bool:
        return self.rig.probe("wait-window", MENU_CLASS, "-", 0).ok

    def open_popup(self) -> str:
        self.rig.click(*self.rig.tray_icon_point(), 3)
        return self.rig.wait_window(MENU_CLASS)

    def choose(self, *keys: str) -> None:
        """Opens the popup with a right click and walks it with the keyboard. A popup that
        closed before the keys reached it (the click fell between two of the shell's
        redraws) is opened again."""
        wait_until(lambda: self.rig.probe("menu-keys", self.open_popup(), *keys).ok, 30, interval=0.5,
                   message="the popup to take the keys")
        wait_until(lambda: not self.menu_open(), 10, message="the menu to close")

    def menu_captions(self, since: int = 0) -> list[str]:
        """Every item the program put into popups after `since` characters of its log."""
        return [m["caption"] for m in MENU_ITEM.finditer(self.launch.log()[since:])]

"""The real program under Wine against input it never asked for: a flood of random
tray messages from another process, menu commands that name no menu item, and a
start on a desktop of every size Wine offers."""
import re
import time
import unittest

from vantrel_app import ABOUT_CLASS, DIALOG_CLASS, MAIN_CLASS, RigTestCase, TrayApp, new_rig

TIP_1024 = "Current Resolution: 1024x768 60Hz"
# Chosen so that the flood holds several right-button releases (517): each asks for
# the popup, and the probe closes each one before it posts the next message.
FLOOD_SEED = 20240607
FLOOD_COUNT = 1000
# Wine's +menu channel logs every item the program inserts into the popup it builds.
INSERTED_ITEM = re.compile(r'InsertMenuW hMenu \w+, pos -?\d+, flags (?P<flags>[0-9a-f]+), '
                           r'id (?P<id>[0-9a-f]+), str L"(?P<caption>[^"]*)"')
POPUPS_TRACKED = "trace:menu:NtUserTrackPopupMenuEx"
MF_POPUP = 0x10


def probe_counts(text: str) -> dict[str, int]:
    return {name: int(value) for name, value in (line.split() for line in text.splitlines())}


class UnaskedInput(RigTestCase):
    def setUp(self):
        super().setUp()
        self.pids = self.app.processes()

    def assertStillServing(self, tip: str = TIP_1024):
        """Same process, same hidden window, one icon whose tip names the mode."""
        self.assertEqual(self.pids, self.app.processes())
        self.assertEqual(self.app.hwnd, self.app.find(MAIN_CLASS))
        self.assertEqual([tip], self.app.tray_tips())
        self.assertIsNone(self.app.menu_open())

    def test_a_flood_of_random_tray_messages_opens_only_the_menus_517_asks_for(self):
        tracked_before = self.app.launch.log().count(POPUPS_TRACKED)
        counts = probe_counts(self.rig.probe_ok("post-random", self.app.hwnd, "WM_MOUSEMOVE", FLOOD_COUNT,
                                                FLOOD_SEED, "close-menus", timeout=600))
        self.assertEqual(FLOOD_COUNT, counts["posted"])
        self.assertGreaterEqual(counts["low517"], 3, "the seed must ask for some menus")
        # Seen by the probe: one popup after each 517 and none after anything else.
        self.assertEqual(counts["low517"], counts["menus"], counts)
        self.assertEqual(0, counts["missing"], counts)
        self.assertEqual(0, counts["unexpected"], counts)
        self.assertEqual(0, counts["stuck"], counts)
        # Seen by Wine inside the program: how often it tracked a popup at all.
        self.assertEqual(counts["low517"], self.app.launch.log().count(POPUPS_TRACKED) - tracked_before)
        self.assertStillServing()
        self.assertEqual([], self.app.visible_windows())
        # And a person's right click still gets the menu.
        self.rig.probe_ok("menu-keys", self.app.open_popup(), "ESCAPE")
        self.rig.wait_until(lambda: self.app.menu_open() is None, timeout=10, message="the menu to close")

    def test_a_command_naming_no_menu_item_does_nothing(self):
        log_start = len(self.app.launch.log())
        self.rig.probe_ok("menu-keys", self.app.open_popup(), "ESCAPE")
        self.rig.wait_until(lambda: self.app.menu_open() is None, timeout=10, message="the menu to close")
        items = {int(m["id"], 16): m["caption"] for m in INSERTED_ITEM.finditer(self.app.launch.log()[log_start:])
                 if not int(m["flags"], 16) & MF_POPUP}
        about_id = next(id_ for id_, caption in items.items() if caption == "&About")
        self.assertIn("E&xit", items.values())
        # Ids of the items the start-up scan hid (all but 60 Hz, the 1280x768 group),
        # the ends of the range, the dialog ids, a system-menu command, the extremes.
        first, last = min(items), max(items)
        unknown = sorted({0, 1, 2, 999, first - 1, last + 1, last + 100, 0xF060, 0x7FFF, 0xFFFF}
                         | (set(range(first, last + 1)) - set(items)))
        self.assertGreater(len(unknown), 30)
        for command in unknown:
            self.rig.probe_ok("post", self.app.hwnd, "WM_COMMAND", command, 0)
        # Posted messages are taken in order: once About answers, every id before it
        # has been dealt with.
        self.rig.probe_ok("post", self.app.hwnd, "WM_COMMAND", about_id, 0)
        about = self.rig.wait_window(ABOUT_CLASS, timeout=15)
        self.assertEqual([ABOUT_CLASS], [w["class"] for w in self.app.visible_windows()])
        self.assertIsNone(self.app.find(DIALOG_CLASS), "no message box")
        self.assertEqual("1024x768 60", " ".join(self.rig.probe_ok("mode").split()[:2]))
        self.assertEqual((1024, 768), self.rig.desktop_geometry().size)
        self.assertEqual([], self.rig.recorded_launches(), "no browser, no mail")
        self.assertFalse([cmd for _, cmd in self.rig.processes() if "rundll32" in cmd.lower()],
                         "no control panel")
        self.assertStillServing()
        self.rig.probe_ok("post", about, "WM_COMMAND", 1, 0)  # OK
        self.rig.wait_until(lambda: not self.app.visible_windows(), timeout=10, message="About to close")


class StartOnEveryDesktopSize(unittest.TestCase):
    def test_the_tip_names_the_size_the_desktop_was_started_with(self):
        with new_rig() as rig:
            screen_w, screen_h = map(int, rig.screen.split("x")[:2])
            sizes = []
            for line in rig.probe_ok("modes").splitlines():
                size, rate, _ = line.split()
                w, h = map(int, size.split("x"))
                if rate == "60" and w <= screen_w and h <= screen_h and (w, h) not in sizes:
                    sizes.append((w, h))
        self.assertIn((1600, 1200), sizes)
        self.assertGreaterEqual(len(sizes), 6)
        for w, h in sizes:
            with self.subTest(size=f"{w}x{h}"), new_rig(desktop=f"{w}x{h}") as rig:
                app = TrayApp(rig)
                self.assertEqual((w, h), rig.desktop_geometry().size, "the rig's own desktop")
                expected = [f"Current Resolution: {w}x{h} 60Hz"]
                self.assertEqual(expected, app.tray_tips())
                time.sleep(1.1)  # one timer tick: its rewrite must agree
                self.assertEqual(expected, app.tray_tips())


if __name__ == "__main__":
    unittest.main()

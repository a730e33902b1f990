"""The real program in Wine's shell desktop (1024x768 on a 1600x1200 screen),
driven from outside as a user would: tray icon, tooltip, popup menu."""
import re
import time
import unittest

from vantrel_app import MENU_CLASS, VANTREL, RigTestCase

TIP_1024 = "Current Resolution: 1024x768 60Hz"


class TrayApplication(RigTestCase):
    def assertNothingVisible(self):
        self.assertEqual([], self.app.visible_windows())

    def menu_items(self, since: int = 0) -> list[str]:
        return re.findall(r'str L"([^"]*)"', self.app.launch.log()[since:])

    def test_icon_tooltip_and_hidden_parked_main_window(self):
        self.assertEqual(TIP_1024, self.app.hover_tip())
        self.assertNothingVisible()
        [main] = [w for w in self.app.windows(self.app.pid()) if w["class"] == "Vantrel.frmMain"]
        self.assertFalse(main["visible"])
        tool_window = 0x80  # WS_EX_TOOLWINDOW: no taskbar button
        self.assertTrue(int(self.rig.probe_ok("exstyle", self.app.hwnd), 16) & tool_window)

    def test_popup_offers_only_the_modes_the_driver_accepts(self):
        before = len(self.app.launch.log())
        menu = self.app.open_popup()
        self.assertNothingVisible()
        screenshot = self.rig.screenshot()
        items = self.menu_items(before)
        self.rig.probe_ok("menu-keys", menu, "ESCAPE")
        groups = [item for item in items if re.fullmatch(r"[\d&]+x[\d&]+", item)]
        self.assertEqual(["&640x480", "&800x600", "&1024x768", "1280x&960", "128&0x1024", "1&600x1200"], groups)
        rates = [item for item in items if item.endswith(" Hz")]
        self.assertEqual(["60 Hz"] * 6, rates, screenshot)
        self.assertEqual(["&Open Display Properties", "&About", "http://ambrel.example/", "E&xit"],
                         [item for item in items if item not in groups + rates])

    def test_rate_item_switches_the_display_and_the_tooltip_follows(self):
        self.app.choose("DOWN", "DOWN", "RIGHT", "RETURN")  # "&800x600" > "60 Hz"
        self.rig.wait_until(lambda: self.rig.desktop_geometry().size == (800, 600), timeout=10,
                            message="the desktop to become 800x600")
        self.assertEqual(["Current Resolution: 800x600 60Hz"],
                         self.app.wait_tray_tips(["Current Resolution: 800x600 60Hz"]))
        self.assertNothingVisible()

    def test_tooltip_follows_a_change_made_by_another_program(self):
        self.assertEqual("0", self.rig.probe_ok("set-mode", "1280", "1024", "60"))
        changed = time.monotonic()
        expected = ["Current Resolution: 1280x1024 60Hz"]
        self.assertEqual(expected, self.app.wait_tray_tips(expected))
        self.assertLess(time.monotonic() - changed, 1.5, "within one timer interval")

    def test_left_button_opens_nothing(self):
        x, y = self.rig.tray_icon_point()
        self.rig.xdotool("mousemove", x, y, "click", "1")
        self.rig.xdotool("click", "--repeat", "2", "--delay", "80", "1")
        time.sleep(1)
        self.assertIsNone(self.app.menu_open())
        self.assertIsNone(self.app.find(MENU_CLASS))

    def test_second_copy_ends_at_once_and_leaves_one_icon(self):
        first = self.app.processes()
        started = time.monotonic()
        second = self.rig.wine(VANTREL, timeout=20)  # returns when the second copy has ended
        self.assertEqual(0, second.returncode)
        self.assertLess(time.monotonic() - started, 5)
        self.assertEqual(first, self.app.processes())
        self.assertEqual([TIP_1024], self.app.tray_tips())
        self.assertEqual(TIP_1024, self.app.hover_tip(slot=0))

    def test_icon_comes_back_when_the_taskbar_is_recreated(self):
        self.assertEqual("1", self.rig.probe_ok("tray-delete", self.app.hwnd, "1"))
        self.assertEqual([], self.app.tray_tips())
        self.rig.probe_ok("broadcast-registered", "TaskbarCreated")
        self.assertEqual([TIP_1024], self.app.wait_tray_tips([TIP_1024]))
        self.assertEqual(TIP_1024, self.app.hover_tip())

    def test_after_esc_on_the_popup_alt_f4_reaches_the_program_the_user_was_in(self):
        notepad = self.rig.launch(self.rig.prefix / "drive_c" / "windows" / "system32" / "notepad.exe")
        editor = self.rig.wait_window("Notepad")
        self.rig.wait_until(lambda: self.rig.probe_ok("foreground") == editor, timeout=10, message="Notepad in front")
        self.rig.probe_ok("menu-keys", self.app.open_popup(), "ESCAPE")
        self.rig.wait_until(lambda: self.app.menu_open() is None, timeout=10, message="the menu to close")
        self.rig.wait_until(lambda: self.rig.probe_ok("foreground") == editor, timeout=10,
                            message="the foreground back with Notepad")
        self.rig.probe_ok("alt-f4")
        notepad.wait_exit()
        self.assertTrue(self.app.running())
        self.assertEqual([TIP_1024], self.app.tray_tips())

    def test_exit_removes_the_icon_and_ends_the_process(self):
        self.app.choose("x")  # E&xit
        self.rig.wait_until(lambda: not self.app.processes(), timeout=15, message="the program to end")
        self.assertEqual([], self.app.tray_tips())


if __name__ == "__main__":
    unittest.main()

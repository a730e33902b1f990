"""The real program in Wine's shell desktop (1024x768 on a 1600x1200 screen), used from
its tray icon as a person would, from start to Exit."""
import re
import time
import unittest

from rig import settle, wait_until
from vantrel_app import MENU_CLASS, TIP_1024, VANTREL, TrayApp, assert_never, new_rig, open_menus

TOOL_WINDOW = 0x80  # WS_EX_TOOLWINDOW: no taskbar button
# Wine's +system channel logs every ChangeDisplaySettings call; 0x2 is CDS_TEST, a driver test.
DRIVER_TEST = re.compile(r"NtUserChangeDisplaySettings \S+ \S+ \S+ 0x2 ")


class TrayIcon(unittest.TestCase):
    def setUp(self):
        self.rig = new_rig().start()
        self.addCleanup(self.rig.stop)
        self.app = TrayApp(self.rig, debug="+menu,+system")

    def test_from_start_to_exit(self):
        rig, app = self.rig, self.app
        # Started: an icon whose tooltip names the mode, and no window on the screen.
        self.assertEqual(TIP_1024, app.hover_tip())
        self.assertEqual([], app.visible_windows())
        self.assertTrue(int(rig.probe_ok("exstyle", app.hwnd), 16) & TOOL_WINDOW)

        # The left button does nothing, not even twice in a row.
        x, y = rig.tray_icon_point()
        rig.xdotool("mousemove", x, y, "click", "1", "click", "--repeat", "2", "--delay", "80", "1")
        assert_never(app.menu_open, 1.5, "a left click opened a menu")

        # The popup offers only what Wine's driver accepts: 60 Hz, never 1280x768.
        editor = rig.launch(rig.prefix / "drive_c" / "windows" / "system32" / "notepad.exe")
        notepad = rig.wait_window("Notepad")
        wait_until(lambda: rig.probe_ok("foreground") == notepad, 10, message="Notepad in front")
        before = len(app.launch.log())
        rig.probe_ok("menu-keys", app.open_popup(), "ESCAPE")
        self.assertEqual([], app.menu_captions(before), "the menu built at start-up serves every popup")
        items = app.menu_captions()
        groups = [item for item in items if re.fullmatch(r"[\d&]+x[\d&]+", item)]
        self.assertEqual(["&640x480", "&800x600", "&1024x768", "1280x&960", "128&0x1024", "1&600x1200"], groups)
        self.assertEqual(["60 Hz"] * 6, [item for item in items if item.endswith(" Hz")])
        self.assertEqual(["&Open Display Properties", "&About", "http://ambrel.example/", "E&xit"],
                         items[-4:])

        # After Esc the foreground is back where the click left it (Notepad, or the taskbar);
        # Alt+F4 closes Notepad, once a click has brought it forward, never the program.
        wait_until(lambda: not app.menu_open(), 10, message="the menu to close")
        back = rig.foreground_after_tray_menu(notepad)
        wait_until(lambda: rig.probe_ok("foreground") == back, 10, message="the foreground back where it was")
        desktop, (left, top) = rig.desktop_geometry(), map(int, rig.probe_ok("rect", notepad).split()[:2])
        rig.click(desktop.x + left + 80, desktop.y + top + 8)
        wait_until(lambda: rig.probe_ok("foreground") == notepad, 10, message="Notepad in front")
        rig.probe_ok("alt-f4")
        editor.wait_exit()
        self.assertTrue(app.launch.running())

        # A rate item switches the display; the colour depth stays and the tooltip follows.
        depth = rig.probe_ok("mode").split()[2]
        app.choose("DOWN", "DOWN", "RIGHT", "RETURN")  # "&800x600" > "60 Hz"
        wait_until(lambda: rig.desktop_geometry().size == (800, 600), 10, message="an 800x600 desktop")
        self.assertEqual(f"800x600 60 {depth}", rig.probe_ok("mode"))
        tip = ["Current Resolution: 800x600 60Hz"]
        self.assertEqual(tip, settle(app.tray_tips, tip))
        self.assertEqual([], app.visible_windows())

        # Another program changes the mode: the tooltip follows within a timer interval.
        self.assertEqual("0", rig.probe_ok("set-mode", "1280", "1024", "60"))
        changed = time.monotonic()
        tip = ["Current Resolution: 1280x1024 60Hz"]
        tips, stale_for = app.tips_after_change(changed, tip)
        self.assertEqual(tip, tips)
        self.assertLessEqual(stale_for, 1.2)  # a timer interval and its jitter
        # Both switches left the display itself as it was: the 42 tests of start-up and the
        # one before the program's own switch, no scan again.
        self.assertEqual(42 + 1, len(DRIVER_TEST.findall(app.launch.log())))

        # A second copy ends at once and leaves the one icon alone, but opens the first
        # copy's menu, once, near its icon: at the taskbar's end, since Wine's shell cannot
        # tell where the icon is. Esc closes it, and the first copy goes on.
        pids = app.launch.pids()
        started = time.monotonic()
        self.assertEqual(0, rig.wine(VANTREL, timeout=20).returncode)  # returns once it has ended
        self.assertLess(time.monotonic() - started, 5)
        menu = rig.wait_window(MENU_CLASS)
        self.assertEqual(1, open_menus(rig))
        left, top, right, bottom = map(int, rig.probe_ok("rect", menu).split())
        _, bar_top, bar_right, bar_bottom = map(int, rig.probe_ok("rect", rig.probe_ok("find", "Shell_TrayWnd", "-")).split())
        icon = (bar_right - 10, (bar_top + bar_bottom) // 2)  # the first icon's slot, 20 pixels wide
        self.assertLessEqual(max(left - icon[0], icon[0] - right, top - icon[1], icon[1] - bottom), 30, (left, bottom, icon))
        rig.probe_ok("menu-keys", menu, "ESCAPE")
        wait_until(lambda: not app.menu_open(), 10, message="the menu to close")
        assert_never(app.menu_open, 1.5, "the menu opened again")
        self.assertEqual(pids, app.launch.pids())
        self.assertEqual(tip, app.tray_tips())

        # A restarted taskbar announces itself: the lost icon comes back.
        self.assertEqual("1", rig.probe_ok("tray-delete", app.hwnd, "1"))
        self.assertEqual([], app.tray_tips())
        rig.probe_ok("broadcast-registered", "TaskbarCreated")
        self.assertEqual(tip, settle(app.tray_tips, tip))

        # Exit removes the icon and ends the program.
        app.choose("x")  # "E&xit"
        app.launch.wait_exit()
        self.assertEqual([], app.tray_tips())


if __name__ == "__main__":
    unittest.main()

"""The About window and the outside launchers, reached through the real tray menu."""
import re
import subprocess
import time
import unittest

from vantrel_app import ABOUT_CLASS, DIALOG_CLASS, RigTestCase

TWIPS_PER_PIXEL = 15
# Control ids and layout (twips) of the About window, as the table of the design has them.
CONTROLS = {
    "picIcon": (100, 240, 240, 540, 540), "lblTitle": (101, 1050, 240, 4095, 360),
    "lblVersion": (102, 1080, 600, 4095, 225), "lblDescription": (103, 1080, 960, 4095, 1410),
    "Label5": (104, 1080, 2400, 3975, 855), "lblDisclaimer": (105, 255, 3360, 750, 225),
    "Label3": (106, 1080, 3360, 1935, 255), "Label1": (107, 240, 3600, 735, 255),
    "Label4": (108, 1080, 3600, 1935, 255), "cmdOK": (1, 4080, 3600, 1467, 345),
    "Label6": (109, 240, 3840, 375, 255), "Label2": (110, 600, 3840, 495, 255),
    "Label7": (111, 1080, 3840, 2535, 255),
}
DONATION_URL = ("https://www.donations.example/xclick/business=donate@ambrel.example&item_name=Ambrel+Utilities"
                "&item_number=00000001&no_shipping=1&cs=1&tax=0&currency_code=USD")


class AboutWindow(RigTestCase):
    app_debug = "+process"

    def open_about(self) -> str:
        self.app.choose("a")  # "&About"
        return self.rig.wait_window(ABOUT_CLASS, "About Vantrel")

    def about_windows(self) -> list[dict]:
        return [w for w in self.app.windows(self.app.pid()) if w["class"] == ABOUT_CLASS]

    def children(self, about: str) -> dict[int, tuple]:
        """Control id -> (hwnd, screen rect)."""
        found = {}
        for line in self.rig.probe_ok("children", about).splitlines():
            hwnd, control_id = line.split("\t")[:2]
            rect = tuple(map(int, self.rig.probe_ok("rect", hwnd).split()))
            found[int(control_id, 16)] = (hwnd, rect)
        return found

    def click_control(self, about: str, name: str) -> None:
        _, rect = self.children(about)[CONTROLS[name][0]]
        origin = self.rig.desktop_geometry()
        self.rig.click(origin.x + rect[0] + 6, origin.y + (rect[1] + rect[3]) // 2)

    def test_title_version_and_one_window(self):
        about = self.open_about()
        self.assertEqual("Vantrel", self.rig.probe_ok("child-text", about, "101"))
        self.assertEqual("Version 2.0.5", self.rig.probe_ok("child-text", about, "102"))
        self.assertEqual("About Vantrel", self.rig.probe_ok("text", about))
        self.open_about()
        self.assertEqual(1, len(self.about_windows()))

    def test_escape_enter_and_space_close_it(self):
        for key in ("Escape", "Return", "space"):
            about = self.open_about()
            self.click_control(about, "lblDescription")  # focus stays on OK wherever one clicks
            self.rig.xdotool("key", key)
            self.rig.wait_until(lambda: not self.about_windows(), timeout=5, message=f"{key} to close it")
        self.assertTrue(self.app.processes())

    def test_links_hand_their_documents_to_the_browser_and_mailer(self):
        about = self.open_about()
        for name in ("Label6", "Label7", "lblTitle"):
            self.click_control(about, name)
        for name in ("Label2", "Label3", "Label4"):
            self.click_control(about, name)
            time.sleep(0.3)
        self.rig.wait_until(lambda: len(self.rig.recorded_launches()) >= 3, timeout=10, message="three hand-overs")
        time.sleep(0.5)
        self.assertEqual([DONATION_URL, "mailto:mail@ambrel.example?subject=Ambrel%20Utilities:%20Vantrel",
                          "http://ambrel.example/"], self.rig.recorded_launches())
        self.assertEqual(1, len(self.about_windows()), "links leave the window open")

    def test_missing_mail_client_is_reported_and_the_program_goes_on(self):
        self.rig.remove_mailto_association()
        about = self.open_about()
        self.click_control(about, "Label3")
        box = self.rig.wait_window(DIALOG_CLASS, "Vantrel")
        self.assertEqual("Error sending mail. Make sure that you have your email client  correctly installed and "
                         "configured", self.rig.probe_ok("child-text", box, "0xFFFF"))
        self.rig.probe_ok("post", box, "WM_COMMAND", "1", "0")
        self.rig.wait_until(lambda: self.app.find(DIALOG_CLASS, "Vantrel") is None, timeout=5)
        self.assertEqual(["Current Resolution: 1024x768 60Hz"], self.app.tray_tips())

    def test_display_properties_start_the_control_panel_without_waiting(self):
        self.app.choose("o")  # "&Open Display Properties"
        self.rig.wait_until(lambda: "rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3" in self.app.launch.log(),
                            timeout=10, message="rundll32 to start")
        self.open_about()  # the program answers at once
        self.assertEqual(1, len(self.about_windows()))

    def test_exit_closes_the_about_window_too(self):
        self.open_about()
        self.app.choose("x")
        self.rig.wait_until(lambda: not self.app.processes(), timeout=15, message="the program to end")
        self.assertEqual([], self.app.tray_tips())

    def assertLayout(self, children: dict, twips_per_pixel: float) -> tuple[int, int]:
        """Checks every control's rectangle against the design; returns the client origin."""
        def px(twips):
            return int(twips / twips_per_pixel + 0.5)
        icon_rect = children[CONTROLS["picIcon"][0]][1]
        client = (icon_rect[0] - px(240), icon_rect[1] - px(240))
        for name, (control_id, left, top, width, height) in CONTROLS.items():
            expected = (px(left), px(top), px(left) + px(width), px(top) + px(height))
            rect = children[control_id][1]
            self.assertEqual(expected, (rect[0] - client[0], rect[1] - client[1], rect[2] - client[0],
                                        rect[3] - client[1]), name)
        return client

    def test_layout_scales_with_the_dpi(self):
        self.rig.stop()
        self.start_rig(before_app=lambda rig: rig.reg("add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                                                      "/t", "REG_DWORD", "/d", "144", "/f"))
        about = self.open_about()
        self.assertLayout(self.children(about), 1440 / 144)
        left, top, right, bottom = map(int, self.rig.probe_ok("rect", about).split())
        self.assertGreater(right - left, 5865 / 10, "the frame around a 1.5 times larger client area")

    def test_layout_at_96_dpi_matches_the_design(self):
        about = self.open_about()
        children = self.children(about)
        client = self.assertLayout(children, TWIPS_PER_PIXEL)
        shot = self.rig.screenshot()
        origin = self.rig.desktop_geometry()

        def pixel(x, y):
            out = subprocess.run(["convert", shot, "-crop", f"1x1+{origin.x + client[0] + x}+{origin.y + client[1] + y}",
                                  "txt:"], capture_output=True, text=True, check=True).stdout
            return tuple(map(int, re.search(r"\((\d+),(\d+),(\d+)", out).groups()))
        self.assertEqual((128, 128, 128), pixel(300, 218))  # the etched rule: grey, then white
        self.assertEqual((255, 255, 255), pixel(300, 219))
        self.assertEqual((255, 255, 255), pixel(300, 220))
        self.assertEqual((192, 192, 192), pixel(17, 17))  # the picture box's background
        link = children[CONTROLS["Label2"][0]][1]
        crop = f"{link[2] - link[0]}x{link[3] - link[1]}+{origin.x + link[0]}+{origin.y + link[1]}"
        colours = subprocess.run(["convert", shot, "-crop", crop, "-unique-colors", "txt:"],
                                 capture_output=True, text=True, check=True).stdout
        self.assertIn("(0,0,255)", colours.replace(" ", ""), "link text is blue")


if __name__ == "__main__":
    unittest.main()

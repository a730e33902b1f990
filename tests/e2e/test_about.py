"""The About window and the outside launchers, reached through the real tray menu."""
import re
import subprocess
import unittest
from pathlib import Path

from rig import wait_until, windows_path
from vantrel_app import ABOUT_CLASS, DIALOG_CLASS, VANTREL, TrayApp, assert_never, new_rig

DONATION_URL = ("https://www.donations.example/xclick/business=donate@ambrel.example&item_name=Ambrel+Utilities"
                "&item_number=00000001&no_shipping=1&cs=1&tax=0&currency_code=USD")
MAIL_LINK = "mailto:mail@ambrel.example?subject=Ambrel%20Utilities:%20Vantrel"  # Wine encodes the blanks
HOME_PAGE = "http://ambrel.example/"
VERSION_LINE = "Version " + (Path(__file__).resolve().parents[2] / "VERSION").read_text().strip()
# The children as screen readers walk them (z-order), by the start of their text.
READING_ORDER = ["Static", "Vantrel", VERSION_LINE, "Vantrel allows", "Custom versions", "Feedback:",
                 "mail@ambrel.example", "Website:", HOME_PAGE, "OK", "Click", " HERE", " to support"]
TAB_CYCLE = ["OK", " HERE", "mail@ambrel.example", HOME_PAGE, "OK"]
MAIL_FAILED = ("Error sending mail. Make sure that you have your email client  correctly installed and "
               "configured")


def crop(shot, c: dict, *query: str) -> str:
    """ImageMagick's answer to `query` about a control's pixels on a screenshot."""
    area = f"{c['right'] - c['left']}x{c['bottom'] - c['top']}+{c['x0'] + c['left']}+{c['y0'] + c['top']}"
    return subprocess.run(["convert", shot, "-crop", area, *query], capture_output=True, text=True, check=True).stdout


def changed_pixels(before, after, area: dict) -> list[str]:
    """The pixels of `area` ("x,y" from its top-left corner) that differ between two screenshots."""
    pairs = zip(crop(before, area, "txt:").splitlines(), crop(after, area, "txt:").splitlines())
    return [pixel.split(":")[0] for pixel, other in pairs if pixel != other]


def controls(rig, about: str) -> tuple[tuple[int, int], dict[str, dict]]:
    """The client size, and the controls by their text (the picture box by its class):
    their rectangle in the client area, and where the client area starts on the X screen."""
    lines = rig.probe_ok("children", about).splitlines()
    _, width, height, x, y = lines[0].split("\t")
    desktop = rig.desktop_geometry()
    found = {}
    for line in lines[1:]:
        _, cls, _, left, top, right, bottom, text = line.split("\t")
        found[text or cls] = dict(left=int(left), top=int(top), right=int(right), bottom=int(bottom),
                                  x0=desktop.x + int(x), y0=desktop.y + int(y))
    return (int(width), int(height)), found


class AboutWindow(unittest.TestCase):
    def start(self, dpi: int = 96, colours: dict[str, str] | None = None) -> None:
        self.rig = new_rig(dpi=dpi, colours=colours).start()
        self.addCleanup(self.rig.stop)
        self.app = TrayApp(self.rig, debug="+process,+key")  # +key: every key press that reaches it

    def open_about(self) -> str:
        self.app.choose("a")  # "&About"
        return self.rig.wait_window(ABOUT_CLASS, "About Vantrel")

    def about_windows(self) -> int:
        return self.app.visible_windows().count(ABOUT_CLASS)

    def click(self, control: dict, times: int = 1) -> None:
        self.rig.xdotool("mousemove", control["x0"] + control["left"] + 4,
                         control["y0"] + (control["top"] + control["bottom"]) // 2, "click", "--repeat", times, 1)

    def focus_after(self, about: str, keys: list[str], expected: str) -> None:
        if keys:
            self.rig.xdotool("key", *keys)
        wait_until(lambda: self.rig.probe_ok("focus", about) == expected, 5, message=f"{keys} to focus {expected!r}")

    def hold(self, key: str) -> None:
        """Holds `key` down until it has reached the program repeated, then lets go."""
        presses = re.compile(r"send_keyboard_input .* flags=0000")  # Wine's +key trace; 2 is a release
        seen = len(presses.findall(self.app.launch.log()))
        self.rig.xdotool("keydown", key)
        wait_until(lambda: len(presses.findall(self.app.launch.log())) >= seen + 4, 10, message=f"{key} repeats")
        self.rig.xdotool("keyup", key)

    def focus_drawn(self, before, client: dict, found: dict[str, dict], previous: str, text: str):
        """Waits for the focus rectangle on `text` and returns that screenshot. Only the own pixels of
        `previous` and `text` changed: labels overlap by a pixel, and a shared one is a neighbour's too."""
        def owners(pixel: str):
            x, y = map(int, pixel.split(","))
            return tuple(t for t, c in found.items() if c["left"] <= x < c["right"] and c["top"] <= y < c["bottom"])

        def drawn():
            after = self.rig.screenshot()
            changed = set(map(owners, changed_pixels(before, after, client)))
            return (text,) in changed and (after, changed)
        after, changed = wait_until(drawn, 5, message=f"the focus rectangle on {text!r}")
        self.assertEqual(set(), changed - {(text,), (previous,)}, f"pixels changed as {text!r} took the focus")
        return after

    def assertLaidOut(self, client: tuple[int, int], found: dict[str, dict], twips_per_pixel: float) -> None:
        """The window holds its whole layout, rows stand on one line, and the sentence
        "Click HERE to support utilities like this one." reads as one."""
        self.assertEqual((round(5865 / twips_per_pixel + 1e-9), round(4155 / twips_per_pixel + 1e-9)), client)
        for text, c in found.items():
            self.assertTrue(0 <= c["left"] < c["right"] <= client[0] and 0 <= c["top"] < c["bottom"] <= client[1],
                            f"{text!r} is clipped: {c} in {client}")
        # Laid out for the window's DPI, the controls reach across it (OK's right edge, the
        # last row's bottom) as they do at 96 dpi.
        self.assertGreater(max(c["right"] for c in found.values()), 0.9 * client[0])
        self.assertGreater(max(c["bottom"] for c in found.values()), 0.9 * client[1])
        rows = [["Feedback:", "mail@ambrel.example"], ["Website:", HOME_PAGE, "OK"],
                ["Click", " HERE", " to support utilities like this one."]]
        for row in rows:
            self.assertEqual(1, len({found[text]["top"] for text in row}), row)
        sentence = rows[2]
        for before, after in zip(sentence, sentence[1:]):
            self.assertLessEqual(abs(found[after]["left"] - found[before]["right"]), 2, (before, after))
        column = [VERSION_LINE, "mail@ambrel.example", HOME_PAGE, " to support utilities like this one."]
        self.assertEqual(1, len({found[text]["left"] for text in column}), column)
        # The dialog font is sized in points: its letters grow with the DPI like the layout.
        ink = crop(self.rig.screenshot(), found[VERSION_LINE], "-fuzz", "20%", "-trim", "-format", "%h", "info:")
        self.assertAlmostEqual(8 * 15 / twips_per_pixel, int(ink), delta=1)

    def test_about_and_the_launchers(self):
        self.start()
        rig, app = self.rig, self.app
        about = self.open_about()  # by its caption, "About Vantrel"
        client, found = controls(rig, about)
        self.open_about()
        self.assertEqual(1, self.about_windows(), "one About window at most")
        self.assertLaidOut(client, found, 15)
        self.assertEqual(READING_ORDER, [text[:len(start)] for text, start in zip(found, READING_ORDER)])

        # The etched rule is grey over white; the picture sits on light grey; links are blue.
        shot = rig.screenshot()
        x0, y0 = found["OK"]["x0"], found["OK"]["y0"]

        def colours(x, y, w=1, h=1):
            out = crop(shot, dict(x0=x0, y0=y0, left=x, top=y, right=x + w, bottom=y + h), "-unique-colors", "txt:")
            return {tuple(map(int, m)) for m in re.findall(r"\((\d+),(\d+),(\d+)", out)}
        self.assertEqual([{(128, 128, 128)}, {(255, 255, 255)}, {(255, 255, 255)}],
                         [colours(300, y) for y in (218, 219, 220)])
        self.assertEqual({(192, 192, 192)}, colours(found["Static"]["left"] + 1, found["Static"]["top"] + 1))
        here = found[" HERE"]
        self.assertIn("(0,0,255)", crop(shot, here, "-unique-colors", "txt:"))

        # Only the three links hand anything over, and the window stays open.
        for text in ("Click", " to support utilities like this one.", "Vantrel"):
            self.click(found[text])
        for text, times in ((" HERE", 1), ("mail@ambrel.example", 1), (HOME_PAGE, 2)):  # a double click opens once
            self.click(found[text], times)
        wait_until(lambda: len(rig.recorded_launches()) >= 3, 10, message="three hand-overs")
        self.assertEqual(1, self.about_windows())

        # Tab walks from OK over the links and back, Space or Enter opens each link once, held
        # as long as it may be, and the window stays open; Shift+Tab walks back. A focused link
        # shows the focus rectangle, which the mouse never brings.
        self.click(found["Vantrel"])  # makes the window active; OK keeps the focus
        before, area = rig.screenshot(), dict(here, left=0, top=0, right=client[0], bottom=client[1])
        for keys, cycle in ((["Tab"], TAB_CYCLE), (["shift+Tab"], TAB_CYCLE[::-1])):
            for previous, text in zip(cycle, cycle[1:]):
                self.focus_after(about, keys, text)
                if keys == ["Tab"] and text != "OK":
                    before = self.focus_drawn(before, area, found, previous, text)
                    self.hold("space" if text == " HERE" else "Return")
        self.assertEqual(crop(shot, here, "txt:"), crop(rig.screenshot(), here, "txt:"))
        wait_until(lambda: len(rig.recorded_launches()) >= 6, 10, message="three more hand-overs")

        # Esc closes it wherever the focus is, Enter and Space with OK focused, as it opens.
        for key, tabs in (("Escape", 3), ("Return", 0), ("space", 0)):
            about = self.open_about()
            self.click(found["Vantrel"])
            self.focus_after(about, ["Tab"] * tabs, TAB_CYCLE[tabs])
            if tabs:  # back from a dismissed tray menu, the focus is where it was
                rig.probe_ok("menu-keys", app.open_popup(), "ESCAPE")
                back = rig.foreground_after_tray_menu(about)
                wait_until(lambda: rig.probe_ok("foreground") == back, 5, message="the foreground back where it was")
                self.click(found["Vantrel"])
                self.focus_after(about, [], TAB_CYCLE[tabs])
            rig.xdotool("key", key)
            wait_until(lambda: not self.about_windows(), 5, message=f"{key} to close it")

        # The display control panel starts, and the program answers at once.
        app.choose("o")  # "&Open Display Properties"
        app.launch.wait_log(re.escape('cmdline L"rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3"'))
        self.open_about()

        # Without a mail client the feedback link says so, and the program goes on.
        rig.reg("delete", r"HKCR\mailto", "/f")
        self.click(found["mail@ambrel.example"])
        box = rig.wait_window(DIALOG_CLASS, "Vantrel")
        self.assertEqual(MAIL_FAILED, rig.box_text(box))
        rig.probe_ok("post", box, "WM_COMMAND", "1", "0")
        wait_until(lambda: app.find(DIALOG_CLASS, "Vantrel") is None, 5, message="the message box to close")

        # Exit closes the About window too. Each press opened its link once; the hand-overs run
        # side by side, so they are recorded in no set order.
        app.choose("x")  # "E&xit"
        app.launch.wait_exit()
        self.assertEqual(sorted([DONATION_URL, MAIL_LINK, HOME_PAGE] * 2), sorted(rig.recorded_launches()))

    def test_layout_at_150_percent_in_high_contrast(self):
        # High contrast as Windows sets it: the theme's colours, which Wine takes from the registry,
        # and the system's answer that it is on, which Wine 8 never gives: a DLL that the probe's
        # hook loads into the program gives it in Wine's place, and reports the icons' sizes.
        self.start(dpi=144, colours={"Window": "0 0 0", "WindowText": "255 255 255", "HotTrackingColor": "255 255 0"})
        rig = self.rig
        rig.launch(VANTREL.parent / "probe.exe",
                   ["hook-cbt", windows_path(VANTREL.parent / "inside.dll"), "InsideVantrel"]).wait_log("held")
        client, found = controls(rig, self.open_about())
        # Text and background in the theme's colours, links too.
        shot = rig.screenshot()
        for text, colour in (("Vantrel", "(255,255,255)"), (" HERE", "(255,255,0)"), (" HERE", "(0,0,0)")):
            self.assertIn(colour, crop(shot, found[text], "-unique-colors", "txt:"), text)
        self.assertNotIn("(0,0,255)", crop(shot, found[" HERE"], "-unique-colors", "txt:"))
        self.assertLaidOut(client, found, 10)
        assert_never(lambda: rig.probe("find", DIALOG_CLASS, "-").ok, 0.5, "a message box appeared")
        # The picture and the icons are loaded for 150 %, each icon at its own size: the small one,
        # which the tray shows, scaled from the large one or taken from a cache at another size
        # would look blurred.
        picture = crop(shot, found["Static"], "-trim", "-format", "%w %h", "info:")
        self.assertGreater(min(map(int, picture.split())), 32, "the picture is larger than 32 pixels")
        sizes = [rig.probe_ok("prop", self.app.hwnd, f"{size}IconPixels") for size in ("Small", "Large")]
        self.assertEqual(["24", "48"], sizes)


if __name__ == "__main__":
    unittest.main()

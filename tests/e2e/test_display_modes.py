"""The program's own display-mode code, built for Windows, against Wine's display
driver: a 1600x1200 X screen whose Wine desktop is 1024x768."""
import unittest

from vantrel_app import DIALOG_CLASS, MODE_TOOL, RigTestCase


class DisplayModes(RigTestCase):
    start_app = False

    def mode_tool(self, *args) -> str:
        done = self.rig.wine(MODE_TOOL, *map(str, args), timeout=60)
        self.assertEqual(0, done.returncode, done.stderr)
        return done.stdout.decode().strip()

    def test_reads_and_tests_modes_without_changing_the_desktop(self):
        self.assertRegex(self.mode_tool("current"), r"^1024x768 60Hz (8|16|24|32)bpp$")
        self.assertEqual("0", self.mode_tool("test", 800, 600, 60))
        self.assertEqual("-2", self.mode_tool("test", 800, 600, 75))
        self.assertEqual("-2", self.mode_tool("test", 1280, 768, 60))
        self.assertEqual((1024, 768), self.rig.desktop_geometry().size)

    def test_change_resizes_the_desktop_and_keeps_the_colour_depth(self):
        depth_before = self.mode_tool("current").split()[-1]
        self.assertEqual("done", self.mode_tool("change", 800, 600, 60))
        self.rig.wait_until(lambda: self.rig.desktop_geometry().size == (800, 600), timeout=10,
                            message="the desktop to become 800x600")
        self.assertEqual(f"800x600 60Hz {depth_before}", self.mode_tool("current"))

    def test_refused_change_says_so_and_changes_nothing(self):
        tool = self.rig.launch(MODE_TOOL, ["change", "800", "600", "75"])
        box = self.rig.wait_window(DIALOG_CLASS, "Problem!")
        self.assertEqual("That resolution is not supported!", self.rig.probe_ok("child-text", box, "0xFFFF"))
        self.rig.probe_ok("post", box, "WM_COMMAND", "1", "0")
        tool.wait_exit(timeout=10)
        self.assertEqual((1024, 768), self.rig.desktop_geometry().size)


if __name__ == "__main__":
    unittest.main()

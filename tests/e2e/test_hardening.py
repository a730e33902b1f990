"""The real program under Wine against what other programs may do to it: files planted
beside it, messages with bad pointers and handles, the end of the session, and a copy
of itself running out of reach (elevated)."""
import shutil
import time
import unittest

from vantrel_app import ABOUT_CLASS, DIALOG_CLASS, MAIN_CLASS, VANTREL, RigTestCase, TrayApp, new_rig

TIP_1024 = "Current Resolution: 1024x768 60Hz"
INSTANCE_MUTEX = r"Local\AmbrelUtilities.Vantrel.Instance"


class PlantedFiles(unittest.TestCase):
    """A copy run from a Downloads folder in which someone left a rundll32.exe and a DLL
    named like a system one."""

    def test_the_system_rundll32_and_system_dlls_are_used_not_the_planted_ones(self):
        with new_rig() as rig:
            downloads = rig.dir / "Downloads"
            downloads.mkdir()
            shutil.copy(VANTREL, downloads / "vantrel.exe")
            shutil.copy(rig.probe_exe, downloads / "rundll32.exe")
            # Loaded by name once the program runs (for the first window's theme); Wine's
            # own DLLs that the loader pulls in as dependencies ignore the search order.
            shutil.copy(rig.prefix / "drive_c" / "windows" / "system32" / "uxtheme.dll", downloads)
            app = TrayApp(rig, debug="+process,+loaddll", exe=downloads / "vantrel.exe")
            app.choose("o")  # "&Open Display Properties"
            started = app.launch.wait_log(r'NtCreateUserProcess L"[^"]*rundll32.exe" image L"([^"]*)" '
                                          r'cmdline L"([^"]*)"')
            self.assertEqual(r"C:\windows\system32\rundll32.exe", started[1].replace("\\\\", "\\"))
            self.assertEqual("rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3", started[2])
            loaded = [line for line in app.launch.log().splitlines() if "Loaded" in line and "uxtheme" in line]
            self.assertTrue(loaded, "the theme DLL was loaded")
            self.assertFalse([line for line in loaded if "Downloads" in line], loaded)


class MessagesFromOtherPrograms(RigTestCase):
    def test_bad_pointers_and_handles_are_ignored_and_the_session_end_removes_the_icon(self):
        self.app.choose("a")
        about = self.rig.wait_window(ABOUT_CLASS)
        desktop = self.rig.probe_ok("find", "Shell_TrayWnd", "-")  # a window not of this program
        for window in (self.app.hwnd, about):
            for message, wparam, lparam in (("WM_DPICHANGED", 0x00600060, 0),   # no rectangle
                                            ("WM_DPICHANGED", 0, 0x1000),       # zero DPI, bad pointer
                                            ("WM_NCDESTROY", 0, 0),
                                            ("WM_CTLCOLORSTATIC", 0, desktop),
                                            ("WM_CTLCOLORSTATIC", 0x1000, 0x1000),
                                            ("WM_SETCURSOR", desktop, 0),
                                            ("WM_TIMER", 1, 0x1000)):          # a bad timer procedure
                self.rig.probe_ok("post", window, message, wparam, lparam)
        # Posted messages are taken in order: once the tooltip has been read again, all
        # of the above have been dealt with.
        self.rig.probe_ok("post", self.app.hwnd, "WM_TIMER", 1, 0)
        self.rig.probe_ok("post", about, "WM_COMMAND", 110, 0)  # " HERE": About still works
        self.rig.wait_until(lambda: self.rig.recorded_launches(), timeout=10, message="the donation link")
        self.assertTrue(self.app.running())
        self.assertEqual([TIP_1024], self.app.tray_tips())

        self.rig.probe_ok("post", self.app.hwnd, "WM_QUERYENDSESSION", 0, 0)
        self.rig.probe_ok("post", self.app.hwnd, "WM_ENDSESSION", 1, 0)
        self.rig.wait_until(lambda: not self.app.processes(), timeout=15, message="the program to end")
        self.assertEqual([], self.app.tray_tips(), "no icon left behind")


class ElevatedCopy(unittest.TestCase):
    def test_a_copy_out_of_reach_counts_as_running(self):
        with new_rig() as rig:
            holder = rig.launch(rig.probe_exe, ["deny-mutex", INSTANCE_MUTEX])
            holder.wait_log("held")
            started = time.monotonic()
            second = rig.wine(VANTREL, timeout=20)  # returns when the copy has ended
            self.assertEqual(0, second.returncode)
            self.assertLess(time.monotonic() - started, 10)
            self.assertEqual([], rig.probe_ok("tray-tips").splitlines(), "no icon added")
            self.assertFalse(rig.probe("find", MAIN_CLASS, "-").ok)
            self.assertFalse(rig.probe("find", DIALOG_CLASS, "-").ok, "nothing said")


if __name__ == "__main__":
    unittest.main()

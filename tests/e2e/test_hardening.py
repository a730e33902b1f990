"""The real program under Wine against what others may do to it (the README's hostile
surroundings, each step named below), on a desktop taller than the screens of the past."""
import os
import shutil
import signal
import unittest
from concurrent.futures import ThreadPoolExecutor

from rig import THEME_DLL_BEFORE_THE_PROGRAM, Launch, wait_until, windows_path
from vantrel_app import ABOUT_CLASS, DIALOG_CLASS, VANTREL, TrayApp, new_rig

INSTANCE_MUTEX = r"Local\AmbrelUtilities.Vantrel.Instance"
# Posted and sent to the main window and the About window; none may crash the program.
BAD_MESSAGES = [("WM_DPICHANGED", 0x00600060, 0),        # no rectangle
                ("WM_DPICHANGED", 0, 0x1000),            # zero DPI, a pointer to nowhere
                ("WM_NCCREATE", 0, 0),
                ("WM_NCDESTROY", 0, 0),
                ("WM_CTLCOLORSTATIC", 0x1000, 0x1000),   # a device context and window of nobody
                ("WM_SETCURSOR", 0x1000, 0),
                ("WM_TIMER", 1, 0x1000)]                 # a timer procedure at a bad address


class HostileSurroundings(unittest.TestCase):
    def test_an_elevated_copy_planted_files_bad_messages_and_the_end_of_the_session(self):
        # 1440 pixels tall: 20000 twips (1333 pixels) would lie on it. The screen is the
        # desktop's size: Wine 10 spreads a desktop of this size over the whole screen.
        rig = new_rig(screen="1024x1440", desktop="1024x1440").start()
        self.addCleanup(rig.stop)
        downloads = rig.dir / "Downloads"
        downloads.mkdir()
        exe = downloads / "vantrel.exe"
        shutil.copy(VANTREL, exe)

        # A copy running elevated holds the instance mutex out of this copy's reach.
        shutil.copy(rig.probe_exe, rig.dir / "elevated.exe")
        elevated = rig.launch(rig.dir / "elevated.exe", ["deny-mutex", INSTANCE_MUTEX])
        elevated.wait_log("held")
        self.assertEqual(0, rig.wine(exe, timeout=20).returncode)  # returns once the copy has ended
        self.assertEqual([], rig.probe_ok("tray-tips").splitlines(), "no icon added")
        self.assertFalse(rig.probe("find", DIALOG_CLASS, "-").ok, "nothing said")
        for pid in elevated.pids():
            os.kill(pid, signal.SIGKILL)
        elevated.wait_exit()

        # Planted beside the exe: a rundll32.exe, and a DLL named like the system's theme
        # DLL, which is loaded by name once the program runs. (Wine's own DLLs that the
        # loader pulls in as dependencies of others ignore the search order.)
        shutil.copy(rig.probe_exe, downloads / "rundll32.exe")
        shutil.copy(rig.prefix / "drive_c" / "windows" / "system32" / "uxtheme.dll", downloads)
        app = TrayApp(rig, debug="+process,+loaddll", exe=exe)
        # Wine's kernel32 logs the registration it was handed: an installer's Restart Manager
        # would start this copy again after an update, but not after a crash, a hang or a reboot.
        self.assertEqual("(null),11", app.launch.wait_log(r"RegisterApplicationRestart \((.*)\)")[1])
        tip = app.tray_tips()
        self.assertEqual(["Current Resolution: 1024x1440 60Hz"], tip)
        self.assertEqual("1440", rig.probe_ok("rect", app.hwnd).split()[1], "parked just below the desktop")
        app.choose("o")  # "&Open Display Properties"
        started = app.launch.wait_log(r'NtCreateUserProcess L"[^"]*rundll32.exe" image L"([^"]*)" '
                                      r'cmdline L"([^"]*)"')
        self.assertEqual(r"C:\windows\system32\rundll32.exe", started[1].replace("\\\\", "\\"))
        self.assertEqual("rundll32.exe shell32.dll,Control_RunDLL desk.cpl,,3", started[2])
        themes = [line for line in app.launch.log().splitlines() if "Loaded" in line and "uxtheme" in line]
        with self.subTest("the theme DLL planted beside the exe"):
            if THEME_DLL_BEFORE_THE_PROGRAM:
                self.skipTest("NOT TRIED: this Wine loads uxtheme.dll before the program's first line")
            self.assertTrue(themes, "the theme DLL was loaded")
            self.assertFalse([line for line in themes if "Downloads" in line], themes)

        # Bad pointers and handles from another program are ignored.
        app.choose("a")  # "&About"
        about = rig.wait_window(ABOUT_CLASS)
        for window in (app.hwnd, about):
            for message, wparam, lparam in BAD_MESSAGES:
                # Wine refuses to carry a few of them across processes; the rest arrive.
                rig.probe("post", window, message, wparam, lparam)
                rig.probe("send", window, message, wparam, lparam)
        # Posted messages are taken in order: once " HERE" has handed its link over, all
        # of the above have been dealt with.
        rig.probe_ok("post", about, "WM_COMMAND", 110, 0)  # " HERE"
        wait_until(rig.recorded_launches, 10, message="the donation link")
        [ok] = [line.split("\t") for line in rig.probe_ok("children", about).splitlines() if line.endswith("\tOK")]
        self.assertGreater(int(ok[5]), int(ok[3]), "the About window keeps its layout")
        self.assertEqual(tip, app.tray_tips())

        # The session ends: the program ends with it and leaves no icon behind.
        rig.probe_ok("post", app.hwnd, "WM_QUERYENDSESSION", 0, 0)
        rig.probe_ok("post", app.hwnd, "WM_ENDSESSION", 1, 0)
        app.launch.wait_exit()
        self.assertEqual([], app.tray_tips())

        # Another program's hook refuses Vantrel's windows: the user is told, and whoever
        # started the program learns from its exit code that something failed, be it the About
        # window of a running copy (after Exit) or the main window of one that starts. The hook's
        # DLL and the program that sets it have the bitness of the build under test.
        with ThreadPoolExecutor(2) as pool:
            running = pool.submit(rig.wine, exe, timeout=180)
            app = TrayApp(rig, launch=Launch(rig, rig.dir / "unlogged", exe.name.lower()))
            refusing = ["hook-cbt", windows_path(VANTREL.parent / "deny_window.dll"), "RefuseVantrelWindows"]
            rig.launch(VANTREL.parent / "probe.exe", refusing).wait_log("held")

            def told(caption: str) -> None:
                box = rig.wait_window(DIALOG_CLASS, "Vantrel")  # Wine 10's display control panel is one too
                self.assertEqual(f'The window "{caption}" could not be created.', rig.box_text(box))
                rig.probe_ok("post", box, "WM_COMMAND", 1, 0)  # IDOK
                wait_until(lambda: not rig.probe("find", DIALOG_CLASS, "Vantrel").ok, 10, message="the box to close")
            app.choose("a")  # "&About"
            told("About Vantrel")
            second = pool.submit(rig.wine, exe, timeout=30)
            told("Vantrel")
            self.assertEqual(1, second.result().returncode)
            app.choose("x")  # "E&xit"
            self.assertEqual(1, running.result().returncode)


if __name__ == "__main__":
    unittest.main()

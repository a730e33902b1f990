"""The x64 MSI under Wine's own msiexec, installed, upgraded and removed silently as a user
and as an administrator would (the README's installer paragraphs tell each step). Wine runs
the 64-bit exe and custom action; the package holds the 32-bit custom action too, so it
needs build/win32 and build/win64 (the x86 package's tables are checked by test_msi_rules).
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(REPO / "scripts"), str(REPO / "tests" / "e2e")]
import release  # noqa: E402
from rig import settle, wait_until, windows_path  # noqa: E402
from vantrel_app import MAIN_CLASS, new_rig  # noqa: E402

UNINSTALL = r"\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Wine files every MSI's entry under HKLM, a 32-bit package's in the 32-bit view; Windows
# keeps a per-user one with the user. The icon is the product's, as Windows' list shows it.
ENTRY_PLACES = [("HKCU" + UNINSTALL,), ("HKLM" + UNINSTALL, "/reg:32"), ("HKLM" + UNINSTALL, "/reg:64")]
PRODUCTS = r"HKCU\Software\Microsoft\Installer\Products"
OWN_KEY = r"HKCU\Software\Ambrel Utilities"
MACHINE_KEY = r"HKLM\Software\Ambrel Utilities\Vantrel"
# The version to release, and the three after it that upgrade it.
V, V1, V2, V3 = VERSIONS = [release.next_patch(release.VERSION, n) for n in range(4)]


class InstalledWithMsiexec(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        tmp = tempfile.TemporaryDirectory(prefix="vantrel-msi-")
        cls.addClassCleanup(tmp.cleanup)
        files = Path(tmp.name) / "files"
        for source, name in (("build/win32/vantrel.exe", "vantrel.exe"), ("build/win64/vantrel.exe", "x64/vantrel.exe"),
                             ("LICENSE", "LICENSE"), ("packaging/README.txt", "README.txt"),
                             ("build/win32/close_running.dll", "msi/close_running32.dll"),
                             ("build/win64/close_running.dll", "msi/close_running64.dll")):
            (files / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(REPO / source, files / name)
        cls.msi = {v: release.build_msi(files, Path(tmp.name) / release.msi_name(v, "x64"), v, "test", 1700000000, "x64")
                   for v in VERSIONS}
        cls.msi32 = release.build_msi(files, Path(tmp.name) / release.msi_name(V), V, "test", 1700000000)

    def setUp(self):
        self.rig = new_rig().start()
        self.addCleanup(self.rig.stop)
        self.user = next(p for p in (self.rig.prefix / "drive_c" / "users").iterdir() if p.name != "Public")
        menu = self.user / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
        self.exe = self.user / "AppData/Local/Programs/Vantrel/vantrel.exe"
        startup = next(menu.glob("Start[Uu]p"))  # Wine's prefix spells it StartUp
        self.menu_link, self.startup_link = menu / "Vantrel.lnk", startup / "Vantrel.lnk"

    def msiexec(self, *args, refused_at=""):
        """Its log. Refused, it ends with 1603 (its low byte on Linux) at that launch condition,
        which Wine's trace names (Wine shows the message only in a dialog)."""
        log = self.rig.dir / "msiexec.log"
        done = self.rig.wine("msiexec", *args, "/qn", "/l*v", windows_path(log), timeout=180,
                             debug="+msi" if refused_at else "")
        self.assertEqual(1603 & 0xFF if refused_at else 0, done.returncode, f"{args}: {done.stderr[-2000:]!r}")
        self.assertIn(f'0 <- L"{refused_at}"' if refused_at else "", done.stderr.decode(errors="replace"))
        return log.read_bytes().decode(errors="replace")

    def user_files(self):
        # Two known folders of Windows stay, empty: Windows Installer's own, where it keeps
        # product icons, and %LOCALAPPDATA%\Programs, the per-user Program Files.
        known = {("Microsoft", "Installer"), ("Local", "Programs")}
        return {p for p in self.user.rglob("*") if "Temp" not in p.parts and p.parts[-2:] not in known}

    def query(self, key, *view):
        return self.rig.wine("reg", "query", key, "/s", *view).stdout.decode(errors="replace")

    def copies(self):
        """The running Vantrels' process ids."""
        return [pid for pid, cmd in self.rig.processes() if "vantrel.exe" in cmd.lower() and "/desktop=" not in cmd]

    def running_copy(self, after):
        """The Windows process id of the one running Vantrel, once its icon is shown."""
        shown = lambda: self.rig.probe_ok("tray-tips") and self.rig.probe_ok("find", MAIN_CLASS, "-")  # noqa: E731
        window = wait_until(shown, 30, message=f"Vantrel's icon after {after}")
        self.assertEqual(1, len(self.copies()), f"copies running after {after}")
        return self.rig.probe_ok("pid", window)

    def entries(self):
        """The DisplayVersion of each Vantrel in the installed-programs list."""
        listing = "".join(self.query(*place) for place in ENTRY_PLACES).split("HKEY_")
        return [line.split()[-1] for entry in listing if "Vantrel" in entry
                for line in entry.splitlines() if "DisplayVersion" in line]

    def test_install_start_upgrade_and_uninstall(self):
        # What Wine cannot show, read from the sequence: Windows looks for files in use at
        # InstallValidate (an upgrade's removal follows it), and Wine never runs as LocalSystem.
        table = subprocess.run(["msiinfo", "export", self.msi[V1], "InstallExecuteSequence"],
                               capture_output=True, text=True, check=True).stdout
        rows = {action: (condition, int(number)) for action, condition, number in
                (line.split("\t") for line in table.splitlines()[3:])}
        for close in ("CloseRunning32", "CloseRunning64"):
            self.assertLess(rows[close][1], rows["InstallValidate"][1], close)
        self.assertIn('UserSID<>"S-1-5-18"', rows["StartVantrel"][0])
        self.assertGreater(rows["StartVantrel"][1], rows["InstallFinalize"][1])

        before = self.user_files()
        self.msiexec("/i", windows_path(self.msi[V]))
        first = self.running_copy("installing")
        self.assertEqual((REPO / "build/win64/vantrel.exe").read_bytes(), self.exe.read_bytes())
        self.assertTrue(self.menu_link.is_file() and self.startup_link.is_file(), "both shortcuts")
        entry = "".join(self.query(*place) for place in ENTRY_PLACES)
        for expected in ("Vantrel", V, "Ambrel Utilities", "HelpLink    REG_SZ    http://ambrel.example/"):
            self.assertIn(expected, entry)
        self.assertEqual([V], self.entries())
        icon = self.query(PRODUCTS).split("ProductIcon    REG_SZ    C:")[1].split("\r")[0].replace("\\", "/")
        self.assertTrue((self.rig.prefix / f"drive_c{icon}").is_file(), f"the product icon {icon}")

        # The upgrade closes the running copy and waits for it to end before the exe is
        # replaced, then starts the new version.
        self.msiexec("/i", windows_path(self.msi[V1]))
        self.assertNotEqual(first, self.running_copy("upgrading"), "the copy of before the upgrade")
        self.assertEqual([V1], self.entries())
        self.assertEqual([self.exe], list(self.user.rglob("vantrel.exe")))

        # A copy busy for a few seconds when it is asked to close (stopped here) makes the
        # uninstall wait: its files are removed only once it has ended.
        busy = self.copies()[0]
        os.kill(busy, signal.SIGSTOP)
        resume = threading.Timer(5, os.kill, (busy, signal.SIGCONT))
        resume.start()
        self.addCleanup(resume.cancel)
        self.msiexec("/x", windows_path(self.msi[V1]))
        self.assertEqual([], self.copies(), "closed before its files were removed")
        # Judged once the files have settled, within a deadline, as the end-to-end tests do.
        left = settle(lambda: self.user_files() - before, set())
        self.assertEqual(set(), left, "left behind after uninstalling")
        self.assertEqual([], self.entries())
        self.assertNotEqual(0, self.rig.wine("reg", "query", OWN_KEY).returncode, f"{OWN_KEY} is left")

    def test_the_start_at_sign_in_choice_survives_upgrades(self):
        self.msiexec("/i", windows_path(self.msi32))
        self.assertTrue(self.startup_link.is_file(), "a new install starts with Windows")
        # The x64 package of the same version replaces the x86 one rather than sharing its folder.
        self.msiexec("/i", windows_path(self.msi[V]))
        self.assertEqual(([V], release.sha256(REPO / "build/win64/vantrel.exe")), (self.entries(), release.sha256(self.exe)))
        # One scope at a time: an administrator's ALLUSERS=1 stops at the per-user copy,
        # whose product code the message names ("msiexec /x [USERCOPY]").
        log = self.msiexec("/i", windows_path(self.msi[V1]), "ALLUSERS=1",
                           refused_at="Installed OR NOT ALLUSERS OR NOT USERCOPY")
        self.assertIn(f"USERCOPY = {{{release.product_code(V, 'x64')}}}", log)
        self.assertFalse((self.rig.prefix / "drive_c/Program Files/Vantrel").exists(), "half done")
        # An upgrade keeps the shortcut; the user deletes it; neither a repair nor an upgrade
        # brings it back; STARTWITHWINDOWS=1 on the upgrade's command line does.
        for version, *extra, linked in ((V1, True), (V1, "REINSTALL=ALL", "REINSTALLMODE=omus", False),
                                        (V2, False), (V3, "STARTWITHWINDOWS=1", True)):
            if "REINSTALL=ALL" in extra:
                self.startup_link.unlink()
            self.msiexec("/i", windows_path(self.msi[version]), *extra)
            self.assertEqual(linked, self.startup_link.is_file(), f"the Startup shortcut after {version} {extra}")

    def test_an_administrator_installs_upgrades_and_removes_it_for_every_user(self):
        drive = self.rig.prefix / "drive_c"
        before = set(drive.rglob("*"))
        self.msiexec("/i", windows_path(self.msi[V]), "ALLUSERS=1", "STARTWITHWINDOWS=0")
        # The 64-bit package: the 64-bit exe under Program Files, its values in the 64-bit view.
        exe = drive / "Program Files/Vantrel/vantrel.exe"
        self.assertEqual((REPO / "build/win64/vantrel.exe").read_bytes(), exe.read_bytes())
        self.assertEqual([True, False], ["ProductCode" in self.query(MACHINE_KEY, view) for view in ("/reg:64", "/reg:32")])
        # One shortcut, the Start menu's (Wine puts it in the user's menu, not all users').
        self.assertEqual(["Programs"], [p.parent.name for p in drive.rglob("Vantrel.lnk")])
        # One scope at a time: a per-user install stops at the per-machine copy.
        log = self.msiexec("/i", windows_path(self.msi[V1]), refused_at="Installed OR ALLUSERS OR NOT MACHINECOPY")
        self.assertIn(f"MACHINECOPY = {{{release.product_code(V, 'x64')}}}", log)
        self.assertFalse(self.exe.exists())
        # The per-machine upgrade keeps STARTWITHWINDOWS=0 without being told again.
        self.msiexec("/i", windows_path(self.msi[V1]), "ALLUSERS=1")
        self.assertEqual([V1], self.entries())
        self.assertEqual(["Programs"], [p.parent.name for p in drive.rglob("Vantrel.lnk")])
        self.assertEqual([exe], list(drive.rglob("vantrel.exe")))
        # Windows removes a product in the context it was installed in; Wine's msiexec does
        # not look it up for the folders and the -1 registry root, so the context is given.
        self.msiexec("/x", windows_path(self.msi[V1]), "ALLUSERS=1")
        self.assertEqual([], self.entries())
        # Windows Installer's own folder stays, where it caches packages.
        left = settle(lambda: {p.relative_to(drive) for p in set(drive.rglob("*")) - before
                               if "Temp" not in p.parts and p.relative_to(drive).parts[:2] != ("windows", "Installer")}, set())
        self.assertEqual(set(), left, "left behind")
        self.assertEqual([False, False], [self.rig.wine("reg", "query", MACHINE_KEY, v).returncode == 0 for v in ("/reg:32", "/reg:64")])

if __name__ == "__main__":
    unittest.main()

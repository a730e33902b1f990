"""The x64 MSI under Wine's own msiexec, installed, upgraded and removed silently as a user
and as an administrator would (the README's installer paragraphs tell each step). Wine runs
the 64-bit exe and custom action; the packages hold the 32-bit custom action too, so it
needs build/win32 and build/win64. The x86 packages are installed too (64-bit Wine runs
their 64-bit custom action, not their exe).
"""
import re
import shutil
import subprocess
import sys
import tempfile
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
MACHINE_COPY_STOP = "Installed OR ALLUSERS OR NOT MACHINECOPY OR USERCOPY"  # the launch condition


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
        cls.versions = [release.next_patch(release.VERSION, n) for n in range(4)]  # the release's and three later ones
        cls.msi = {v: release.build_msi(files, Path(tmp.name) / release.msi_name(v, "x64"), v, "test", 1700000000, "x64")
                   for v in cls.versions}
        cls.msi32 = {v: release.build_msi(files, Path(tmp.name) / release.msi_name(v), v, "test", 1700000000)
                     for v in cls.versions[:2]}
        # The second version's x64 package also fails on purpose, after the close, when asked.
        for statement in ("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`)"
                          " VALUES ('FailOnPurpose', 19, '', 'failing on purpose')",
                          "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`)"
                          " VALUES ('FailOnPurpose', 'FAILONPURPOSE', 1550)"):
            subprocess.run(["msibuild", cls.msi[cls.versions[1]], "-q", statement], check=True)

    def setUp(self):
        self.rig = new_rig().start()
        self.addCleanup(self.rig.stop)
        self.user = next(p for p in (self.rig.prefix / "drive_c" / "users").iterdir() if p.name != "Public")
        menu = self.user / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
        self.exe = self.user / "AppData/Local/Programs/Vantrel/vantrel.exe"
        startup = next(menu.glob("Start[Uu]p"))  # Wine's prefix spells it StartUp
        self.menu_link, self.startup_link = menu / "Vantrel.lnk", startup / "Vantrel.lnk"

    def msiexec(self, *args, refused_at="", fails=False):
        """Its log. Refused, it ends with 1603 (its low byte on Linux) at that launch condition,
        which Wine's trace names (Wine shows the message only in a dialog), or fails."""
        log = self.rig.dir / "msiexec.log"
        done = self.rig.wine("msiexec", *args, "/qn", "/l*v", windows_path(log), timeout=180,
                             debug="+msi" if refused_at else "")
        self.assertEqual(1603 & 0xFF if refused_at or fails else 0, done.returncode, f"{args}: {done.stderr[-2000:]!r}")
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
        old, new = self.versions[:2]
        before = self.user_files()
        self.msiexec("/i", windows_path(self.msi[old]))
        first = self.running_copy("installing")
        self.assertEqual((REPO / "build/win64/vantrel.exe").read_bytes(), self.exe.read_bytes())
        self.assertTrue(self.menu_link.is_file() and self.startup_link.is_file(), "both shortcuts")
        entry = "".join(self.query(*place) for place in ENTRY_PLACES)
        for expected in ("Vantrel", old, "Ambrel Utilities", "HelpLink    REG_SZ    http://ambrel.example/"):
            self.assertIn(expected, entry)
        self.assertEqual([old], self.entries())
        icon = self.query(PRODUCTS).split("ProductIcon    REG_SZ    C:")[1].split("\r")[0].replace("\\", "/")
        self.assertTrue((self.rig.prefix / f"drive_c{icon}").is_file(), f"the product icon {icon}")

        # The upgrade closes the running copy and waits for it to end before the exe is
        # replaced, then starts the new version.
        self.msiexec("/i", windows_path(self.msi[new]))
        upgraded = self.running_copy("upgrading")
        self.assertNotEqual(first, upgraded, "the copy of before the upgrade")
        self.assertEqual([new], self.entries())
        self.assertEqual([self.exe], list(self.user.rglob("vantrel.exe")))
        # A repair that fails after the close leaves the closed copy running again.
        self.msiexec("/i", windows_path(self.msi[new]), "REINSTALL=ALL", "REINSTALLMODE=omus", "FAILONPURPOSE=1",
                     fails=True)
        self.assertNotEqual(upgraded, self.running_copy("a failed repair"), "the copy closed by the repair")

        # The uninstall asks every copy of the desktop at once and waits for each process,
        # not its window: one whose window goes at once but whose process lingers for 8 s
        # is gone when the uninstall is. Two that never end, one of whose windows goes while
        # they are walked, are given up after 15 s in all, and the walk still reaches the
        # others (windows are walked newest first: they were started last).
        fakes = []
        for name, *times in (("lingering", 0, 8000), ("hung", 2000, "never"), ("stuck", "never", "never")):
            shutil.copy(self.rig.probe_exe, self.rig.dir / f"{name}.exe")
            fakes.append(self.rig.launch(self.rig.dir / f"{name}.exe", ["fake-copy", MAIN_CLASS, *times]))
            fakes[-1].wait_log("ready")
        log = self.msiexec("/x", windows_path(self.msi[new]))
        self.assertEqual(([], [False, True, True]), (self.copies(), [fake.running() for fake in fakes]),
                         "Vantrel and the lingering copy closed before the files were removed, the others left")
        waits = [int(ms) for ms in re.findall(r"still running after (\d+) ms", log)]
        self.assertTrue(len(waits) == 2 and all(15000 <= ms < 20000 for ms in waits), f"the waits given up: {waits}")
        # Judged once the files have settled, within a deadline, as the end-to-end tests do.
        left = settle(lambda: self.user_files() - before, set())
        self.assertEqual(set(), left, "left behind after uninstalling")
        self.assertEqual([], self.entries())
        self.assertNotEqual(0, self.rig.wine("reg", "query", OWN_KEY).returncode, f"{OWN_KEY} is left")

    def test_the_start_at_sign_in_choice_survives_upgrades(self):
        first, second, third, fourth = self.versions
        # A per-user install goes where INSTALLFOLDER says, and later versions stay there.
        self.msiexec("/i", windows_path(self.msi32[first]), r"INSTALLFOLDER=C:\Tools\Vantrel")
        exe = self.rig.prefix / "drive_c/Tools/Vantrel/vantrel.exe"
        self.assertEqual(release.sha256(REPO / "build/win32/vantrel.exe"), release.sha256(exe))
        self.assertTrue(self.startup_link.is_file(), "a new install starts with Windows")
        # The x64 package of the same version replaces the x86 one rather than sharing its folder.
        self.msiexec("/i", windows_path(self.msi[first]))
        self.assertEqual(([first], release.sha256(REPO / "build/win64/vantrel.exe"), [exe]),
                         (self.entries(), release.sha256(exe), list(self.rig.prefix.rglob("vantrel.exe"))))
        # One scope at a time: an administrator's ALLUSERS=1 stops at the per-user copy,
        # whose product code the message names ("msiexec /x [USERCOPY]").
        log = self.msiexec("/i", windows_path(self.msi[second]), "ALLUSERS=1",
                           refused_at="Installed OR NOT ALLUSERS OR NOT USERCOPY")
        self.assertIn(f"USERCOPY = {{{release.product_code(first, 'x64')}}}", log)
        self.assertFalse((self.rig.prefix / "drive_c/Program Files/Vantrel").exists(), "half done")
        # A per-machine copy that a deployment tool installed as SYSTEM, which could not see
        # this user's copy, does not stop this copy's upgrades.
        self.rig.wine("reg", "add", MACHINE_KEY, "/v", "ProductCode", "/d", "{SYSTEM-COPY}", "/reg:64", "/f")
        # An upgrade keeps the shortcut; the user deletes it; neither a repair nor an upgrade
        # brings it back; STARTWITHWINDOWS=1 on the upgrade's command line does.
        for version, *extra, linked in ((second, True), (second, "REINSTALL=ALL", "REINSTALLMODE=omus", False),
                                        (third, False), (fourth, "STARTWITHWINDOWS=1", True)):
            if "REINSTALL=ALL" in extra:
                self.startup_link.unlink()
            self.msiexec("/i", windows_path(self.msi[version]), *extra)
            self.assertEqual(linked, self.startup_link.is_file(), f"the Startup shortcut after {version} {extra}")

    def test_an_administrator_installs_upgrades_and_removes_it_for_every_user(self):
        old, new = self.versions[:2]
        drive = self.rig.prefix / "drive_c"
        before = set(drive.rglob("*"))
        # Each package finds the other's per-machine copy in the other registry view, and a
        # per-user install stops at it: the x64 package searches the 32-bit view, the x86
        # package's custom action reads the 64-bit one.
        self.msiexec("/i", windows_path(self.msi32[old]), "ALLUSERS=1", "STARTWITHWINDOWS=0")
        log = self.msiexec("/i", windows_path(self.msi[new]), refused_at=MACHINE_COPY_STOP)
        self.assertIn(f"MACHINECOPY = {{{release.product_code(old)}}}", log)
        # The x64 package replaces it, keeping STARTWITHWINDOWS=0 without being told again:
        # the 64-bit exe under Program Files, its values in the 64-bit view.
        self.msiexec("/i", windows_path(self.msi[old]), "ALLUSERS=1")
        exe = drive / "Program Files/Vantrel/vantrel.exe"
        self.assertEqual((REPO / "build/win64/vantrel.exe").read_bytes(), exe.read_bytes())
        self.assertEqual([True, False], ["ProductCode" in self.query(MACHINE_KEY, view) for view in ("/reg:64", "/reg:32")])
        self.assertEqual([exe], list(drive.rglob("vantrel.exe")))
        # One shortcut, the Start menu's (Wine puts it in the user's menu, not all users').
        self.assertEqual(["Programs"], [p.parent.name for p in drive.rglob("Vantrel.lnk")])
        log = self.msiexec("/i", windows_path(self.msi32[new]), refused_at=MACHINE_COPY_STOP)
        self.assertIn(f"MACHINECOPY = {{{release.product_code(old, 'x64')}}}", log)
        self.assertFalse(self.exe.exists())
        # Windows removes a product in the context it was installed in; Wine's msiexec does
        # not look it up for the folders and the -1 registry root, so the context is given.
        self.msiexec("/x", windows_path(self.msi[old]), "ALLUSERS=1")
        self.assertEqual([], self.entries())
        # Windows Installer's own folder stays, where it caches packages.
        left = settle(lambda: {p.relative_to(drive) for p in set(drive.rglob("*")) - before
                               if "Temp" not in p.parts and p.relative_to(drive).parts[:2] != ("windows", "Installer")}, set())
        self.assertEqual(set(), left, "left behind")
        self.assertEqual([False, False], [self.rig.wine("reg", "query", MACHINE_KEY, v).returncode == 0 for v in ("/reg:32", "/reg:64")])

if __name__ == "__main__":
    unittest.main()

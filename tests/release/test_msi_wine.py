"""The MSI under Wine's own msiexec, as a user installs it (silent, per user): files and
shortcuts in place, the installed exe shows its tray icon, a higher version built here
from the same source replaces it, and uninstalling (with Vantrel running) leaves nothing.
Wine runs the 64-bit exe (VersionNT64 is set), so it needs build/win64 only.
"""
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path[:0] = [str(REPO / "scripts"), str(REPO / "tests" / "e2e")]
import release  # noqa: E402
from rig import windows_path  # noqa: E402
from vantrel_app import TrayApp, new_rig  # noqa: E402

UNINSTALL = r"\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Wine files every MSI's entry under HKLM, a 32-bit package's in the 32-bit view; Windows
# keeps a per-user one with the user. The icon is the product's, as Windows' list shows it.
ENTRY_PLACES = [("HKCU" + UNINSTALL,), ("HKLM" + UNINSTALL, "/reg:32"), ("HKLM" + UNINSTALL, "/reg:64")]
PRODUCTS = r"HKCU\Software\Microsoft\Installer\Products"
OWN_KEY = r"HKCU\Software\Ambrel Utilities"


class InstalledWithMsiexec(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        tmp = tempfile.TemporaryDirectory(prefix="vantrel-msi-")
        cls.addClassCleanup(tmp.cleanup)
        files = Path(tmp.name) / "files"
        for source, name in (("build/win32/vantrel.exe", "vantrel.exe"), ("build/win64/vantrel.exe", "x64/vantrel.exe"),
                             ("LICENSE", "LICENSE"), ("packaging/README.txt", "README.txt")):
            (files / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(REPO / source, files / name)
        cls.msi = {v: release.build_msi(files, Path(tmp.name) / release.msi_name(v), v, "test", 1700000000)
                   for v in ("2.0.5", "2.0.6")}

    def setUp(self):
        self.rig = new_rig().start()
        self.addCleanup(self.rig.stop)
        self.user = next(p for p in (self.rig.prefix / "drive_c" / "users").iterdir() if p.name != "Public")
        menu = self.user / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
        self.exe = self.user / "AppData/Local/Programs/Vantrel/vantrel.exe"
        startup = next(menu.glob("Start[Uu]p"))  # Wine's prefix spells it StartUp
        self.menu_link, self.startup_link = menu / "Vantrel.lnk", startup / "Vantrel.lnk"

    def msiexec(self, *args):
        done = self.rig.wine("msiexec", *args, "/qn", timeout=180)
        self.assertEqual(0, done.returncode, f"msiexec {' '.join(args)}: {done.stderr[-2000:]!r}")

    def user_files(self):
        # Two known folders of Windows stay, empty: Windows Installer's own, where it keeps
        # product icons, and %LOCALAPPDATA%\Programs, the per-user Program Files.
        known = {("Microsoft", "Installer"), ("Local", "Programs")}
        return {p for p in self.user.rglob("*") if "Temp" not in p.parts and p.parts[-2:] not in known}

    def query(self, key, *view):
        return self.rig.wine("reg", "query", key, "/s", *view).stdout.decode(errors="replace")

    def entries(self):
        """The DisplayVersion of each Vantrel in the installed-programs list."""
        listing = "".join(self.query(*place) for place in ENTRY_PLACES).split("HKEY_")
        return [line.split()[-1] for entry in listing if "Vantrel" in entry
                for line in entry.splitlines() if "DisplayVersion" in line]

    def test_install_start_upgrade_and_uninstall(self):
        before = self.user_files()
        self.msiexec("/i", windows_path(self.msi["2.0.5"]))
        self.assertEqual((REPO / "build/win64/vantrel.exe").read_bytes(), self.exe.read_bytes())
        self.assertTrue(self.menu_link.is_file() and self.startup_link.is_file(), "both shortcuts")
        entry = "".join(self.query(*place) for place in ENTRY_PLACES)
        for expected in ("Vantrel", "2.0.5", "Ambrel Utilities", "HelpLink    REG_SZ    http://ambrel.example/"):
            self.assertIn(expected, entry)
        self.assertEqual(["2.0.5"], self.entries())
        icon = self.query(PRODUCTS).split("ProductIcon    REG_SZ    C:")[1].split("\r")[0].replace("\\", "/")
        self.assertTrue((self.rig.prefix / f"drive_c{icon}").is_file(), f"the product icon {icon}")

        app = TrayApp(self.rig, debug="", exe=self.exe)  # waits for the main window and the icon
        self.assertTrue(app.tray_tips())
        # The upgrade removes 2.0.5 first, which closes the running copy.
        self.msiexec("/i", windows_path(self.msi["2.0.6"]))
        app.wait_end()
        self.assertEqual(["2.0.6"], self.entries())
        self.assertEqual([self.exe], list(self.user.rglob("vantrel.exe")))

        app = TrayApp(self.rig, debug="", exe=self.exe)
        self.msiexec("/x", windows_path(self.msi["2.0.6"]))
        app.wait_end()
        self.assertEqual(set(), self.user_files() - before, "left behind after uninstalling")
        self.assertEqual([], self.entries())
        self.assertNotEqual(0, self.rig.wine("reg", "query", OWN_KEY).returncode, f"{OWN_KEY} is left")

    def test_an_administrator_installs_for_every_user_without_the_startup_shortcut(self):
        self.msiexec("/i", windows_path(self.msi["2.0.5"]), "ALLUSERS=1", "STARTWITHWINDOWS=0")
        drive = self.rig.prefix / "drive_c"
        self.assertTrue((drive / "Program Files (x86)/Vantrel/vantrel.exe").is_file())
        # One shortcut, the Start menu's (Wine puts it in the user's menu, not all users').
        self.assertEqual(["Programs"], [p.parent.name for p in drive.rglob("Vantrel.lnk")])
        self.assertFalse(self.exe.exists())
        machine_key = r"HKLM\Software\Ambrel Utilities\Vantrel"
        self.assertEqual(0, self.rig.wine("reg", "query", machine_key, "/reg:32").returncode, "HKMU is HKLM")


if __name__ == "__main__":
    unittest.main()

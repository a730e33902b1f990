"""Both MSIs (with stand-in exes) pass scripts/release.py's reading of the ICE rules, and
each fault behind them, written into a package's tables, is reported."""
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import release  # noqa: E402

DIR = "INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) VALUES"
# (package, statements, part of the expected complaint)
FAULTS = [
    ("x86", [f"{DIR} ('LocalAppDataFolder', 'TARGETDIR', '.')",
             "UPDATE `Directory` SET `Directory_Parent` = 'LocalAppDataFolder' WHERE `Directory` = 'INSTALLFOLDER'"],
     ["ICE38: Exe installs to the user's profile", "ICE91: the file vantrel.exe"]),
    ("x64", [f"{DIR} ('Menu', 'ProgramMenuFolder', 'Vantrel')"], ["ICE64: the folder Menu"]),
    ("x64", ["UPDATE `Registry` SET `Root` = 2 WHERE `Name` = 'MenuShortcut'"], ["ICE43: MenuShortcut"]),
    ("x86", ["UPDATE `Registry` SET `Component_` = 'Exe' WHERE `Name` = 'ProductCode'"], ["ICE57: Exe mixes"]),
    ("x86", ["INSERT INTO `File` (`File`, `Component_`, `FileName`, `FileSize`, `Sequence`)"
             " VALUES ('again', 'Texts', 'VANTREL.EXE', 1, 9)"], ["ICE30: Exe and Texts both install vantrel.exe"]),
    ("x64", ["UPDATE `Component` SET `Attributes` = 0 WHERE `Component` = 'Exe'"], ["Exe is not a 64-bit component"]),
    ("x86", ["DELETE FROM `InstallExecuteSequence` WHERE `Action` = 'NeedsAdministrator'",
             "INSERT INTO `LaunchCondition` (`Condition`, `Description`) VALUES ('Installed OR NOT ALLUSERS OR Privileged', 'x')"],
     ["no elevation", "a launch condition reads Privileged"]),
    ("x64", ["UPDATE `CustomAction` SET `Type` = 2099 WHERE `Action` = 'UserFolder'"], ["ICE68: UserFolder"]),
    ("x86", ["UPDATE `Property` SET `Value` = 'INSTALLFOLDER' WHERE `Property` = 'SecureCustomProperties'"],
     ["MACHINECOPY is not a secure", "STARTUPLINK is not", "STARTWITHWINDOWS is not", "USERCOPY is not"]),
    ("x64", ["UPDATE `InstallExecuteSequence` SET `Condition` = 'VantrelClosed' WHERE `Action` = 'RestartAfterFailure'"],
     ["RestartAfterFailure starts the program without asking VantrelDesktop"]),
    ("x64", ["UPDATE `Component` SET `ComponentId` = '{9A3C5E17-2D8B-4F6A-8C1E-5B7D9F0A2C34}' WHERE `Component` = 'Texts'"],
     ["Texts has the x86 package's component code"]),
    ("x86", [f"{DIR} ('ProgramFiles64Folder', 'TARGETDIR', '.')", f"{DIR} ('Other', 'ProgramFiles64Folder', 'Vantrel')",
             "UPDATE `Component` SET `Directory_` = 'Other' WHERE `Component` = 'Texts'"],
     ["installs under ProgramFiles64Folder, not ProgramFilesFolder"]),
]


class PackageRules(unittest.TestCase):
    def test_both_packages_pass_and_each_fault_is_reported(self):
        tmp = Path(self.enterContext(tempfile.TemporaryDirectory(prefix="vantrel-rules-")))
        for name in ("vantrel.exe", "x64/vantrel.exe", "LICENSE", "README.txt", "msi/close_running32.dll",
                     "msi/close_running64.dll"):
            (tmp / "files" / name).parent.mkdir(parents=True, exist_ok=True)
            (tmp / "files" / name).write_text(name)
        msi = {arch: release.build_msi(tmp / "files", tmp / f"{arch}.msi", release.VERSION, "test", 1700000000, arch)
               for arch in release.ARCHES}
        self.assertEqual([[], []], [release.rule_problems(package) for package in msi.values()])
        for arch, statements, complaints in FAULTS:
            with self.subTest(statements[-1]):
                broken = shutil.copyfile(msi[arch], tmp / "broken.msi")
                for statement in statements:
                    subprocess.run(["msibuild", str(broken), "-q", statement], check=True)
                problems = "\n".join(release.rule_problems(broken))
                self.assertEqual([], [c for c in complaints if c not in problems], problems)

if __name__ == "__main__":
    unittest.main()

"""The winget and Scoop manifests that scripts/package writes pass scripts/release.py's
check, and each fault that those repositories' maintainers reject, or that leaves a
winget user with a failed install, is reported; the README's winget commands work."""
import re
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

import yaml

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import release  # noqa: E402
import winget_model  # noqa: E402

VERSION, LATER = release.VERSION, release.next_patch(release.VERSION)
LOCALE = f"winget/manifests/a/Ambrel/Vantrel/{VERSION}/Ambrel.Vantrel.locale.en-US.yaml"
INSTALLER = f"winget/manifests/a/Ambrel/Vantrel/{VERSION}/Ambrel.Vantrel.installer.yaml"
VERSION_FILE = f"winget/manifests/a/Ambrel/Vantrel/{VERSION}/Ambrel.Vantrel.yaml"
SCOOP = "scoop/vantrel.json"
CONDITIONS = winget_model.package_conditions()
# (file, text replaced, replacement, part of the expected complaint)
FAULTS = [
    (LOCALE, "License: MIT\n", "", "License is missing"),
    (SCOOP, '"description"', '"about"', "description is missing"),
    (INSTALLER, "InstallerSha256: ", "InstallerSha256: 00", f"is not vantrel-{VERSION}.msi's SHA-256"),
    (SCOOP, '"hash": "', '"hash": "1', f"is not vantrel-{VERSION}-windows.zip's SHA-256"),
    (SCOOP, '"bin": "x64\\\\vantrel.exe"', '"bin": "x64\\\\vantrel64.exe"', f"is not in vantrel-{VERSION}-windows.zip"),
    (VERSION_FILE, f"PackageVersion: {VERSION}", f"PackageVersion: {LATER}",
     f"PackageVersion {LATER} is not {VERSION}"),
    (SCOOP, f'"version": "{VERSION}"', f'"version": "{VERSION}0"', f"version {VERSION}0 is not {VERSION}"),
    (INSTALLER, f"https://ambrel.example/releases/{VERSION}/", f"http://ambrel.example/releases/{VERSION}/",
     "not a version-specific https URL"),
    (SCOOP, f"https://ambrel.example/releases/{VERSION}/", "https://ambrel.example/releases/latest/",
     "not a version-specific https URL"),
    (SCOOP, "releases/$version/vantrel-$version", "releases/latest/vantrel-$version", "autoupdate's URL"),
    # Every address names a published file or the home page.
    (LOCALE, "/CHANGELOG.md", "/NEWS.md", "NEWS.md is neither a file of this release nor the home page"),
    (SCOOP, "latest/scoop/vantrel.json", "latest/vantrel.json", "vantrel.json is neither a file of this release"),
    (SCOOP, "$baseurl/SHA256SUMS", "$baseurl/SHA512SUMS", "SHA512SUMS is neither a file of this release"),
    # winget's choice on every account: an upgrade on an administrator's account that
    # passes ALLUSERS=1 to a per-user copy, a per-machine entry winget does not elevate
    # for, --location ignored, two entries winget cannot tell apart.
    (INSTALLER, "- Architecture: x86\n  InstallerUrl", "- Architecture: x86\n  Scope: machine\n  ElevationRequirement: "
     "elevationRequired\n  InstallerSwitches:\n    Custom: ALLUSERS=1\n  InstallerUrl",
     "(admin account, user copy, x86): expected user, got 1603: Vantrel is already installed for you alone"),
    (INSTALLER, "  ElevationRequirement: elevationRequired\n", "",
     "(admin account, no copy, x86): expected machine, got 1603: Installing Vantrel for every user"),
    (INSTALLER, 'InstallLocation: INSTALLFOLDER="<INSTALLPATH>"', "Log: /log <LOGPATH>",
     "expected user, got an install that ignores --location"),
    (INSTALLER, "  Scope: user\n", "", "a duplicate installer entry ('msi', 'x86', None, None)"),
]


class Manifests(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dist = Path(tmp.name)
        with zipfile.ZipFile(self.dist / release.zip_name(VERSION), "w") as z:
            for name in ("vantrel.exe", "x64/vantrel.exe", "LICENSE", "README.txt"):
                z.writestr(name, name)
        for arch in release.ARCHES:
            (self.dist / release.msi_name(VERSION, arch)).write_bytes(f"an {arch} MSI".encode())
        (self.dist / "CHANGELOG.md").write_text("changes")
        release.write_manifests(self.dist, VERSION)

    def test_the_written_manifests_pass_and_each_fault_is_reported(self):
        self.assertEqual([], release.check_manifests(self.dist, VERSION))
        for path, old, new, complaint in FAULTS:
            with self.subTest(path=path, new=new):
                original = (self.dist / path).read_text()
                self.assertIn(old, original)
                (self.dist / path).write_text(original.replace(old, new, 1))
                problems = release.check_manifests(self.dist, VERSION)
                (self.dist / path).write_text(original)
                self.assertTrue(any(complaint in p for p in problems), problems)

    def test_the_readme_winget_commands_work_as_written(self):
        manifest = yaml.safe_load((self.dist / INSTALLER).read_text())
        readme = (Path(__file__).resolve().parents[2] / "README.md").read_text()
        blocks = re.findall(r"^```[^\n]*\n(.*?)^```", readme, re.S | re.M)
        commands = [winget_model.split_words(line)[1:] for block in blocks for line in block.splitlines()
                    if line.startswith("winget ")]
        self.assertGreater(len(commands), 2)
        for words in commands:
            with self.subTest(command=" ".join(words)):
                copies = (None,) if words[0] == "install" else ("user", "machine")
                outcomes = [winget_model.play(manifest, winget_model.Scenario(account, copy, words), CONDITIONS)
                            for account in winget_model.EVERY for copy in copies]
                self.assertIn(winget_model.ID, words)
                self.assertTrue(any(not outcome.refusal for outcome in outcomes), [o.refusal for o in outcomes])


if __name__ == "__main__":
    unittest.main()

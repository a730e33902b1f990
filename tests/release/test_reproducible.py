"""The release is reproducible: scripts/package run in two clones of the current commit,
in folders of different lengths, under different umasks and time zones, gives the same
zip, SHA256SUMS and exes byte for byte, and the zip holds what a user needs.

Builds the committed HEAD, not uncommitted edits. Takes a good half minute: each clone
builds the vantrel target of both Windows presets.
"""

import hashlib
import os
import shlex
import struct
import subprocess
import tempfile
import unittest
import zipfile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ZIP = "dist/vantrel-2.0.5-windows.zip"
EXES = ["build/win32/vantrel.exe", "build/win64/vantrel.exe"]
MEMBERS = ["vantrel.exe", "x64/vantrel.exe", "LICENSE", "README.txt"]
I386, AMD64 = 0x14C, 0x8664


def package_in_clone(folder, commit, umask, tz):
    script = (f"umask {umask} && git clone -q --no-checkout {shlex.quote(REPO)} {shlex.quote(folder)}"
              f" && cd {shlex.quote(folder)} && git checkout -q --detach {commit} && scripts/package")
    run = subprocess.run(["bash", "-c", script], env=dict(os.environ, TZ=tz),
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if run.returncode != 0:
        raise AssertionError(f"scripts/package failed in {folder}:\n{run.stdout[-3000:]}")


def read(folder, path):
    with open(os.path.join(folder, path), "rb") as f:
        return f.read()


def pe_machine(exe):
    pe = struct.unpack_from("<I", exe, 0x3C)[0]
    return struct.unpack_from("<H", exe, pe + 4)[0]


class ReproducibleRelease(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        commit = subprocess.run(["git", "-C", REPO, "rev-parse", "HEAD"], check=True,
                                stdout=subprocess.PIPE, text=True).stdout.strip()
        cls.tmp = tempfile.TemporaryDirectory(prefix="vantrel-repro-")
        cls.a = os.path.join(cls.tmp.name, "a")
        cls.b = os.path.join(cls.tmp.name, "second-clone-in-a-longer-folder")
        try:
            package_in_clone(cls.a, commit, "022", "UTC")
            package_in_clone(cls.b, commit, "002", "Pacific/Auckland")
        except BaseException:
            cls.tmp.cleanup()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def assertSameBytes(self, path):
        first, second = read(self.a, path), read(self.b, path)
        differing = [hex(i) for i, (x, y) in enumerate(zip(first, second)) if x != y][:8]
        self.assertTrue(first == second, f"{path} differs between the two clones: "
                        f"sizes {len(first)} and {len(second)}, first differing offsets {differing}")

    def test_exes_are_identical(self):
        for exe in EXES:
            with self.subTest(exe=exe):
                self.assertSameBytes(exe)

    def test_zip_and_sums_are_identical(self):
        self.assertSameBytes(ZIP)
        self.assertSameBytes("dist/SHA256SUMS")

    def test_zip_holds_the_release(self):
        with zipfile.ZipFile(os.path.join(self.a, ZIP)) as z:
            self.assertEqual([i.filename for i in z.infolist()], MEMBERS)
            # Extra fields would carry this machine's owner ids and access times.
            self.assertEqual([i.extra for i in z.infolist()], [b""] * len(MEMBERS))
            for member, exe in zip(MEMBERS, EXES):
                self.assertTrue(z.read(member) == read(self.a, exe), f"{member} is not {exe}")
            self.assertEqual(pe_machine(z.read("vantrel.exe")), I386)
            self.assertEqual(pe_machine(z.read("x64/vantrel.exe")), AMD64)
            for text in ("LICENSE", "README.txt"):
                body = z.read(text)
                body.decode("ascii")
                self.assertEqual(body.count(b"\n"), body.count(b"\r\n"), f"{text} has lone LF line ends")
            self.assertIn(b"Ambrel Utilities", z.read("LICENSE"))
            self.assertIn(b"Vantrel 2.0.5", z.read("README.txt"))
        digest = hashlib.sha256(read(self.a, ZIP)).hexdigest()
        self.assertEqual(read(self.a, "dist/SHA256SUMS").decode(),
                         f"{digest}  vantrel-2.0.5-windows.zip\n")


if __name__ == "__main__":
    unittest.main()

"""The release is reproducible: scripts/package run in two clones of the current commit,
in folders of different lengths, under different umasks and time zones, gives the same
zip, SHA256SUMS and exes byte for byte, and the zip holds what a user needs.

It builds the committed HEAD, not uncommitted edits: each clone builds the vantrel target
of both Windows presets, a good half minute.
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
OUTPUTS = [ZIP, "dist/SHA256SUMS", "build/win32/vantrel.exe", "build/win64/vantrel.exe"]


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


class ReproducibleRelease(unittest.TestCase):
    def test_two_clones_package_the_same_bytes(self):
        commit = subprocess.run(["git", "-C", REPO, "rev-parse", "HEAD"], check=True,
                                stdout=subprocess.PIPE, text=True).stdout.strip()
        with tempfile.TemporaryDirectory(prefix="vantrel-repro-") as tmp:
            a, b = os.path.join(tmp, "a"), os.path.join(tmp, "second-clone-in-a-longer-folder")
            package_in_clone(a, commit, "022", "UTC")
            package_in_clone(b, commit, "002", "Pacific/Auckland")
            for path in OUTPUTS:
                first, second = read(a, path), read(b, path)
                differing = [hex(i) for i, (x, y) in enumerate(zip(first, second)) if x != y][:8]
                self.assertTrue(first == second, f"{path} differs: sizes {len(first)} and {len(second)}, "
                                f"first differing offsets {differing}")
            with zipfile.ZipFile(os.path.join(a, ZIP)) as z:
                # Extra fields would carry this machine's owner ids and access times.
                self.assertEqual([("vantrel.exe", b""), ("x64/vantrel.exe", b""), ("LICENSE", b""),
                                  ("README.txt", b"")], [(i.filename, i.extra) for i in z.infolist()])
                self.assertEqual(read(a, OUTPUTS[2]), z.read("vantrel.exe"))
                self.assertEqual(read(a, OUTPUTS[3]), z.read("x64/vantrel.exe"))
                exe = z.read("vantrel.exe")
                machine = struct.unpack_from("<H", exe, struct.unpack_from("<I", exe, 0x3C)[0] + 4)[0]
                self.assertEqual(0x14C, machine, "the product is the 32-bit exe")
                for text in ("LICENSE", "README.txt"):
                    body = z.read(text)
                    body.decode("ascii")
                    self.assertEqual(body.count(b"\n"), body.count(b"\r\n"), f"{text} has lone LF line ends")
                self.assertIn(b"Ambrel Utilities", z.read("LICENSE"))
                self.assertIn(b"Vantrel 2.0.5", z.read("README.txt"))
            digest = hashlib.sha256(read(a, ZIP)).hexdigest()
            self.assertEqual(f"{digest}  vantrel-2.0.5-windows.zip\n", read(a, "dist/SHA256SUMS").decode())


if __name__ == "__main__":
    unittest.main()

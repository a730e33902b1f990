"""The release is reproducible: scripts/package run in two clones of the current commit,
in folders of different lengths, under different umasks and time zones, gives the same
zip, MSI, manifests, SHA256SUMS and exes byte for byte, and the zip holds what a user
needs. Signed with a certificate made here, the release verifies against it and
scripts/verify-release proves it against the commit, but not with one byte changed.

It builds the committed HEAD, not uncommitted edits: each clone builds the vantrel and
close_running targets of both Windows presets, a good half minute.
"""
import hashlib
import os
import shutil
import shlex
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

import pefile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "scripts"))
import release  # noqa: E402
ZIP = "dist/vantrel-2.0.5-windows.zip"
OUTPUTS = [ZIP, "dist/SHA256SUMS", "build/win32/vantrel.exe", "build/win64/vantrel.exe", "dist/vantrel-2.0.5.msi",
           "dist/scoop/vantrel.json", "dist/winget/manifests/a/Ambrel/Vantrel/2.0.5/Ambrel.Vantrel.installer.yaml"]


def package_in_clone(folder, commit, umask, tz):
    script = (f"umask {umask} && git clone -q --no-checkout {shlex.quote(REPO)} {shlex.quote(folder)}"
              f" && cd {shlex.quote(folder)} && git checkout -q --detach {commit} && scripts/package")
    bash(script, tz)


def bash(script, tz="UTC", expect=0):
    run = subprocess.run(["bash", "-c", script], env=dict(os.environ, TZ=tz),
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if run.returncode != expect:
        raise AssertionError(f"{script[-200:]} ended with {run.returncode}:\n{run.stdout[-3000:]}")
    return run.stdout


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
            self.assertIn(f"{digest}  vantrel-2.0.5-windows.zip\n", read(a, "dist/SHA256SUMS").decode())
            self.check_signed_release(tmp, a, b)

    def check_signed_release(self, tmp, a, b):
        key, cert, other, p12, word = (os.path.join(tmp, name) for name in
                                       ("key.pem", "cert.pem", "other.pem", "signer.p12", "password"))
        bash(f"openssl req -x509 -newkey rsa:2048 -nodes -keyout {key} -out {cert} -days 1 -subj /CN=Throwaway"
             f" && openssl genrsa -out {other} 2048 && echo throwaway > {word}"
             f" && openssl pkcs12 -export -inkey {key} -in {cert} -out {p12} -passout file:{word}")
        # A key that is not the certificate's: the signing fails and dist/ stays as it was.
        out = bash(f"cd {b} && scripts/package --cert {cert} --key {other}", expect=1)
        self.assertIn("signing build/package/files/vantrel.exe failed", out)
        self.assertEqual(read(a, "dist/SHA256SUMS"), read(b, "dist/SHA256SUMS"))
        bash(f"cd {b} && scripts/package --pkcs12 {p12} --password-file {word}")
        signed = os.path.join(tmp, "signed.exe")
        with zipfile.ZipFile(os.path.join(b, ZIP)) as z, open(signed, "wb") as f:
            f.write(z.read("x64/vantrel.exe"))
        for path in (signed, os.path.join(b, "dist/vantrel-2.0.5.msi")):
            bash(f"osslsigncode verify -CAfile {cert} -in {shlex.quote(path)}")
        bash(f"osslsigncode remove-signature -in {signed} -out {signed}.stripped")
        self.assertEqual(read(b, "build/win64/vantrel.exe"), read(tmp, "signed.exe.stripped"))
        msi_digest = hashlib.sha256(read(b, "dist/vantrel-2.0.5.msi")).hexdigest()
        self.assertIn(msi_digest.upper(), read(b, OUTPUTS[6]).decode(), "manifests written before signing")
        # Proved against the commit, with clone a as the rebuild (already built).
        out = bash(f"cd {shlex.quote(REPO)} && scripts/verify-release {b}/dist --ca {cert} --clone {a}")
        self.assertIn("Every byte is accounted for", out)
        # One byte changed in an exe, the checksums made to match: the rebuild tells.
        tampered = os.path.join(tmp, "tampered")
        shutil.copytree(os.path.join(b, "dist"), os.path.join(tampered, "dist"))
        exe = bytearray(read(tmp, "signed.exe"))
        exe[0x400] ^= 1  # in the code
        with zipfile.ZipFile(os.path.join(b, ZIP)) as old, zipfile.ZipFile(os.path.join(tampered, ZIP), "w") as new:
            new.comment = old.comment
            for info in old.infolist():
                new.writestr(info, bytes(exe) if info.filename == "x64/vantrel.exe" else old.read(info))
        bash(f"cd {tampered}/dist && sha256sum vantrel-2.0.5-windows.zip > SHA256SUMS.new && grep -v windows.zip SHA256SUMS"
             " >> SHA256SUMS.new && mv SHA256SUMS.new SHA256SUMS")
        out = bash(f"cd {shlex.quote(REPO)} && scripts/verify-release {tampered}/dist --clone {a}", expect=1)
        self.assertIn("the release's exes are not what commit", out)

    def test_unsigned_exes_strip_back_to_their_bytes(self):
        with tempfile.TemporaryDirectory() as tmp:
            for build in ("win32", "win64"):
                exe = os.path.join(REPO, "build", build, "vantrel.exe")
                self.assertEqual([], release.envelope_problems(Path(exe)), build)
                # The check itself: a byte more, and a checksum that is off.
                longer, summed = Path(exe).read_bytes() + b"\0", bytearray(Path(exe).read_bytes())
                summed[pefile.PE(exe, fast_load=True).OPTIONAL_HEADER.get_file_offset() + 64] ^= 1
                for name, data, problem in (("longer.exe", longer, "multiple of 8"), ("summed.exe", summed, "checksum")):
                    Path(tmp, name).write_bytes(data)
                    self.assertIn(problem, " ".join(release.envelope_problems(Path(tmp, name))))

if __name__ == "__main__":
    unittest.main()

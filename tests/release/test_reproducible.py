"""The release is reproducible and provable: scripts/package in two clones of the current
commit (folders of different lengths, other umasks and time zones) gives the same bytes,
and scripts/verify-release proves a release signed here against the commit, also with
Debian 12's osslsigncode 2.5, and refuses it with one byte changed (the README's list of
what scripts/test runs names each check). It builds the committed HEAD, not uncommitted
edits: each clone builds both Windows presets, a good half minute.
"""
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

import olefile
import pefile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "scripts"))
import release  # noqa: E402
ZIP = "dist/vantrel-2.0.5-windows.zip"
LOCALE = "winget/manifests/a/Ambrel/Vantrel/2.0.5/Ambrel.Vantrel.locale.en-US.yaml"
OUTPUTS = [ZIP, "dist/SHA256SUMS", "build/win32/vantrel.exe", "build/win64/vantrel.exe", "dist/vantrel-2.0.5.msi",
           "dist/scoop/vantrel.json", "dist/winget/manifests/a/Ambrel/Vantrel/2.0.5/Ambrel.Vantrel.installer.yaml",
           "dist/vantrel-2.0.5-x64.msi"]


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


def verify(dist, clone, options="", expect=0, path=""):
    return bash(f"cd {shlex.quote(REPO)} && PATH={path}$PATH scripts/verify-release {dist} {options} --clone {clone}",
                expect=expect)


def tamper(source, folder, change):
    """A copy of the release folder source, changed, with checksums that match again."""
    shutil.copytree(source, folder)
    change(Path(folder))
    bash(f"cd {folder} && find . -type f ! -name SHA256SUMS | sed 's#^\\./##' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS")
    return folder


def debian12_osslsigncode():
    """The folder of Debian 12's own osslsigncode 2.5 (machines may have 2.9 from backports;
    on Debian 13 it comes from the Debian 12 root that scripts/test keeps for Wine 8)."""
    root = os.path.join(REPO, "build", "osslsigncode-2.5")
    download = "apt-get download osslsigncode=2.5-4"
    if debian12 := os.environ.get("VANTREL_DEBIAN12_ROOT"):
        download = (f"{'sudo ' * (os.geteuid() != 0)}chroot {debian12} sh -c 'cd /tmp && {download}'"
                    f" && cp {debian12}/tmp/osslsigncode_2.5-4_*.deb .")
    try:
        if not os.path.exists(f"{root}/usr/bin/osslsigncode"):
            bash(f"mkdir -p {root}-deb && cd {root}-deb && {download} && dpkg -x osslsigncode_2.5-4_*.deb {root}")
    except AssertionError as error:
        raise unittest.SkipTest(f"NOT TRIED: scripts/verify-release with Debian 12's osslsigncode 2.5: {error}")
    return os.path.join(root, "usr/bin")


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
                exe = z.read("vantrel.exe")
                machine = struct.unpack_from("<H", exe, struct.unpack_from("<I", exe, 0x3C)[0] + 4)[0]
                self.assertEqual(0x14C, machine, "the product is the 32-bit exe")
                for text in ("LICENSE", "README.txt"):
                    body = z.read(text)
                    body.decode("ascii")
                    self.assertEqual(body.count(b"\n"), body.count(b"\r\n"), f"{text} has lone LF line ends")
                self.assertIn(b"Ambrel Utilities", z.read("LICENSE"))
                self.assertIn(b"Vantrel 2.0.5", z.read("README.txt"))
            self.check_package_code(tmp, a, commit)
            unsigned = shutil.copytree(os.path.join(a, "dist"), os.path.join(tmp, "unsigned"))
            self.check_signed_release(tmp, a, b)
            self.check_tampered_unsigned_release(tmp, a, unsigned)
            with self.subTest("Debian 12's osslsigncode 2.5"):  # skips (loudly) alone where it cannot be had
                old = debian12_osslsigncode() + ":"
                self.assertIn("osslsigncode 2.5,", bash(f"PATH={old}$PATH osslsigncode --version"))
                self.assertIn("Every byte is accounted for", verify(f"{b}/dist", a, f"--ca {tmp}/cert.pem", path=old))

    def check_package_code(self, tmp, clone, commit):
        # Windows Installer may take the package it cached for another with the same code.
        files = Path(shutil.copytree(os.path.join(clone, "build/package/files"), os.path.join(tmp, "files")))
        codes = []
        for build in ("same", "changed"):
            with olefile.OleFileIO(str(release.build_msi(files, Path(tmp, build), "2.0.5", commit, 315532800))) as msi:
                codes.append(msi.get_metadata().revision_number)
            (files / "vantrel.exe").write_bytes((files / "vantrel.exe").read_bytes() + b"\0" * 8)
        self.assertNotEqual(codes[0], codes[1], "a package with another vantrel.exe has the same package code")

    def check_tampered_unsigned_release(self, tmp, rebuild, unsigned):
        # The manifests are written again for the changed MSI, and the checksums made to
        # match: only comparing each file with the rebuild can tell, and each is named.
        def change(dist):
            msi = bytearray((dist / "vantrel-2.0.5.msi").read_bytes())
            msi[len(msi) // 2] ^= 1
            (dist / "vantrel-2.0.5.msi").write_bytes(msi)
            release.write_manifests(dist, "2.0.5")
            for path, old, new in ((LOCALE, "Publisher: Ambrel Utilities", "Publisher: Ambrel"),
                                   ("scoop/vantrel.json", '"license": "MIT"', '"license": "GPL-3.0-only"')):
                (dist / path).write_text((dist / path).read_text().replace(old, new))
        out = verify(tamper(unsigned, os.path.join(tmp, "tampered-unsigned"), change), rebuild, expect=1)
        for fault in ("vantrel-2.0.5.msi differs from the rebuilt MSI", "Ambrel.Vantrel.locale.en-US.yaml is not the",
                      "scoop/vantrel.json is not the manifest"):
            self.assertIn(fault, out)

    def check_signed_release(self, tmp, a, b):
        key, cert, other, p12, word = (os.path.join(tmp, name) for name in
                                       ("key.pem", "cert.pem", "other.pem", "signer.p12", "password"))
        bash(f"openssl req -x509 -newkey rsa:2048 -nodes -keyout {key} -out {cert} -days 1 -subj /CN=Throwaway"
             f" && openssl genrsa -out {other} 2048 && echo throwaway > {word}"
             f" && openssl pkcs12 -export -inkey {key} -in {cert} -out {p12} -passout file:{word}")
        # A key that is not the certificate's: the signing fails and dist/ stays as it was.
        out = bash(f"cd {b} && scripts/package --cert {cert} --key {other} --no-timestamp", expect=1)
        self.assertIn("signing build/package/files/vantrel.exe failed", out)
        self.assertEqual(read(a, "dist/SHA256SUMS"), read(b, "dist/SHA256SUMS"))
        out = bash(f"cd {b} && scripts/package --pkcs12 {p12} --password-file {word}", expect=1)
        self.assertIn("without a time stamp stops being valid when the certificate expires", out)
        bash(f"cd {b} && scripts/package --pkcs12 {p12} --password-file {word} --no-timestamp")
        # Proved against the commit, with clone a as the rebuild (already built): the exes
        # stripped of their signatures, every signature, the manifests of the signed files.
        self.assertIn("Every byte is accounted for", verify(f"{b}/dist", a, f"--ca {cert}"))
        # One byte changed in an exe, the checksums made to match: the rebuild tells.
        def change(dist):
            with zipfile.ZipFile(os.path.join(b, ZIP)) as old, zipfile.ZipFile(dist / os.path.basename(ZIP), "w") as new:
                new.comment = old.comment
                for info in old.infolist():
                    data = old.read(info)
                    if info.filename == "x64/vantrel.exe":
                        data = data[:0x400] + bytes([data[0x400] ^ 1]) + data[0x401:]  # in the code
                    new.writestr(info, data)
        out = verify(tamper(os.path.join(b, "dist"), os.path.join(tmp, "tampered"), change), a, expect=1)
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

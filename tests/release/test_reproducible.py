"""The release is reproducible and provable: scripts/package in two clones of the current
commit (folders of different lengths, other umasks and time zones) gives the same bytes,
and scripts/verify-release proves a release signed here, with time stamps from a local
time-stamping server, against the commit, also with Debian 12's osslsigncode 2.5, and
refuses it with one byte changed (the README's list of what scripts/test runs names each
check). It builds the committed HEAD, not uncommitted edits: each clone builds both
Windows presets, a good half minute.
"""
import os
import shutil
import shlex
import struct
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
import subprocess
import sys
import tempfile
import threading
import unittest
import zipfile
from pathlib import Path

import olefile
import pefile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "scripts"))
import release  # noqa: E402
COMMIT = subprocess.run(["git", "-C", REPO, "rev-parse", "HEAD"], check=True, stdout=subprocess.PIPE,
                        text=True).stdout.strip()
DEV = f"{release.VERSION}-dev.{COMMIT[:12]}"  # what the tests build: a development build
ZIP = f"dist/vantrel-{DEV}-windows.zip"
LOCALE = f"winget/manifests/a/Ambrel/Vantrel/{DEV}/Ambrel.Vantrel.locale.en-US.yaml"
OUTPUTS = [ZIP, "dist/SHA256SUMS", "build/win32/vantrel.exe", "build/win64/vantrel.exe", f"dist/vantrel-{DEV}.msi",
           "dist/scoop/vantrel.json", f"dist/winget/manifests/a/Ambrel/Vantrel/{DEV}/Ambrel.Vantrel.installer.yaml",
           f"dist/vantrel-{DEV}-x64.msi"]


def package_in_clone(folder, commit, umask, tz, env=""):
    script = (f"umask {umask} && git clone -q --no-checkout {shlex.quote(REPO)} {shlex.quote(folder)}"
              f" && cd {shlex.quote(folder)} && git checkout -q --detach {commit} && {env} scripts/package")
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


def time_stamp_server(folder, ca_cert, ca_key):
    """The address of an RFC 3161 time-stamping server on loopback (openssl ts), with a
    certificate from the throwaway CA, for as long as the test runs."""
    tsa = os.path.join(folder, "tsa")
    bash(f"openssl req -newkey rsa:2048 -nodes -keyout {tsa}.key -out {tsa}.csr -subj /CN=ThrowawayTSA"
         f" && echo extendedKeyUsage=critical,timeStamping > {tsa}.ext && echo 01 > {tsa}.serial"
         f" && openssl x509 -req -in {tsa}.csr -CA {ca_cert} -CAkey {ca_key} -set_serial 2 -days 1 -out {tsa}.pem"
         f" -extfile {tsa}.ext")
    with open(f"{tsa}.cnf", "w") as f:
        f.write(f"[tsa]\ndefault_tsa = own\n[own]\nserial = {tsa}.serial\nsigner_cert = {tsa}.pem\n"
                f"signer_key = {tsa}.key\nsigner_digest = sha256\ndefault_policy = 1.2.3.4.1\ndigests = sha256\n"
                "ess_cert_id_alg = sha256\n")

    class Stamp(BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers["Content-Length"]))
            reply = subprocess.run(["openssl", "ts", "-reply", "-config", f"{tsa}.cnf", "-queryfile", "/dev/stdin",
                                    "-out", "/dev/stdout"], input=query, capture_output=True).stdout
            self.send_response(200 if reply else 500)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *args):
            pass

    server = ThreadingHTTPServer(("127.0.0.1", 0), Stamp)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_port}/"


def read(folder, path):
    with open(os.path.join(folder, path), "rb") as f:
        return f.read()


class ReproducibleRelease(unittest.TestCase):
    def test_two_clones_package_the_same_bytes(self):
        commit = COMMIT
        with tempfile.TemporaryDirectory(prefix="vantrel-repro-") as tmp:
            a, b = os.path.join(tmp, "a"), os.path.join(tmp, "second-clone-in-a-longer-folder")
            package_in_clone(a, commit, "022", "UTC")
            # A time-stamping server in the environment does not stop an unsigned build.
            package_in_clone(b, commit, "002", "Pacific/Auckland", env="VANTREL_TIMESTAMP_URL=http://127.0.0.1:9/")
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
                self.assertIn(f"Vantrel {DEV}".encode(), z.read("README.txt"))
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
            with olefile.OleFileIO(str(release.build_msi(files, Path(tmp, build), DEV, commit, 315532800))) as msi:
                codes.append(msi.get_metadata().revision_number)
            (files / "vantrel.exe").write_bytes((files / "vantrel.exe").read_bytes() + b"\0" * 8)
        self.assertNotEqual(codes[0], codes[1], "a package with another vantrel.exe has the same package code")

    def check_tampered_unsigned_release(self, tmp, rebuild, unsigned):
        # The manifests are written again for the changed MSI, and the checksums made to
        # match: only comparing each file with the rebuild can tell, and each is named.
        def change(dist):
            subprocess.run(["msibuild", dist / release.msi_name(DEV), "-q", "UPDATE `Property` SET `Value` ="
                            " 'http://elsewhere.example/' WHERE `Property` = 'ARPHELPLINK'"], check=True)
            release.write_manifests(dist, DEV)
            for path, old, new in ((LOCALE, "Publisher: Ambrel Utilities", "Publisher: Ambrel"),
                                   ("scoop/vantrel.json", '"license": "MIT"', '"license": "GPL-3.0-only"')):
                (dist / path).write_text((dist / path).read_text().replace(old, new))
        out = verify(tamper(unsigned, os.path.join(tmp, "tampered-unsigned"), change), rebuild, expect=1)
        for fault in (f"{release.msi_name(DEV)} differs from the rebuilt MSI", "Ambrel.Vantrel.locale.en-US.yaml is not the",
                      "scoop/vantrel.json is not the manifest"):
            self.assertIn(fault, out)

    def check_signed_release(self, tmp, a, b):
        key, cert, other, p12, word = (os.path.join(tmp, name) for name in
                                       ("key.pem", "cert.pem", "other.pem", "signer.p12", "password"))
        bash(f"openssl req -x509 -newkey rsa:2048 -nodes -keyout {key} -out {cert} -days 1 -subj /CN=Throwaway"
             f" && openssl genrsa -out {other} 2048 && echo throwaway > {word}"
             f" && openssl pkcs12 -export -inkey {key} -in {cert} -out {p12} -passout file:{word}")
        server, url = time_stamp_server(tmp, cert, key)
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        # A key that is not the certificate's: the signing fails and dist/ stays as it was.
        out = bash(f"cd {b} && scripts/package --cert {cert} --key {other} --no-timestamp", expect=1)
        self.assertIn("signing build/package/files/vantrel.exe failed", out)
        self.assertEqual(read(a, "dist/SHA256SUMS"), read(b, "dist/SHA256SUMS"))
        out = bash(f"cd {b} && scripts/package --pkcs12 {p12} --password-file {word}", expect=1)
        self.assertIn("without a time stamp stops being valid when the certificate expires", out)
        # The release of this commit, every exe, DLL and MSI signed with a time stamp, proved
        # against the commit with clone a as the rebuild (already built): the exes and DLLs
        # stripped of their signatures, every signature, the manifests of the signed files.
        out = bash(f"cd {b} && scripts/package --release --pkcs12 {p12} --password-file {word} --timestamp {url}")
        self.assertIn(f"Vantrel {release.VERSION} from commit", out)
        self.assertIn("each with a time stamp that verifies", verify(f"{b}/dist", a, f"--ca {cert}"))
        msi = release.msi_name(release.VERSION)

        def exe_changed(dist):  # one byte in the code of an exe of the zip
            with zipfile.ZipFile(os.path.join(b, "dist", release.zip_name(release.VERSION))) as old, \
                    zipfile.ZipFile(dist / release.zip_name(release.VERSION), "w") as new:
                new.comment = old.comment
                for info in old.infolist():
                    data = old.read(info)
                    if info.filename == "x64/vantrel.exe":
                        data = data[:0x400] + bytes([data[0x400] ^ 1]) + data[0x401:]
                    new.writestr(info, data)

        def dll_changed(dist):  # one byte in the code of the x86 MSI's 32-bit custom action
            dll = bytearray(subprocess.run(["msiinfo", "extract", dist / msi, "Binary.CloseRunning32"],
                                           check=True, capture_output=True).stdout)
            dll[0x400] ^= 1
            (dist / "changed.dll").write_bytes(dll)
            bash(f"cd {dist} && msibuild {msi} -a Binary.CloseRunning32 changed.dll && rm changed.dll")

        def untimed(dist):  # the x86 MSI signed again, without a time stamp
            bash(f"cd {dist} && osslsigncode remove-signature -in {msi} -out plain.msi"
                 f" && rm {msi} && osslsigncode sign -pkcs12 {p12} -readpass {word} -h sha256 -in plain.msi -out {msi}"
                 " && rm plain.msi")
            release.write_manifests(dist, release.VERSION)
        # Each change with checksums that match again: the rebuild or the signatures tell.
        for change, fault in ((exe_changed, "x64/vantrel.exe of"),
                              (dll_changed, "close_running32.dll built from commit"),
                              (untimed, f"{msi}'s signature has no time stamp")):
            out = verify(tamper(os.path.join(b, "dist"), os.path.join(tmp, change.__name__), change), a,
                         f"--ca {cert}", expect=1)
            self.assertIn(fault, out)
        # Once the version is recorded as released from another commit, this one is neither
        # built as that release nor passed by verify-release; a package that breaks the
        # validation rules is never written. dist/ stays as it was.
        sums, commit_all = read(b, "dist/SHA256SUMS"), "git -c user.name=T -c user.email=t@example.com commit -qam"
        elsewhere = f"{release.VERSION} was released from commit {'0' * 40}"
        bash(f"cd {b} && echo '{release.VERSION} {'0' * 40}' >> packaging/releases.txt && {commit_all} elsewhere")
        self.assertIn(elsewhere, bash(f"cd {b} && scripts/package --release", expect=1))
        self.assertIn(elsewhere, bash(f"cd {b} && scripts/verify-release dist --clone {a}", expect=1))
        rule = ("INSERT INTO `File` (`File`, `Component_`, `FileName`, `FileSize`, `Sequence`)"
                " VALUES ('again', 'Texts', 'VANTREL.EXE', 1, 9)")
        out = bash(f"cd {b} && echo {shlex.quote(rule)} >> packaging/msi-tables.sql && {commit_all} rules"
                   " && scripts/package", expect=1)
        self.assertIn("breaks the validation rules", out)
        self.assertEqual(sums, read(b, "dist/SHA256SUMS"))

    def test_unsigned_exes_strip_back_to_their_bytes(self):
        with tempfile.TemporaryDirectory() as tmp:
            for exe in [os.path.join(REPO, "build", build, name) for build in ("win32", "win64")
                        for name in ("vantrel.exe", "close_running.dll")]:
                self.assertEqual([], release.envelope_problems(Path(exe)), exe)
                # The check itself: a byte more, and a checksum that is off.
                longer, summed = Path(exe).read_bytes() + b"\0", bytearray(Path(exe).read_bytes())
                summed[pefile.PE(exe, fast_load=True).OPTIONAL_HEADER.get_file_offset() + 64] ^= 1
                for name, data, problem in (("longer.exe", longer, "multiple of 8"), ("summed.exe", summed, "checksum")):
                    Path(tmp, name).write_bytes(data)
                    self.assertIn(problem, " ".join(release.envelope_problems(Path(tmp, name))))

if __name__ == "__main__":
    unittest.main()

"""The Windows Installer packages: built by wixl (msitools) from packaging/vantrel.wxs,
then packaging/msi-tables.sql adds what wixl cannot express. wixl writes a fresh package
code and the build time into the summary information whatever the source says, so both
are set afterwards: the time from the commit, the package code from the package's own
contents. Also what two packages differ in, signatures apart.
"""
from __future__ import annotations

import hashlib
import json
import os
import shutil
import struct
import subprocess
import tempfile
import uuid
from pathlib import Path

import olefile

from release_names import (COMPONENTS, DEVELOPMENT, HOME, PACKAGING, ROOT, UPGRADE_CODE, ReleaseError, component_code,
                           fill, numeric_version, product_code)

SUMMARY = "\x05SummaryInformation"
SIGNATURES = {"\x05DigitalSignature", "\x05MsiDigitalSignatureEx"}
# Summary-information properties wixl fills from the clock and the random generator.
PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64


def build_msi(files: Path, out: Path, version: str, commit: str, epoch: int, arch: str = "x86") -> Path:
    """Builds out, the package of one platform, from files/ (vantrel.exe, x64/vantrel.exe,
    LICENSE, README.txt, as in the zip, and the custom action's two builds,
    msi/close_running32.dll and msi/close_running64.dll). The cabinet keeps each file's
    time, so every input gets the release time."""
    x64 = arch == "x64"
    with tempfile.TemporaryDirectory(prefix="vantrel-msi-") as tmp:
        work = Path(tmp)
        # wixl takes sources relative to the folder it runs in, and no absolute paths.
        for source, name in ((files / "x64" / "vantrel.exe" if x64 else files / "vantrel.exe", "vantrel.exe"),
                             (files / "LICENSE", "LICENSE.txt"), (files / "README.txt", "README.txt"),
                             (files / "msi" / "close_running32.dll", "close_running32.dll"),
                             (files / "msi" / "close_running64.dll", "close_running64.dll"),
                             (ROOT / "src" / "res" / "vantrel.ico", "vantrel.ico"),
                             (PACKAGING / "vantrel.wxs", "vantrel.wxs")):
            shutil.copyfile(source, work / name)
        defines = {"Version": numeric_version(version), "ProductCode": product_code(version, arch), "Exe": "vantrel.exe",
                   "Win64": "yes" if x64 else "no", "ProgramFiles": "ProgramFiles64Folder" if x64 else "ProgramFilesFolder",
                   "License": "LICENSE.txt", "Readme": "README.txt",
                   "Icon": "vantrel.ico", "HelpLink": HOME,
                   "Comments": f"{'Development build of' if DEVELOPMENT in version else 'Built from'} commit {commit}",
                   "CloseRunning32": "close_running32.dll", "CloseRunning64": "close_running64.dll",
                   **{f"{name}Guid": component_code(name, arch) for name in COMPONENTS}}
        for path in work.iterdir():
            os.utime(path, (epoch, epoch))
        command = ["wixl", "-a", arch, "-o", "out.msi", "vantrel.wxs"]
        for name, value in defines.items():
            command[1:1] = ["-D", f"{name}={value}"]
        run(command, work, env={"TZ": "UTC"})
        upgrade = {"VERSION": numeric_version(version), "UPGRADE_CODE": "{" + str(UPGRADE_CODE).upper() + "}"}
        for query in sql_statements(PACKAGING / "msi-tables.sql"):
            run(["msibuild", "out.msi", "-q", fill(query, upgrade)], work)
        fix_summary(work / "out.msi", epoch, package_code(work, defines))
        shutil.move(work / "out.msi", out)
    return out


def run(command: list[str], cwd: Path, env: dict | None = None) -> None:
    done = subprocess.run(command, cwd=cwd, env={**os.environ, **(env or {})}, capture_output=True, text=True)
    # wixl reports unknown attributes as GLib warnings and still succeeds; a real failure
    # leaves no package behind.
    if done.returncode != 0:
        raise ReleaseError(f"{command[0]} failed ({done.returncode}) on {command[-1]}:\n{done.stderr.strip()}")


def sql_statements(path: Path) -> list[str]:
    return [line for line in path.read_text().splitlines() if line.strip() and not line.startswith("--")]


def package_code(work: Path, defines: dict[str, str]) -> str:
    """Windows Installer requires a new package code for every different package: the
    code follows every input, so two builds of the same inputs share it."""
    digest = hashlib.sha256(json.dumps(defines, sort_keys=True).encode())
    for path in sorted(work.iterdir()):
        if path.name != "out.msi":
            digest.update(path.name.encode() + b"\0" + path.read_bytes())
    digest.update((PACKAGING / "msi-tables.sql").read_bytes())
    return "{" + str(uuid.UUID(bytes=digest.digest()[:16], version=4)).upper() + "}"


def fix_summary(msi: Path, epoch: int, code: str) -> None:
    """Overwrites the package code and both times in place (same sizes: the compound
    file's layout stays as wixl wrote it)."""
    with olefile.OleFileIO(str(msi), write_mode=True) as ole:
        data = bytearray(ole.openstream(SUMMARY).read())
        offsets = property_offsets(data)
        filetime = (epoch + 11644473600) * 10_000_000
        for pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM):
            kind, at = offsets[pid]
            assert kind == VT_FILETIME
            struct.pack_into("<Q", data, at, filetime)
        kind, at = offsets[PID_REVNUMBER]
        length = struct.unpack_from("<I", data, at)[0]
        old = bytes(data[at + 4:at + 4 + length]).rstrip(b"\0")
        if kind != VT_LPSTR or len(old) != len(code):
            raise ReleaseError(f"unexpected package code in the summary information: {old!r}")
        data[at + 4:at + 4 + len(code)] = code.encode()
        ole.write_stream(SUMMARY, bytes(data))


def property_offsets(data: bytes) -> dict[int, tuple[int, int]]:
    """pid -> (type, offset of the value) in the first section of a property set."""
    section = struct.unpack_from("<I", data, 44)[0]
    count = struct.unpack_from("<I", data, section + 4)[0]
    found = {}
    for i in range(count):
        pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * i)
        found[pid] = (struct.unpack_from("<I", data, section + offset)[0], section + offset + 4)
    return found


def msi_streams(msi: Path) -> dict[str, bytes]:
    with olefile.OleFileIO(str(msi)) as ole:
        streams = {"/".join(name): ole.openstream(name).read() for name in ole.listdir()}
        streams["(root class)"] = ole.root.clsid.encode()
    return streams


def same_msi(a: Path, b: Path) -> list[str]:
    """The streams in which two MSIs differ, the signature streams apart. Signing rewrites
    the whole compound file, so after a signature only the contents can be compared."""
    first, second = msi_streams(a), msi_streams(b)
    names = (set(first) | set(second)) - SIGNATURES
    return sorted(repr(name) for name in names if first.get(name) != second.get(name))

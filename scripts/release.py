#!/usr/bin/python3
"""The release steps that are more than a command line, for scripts/package and
scripts/verify-release (and the tests, which import them):

  msi DIST_STAGE VERSION COMMIT EPOCH   builds vantrel-VERSION.msi (x86) and
                                        vantrel-VERSION-x64.msi from the staged files
  rules MSI                             what Microsoft's validation rules (ICE) would report
  manifests DIST VERSION                writes the winget and Scoop manifests of DIST's artefacts
  check DIST VERSION                    checks them as the repositories' maintainers would
  same-msi A B                          whether two MSIs hold the same data, signatures apart
  envelope EXE...                       whether a signature on each exe can be taken off again

wixl (msitools) builds the MSI from packaging/vantrel.wxs; packaging/msi-tables.sql then
adds what wixl cannot express. wixl writes a fresh package code and the build time into
the summary information whatever the source says, so both are set afterwards: the time
from the commit, the package code from the package's own contents.
"""
from __future__ import annotations

import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid
import zipfile
from pathlib import Path

import olefile
import yaml

ROOT = Path(__file__).resolve().parents[1]
PACKAGING = ROOT / "packaging"
# The upgrade code never changes; vantrel.wxs holds it.
UPGRADE_CODE = uuid.UUID(re.search(r'UpgradeCode="([-0-9A-F]+)"', (PACKAGING / "vantrel.wxs").read_text())[1])
IDENTIFIER = "Ambrel.Vantrel"
HOME = "http://ambrel.example/"  # src/res/maker.h's kHomePageUrl
RELEASES = "https://ambrel.example/releases"
# Where each release is published: its own folder, and the newest one's copy, the one
# address that Scoop, which updates from the address it installed from, reads again.
RELEASE_FOLDERS = (f"{RELEASES}/{{version}}/", f"{RELEASES}/latest/")
SUMMARY = "\x05SummaryInformation"
SIGNATURES = {"\x05DigitalSignature", "\x05MsiDigitalSignatureEx"}
# Summary-information properties wixl fills from the clock and the random generator.
PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64


class ReleaseError(Exception):
    pass


ARCHES = ("x86", "x64")
# The component codes of the x86 package (2.0.5's, so an upgrade finds its components where
# they were); the x64 package's are derived from them, apart from the exe's, which 2.0.5
# already gave the 64-bit build.
COMPONENTS = {"Exe": "7C2E9A41-3B5D-4F08-A1C6-0D9E8B7F6A52", "Texts": "9A3C5E17-2D8B-4F6A-8C1E-5B7D9F0A2C34",
              "MenuShortcut": "3F6D8B29-4E1A-4C7B-9D2F-6A8E0B1C3D45",
              "StartupShortcut": "6B1E3D57-8A2C-4E9F-B7D1-2C4A6E8F0B96", "Folders": "D2A4C6E8-0B1D-4F3A-95C7-E9B1D3F5A7C9"}
EXE64_COMPONENT = "1E4B8D27-6C9F-4A3E-B5D0-7F2A1C8E9B63"


def product_code(version: str, arch: str = "x86") -> str:
    """One product code per version and platform: a rebuild of 2.0.5 is the same product."""
    return str(uuid.uuid5(UPGRADE_CODE, f"Vantrel {version}" + ("" if arch == "x86" else f" {arch}"))).upper()


def component_code(name: str, arch: str) -> str:
    if arch == "x86":
        return COMPONENTS[name]
    return EXE64_COMPONENT if name == "Exe" else str(uuid.uuid5(uuid.UUID(COMPONENTS[name]), arch)).upper()


def msi_name(version: str, arch: str = "x86") -> str:
    return f"vantrel-{version}.msi" if arch == "x86" else f"vantrel-{version}-{arch}.msi"


def zip_name(version: str) -> str:
    return f"vantrel-{version}-windows.zip"


def sha256(path: Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


# ---- the MSI ---------------------------------------------------------------------------


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
        defines = {"Version": version, "ProductCode": product_code(version, arch), "Exe": "vantrel.exe",
                   "Win64": "yes" if x64 else "no", "ProgramFiles": "ProgramFiles64Folder" if x64 else "ProgramFilesFolder",
                   "License": "LICENSE.txt", "Readme": "README.txt",
                   "Icon": "vantrel.ico", "HelpLink": HOME, "Comments": f"Built from commit {commit}",
                   "CloseRunning32": "close_running32.dll", "CloseRunning64": "close_running64.dll",
                   **{f"{name}Guid": component_code(name, arch) for name in COMPONENTS}}
        for path in work.iterdir():
            os.utime(path, (epoch, epoch))
        command = ["wixl", "-a", arch, "-o", "out.msi", "vantrel.wxs"]
        for name, value in defines.items():
            command[1:1] = ["-D", f"{name}={value}"]
        run(command, work, env={"TZ": "UTC"})
        upgrade = {"VERSION": version, "UPGRADE_CODE": "{" + str(UPGRADE_CODE).upper() + "}"}
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


# ---- Microsoft's validation rules ---------------------------------------------------------
# The conditions behind the ICE rules that packaging teams run (the rules themselves need
# Windows), read from the package's tables. Folders in the user's profile (ICE38, ICE64),
# and those of them that stay per-user even in a per-machine install (ICE91, ICE57).
PROFILE = {"AppDataFolder", "DesktopFolder", "FavoritesFolder", "LocalAppDataFolder", "MyPicturesFolder",
           "NetHoodFolder", "PersonalFolder", "PrintHoodFolder", "ProgramMenuFolder", "RecentFolder",
           "SendToFolder", "StartMenuFolder", "StartupFolder", "TemplateFolder"}
PER_USER_ONLY = {"AppDataFolder", "FavoritesFolder", "NetHoodFolder", "PersonalFolder", "PrintHoodFolder",
                 "RecentFolder", "SendToFolder", "MyPicturesFolder", "LocalAppDataFolder"}
COMPONENT_64BIT, COMPONENT_REGISTRY_KEY_PATH, ELEVATION_NOT_REQUIRED = 256, 4, 8


RULE_TABLES = {"Component", "Directory", "File", "IniFile", "LaunchCondition", "Registry", "RemoveFile", "Shortcut"}


def msi_tables(msi: Path, wanted: set[str]) -> dict[str, list[dict[str, str]]]:
    """The wanted tables of msi that it has, as rows of column -> value (`msiinfo export`)."""
    def export(*args: str) -> str:
        return subprocess.run(["msiinfo", *args], check=True, capture_output=True, text=True).stdout
    tables = {}
    for name in set(export("tables", str(msi)).split()) & wanted:
        lines = export("export", str(msi), name).splitlines()
        columns = lines[0].split("\t")
        tables[name] = [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]
    return tables


def rule_problems(msi: Path) -> list[str]:
    """What ICE30, ICE38, ICE43, ICE57, ICE64 and ICE91 would report, and a package that says
    it needs no elevation without stopping a per-machine install that has none, one line each."""
    tables = msi_tables(msi, RULE_TABLES)
    parent = {row["Directory"]: row["Directory_Parent"] for row in tables["Directory"]}
    components = {row["Component"]: row for row in tables["Component"]}
    registry = {row["Registry"]: row for row in tables.get("Registry", [])}

    def folders(directory: str) -> set[str]:  # the folder and those above it
        chain = set()
        while directory and directory not in chain:
            chain.add(directory)
            directory = parent.get(directory, "")
        return chain

    def scope(directory: str) -> str:
        chain = folders(directory)
        return "user" if chain & PER_USER_ONLY else "either" if chain & PROFILE else "machine"

    def current_user_key_path(name: str) -> bool:
        row = components[name]
        key = registry.get(row["KeyPath"])
        return (int(row["Attributes"]) & COMPONENT_REGISTRY_KEY_PATH != 0 and key is not None
                and key["Root"] in ("1", "-1") and key["Component_"] == name)

    problems = []
    for name, row in components.items():
        if folders(row["Directory_"]) & PROFILE and not current_user_key_path(name):
            problems.append(f"ICE38: {name} installs to the user's profile without an HKCU registry key path")
    for row in tables.get("Shortcut", []):
        if row["Target"].startswith("[") and not current_user_key_path(row["Component_"]):
            problems.append(f"ICE43: {row['Component_']} has the non-advertised shortcut {row['Shortcut']}"
                            " without an HKCU registry key path")
    # ICE57: per-user, per-machine and either (root -1, folders that follow ALLUSERS) in one component.
    roots = {"1": "user", "-1": "either"}
    kinds: dict[str, set[str]] = {name: set() for name in components}
    for row in tables.get("File", []):
        kinds[row["Component_"]].add(scope(components[row["Component_"]]["Directory_"]))
    for row in registry.values():
        kinds[row["Component_"]].add(roots.get(row["Root"], "machine"))
    for row in tables.get("Shortcut", []):
        kinds[row["Component_"]].add(scope(row["Directory_"]))
    problems += [f"ICE57: {name} mixes {' and '.join(sorted(found))} data" for name, found in kinds.items()
                 if len(found) > 1]
    removed = {row["DirProperty"] for row in tables.get("RemoveFile", []) if not row["FileName"]}
    problems += [f"ICE64: the folder {d} is in the user's profile but not in the RemoveFile table"
                 for d in parent if d not in PROFILE and folders(d) & PROFILE and d not in removed]
    for kind, table, where in (("file", "File", None), ("shortcut", "Shortcut", "Directory_"),
                               ("ini file", "IniFile", "DirProperty")):
        for row in tables.get(table, []):
            directory = row[where] if where else components[row["Component_"]]["Directory_"]
            if scope(directory) == "user":
                problems.append(f"ICE91: the {kind} {row[table]} goes to {directory}, which ALLUSERS does not change")
    seen: dict[tuple[str, str], str] = {}
    for row in tables.get("File", []):
        place = (components[row["Component_"]]["Directory_"], row["FileName"].split("|")[-1].lower())
        if place in seen and seen[place] != row["Component_"]:
            problems.append(f"ICE30: {seen[place]} and {row['Component_']} both install {place[1]} to {place[0]}")
        seen.setdefault(place, row["Component_"])
    return problems + platform_problems(msi, tables, components)


def platform_problems(msi: Path, tables: dict, components: dict) -> list[str]:
    summary = subprocess.run(["msiinfo", "suminfo", str(msi)], check=True, capture_output=True, text=True).stdout
    x64 = re.search(r"^Template: x64;", summary, re.M) is not None
    problems = [f"{name} is {'not ' if x64 else ''}a 64-bit component in the {'x64' if x64 else 'x86'} package"
                for name, row in components.items() if bool(int(row["Attributes"]) & COMPONENT_64BIT) != x64]
    folders = {row["Directory"] for row in tables["Directory"]}
    wanted, wrong = ("ProgramFiles64Folder", "ProgramFilesFolder") if x64 else ("ProgramFilesFolder", "ProgramFiles64Folder")
    if wanted not in folders or wrong in folders:
        problems.append(f"the package installs under {wrong if wrong in folders else 'neither'}, not {wanted}")
    word_count = int(re.search(r"^Source: (\d+)", summary, re.M)[1])
    stops = any("Privileged" in row["Condition"] and "ALLUSERS" in row["Condition"]
                for row in tables.get("LaunchCondition", []))
    if word_count & ELEVATION_NOT_REQUIRED and not stops:
        problems.append("the package asks for no elevation, yet nothing stops ALLUSERS=1 without administrator rights")
    return problems


# ---- signatures ---------------------------------------------------------------------------


def envelope_problems(exe: Path) -> list[str]:
    """osslsigncode pads an exe to a multiple of 8 before it appends the signature and
    rewrites the PE checksum when it takes it off again: the unsigned bytes come back
    exactly only from an exe that already has both."""
    import pefile
    pe = pefile.PE(str(exe), fast_load=True)
    problems = []
    if exe.stat().st_size % 8:
        problems.append(f"{exe}: its size {exe.stat().st_size} is not a multiple of 8")
    if pe.OPTIONAL_HEADER.CheckSum != pe.generate_checksum():
        problems.append(f"{exe}: its PE checksum {pe.OPTIONAL_HEADER.CheckSum:#x} is not {pe.generate_checksum():#x}")
    return problems


# ---- package-manager manifests ----------------------------------------------------------


def fill(template: str, values: dict[str, str]) -> str:
    return re.sub(r"@([A-Z0-9_]+)@", lambda m: values[m[1]], template)


def winget_folder(dist: Path, version: str) -> Path:
    # winget-pkgs keeps manifests/<first letter>/<publisher>/<name>/<version>/.
    publisher, name = IDENTIFIER.split(".")
    return dist / "winget" / "manifests" / publisher[0].lower() / publisher / name / version


def write_manifests(dist: Path, version: str) -> list[Path]:
    msi, msi64, archive = dist / msi_name(version), dist / msi_name(version, "x64"), dist / zip_name(version)
    for artefact in (msi, msi64, archive):
        if not artefact.is_file():
            raise ReleaseError(f"{artefact} is missing: the manifests describe the release's artefacts")
    values = {"VERSION": version, "IDENTIFIER": IDENTIFIER, "HOME": HOME,
              "URL": f"{RELEASES}/{version}", "PRODUCT_CODE": "{" + product_code(version) + "}",
              "PRODUCT_CODE_X64": "{" + product_code(version, "x64") + "}",
              "UPGRADE_CODE": "{" + str(UPGRADE_CODE).upper() + "}",
              "MSI": msi.name, "MSI_SHA256": sha256(msi).upper(),
              "MSI_X64": msi64.name, "MSI_X64_SHA256": sha256(msi64).upper(), "ZIP": archive.name, "ZIP_SHA256": sha256(archive)}
    written = []
    folder = winget_folder(dist, version)
    folder.mkdir(parents=True, exist_ok=True)
    for template in sorted((PACKAGING / "winget").glob("*.yaml")):
        target = folder / template.name.replace("IDENTIFIER", IDENTIFIER)
        target.write_text(fill(template.read_text(), values))
        written.append(target)
    (dist / "scoop").mkdir(exist_ok=True)
    scoop = dist / "scoop" / "vantrel.json"
    scoop.write_text(fill((PACKAGING / "scoop" / "vantrel.json").read_text(), values))
    return written + [scoop]


WINGET_REQUIRED = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                      "License", "ShortDescription", "ManifestType", "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"],
}
INSTALLER_REQUIRED = ["Architecture", "InstallerType", "InstallerUrl", "InstallerSha256"]
SCOOP_REQUIRED = ["version", "description", "homepage", "license", "architecture", "checkver", "autoupdate"]


def check_manifests(dist: Path, version: str) -> list[str]:
    """What winget-pkgs' validation and Scoop's maintainers would reject, one line each."""
    problems: list[str] = []
    artefacts = {name: sha256(dist / name) for name in (msi_name(version), msi_name(version, "x64"), zip_name(version))
                 if (dist / name).is_file()}
    folder = winget_folder(dist, version)
    manifests = {}
    for path in sorted(folder.glob("*.yaml")) if folder.is_dir() else []:
        document = yaml.safe_load(path.read_text()) or {}
        manifests[document.get("ManifestType")] = (path.name, document)
    for kind, required in WINGET_REQUIRED.items():
        if kind not in manifests:
            problems.append(f"winget: no {kind} manifest in {folder}")
            continue
        name, document = manifests[kind]
        problems += [f"winget {name}: {key} is missing" for key in required if not document.get(key)]
        if document.get("PackageIdentifier") not in (None, IDENTIFIER):
            problems.append(f"winget {name}: PackageIdentifier is {document['PackageIdentifier']}, not {IDENTIFIER}")
        if document.get("PackageVersion") not in (None, version):
            problems.append(f"winget {name}: PackageVersion {document['PackageVersion']} is not {version}")
        problems += check_urls(f"winget {name}", document, dist, version)
    root = manifests.get("installer", ("", {}))[1]
    for i, own in enumerate(root.get("Installers") or []):
        entry = {**root, **own}  # a key at the root holds for every installer
        where = f"winget installer {i + 1}"
        problems += [f"{where}: {key} is missing" for key in INSTALLER_REQUIRED if not entry.get(key)]
        problems += check_download(where, entry.get("InstallerUrl", ""), str(entry.get("InstallerSha256", "")),
                                   artefacts, version)
    problems += check_scoop(dist / "scoop" / "vantrel.json", artefacts, version, dist / zip_name(version))
    return problems


def urls(value):
    """Every address among a manifest's values ($baseurl is Scoop's folder of the download)."""
    if isinstance(value, dict):
        value = list(value.values())
    if isinstance(value, list):
        for item in value:
            yield from urls(item)
    elif isinstance(value, str) and re.match(r"(https?://|\$baseurl)", value):
        yield value


def check_urls(where: str, document, dist: Path, version: str) -> list[str]:
    """A manifest may send its users only to what the release publishes, or the home page."""
    # SHA256SUMS comes last, after this check.
    published = {path.relative_to(dist).as_posix() for path in dist.rglob("*") if path.is_file()} | {"SHA256SUMS"}
    folders = [folder.format(version=version) for folder in RELEASE_FOLDERS]
    problems = []
    for url in urls(document):
        filled = fill_scoop(url.replace("$baseurl", f"{RELEASES}/$version"), version)
        names = [filled[len(folder):] for folder in folders if filled.startswith(folder)]
        if filled != HOME and not published.intersection(names):
            problems.append(f"{where}: {url} is neither a file of this release nor the home page")
    return problems


def check_download(where: str, url: str, digest: str, artefacts: dict[str, str], version: str) -> list[str]:
    problems = []
    if not url.startswith("https://") or f"/{version}/" not in url:
        problems.append(f"{where}: {url!r} is not a version-specific https URL (.../{version}/...)")
    name = url.rsplit("/", 1)[-1]
    if name not in artefacts:
        problems.append(f"{where}: {name!r} is not an artefact of this release")
    elif digest.lower() != artefacts[name]:
        problems.append(f"{where}: the hash {digest or '(none)'} is not {name}'s SHA-256 {artefacts[name]}")
    return problems


def check_scoop(path: Path, artefacts: dict[str, str], version: str, archive: Path) -> list[str]:
    if not path.is_file():
        return [f"scoop: {path} is missing"]
    try:
        manifest = json.loads(path.read_text())
    except json.JSONDecodeError as error:
        return [f"scoop: {path} is not JSON: {error}"]
    problems = [f"scoop: {key} is missing" for key in SCOOP_REQUIRED if not manifest.get(key)]
    problems += check_urls("scoop", manifest, path.parents[1], version)
    if manifest.get("version") not in (None, version):
        problems.append(f"scoop: version {manifest['version']} is not {version}")
    names = set(zipfile.ZipFile(archive).namelist()) if archive.is_file() else set()
    for arch in ("32bit", "64bit"):
        entry = (manifest.get("architecture") or {}).get(arch)
        if not entry:
            problems.append(f"scoop: no {arch} entry")
            continue
        problems += check_download(f"scoop {arch}", entry.get("url", ""), entry.get("hash", ""), artefacts, version)
        paths = [entry.get("bin", "")] + [shortcut[0] for shortcut in entry.get("shortcuts", [])]
        problems += [f"scoop {arch}: {p!r} is not in {archive.name}" for p in paths if p.replace("\\", "/") not in names]
        auto = ((manifest.get("autoupdate") or {}).get("architecture") or {}).get(arch, {}).get("url", "")
        if fill_scoop(auto, version) != entry.get("url"):
            problems.append(f"scoop {arch}: autoupdate's URL {auto!r} does not give this version's URL")
    return problems


def fill_scoop(url: str, version: str) -> str:
    return url.replace("$version", version)


# ---- command line -------------------------------------------------------------------------


def main(argv: list[str]) -> int:
    command, *args = argv or [""]
    try:
        if command == "msi" and len(args) == 4:
            stage, version, commit, epoch = args
            for arch in ARCHES:
                print(build_msi(Path(stage) / "files", Path(stage) / msi_name(version, arch), version, commit, int(epoch), arch))
        elif command == "rules" and len(args) == 1:
            problems = rule_problems(Path(args[0]))
            for problem in problems:
                print(f"{args[0]}: {problem}", file=sys.stderr)
            return 1 if problems else 0
        elif command == "manifests" and len(args) == 2:
            for path in write_manifests(Path(args[0]), args[1]):
                print(path)
        elif command == "check" and len(args) == 2:
            problems = check_manifests(Path(args[0]), args[1])
            for problem in problems:
                print(problem, file=sys.stderr)
            return 1 if problems else 0
        elif command == "envelope" and args:
            problems = [problem for exe in args for problem in envelope_problems(Path(exe))]
            for problem in problems:
                print(problem, file=sys.stderr)
            return 1 if problems else 0
        elif command == "same-msi" and len(args) == 2:
            differing = same_msi(Path(args[0]), Path(args[1]))
            if differing:
                print(f"the MSIs differ in the streams {', '.join(differing)}", file=sys.stderr)
            return 1 if differing else 0
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except (ReleaseError, OSError, yaml.YAMLError) as error:
        print(f"scripts/release.py {command}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

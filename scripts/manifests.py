"""The winget and Scoop manifests: written from packaging/winget and packaging/scoop with
the artefacts' hashes, and checked for what those repositories' maintainers require:
required keys, identifier and version, every download a file of this release with its
SHA-256, every address the home page or a file of the release; and that winget, on every
account and for every copy already there, picks an entry whose install goes through
(winget_model.py).
"""
from __future__ import annotations

import json
import re
import zipfile
from pathlib import Path

import yaml

import winget_model

from release_names import (HOME, IDENTIFIER, PACKAGING, RELEASE_FOLDERS, RELEASES, UPGRADE_CODE, ReleaseError, fill,
                           msi_name, product_code, sha256, zip_name)

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
    problems += winget_model.scenario_problems(root) if root.get("Installers") else []
    seen = set()
    for i, own in enumerate(root.get("Installers") or []):
        entry = {**root, **own}  # a key at the root holds for every installer
        where = f"winget installer {i + 1}"
        # winget refuses a manifest with two entries it cannot tell apart.
        identity = tuple(entry.get(k) for k in ("InstallerType", "Architecture", "InstallerLocale", "Scope"))
        problems += [f"{where}: a duplicate installer entry {identity}"] if identity in seen else []
        seen.add(identity)
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

"""What a release and its files are called and identified by: the names of the
artefacts, the product's fixed codes and addresses, and the product and component codes
that follow from them. Shared by the release scripts and their tests.
"""
from __future__ import annotations

import hashlib
import re
import uuid
from pathlib import Path

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


class ReleaseError(Exception):
    pass


# The version lives in the file VERSION alone: MAJOR.MINOR.REVISION.
VERSION = (ROOT / "VERSION").read_text().strip()
# A package built from any commit but a version's release says so in its version:
# 2.0.6-dev.0123456789ab, a development build of commit 0123456789ab... (scripts/package).
DEVELOPMENT = "-dev."


def numeric_version(version: str) -> str:
    """What Windows Installer's ProductVersion can hold: the numbers alone."""
    return version.split(DEVELOPMENT)[0]


def next_patch(version: str, steps: int = 1) -> str:
    major, minor, revision = numeric_version(version).split(".")
    return f"{major}.{minor}.{int(revision) + steps}"


ARCHES = ("x86", "x64")
# The component codes of the x86 package (2.0.5's, so an upgrade finds its components where
# they were); the x64 package's are derived from them, apart from the exe's, which 2.0.5
# already gave the 64-bit build.
COMPONENTS = {"Exe": "7C2E9A41-3B5D-4F08-A1C6-0D9E8B7F6A52", "Texts": "9A3C5E17-2D8B-4F6A-8C1E-5B7D9F0A2C34",
              "MenuShortcut": "3F6D8B29-4E1A-4C7B-9D2F-6A8E0B1C3D45",
              "StartupShortcut": "6B1E3D57-8A2C-4E9F-B7D1-2C4A6E8F0B96", "Folders": "D2A4C6E8-0B1D-4F3A-95C7-E9B1D3F5A7C9"}
EXE64_COMPONENT = "1E4B8D27-6C9F-4A3E-B5D0-7F2A1C8E9B63"


def product_code(version: str, arch: str = "x86") -> str:
    """One product code per version and platform: a rebuild of a release is the same
    product, and a development build (its version names its commit) another one."""
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


# @NAME@ in a template, filled from values.
def fill(template: str, values: dict[str, str]) -> str:
    return re.sub(r"@([A-Z0-9_]+)@", lambda m: values[m[1]], template)

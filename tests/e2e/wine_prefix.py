"""The Wine prefix every rig starts from: made once (wineboot -i, Wine's fonts added)
for each Wine version and font set, kept in build/wine-template under a file lock that
other rigs share, and copied for each rig with Windows' own DLLs hard-linked.
"""
from __future__ import annotations

import fcntl
import os
import shutil
import subprocess
from pathlib import Path

from waiting import RigError

REPO_ROOT = Path(__file__).resolve().parents[2]
TEMPLATE = Path(os.environ.get("VANTREL_WINE_TEMPLATE") or REPO_ROOT / "build" / "wine-template")
WINE_FONTS = Path("/usr/share/wine/fonts")
# The 64-bit loader runs the desktop and the probe; Wine hands a 32-bit exe to the 32-bit
# loader by itself where 32-bit Wine is installed.
WINE = "/usr/lib/wine/wine64" if Path("/usr/lib/wine/wine64").exists() else "wine"
# The prefix's own DLLs and programs: hard-linked from the template, which nothing writes.
PE_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".ax", ".tlb", ".ds", ".msstyles", ".nls"}


def windows_path(path: Path | str) -> str:
    """The name of a Linux file in every prefix: Z: is the Linux root."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def template_stamp() -> str:
    # A prefix made by another Wine would be "updated" on first use, as slowly as a new
    # one; one made before 32-bit Wine was installed fails every 32-bit program.
    version = subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip()
    fonts = len(list(WINE_FONTS.glob("*"))) if WINE_FONTS.is_dir() else 0
    return f"{version} fonts:{fonts} wine32:{Path('/usr/lib/wine/wine').exists()}\n"


def ensure_template(env: dict[str, str], scratch: Path) -> None:
    TEMPLATE.parent.mkdir(parents=True, exist_ok=True)
    with open(f"{TEMPLATE}.lock", "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)  # another rig may be making it right now
        stamp = TEMPLATE / ".vantrel-template"
        if stamp.exists() and stamp.read_text() == template_stamp():
            return
        work = Path(f"{TEMPLATE}.building-{os.getpid()}")
        shutil.rmtree(work, ignore_errors=True)
        env = {**env, "WINEPREFIX": str(work)}
        try:
            # Output to a file: the services wineboot starts outlive it and keep pipes open.
            with open(scratch / "wineboot.log", "wb") as log:
                boot = subprocess.run([WINE, "wineboot", "-i"], env=env, timeout=300,
                                      stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
            subprocess.run(["wineserver", "-w"], env=env, timeout=120)
            if boot.returncode != 0 or not (work / "system.reg").exists():
                raise RigError(f"wineboot -i failed:\n{(scratch / 'wineboot.log').read_text(errors='replace')}")
            (work / "wineserver").unlink(missing_ok=True)  # each copy makes its own socket
            # Debian's Wine does not look in its own font folder; without these the dialog
            # faces fall back to a wider font that no longer fits the layouts.
            fonts = work / "drive_c" / "windows" / "Fonts"
            for font in WINE_FONTS.glob("*"):
                shutil.copy2(font, fonts / font.name)
            (work / ".vantrel-template").write_text(template_stamp())
            shutil.rmtree(TEMPLATE, ignore_errors=True)
            os.replace(work, TEMPLATE)
        finally:
            shutil.rmtree(work, ignore_errors=True)


def copy_template(dest: Path) -> None:
    windows = TEMPLATE / "drive_c" / "windows"

    def copy(src: str, dst: str) -> None:
        if Path(src).suffix.lower() in PE_SUFFIXES and windows in Path(src).parents:
            try:
                os.link(src, dst)
                return
            except OSError:  # another file system
                pass
        shutil.copy2(src, dst)

    with open(f"{TEMPLATE}.lock", "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_SH)  # copies side by side, never during a rebuild
        shutil.copytree(TEMPLATE, dest, symlinks=True, copy_function=copy)

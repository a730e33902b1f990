"""The Wine prefix every rig starts from: made once (wineboot -i, Wine's fonts added)
for each Wine version and font set, kept in build/wine-template-VERSION under a file lock that
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
# The 64-bit loader runs the desktop and the probe; Wine hands a 32-bit exe to the 32-bit
# loader by itself where 32-bit Wine is installed.
WINE = "/usr/lib/wine/wine64" if Path("/usr/lib/wine/wine64").exists() else "wine"
WINE_VERSION = subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip()
# One template per Wine (Debian 12's and Debian 13's take turns on one machine).
TEMPLATE = Path(os.environ.get("VANTREL_WINE_TEMPLATE")
                or REPO_ROOT / "build" / f"wine-template-{WINE_VERSION.split()[0].removeprefix('wine-')}")
WINE_FONTS = Path("/usr/share/wine/fonts")

# ---- what the rig meets differently in Debian 12's Wine 8 and Debian 13's Wine 10 ----
WINE_MAJOR = int(WINE_VERSION.removeprefix("wine-").split(".")[0] or 0)
# Wine 10 aborts in wineboot ("free(): invalid pointer") whenever TMPDIR is set.
TMPDIR_WORKS = WINE_MAJOR < 10
# Wine 10's shell takes the foreground when its taskbar is clicked (as Windows'), and
# hides the taskbar at every display-mode change, for good.
TASKBAR_TAKES_FOREGROUND = TASKBAR_LOST_AT_MODE_CHANGE = WINE_MAJOR >= 10
# Wine 10's user32 loads uxtheme.dll by name before the program's first line runs.
THEME_DLL_BEFORE_THE_PROGRAM = WINE_MAJOR >= 10
# The desktop's X window: "shell - Wine desktop" in Wine 8, "... Desktop" in Wine 10.
DESKTOP_WINDOW_SUFFIX = "(?i: - Wine desktop)"

# The prefix's own DLLs and programs: hard-linked from the template, which nothing writes.
PE_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".ax", ".tlb", ".ds", ".msstyles", ".nls"}


def windows_path(path: Path | str) -> str:
    """The name of a Linux file in every prefix: Z: is the Linux root."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def remove_server_folder(prefix: Path) -> None:
    """Debian's Wine keeps the server's socket in a folder under TMPDIR that the prefix
    names; without TMPDIR (Wine 10) that is /tmp, which outlives the rig."""
    link = prefix / "wineserver"
    name = link.read_text(errors="replace").strip() if link.is_file() else ""
    if not TMPDIR_WORKS and name.startswith("wine-") and "/" not in name:
        shutil.rmtree(Path("/tmp") / name, ignore_errors=True)
    link.unlink(missing_ok=True)


def template_stamp() -> str:
    # A prefix made by another Wine would be "updated" on first use, as slowly as a new
    # one; one made before 32-bit Wine was installed fails every 32-bit program.
    fonts = len(list(WINE_FONTS.glob("*"))) if WINE_FONTS.is_dir() else 0
    return f"{WINE_VERSION} fonts:{fonts} wine32:{Path('/usr/lib/wine/wine').exists()}\n"


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
                output = (scratch / "wineboot.log").read_text(errors="replace").strip()
                raise RigError(f"wineboot -i ended with {boot.returncode}: {output[output.rfind(chr(10)) + 1:]}\n{output}")
            remove_server_folder(work)  # each copy makes its own socket
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

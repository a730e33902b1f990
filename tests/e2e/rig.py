"""Runs Windows programs under Wine on a private Xvfb, in a copy of a cached Wine prefix
and a Wine desktop named "shell", and drives them as a person would (xdotool, screenshots)
and as another program would (the probe, build/win64/probe.exe, inside that desktop).
stop() (leaving the with-block, interpreter exit, SIGTERM) ends all of it.
"""
from __future__ import annotations

import atexit
import os
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time
from pathlib import Path
from typing import NamedTuple, Sequence
import psutil
from xvfbwrapper import Xvfb

from waiting import ProbeError, RigError, settle, wait_until  # noqa: F401 - the tests import them from here
from wine_prefix import (DESKTOP_WINDOW_SUFFIX, TASKBAR_LOST_AT_MODE_CHANGE, TASKBAR_TAKES_FOREGROUND,  # noqa: F401
                         THEME_DLL_BEFORE_THE_PROGRAM, TMPDIR_WORKS, WINE, copy_template, ensure_template,
                         remove_server_folder, windows_path)

REPO_ROOT = Path(__file__).resolve().parents[2]
PROBE = REPO_ROOT / "build" / "win64" / "probe.exe"
DESKTOP_NAME = "shell"
# Wine 8's explorer paints tray icons in 20-pixel slots from the taskbar's right end;
# Wine 10's gives each a child window of the taskbar, of class __wine_tray_icon.
TRAY_SLOT_WIDTH = 20

class ProbeResult(NamedTuple):
    out: str
    code: int
    err: str
    ok = property(lambda self: self.code == 0)


class Geometry(NamedTuple):
    x: int
    y: int
    width: int
    height: int
    size = property(lambda self: (self.width, self.height))


def read_text(path: Path | None) -> str:
    return path.read_text(errors="replace") if path and path.exists() else ""


class Launch(NamedTuple):
    """A program started with WineRig.launch(). Its processes are found by exe name, so
    two copies of one exe are not told apart."""
    rig: WineRig
    log_path: Path
    exe_name: str

    def log(self) -> str:
        return read_text(self.log_path)

    def wait_log(self, pattern: str, timeout: float = 10.0) -> re.Match:
        return wait_until(lambda: re.search(pattern, self.log()), timeout, message=f"{pattern!r} in the log")

    def pids(self) -> list[int]:
        return [pid for pid, cmd in self.rig.processes() if self.exe_name in cmd.lower()]

    def running(self) -> bool:
        return bool(self.pids())

    def wait_exit(self, timeout: float = 15.0) -> None:
        wait_until(lambda: not self.running(), timeout, message=f"{self.exe_name} to end")


class WineRig:
    """A private Xvfb, Wine prefix and Wine desktop named "shell"."""

    wait_until = staticmethod(wait_until)

    def __init__(self, screen: str = "1600x1200", desktop: str = "1024x768", debug: str = "", dpi: int = 96,
                 colours: dict[str, str] | None = None):
        """screen bounds the display modes Wine offers; desktop is the Wine desktop's size
        (one of Wine's mode sizes); debug is WINEDEBUG for the desktop's explorer, which
        holds the tray and its tooltips (read with desktop_log()); dpi is the session's,
        set before anything starts, as a sign-in would, and so are colours, the system colours
        by their registry names ("Window": "0 0 0")."""
        self.screen, self.desktop, self.debug, self.dpi = screen, desktop, debug, dpi
        self.colours = colours or {}
        self.dir: Path | None = None
        self.prefix: Path | None = None
        self.probe_exe = PROBE
        self.xvfb: Xvfb | None = None
        self.display = ""
        self.desktop_log_path: Path | None = None
        self._keeper: subprocess.Popen | None = None
        self._popens: list[subprocess.Popen] = []
        self._counter = 0

    def __enter__(self) -> WineRig:
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    # ---- life cycle ----------------------------------------------------------------

    def start(self) -> WineRig:
        if not self.probe_exe.is_file():
            raise RigError(f"{self.probe_exe} is missing: build the win64 preset first")
        _live_rigs.add(self)
        try:
            self.dir = Path(tempfile.mkdtemp(prefix="vantrel-rig-"))
            (self.dir / "tmp").mkdir()
            width, height = map(int, self.screen.split("x"))
            # An empty DISPLAY (a shell that cleared it) is no display; the wrapper would
            # take it for one and fail to parse it.
            if not os.environ.get("DISPLAY"):
                os.environ.pop("DISPLAY", None)
            self.xvfb = Xvfb(width=width, height=height, colordepth=24, nolisten="tcp")
            self.xvfb.start()
            self.display = f":{self.xvfb.new_display}"
            # Xvfb may take a while to listen, longer on a busy machine: asked again till then.
            wait_until(lambda: not subprocess.run(["xdotool", "getdisplaygeometry"], env=self.env(),
                                                  capture_output=True).returncode,
                       15, message=f"Xvfb on {self.display} to take connections")
            ensure_template(self.env(), self.dir)
            self.prefix = self.dir / "prefix"
            copy_template(self.prefix)
            self._write_registry()
            self._start_desktop()
        except Exception as error:
            self.stop()
            raise RigError(f"the rig did not start: {str(error).splitlines()[0] if str(error) else repr(error)}") from error
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self) -> None:
        """Ends every process of the rig and deletes its folder; safe to call twice."""
        if self not in _live_rigs:
            return
        _live_rigs.discard(self)
        try:
            # The prefix is thrown away, so nothing needs a clean shutdown: every process
            # with the rig's prefix in its environment is killed, wineserver first.
            deadline = time.monotonic() + 5
            while (left := self.processes()) and time.monotonic() < deadline:
                for pid, cmd in sorted(left, key=lambda p: "wineserver" not in p[1]):
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                time.sleep(0.02)
            for popen in self._popens:
                popen.kill()  # nothing once it has ended
                popen.wait(timeout=5)
                for stream in (popen.stdin, popen.stdout):
                    if stream:
                        stream.close()
            if self.xvfb:
                self.xvfb.stop()
            if self.prefix:
                remove_server_folder(self.prefix)
        finally:
            if self.dir:
                shutil.rmtree(self.dir, ignore_errors=True)

    def processes(self) -> list[tuple[int, str]]:
        """(pid, command line) of the live processes that use the rig's prefix."""
        if not self.prefix:
            return []
        found = []
        for process in psutil.process_iter(["pid", "cmdline", "status"]):
            try:
                if process.info["status"] == psutil.STATUS_ZOMBIE:
                    continue
                if process.environ().get("WINEPREFIX") == str(self.prefix):
                    found.append((process.info["pid"], " ".join(process.info["cmdline"] or [])))
            except (psutil.Error, OSError):
                continue
        return found

    def env(self, debug: str = "") -> dict[str, str]:
        env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "LC_")) and k != "LANGUAGE"}
        env.update({"DISPLAY": self.display, "WINEDLLOVERRIDES": "mscoree,mshtml=", "WINEDEBUG": debug or "-all",
                    "LANG": "C.UTF-8"})
        env.pop("TMPDIR", None)
        if TMPDIR_WORKS:  # Debian's Wine keeps its server socket under TMPDIR: gone with the rig.
            env["TMPDIR"] = str(self.dir / "tmp")
        if self.prefix:
            env["WINEPREFIX"] = str(self.prefix)
        return env

    def _write_registry(self) -> None:
        """Settings appended to the copied user.reg before Wine first reads it."""
        recorder = self.dir / "record-launch.sh"
        recorder.write_text(f"#!/bin/sh\nprintf '%s\\n' \"$*\" >> '{self.dir / 'launches.txt'}'\n")
        recorder.chmod(0o755)
        recorder_value = str(recorder).replace("\\", "\\\\")
        with open(self.prefix / "user.reg", "a", encoding="utf-8") as reg:
            reg.write('\n[Software\\\\Wine\\\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n'
                      f'\n[Control Panel\\\\Desktop]\n"LogPixels"=dword:{self.dpi:08x}\n'
                      '\n[Control Panel\\\\Colors]\n' + "".join(f'"{name}"="{rgb}"\n' for name, rgb in self.colours.items()) +
                      # Every plain "wine prog.exe" (the probe, reg) joins the rig's desktop.
                      f'\n[Software\\\\Wine\\\\Explorer]\n"Desktop"="{DESKTOP_NAME}"\n'
                      f'\n[Software\\\\Wine\\\\Explorer\\\\Desktops]\n"{DESKTOP_NAME}"="{self.desktop}"\n'
                      f'\n[Software\\\\Wine\\\\WineBrowser]\n"Browsers"="{recorder_value}"\n'
                      f'"Mailers"="{recorder_value}"\n')

    def _start_desktop(self) -> None:
        # Wine closes a desktop a second after its last program ends, so the probe's
        # "hold" keeps one on it. As the first program it also starts the desktop's
        # explorer and services, which inherit its WINEDEBUG and stderr.
        self.desktop_log_path = self._next_log("desktop")
        with open(self.desktop_log_path, "wb") as log:
            self._keeper = subprocess.Popen([WINE, str(self.probe_exe), "hold"], env=self.env(self.debug),
                                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log, cwd=self.dir)
        self._popens.append(self._keeper)
        if self._keeper.stdout.readline().strip() != b"ready":
            raise RigError(f"the desktop keeper did not start:\n{self.desktop_log()}")
        # The taskbar comes last; once it is there the desktop takes clicks.
        wait_until(lambda: self.probe("find", "Shell_TrayWnd", "-").ok, 60, message="the taskbar")

    def desktop_log(self) -> str:
        return read_text(self.desktop_log_path)

    # ---- Windows programs -----------------------------------------------------------

    def _next_log(self, stem: str) -> Path:
        self._counter += 1
        return self.dir / f"{self._counter:02d}-{re.sub(r'[^A-Za-z0-9_.-]', '_', stem)}.log"

    def launch(self, exe: Path | str, args: Sequence[str] = (), debug: str = "") -> Launch:
        """Starts a program on the rig's desktop; its output (WINEDEBUG=debug) goes to the
        launch's log. Started as a plain "wine prog.exe", which joins the desktop: one
        handed to the desktop's explorer keeps no output under Wine 10."""
        exe = Path(exe)
        if not exe.is_file():
            raise RigError(f"no such program: {exe}")
        log_path = self._next_log(exe.name)
        with open(log_path, "wb") as log:
            self._popens.append(subprocess.Popen(
                [WINE, str(exe), *map(str, args)],
                env=self.env(debug), stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, cwd=self.dir))
        return Launch(self, log_path, exe.name.lower())

    def wine(self, *args, timeout: float = 60, debug: str = "") -> subprocess.CompletedProcess:
        """Runs a Windows command to completion on the rig's desktop. Output goes through
        files: a service that the command starts would keep a pipe open."""
        with tempfile.TemporaryFile(dir=self.dir) as out, tempfile.TemporaryFile(dir=self.dir) as err:
            done = subprocess.run([WINE, *map(str, args)], env=self.env(debug), stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=timeout, cwd=self.dir)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(done.args, done.returncode, out.read(), err.read())

    def probe(self, *args, timeout: float = 30) -> ProbeResult:
        done = self.wine(self.probe_exe, *args, timeout=timeout)
        text = [stream.decode("utf-8", "replace").replace("\r\n", "\n") for stream in (done.stdout, done.stderr)]
        return ProbeResult(text[0], done.returncode, text[1])

    def probe_ok(self, *args, timeout: float = 30) -> str:
        """The probe's output without its last newline; ProbeError unless it succeeded."""
        result = self.probe(*args, timeout=timeout)
        if not result.ok:
            raise ProbeError(f"probe {' '.join(map(str, args))} -> {result.code}: {result.err.strip()}")
        return result.out.rstrip("\n")

    def wait_window(self, cls: str = "-", caption: str = "-", timeout: float = 10.0) -> str:
        """The handle of the first visible top-level window of that class and caption."""
        return self.probe_ok("wait-window", cls, caption, int(timeout * 1000), timeout=timeout + 30)

    def box_text(self, box: str) -> str:
        """A message box's text: that of its static control 0xFFFF."""
        return next((line.split("\t")[-1] for line in self.probe_ok("children", box).splitlines()
                     if line.startswith("0xffff\t")), "")

    def reg(self, *args) -> str:
        done = self.wine("reg", *args)
        if done.returncode != 0:
            raise RigError(f"reg {' '.join(map(str, args))} failed: {done.stdout!r} {done.stderr!r}")
        return done.stdout.decode(errors="replace")

    def recorded_launches(self) -> list[str]:
        """What programs handed to the browser or the mailer (Wine encodes blanks)."""
        return read_text(self.dir / "launches.txt").splitlines()

    # ---- the X side -------------------------------------------------------------------

    def _x(self, *cmd) -> str:
        done = subprocess.run(list(map(str, cmd)), env={**os.environ, "DISPLAY": self.display},
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30)
        if done.returncode != 0:
            raise RigError(f"{' '.join(map(str, cmd))} failed: {done.stderr.strip()}")
        return done.stdout

    def xdotool(self, *args) -> str:
        return self._x("xdotool", *args)

    def click(self, x: int, y: int, button: int = 1) -> None:
        self.xdotool("mousemove", x, y, "click", button)

    def screenshot(self, path: Path | str | None = None) -> Path:
        if path is None:
            path = self._next_log("screenshot").with_suffix(".png")
        self._x("import", "-window", "root", path)
        return Path(path)

    def desktop_geometry(self) -> Geometry:
        """Where the Wine desktop's X window is, and its size (it follows mode changes)."""
        tree = self._x("xwininfo", "-root", "-tree")
        match = re.search(rf'^\s*0x[0-9a-f]+ "{DESKTOP_NAME}{DESKTOP_WINDOW_SUFFIX}":.*?\s(\d+)x(\d+)'
                          r'[+-]-?\d+[+-]-?\d+\s+([+-]-?\d+)([+-]-?\d+)\s*$', tree, re.M)
        if not match:  # a moment of a mode change, or no desktop at all
            raise LookupError("no Wine desktop window on the X screen")
        width, height, x, y = map(int, match.groups())
        return Geometry(x, y, width, height)

    def tray_icon_point(self) -> tuple[int, int]:
        """The X-screen point at the centre of the first tray icon added (the rightmost),
        worked out afresh: a mode change moves the taskbar."""
        self.restore_taskbar()
        geometry = self.desktop_geometry()
        client, *children = [line.split("\t") for line in self.probe_ok("children", self.taskbar()).splitlines()]
        width, height, x, y = map(int, client[1:])
        icons = [tuple(map(int, c[3:7])) for c in children if c[1] == "__wine_tray_icon" and c[2] == "1"]
        left, top, right, bottom = max(icons, key=lambda r: r[2], default=(width - TRAY_SLOT_WIDTH, 0, width, height))
        return geometry.x + x + (left + right) // 2, geometry.y + y + (top + bottom) // 2

    def taskbar(self) -> str:
        return self.probe_ok("find", "Shell_TrayWnd", "-")

    def restore_taskbar(self) -> None:
        """The taskbar back at the bottom edge where the shell lost it at a mode change."""
        if TASKBAR_LOST_AT_MODE_CHANGE:
            self.probe("taskbar-to-bottom")

    def foreground_after_tray_menu(self, before: str) -> str:
        """Where the foreground goes back to once a menu opened from the tray is dismissed:
        `before`, or the taskbar where a click takes the foreground to it (Wine 10, Windows)."""
        return self.taskbar() if TASKBAR_TAKES_FOREGROUND else before


# ---- rigs still running when the interpreter ends -----------------------------------

_live_rigs: set[WineRig] = set()


def _stop_all_rigs() -> None:
    for rig in list(_live_rigs):
        rig.stop()


def _exit_on_sigterm(signum, frame):
    # A CI timeout sends SIGTERM; as SystemExit it unwinds with-blocks and runs atexit.
    raise SystemExit(128 + signum)


atexit.register(_stop_all_rigs)
if threading.current_thread() is threading.main_thread() and signal.getsignal(signal.SIGTERM) is signal.SIG_DFL:
    signal.signal(signal.SIGTERM, _exit_on_sigterm)

"""Run a Windows program under Wine on a private headless X server and drive it
the way a person would: clicks and keys through xdotool, looks through
screenshots and OCR, and questions to a small Win32 helper (the probe) that
runs inside the same Wine desktop.

    with WineRig(debug="+tooltips") as rig:
        app = rig.launch(REPO_ROOT / "build/win64/vantrel.exe", debug="+menu")
        hwnd = rig.wait_window("SomeClass")
        rig.click(*rig.tray_icon_point(), button=3)
        menu = rig.wait_window("#32768")
        rig.probe_ok("menu-keys", menu, "DOWN", "RETURN")

Every rig owns an Xvfb display, a copy of a cached Wine prefix, a Wine
desktop named "shell" kept alive for the rig's lifetime, and a temporary
folder. stop() (leaving the with-block, interpreter exit, SIGTERM) ends all
of it by process id and deletes the folder.

Only the Python standard library is used.
"""

from __future__ import annotations

import atexit
import ctypes
import dataclasses
import fcntl
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import threading
import time
from pathlib import Path
from typing import Callable, NamedTuple, Sequence, TypeVar

REPO_ROOT = Path(__file__).resolve().parents[2]
DEFAULT_TEMPLATE = REPO_ROOT / "build" / "wine-template"
DEFAULT_PROBE = REPO_ROOT / "build" / "win64" / "probe.exe"
PROBE_SOURCE = Path(__file__).resolve().parent / "probe" / "probe.cpp"

DESKTOP_NAME = "shell"
CROSS_CXX = "x86_64-w64-mingw32-g++-posix"
CROSS_FLAGS = ("-std=c++20", "-O2", "-Wall", "-Wextra", "-Werror",
               "-static", "-static-libgcc", "-static-libstdc++")

# Wine's explorer paints tray icons inside the taskbar in 20 px slots from
# its right end, the first icon added in the rightmost slot.
TRAY_SLOT_WIDTH = 20

RIG_DIR_PREFIX = "vantrel-rig-"

T = TypeVar("T")


class RigError(RuntimeError):
    pass


class ProbeError(RigError):
    pass


class Geometry(NamedTuple):
    x: int
    y: int
    width: int
    height: int

    @property
    def size(self) -> tuple[int, int]:
        return (self.width, self.height)


@dataclasses.dataclass(frozen=True)
class ProbeResult:
    """What the probe printed. Unpacks as (out, code)."""
    out: str
    code: int
    err: str

    def __iter__(self):
        return iter((self.out, self.code))

    @property
    def ok(self) -> bool:
        return self.code == 0

    @property
    def lines(self) -> list[str]:
        return self.out.splitlines()


@dataclasses.dataclass
class Launch:
    """A program started with WineRig.launch().

    popen is the short-lived Wine launcher, not the program: it exits as soon
    as the program runs. pids()/running()/wait_exit() look at the program
    itself, identified by its exe name (two instances are not told apart)."""
    popen: subprocess.Popen
    log_path: Path
    exe_name: str
    rig: "WineRig"

    def log(self) -> str:
        return read_text(self.log_path)

    def wait_log(self, pattern: str, timeout: float = 10.0) -> re.Match:
        """Waits until the regular expression matches this launch's log."""
        regex = re.compile(pattern)
        return self.rig.wait_until(lambda: regex.search(self.log()), timeout,
                                   message=f"{pattern!r} in {self.log_path}")

    def pids(self) -> list[int]:
        return [pid for pid, cmd in self.rig.processes()
                if self.exe_name in cmd.lower() and "/desktop=" not in cmd]

    def running(self) -> bool:
        return bool(self.pids())

    def wait_exit(self, timeout: float = 10.0) -> None:
        self.rig.wait_until(lambda: not self.running(), timeout, message=f"{self.exe_name} to exit")


# ---- tools --------------------------------------------------------------------

def wine_loader() -> str:
    # Debian's /usr/bin/wine is a wrapper that nags about the missing 32-bit
    # loader on every start; the 64-bit loader itself is quiet.
    override = os.environ.get("VANTREL_WINE")
    if override:
        return override
    direct = Path("/usr/lib/wine/wine64")
    return str(direct) if direct.exists() else "wine"


def wineserver_binary() -> str:
    return os.environ.get("VANTREL_WINESERVER", "wineserver")


def unix_to_windows_path(path: Path | str) -> str:
    # Every prefix maps Z: to /, so an absolute Unix path always has this name.
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def ensure_probe(path: Path | str | None = None) -> Path:
    """The probe exe: path, else $VANTREL_PROBE (used as it is), else
    build/win64/probe.exe, compiled here when missing or older than its
    source."""
    explicit = os.environ.get("VANTREL_PROBE")
    if path is None and explicit:
        probe = Path(explicit)
        if not probe.exists():
            raise RigError(f"VANTREL_PROBE={explicit} does not exist")
        return probe
    probe = Path(path) if path else DEFAULT_PROBE
    if probe.exists() and probe.stat().st_mtime >= PROBE_SOURCE.stat().st_mtime:
        return probe
    return compile_windows_program(PROBE_SOURCE.read_text(), probe)


def compile_windows_program(source: str, output: Path | str, extra_flags: Sequence[str] = ()) -> Path:
    """Cross-compiles one C++ source text into a static x86_64 Windows exe
    (the probe, throwaway test programs). Pass "-mwindows" for a GUI program."""
    output = Path(output)
    output.parent.mkdir(parents=True, exist_ok=True)
    # A private name first, so a concurrent test never runs a half-written exe.
    tmp_out = output.with_name(f".{output.name}.{os.getpid()}.{threading.get_ident()}.tmp.exe")
    cmd = [CROSS_CXX, *CROSS_FLAGS, "-x", "c++", "-", "-x", "none", "-o", str(tmp_out), *extra_flags]
    done = subprocess.run(cmd, input=source, text=True, capture_output=True)
    if done.returncode != 0:
        tmp_out.unlink(missing_ok=True)
        raise RigError(f"compiling {output.name} failed:\n{done.stderr}")
    os.replace(tmp_out, output)
    return output


def read_text(path: Path | str | None) -> str:
    if path is None:
        return ""
    try:
        return Path(path).read_text(encoding="utf-8", errors="replace")
    except FileNotFoundError:
        return ""


def processes_with_prefix(prefix: Path | str) -> list[tuple[int, str]]:
    """(pid, command line) of live (not zombie) processes whose environment
    has WINEPREFIX=prefix. Wine hands its environment down to every process
    it starts, wineserver and services included."""
    needle = b"\0WINEPREFIX=" + str(prefix).encode() + b"\0"
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if needle not in b"\0" + f.read() + b"\0":
                    continue
            with open(f"/proc/{entry}/stat", "rb") as f:
                state = f.read().rsplit(b")", 1)[1].split()[0]
            if state in (b"Z", b"X"):
                continue
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except (OSError, IndexError):
            continue
        found.append((int(entry), cmdline))
    return found


def pid_alive(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def _read_line(fd: int, timeout: float) -> bytes:
    """One line from a pipe, or whatever arrived before timeout or EOF."""
    data = b""
    deadline = time.monotonic() + timeout
    while not data.endswith(b"\n"):
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            break
        ready, _, _ = select.select([fd], [], [], remaining)
        if not ready:
            break
        chunk = os.read(fd, 256)
        if not chunk:
            break
        data += chunk
    return data


def _decode(data: bytes) -> str:
    # Console output of a Windows program may carry CRLF line ends.
    return data.decode("utf-8", errors="replace").replace("\r\n", "\n")


def _reg_escape(text: str) -> str:
    return text.replace("\\", "\\\\").replace('"', '\\"')


def _shell_quote(text: str) -> str:
    return "'" + text.replace("'", "'\\''") + "'"


def _set_parent_death_signal() -> None:
    # Runs in the child between fork and exec: if the test process is killed
    # outright, the kernel takes Xvfb down with it instead of leaking it (the
    # Wine processes then lose their X connection and the desktop keeper its
    # stdin, and end by themselves).
    PR_SET_PDEATHSIG = 1
    try:
        ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)
    except (OSError, AttributeError):
        pass


# ---- rigs still running when the interpreter exits ---------------------------

_live_rigs: set["WineRig"] = set()
_signal_hooked = False


def _stop_all_rigs() -> None:
    for rig in list(_live_rigs):
        rig.stop()


atexit.register(_stop_all_rigs)


def _exit_on_sigterm(signum, frame):
    raise SystemExit(128 + signum)


def _hook_sigterm() -> None:
    # A CI timeout sends SIGTERM; as SystemExit it unwinds with-blocks and
    # runs atexit, so no Xvfb or wineserver outlives the test run.
    global _signal_hooked
    if _signal_hooked or threading.current_thread() is not threading.main_thread():
        return
    _signal_hooked = True
    if signal.getsignal(signal.SIGTERM) is signal.SIG_DFL:
        signal.signal(signal.SIGTERM, _exit_on_sigterm)


def _sweep_abandoned_rigs() -> None:
    """Deletes the folders of rigs whose test process was SIGKILLed."""
    for folder in Path(tempfile.gettempdir()).glob(RIG_DIR_PREFIX + "*"):
        try:
            owner = int((folder / "owner.pid").read_text())
        except (OSError, ValueError):
            continue
        if pid_alive(owner) or processes_with_prefix(folder / "prefix"):
            continue
        shutil.rmtree(folder, ignore_errors=True)


class WineRig:
    """A private X server, Wine prefix and Wine desktop named "shell"."""

    def __init__(self, screen: str = "1600x1200x24", desktop: str = "1024x768", *,
                 debug: str = "", template: Path | str | None = None,
                 probe_exe: Path | str | None = None, link_binaries: bool = True):
        """screen: the Xvfb screen, WxHxDEPTH; it bounds the display modes
        Wine offers. desktop: the Wine desktop's size (use a size from Wine's
        mode table). debug: WINEDEBUG for the desktop's explorer and services
        (the tray, its tooltips and the taskbar live there), read with
        desktop_log(). template: cached prefix folder, default
        $VANTREL_WINE_TEMPLATE or build/wine-template. link_binaries:
        hard-link the prefix's 630 MB of DLLs/EXEs from the template instead
        of copying them (nothing writes to them); False copies with cp -a."""
        if not re.fullmatch(r"\d+x\d+x\d+", screen):
            raise ValueError(f"screen must be WxHxDEPTH, not {screen!r}")
        if not re.fullmatch(r"\d+x\d+", desktop):
            raise ValueError(f"desktop must be WxH, not {desktop!r}")
        self.screen = screen
        self.desktop = desktop
        self.debug = debug
        self.template = Path(template or os.environ.get("VANTREL_WINE_TEMPLATE") or DEFAULT_TEMPLATE)
        self.link_binaries = link_binaries
        self._probe_arg = probe_exe

        self.dir: Path | None = None
        self.prefix: Path | None = None
        self.display: str | None = None
        self.probe_exe: Path | None = None
        self.xvfb: subprocess.Popen | None = None
        self.keeper: subprocess.Popen | None = None
        self.desktop_log_path: Path | None = None
        self.record_path: Path | None = None
        self.launches: list[Launch] = []
        self._popens: list[subprocess.Popen] = []
        self._counter = 0
        self._lock = threading.Lock()
        self._started = False

    # ---- life cycle ------------------------------------------------------------

    def __enter__(self) -> "WineRig":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    def start(self) -> "WineRig":
        with self._lock:
            if self._started:
                return self
            self._started = True
        _live_rigs.add(self)
        _hook_sigterm()
        try:
            _sweep_abandoned_rigs()
            self.dir = Path(tempfile.mkdtemp(prefix=RIG_DIR_PREFIX))
            (self.dir / "owner.pid").write_text(str(os.getpid()))
            (self.dir / "tmp").mkdir()
            self.probe_exe = ensure_probe(self._probe_arg)
            self._start_xvfb()
            self._ensure_template()
            self.prefix = self.dir / "prefix"
            self._copy_template(self.prefix)
            self._write_rig_registry()
            self._start_desktop()
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self) -> None:
        """Ends every process of this rig and deletes its folder. Safe to call
        twice and on a half-started rig."""
        with self._lock:
            if not self._started:
                return
            self._started = False
        try:
            self._kill_wine()
            for popen in self._popens:
                _end_process(popen)
            if self.xvfb:
                _end_process(self.xvfb)
        finally:
            if self.dir:
                shutil.rmtree(self.dir, ignore_errors=True)
            _live_rigs.discard(self)

    def _kill_wine(self) -> None:
        # The prefix is thrown away, so nothing needs a clean shutdown: every
        # process carrying this rig's prefix in its environment is ours and is
        # killed by pid, wineserver first so nothing new can start. That takes
        # milliseconds where "wineserver -k" takes most of a second; -k stays
        # as the fallback.
        deadline = time.monotonic() + 3
        while left := self.processes():
            if time.monotonic() > deadline:
                try:
                    subprocess.run([wineserver_binary(), "-k"], env=self.env(), timeout=10,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
                except (OSError, subprocess.TimeoutExpired):
                    pass
                return
            left.sort(key=lambda p: "wineserver" not in p[1])
            for pid, _ in left:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            time.sleep(0.02)

    @property
    def running(self) -> bool:
        return self._started

    def processes(self) -> list[tuple[int, str]]:
        """(pid, command line) of the live Linux processes using this rig's
        prefix: wineserver, services, explorer, the keeper and the programs."""
        return processes_with_prefix(self.prefix) if self.prefix else []

    # ---- X server -----------------------------------------------------------------

    def _start_xvfb(self) -> None:
        read_fd, write_fd = os.pipe()
        try:
            with open(self.dir / "xvfb.log", "wb") as log:
                self.xvfb = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", self.screen,
                     "-nolisten", "tcp", "-noreset"],
                    pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                    stderr=log, preexec_fn=_set_parent_death_signal)
            os.close(write_fd)
            write_fd = -1
            # Xvfb picks a free display itself and writes its number once it
            # accepts connections.
            number = _read_line(read_fd, timeout=15).strip()
            if not number.isdigit():
                raise RigError(f"Xvfb did not start: {read_text(self.dir / 'xvfb.log')}")
            self.display = ":" + number.decode()
        finally:
            os.close(read_fd)
            if write_fd >= 0:
                os.close(write_fd)

    # ---- Wine prefix ------------------------------------------------------------------

    def env(self, debug: str = "") -> dict[str, str]:
        """Environment for a Wine process of this rig; debug sets WINEDEBUG
        (default "-all")."""
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("WINE", "LC_")) and k not in ("WAYLAND_DISPLAY", "LANGUAGE")}
        env.update({
            "DISPLAY": self.display or "",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "WINEDEBUG": debug or "-all",
            "LANG": "C.UTF-8",
            # Debian's Wine keeps its server socket in a mkdtemp folder under
            # TMPDIR; inside the rig folder it goes away with the rig.
            "TMPDIR": str(self.dir / "tmp") if self.dir else tempfile.gettempdir(),
        })
        if self.prefix:
            env["WINEPREFIX"] = str(self.prefix)
        return env

    def _template_lock(self):
        self.template.parent.mkdir(parents=True, exist_ok=True)
        return open(str(self.template) + ".lock", "a")

    def _ensure_template(self) -> None:
        if self._template_valid():
            return
        with self._template_lock() as lock:
            # Another rig may be building it right now; wait for it.
            fcntl.flock(lock, fcntl.LOCK_EX)
            if self._template_valid():
                return
            work = Path(f"{self.template}.building-{os.getpid()}")
            shutil.rmtree(work, ignore_errors=True)
            env = self.env()
            env["WINEPREFIX"] = str(work)
            boot_log = self.dir / "wineboot.log"
            try:
                # Output to a file: the services wineboot starts inherit it
                # and outlive wineboot, so a pipe would not reach EOF.
                with open(boot_log, "wb") as log:
                    boot = subprocess.run([wine_loader(), "wineboot", "-i"], env=env, timeout=300,
                                          stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
                subprocess.run([wineserver_binary(), "-w"], env=env, timeout=120)
                if boot.returncode != 0 or not (work / "system.reg").exists():
                    raise RigError(f"wineboot -i failed ({boot.returncode}):\n{read_text(boot_log)}")
                # Debian's Wine records its socket folder here; each copy must
                # make its own.
                (work / "wineserver").unlink(missing_ok=True)
                _install_wine_fonts(work)
                (work / ".vantrel-template").write_text(_template_stamp())
                shutil.rmtree(self.template, ignore_errors=True)
                os.replace(work, self.template)
            finally:
                shutil.rmtree(work, ignore_errors=True)

    def _template_valid(self) -> bool:
        stamp = self.template / ".vantrel-template"
        return stamp.exists() and stamp.read_text() == _template_stamp()

    def _copy_template(self, dest: Path) -> None:
        with self._template_lock() as lock:
            # Shared: copies may run side by side, never during a rebuild.
            fcntl.flock(lock, fcntl.LOCK_SH)
            if not self.link_binaries:
                subprocess.run(["cp", "-a", str(self.template), str(dest)], check=True)
                return
            windows_dir = self.template / "drive_c" / "windows"

            def copy(src: str, dst: str) -> None:
                path = Path(src)
                if path.suffix.lower() in _PE_SUFFIXES and windows_dir in path.parents:
                    try:
                        os.link(src, dst)
                        return
                    except OSError:  # another file system
                        pass
                shutil.copy2(src, dst)

            shutil.copytree(self.template, dest, symlinks=True, copy_function=copy)

    def _write_rig_registry(self) -> None:
        """Settings appended to the copied user.reg before Wine first reads it:
        no Wine process and no time needed."""
        self.record_path = self.dir / "launches.txt"
        recorder = self.dir / "record-launch.sh"
        recorder.write_text("#!/bin/sh\nprintf '%s\\n' \"$*\" >> " + _shell_quote(str(self.record_path)) + "\n")
        recorder.chmod(0o755)
        values = {
            r"Software\Wine\WineDbg": {"ShowCrashDialog": 0},
            # Makes every plain "wine prog.exe" (the probe, reg, ...) join the
            # rig's desktop instead of getting a desktop of its own.
            r"Software\Wine\Explorer": {"Desktop": DESKTOP_NAME},
            r"Software\Wine\Explorer\Desktops": {DESKTOP_NAME: self.desktop},
            r"Software\Wine\WineBrowser": {"Browsers": str(recorder), "Mailers": str(recorder)},
        }
        with open(self.prefix / "user.reg", "a", encoding="utf-8") as reg:
            for key, entries in values.items():
                reg.write(f"\n[{_reg_escape(key)}]\n")
                for name, value in entries.items():
                    if isinstance(value, int):
                        reg.write(f'"{_reg_escape(name)}"=dword:{value:08x}\n')
                    else:
                        reg.write(f'"{_reg_escape(name)}"="{_reg_escape(value)}"\n')

    # ---- the desktop ------------------------------------------------------------------

    def _start_desktop(self) -> None:
        # Wine closes a virtual desktop a second after its last program exits,
        # so the probe's "hold" keeps one on it for the rig's lifetime. As the
        # first program it also makes Wine create the desktop and start its
        # explorer and the services, which inherit its WINEDEBUG and stderr.
        # Nothing else may run before its "ready", or that program would
        # become their parent instead.
        self.desktop_log_path = self._next_log("desktop")
        with open(self.desktop_log_path, "wb") as log:
            self.keeper = subprocess.Popen(
                [wine_loader(), str(self.probe_exe), "hold"], env=self.env(self.debug),
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log, cwd=self.dir)
        self._popens.append(self.keeper)
        line = _read_line(self.keeper.stdout.fileno(), timeout=60)
        if line.strip() != b"ready":
            raise RigError(f"the desktop keeper did not start ({line!r}):\n{self.desktop_log()}")
        # The taskbar comes last; once it is there the desktop takes clicks.
        self.wait_until(lambda: self._keeper_alive() and self.probe("find", "Shell_TrayWnd", "-").ok,
                        timeout=60, message="the Wine desktop and its taskbar")

    def _keeper_alive(self) -> bool:
        if self.keeper.poll() is not None:
            raise RigError(f"the desktop keeper exited with {self.keeper.returncode}:\n{self.desktop_log()}")
        return True

    def desktop_log(self) -> str:
        """Output of the desktop's explorer and services (WINEDEBUG=debug)."""
        return read_text(self.desktop_log_path)

    # ---- running Windows programs -----------------------------------------------------

    def _next_log(self, stem: str) -> Path:
        self._counter += 1
        return self.dir / f"{self._counter:02d}-{re.sub(r'[^A-Za-z0-9_.-]', '_', stem)}.log"

    def launch(self, exe_path: Path | str, args: Sequence[str] = (), debug: str = "",
               cwd: Path | str | None = None) -> Launch:
        """Starts a Windows program on the rig's desktop, as
        wine explorer /desktop=shell,WxH program args. debug: its WINEDEBUG
        (e.g. "+menu"); its output goes to the launch's log."""
        self._require_started()
        exe = Path(exe_path)
        if not exe.is_file():
            raise RigError(f"no such program: {exe}")
        log_path = self._next_log(exe.name)
        with open(log_path, "wb") as log:
            popen = subprocess.Popen(
                [wine_loader(), "explorer", f"/desktop={DESKTOP_NAME},{self.desktop}",
                 unix_to_windows_path(exe), *map(str, args)],
                env=self.env(debug), stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                cwd=cwd or self.dir)
        self._popens.append(popen)
        launch = Launch(popen=popen, log_path=log_path, exe_name=exe.name.lower(), rig=self)
        self.launches.append(launch)
        return launch

    def wine(self, *args, debug: str = "", timeout: float = 60) -> subprocess.CompletedProcess:
        """Runs a Windows command to completion on the rig's desktop, e.g.
        rig.wine("reg", "query", r"HKCU\\Software"). stdout/stderr are bytes."""
        self._require_started()
        # Files, not pipes: a service or explorer that this command happens
        # to start inherits its output handles and would hold a pipe open.
        with tempfile.TemporaryFile(dir=self.dir) as out, tempfile.TemporaryFile(dir=self.dir) as err:
            done = subprocess.run([wine_loader(), *map(str, args)], env=self.env(debug),
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout, cwd=self.dir)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(done.args, done.returncode, out.read(), err.read())

    def probe(self, *args, timeout: float = 30) -> ProbeResult:
        """Runs one probe subcommand on the rig's desktop."""
        done = self.wine(self.probe_exe, *args, timeout=timeout)
        return ProbeResult(out=_decode(done.stdout), code=done.returncode, err=_decode(done.stderr))

    def probe_ok(self, *args, timeout: float = 30) -> str:
        """Like probe(), but raises ProbeError unless the probe succeeded;
        returns its output without the final newline."""
        result = self.probe(*args, timeout=timeout)
        if not result.ok:
            raise ProbeError(f"probe {' '.join(map(str, args))} -> {result.code}: {result.err.strip()}")
        return result.out.rstrip("\n")

    def wait_window(self, cls: str = "-", caption: str = "-", timeout: float = 10.0) -> str:
        """hwnd (0x-hex) of the first visible top-level window with that class
        and/or caption ("-" = any), waiting for it up to timeout seconds."""
        return self.probe_ok("wait-window", cls, caption, int(timeout * 1000), timeout=timeout + 30)

    # ---- registry and outside programs ------------------------------------------------

    def reg(self, *args) -> str:
        """Runs Wine's reg.exe (add, delete, query, ...) and returns its output."""
        done = self.wine("reg", *args)
        if done.returncode != 0:
            raise RigError(f"reg {' '.join(map(str, args))} failed: {_decode(done.stdout + done.stderr)}")
        return _decode(done.stdout)

    def remove_mailto_association(self) -> None:
        """Deletes HKCR\\mailto, so ShellExecute of a mailto: link fails (31)."""
        self.reg("delete", r"HKCR\mailto", "/f")

    def recorded_launches(self) -> list[str]:
        """What programs handed to the browser or mailer, one entry per call
        (Wine percent-encodes blanks)."""
        return read_text(self.record_path).splitlines()

    # ---- the X side -------------------------------------------------------------------

    def _x(self, *cmd, timeout: float = 30) -> str:
        self._require_started()
        done = subprocess.run([str(c) for c in cmd], env={**os.environ, "DISPLAY": self.display},
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=timeout)
        if done.returncode != 0:
            raise RigError(f"{' '.join(map(str, cmd))} failed ({done.returncode}): {done.stderr.strip()}")
        return done.stdout

    def xdotool(self, *args) -> str:
        """Runs xdotool on the rig's display, e.g. ("mousemove", x, y, "click", 3)."""
        return self._x("xdotool", *args)

    def click(self, x: int, y: int, button: int = 1) -> None:
        """Moves the pointer to the X-screen point and clicks (3 = right)."""
        self.xdotool("mousemove", x, y, "click", button)

    def screenshot(self, path: Path | str | None = None) -> Path:
        """Saves the whole X screen as PNG (into the rig folder unless a path
        is given) and returns its path."""
        if path is None:
            self._counter += 1
            path = self.dir / f"screenshot-{self._counter:02d}.png"
        self._x("import", "-window", "root", path)
        return Path(path)

    def desktop_geometry(self) -> Geometry:
        """Where the Wine desktop's X window sits on the X screen, and its size
        (follows display-mode changes)."""
        tree = self._x("xwininfo", "-root", "-tree")
        # 0x400008 "shell - Wine desktop": ("explorer.exe" ...)  1024x768+0+0  +0+0
        for match in re.finditer(r'^\s*0x[0-9a-f]+ "(?P<title>[^"]*)":.*?\s(?P<w>\d+)x(?P<h>\d+)'
                                 r'[+-]-?\d+[+-]-?\d+\s+(?P<x>[+-]-?\d+)(?P<y>[+-]-?\d+)\s*$', tree, re.M):
            if match.group("title") == f"{DESKTOP_NAME} - Wine desktop":
                return Geometry(int(match.group("x")), int(match.group("y")),
                                int(match.group("w")), int(match.group("h")))
        raise RigError("no Wine desktop window on the X screen")

    def taskbar_rect(self) -> tuple[int, int, int, int]:
        """left, top, right, bottom of the taskbar in Windows screen coordinates."""
        hwnd = self.probe_ok("find", "Shell_TrayWnd", "-")
        left, top, right, bottom = map(int, self.probe_ok("rect", hwnd).split())
        return left, top, right, bottom

    def tray_icon_point(self, slot: int = 0) -> tuple[int, int]:
        """X-screen point at the centre of the notification-area icon in the
        given slot (0 = rightmost = the first icon added). Computed afresh on
        each call, because a display-mode change moves the taskbar."""
        geometry = self.desktop_geometry()
        _, top, right, bottom = self.taskbar_rect()
        x = right - TRAY_SLOT_WIDTH * slot - TRAY_SLOT_WIDTH // 2
        return geometry.x + x, geometry.y + (top + bottom) // 2

    def ocr(self, png_path: Path | str, crop: tuple[int, int, int, int] | None = None, scale: int = 3) -> str:
        """Text tesseract reads in the picture; crop = (x, y, width, height)
        in X-screen pixels. Wine's 8-pt UI font is too small for tesseract,
        so the picture is enlarged first."""
        self._counter += 1
        work = self.dir / f"ocr-{self._counter:02d}.png"
        cmd = ["convert", str(png_path)]
        if crop:
            x, y, w, h = crop
            cmd += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
        if scale != 1:
            cmd += ["-filter", "point", "-resize", f"{scale * 100}%"]
        subprocess.run([*cmd, str(work)], check=True, capture_output=True)
        done = subprocess.run(["tesseract", str(work), "-", "--psm", "6"], capture_output=True, text=True)
        if done.returncode != 0:
            raise RigError(f"tesseract failed: {done.stderr}")
        return done.stdout

    # ---- waiting ------------------------------------------------------------------------

    @staticmethod
    def wait_until(predicate: Callable[[], T], timeout: float = 10.0, interval: float = 0.05,
                   message: str = "") -> T:
        """Polls predicate until it returns something truthy, and returns that.
        A ProbeError or other Exception raised by the predicate counts as "not
        yet" (a RigError about the rig itself does not); on timeout,
        TimeoutError names the last one."""
        deadline = time.monotonic() + timeout
        last_error: BaseException | None = None
        while True:
            try:
                value = predicate()
                if value:
                    return value
            except ProbeError as error:
                last_error = error
            except RigError:
                raise
            except Exception as error:  # noqa: BLE001 - reported on timeout
                last_error = error
            if time.monotonic() >= deadline:
                detail = f" (last error: {last_error})" if last_error else ""
                raise TimeoutError(f"timed out after {timeout:g} s waiting for {message or predicate}{detail}")
            time.sleep(interval)

    def _require_started(self) -> None:
        if not self._started:
            raise RigError("the rig is not running")


_PE_SUFFIXES = frozenset({".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".ax", ".tlb", ".ds",
                          ".msstyles", ".com", ".mui", ".nls", ".vxd", ".dll16", ".exe16", ".tsp"})


def _template_stamp() -> str:
    # A prefix made by another Wine build would be "updated" by wineboot on
    # first use: as slow as a new one, and it rewrites the DLLs that rigs
    # hard-link. So the template records what made it.
    version = subprocess.run([wine_loader(), "--version"], capture_output=True, text=True).stdout.strip()
    inf = Path("/usr/share/wine/wine.inf")
    inf_time = int(inf.stat().st_mtime) if inf.exists() else 0
    fonts = len(list(WINE_FONTS.glob("*"))) if WINE_FONTS.is_dir() else 0
    # A prefix made before 32-bit Wine was installed has an empty syswow64, and every
    # 32-bit program fails in it.
    wine32 = Path("/usr/lib/wine/wine").exists()
    return f"{version} {inf_time} fonts:{fonts} wine32:{wine32}\n"


WINE_FONTS = Path("/usr/share/wine/fonts")


def _install_wine_fonts(prefix: Path) -> None:
    # Debian's Wine does not look in its own font folder, so without these the
    # dialog faces (MS Sans Serif, Tahoma) fall back to DejaVu Sans, which is
    # wider and no longer fits the layouts.
    fonts = prefix / "drive_c" / "windows" / "Fonts"
    fonts.mkdir(parents=True, exist_ok=True)
    for font in sorted(WINE_FONTS.glob("*")) if WINE_FONTS.is_dir() else []:
        shutil.copy2(font, fonts / font.name)


def _end_process(popen: subprocess.Popen) -> None:
    if popen.poll() is None:
        popen.terminate()
        try:
            popen.wait(timeout=3)
        except subprocess.TimeoutExpired:
            popen.kill()
            popen.wait(timeout=3)
    for stream in (popen.stdin, popen.stdout, popen.stderr):
        if stream:
            stream.close()

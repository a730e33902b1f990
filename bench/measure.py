"""Starts and watches vantrel.exe and floor.exe under Wine, in one private rig, and takes
the benchmark's figures; bench.py is the command line, report.py writes the table.
Everything runs on the x86_64 build (build/win64), the one Wine can run here; the
sizes cover both builds.

How each figure is taken:
  start-up     build/win64/launcher.exe (from bench/launcher.cpp), inside the Wine desktop, CreateProcess'es the exe,
               waits in WaitForInputIdle, then polls until the program's window
               exists and the shell knows its tray icon (a NIM_MODIFY that changes
               nothing succeeds only for a registered icon): QueryPerformanceCounter
               from before CreateProcess to that moment. The programs take turns,
               after two unrecorded warm-up rounds, 5 x N starts each. Wine's explorer
               keeps a hidden tooltip window for every tray icon it ever had; the
               launcher closes those between starts, so that every start meets the
               same desktop. The row below repeats the starts with 60 more hidden
               top-level windows on the desktop, as a desktop in use has.
  traced       more starts with Wine's relay trace of a few calls the exe makes
               (RegisterClass, CreateWindowExA, the display tests,
               ShowWindow, SetWindowPos, UpdateWindow, Shell_NotifyIconA,
               GetMessageA) and of the DLLs loaded, with timestamps (1 ms): where
               the start-up time goes.
  popup        the launcher posts WM_MOUSEMOVE with lParam 517 (WM_RBUTTONUP) to the
               program's window, as the shell does on a right-button release, and
               polls every millisecond for a visible #32768 window of that process;
               then Escape closes it. 3 x N rounds after one unrecorded warm-up.
  idle         each program alone for S seconds after start-up: processor time of
               its Wine process (/proc/PID/task/*/schedstat, all threads), and of
               explorer + wineserver + Xvfb, which do the tray work the program asks
               for. Both hand the shell the whole tray record (flags 7) every tick.
               Memory from /proc/PID/status
               right after start-up and after the idle time: VmRSS (working set),
               VmData (private writable memory, what Windows calls private bytes;
               Wine's GetProcessMemoryInfo reports 0 there) and RssAnon (the
               resident part of it).
  OS calls     each program once more with Wine's relay trace of every call made
               from the exe into any DLL (user32, shell32, kernel32, msvcrt...), and
               of the calls shell32 makes: calls per timer tick (median over N
               ticks) and inside that tick's NIM_MODIFY, for one popup (without the
               ticks that run while it is open), and for the start-up up to the
               message loop.
  size         file sizes of both builds, their resource data, and the DLLs they
               import (read from the PE import tables).
"""

from __future__ import annotations

import collections
import os
import re
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

import wine_trace

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import pefile  # noqa: E402
import psutil  # noqa: E402
from rig import WineRig  # noqa: E402
from rig import windows_path as linux_file_in_wine  # noqa: E402

BUILD64 = REPO / "build" / "win64"
BUILD32 = REPO / "build" / "win32"
LAUNCHER = BUILD64 / "launcher.exe"
MENU_CLASS = "#32768"
WM_MOUSEMOVE = 0x200
WM_RBUTTONUP = 517
# Start-up and popup times spread widely on Wine (one busy moment of wineserver or the
# X server shows in a single run), and both are cheap, so those figures take more runs.
STARTUP_ROUNDS_PER_RUN = 5
POPUP_ROUNDS_PER_RUN = 3
CROWD = 60

# Wine's relay channel, limited to calls made from the measured exes (every call they
# make into any DLL) and from shell32 (what it does inside Shell_NotifyIconA is part of
# a tick's cost); nothing else Wine's DLLs do inside. The default exclusion list would
# override the inclusion list, so it goes.
RELAY_FROM = "vantrel.exe;floor.exe;shell32"
TRACE = "+pid,+timestamp,+loaddll,+process,+relay"
# For the timed trace of start-up only the calls that mark its stages, so that tracing
# costs the same in both programs however many other calls they make.
MILESTONE_CALLS = ("user32.RegisterClassA",
                   "user32.RegisterClassExA", "user32.CreateWindowExA", "user32.ChangeDisplaySettingsA",
                   "user32.ShowWindow", "user32.SetWindowPos", "user32.UpdateWindow",
                   "shell32.Shell_NotifyIconA", "user32.GetMessageA")
DEBUG_KEY = r"HKCU\Software\Wine\Debug"
# DLLs of Windows itself; MinGW's runtime DLLs would be the usual foreign ones.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll"}


@dataclass(frozen=True)
class Program:
    label: str
    exe: str
    window_class: str

    def path(self, build: Path = BUILD64) -> Path:
        return build / self.exe


VANTREL = Program("Vantrel", "vantrel.exe", "Vantrel.frmMain")
FLOOR = Program("floor", "floor.exe", "VantrelBench.Floor")
PROGRAMS = (VANTREL, FLOOR)


@dataclass
class Figures:
    """What was measured, per exe name."""
    startup: dict[str, list[float]] = field(default_factory=dict)
    startup_crowded: dict[str, list[float]] = field(default_factory=dict)
    popup: dict[str, list[float]] = field(default_factory=dict)
    idle_cpu_ms: dict[str, float] = field(default_factory=dict)
    helpers_cpu_ms: dict[str, float] = field(default_factory=dict)
    idle_seconds: dict[str, float] = field(default_factory=dict)
    memory_start: dict[str, dict[str, int]] = field(default_factory=dict)
    memory_idle: dict[str, dict[str, int]] = field(default_factory=dict)
    milestones: dict[str, dict[str, list[float]]] = field(default_factory=dict)
    dlls: dict[str, list[str]] = field(default_factory=dict)
    tick_calls: dict[str, list[collections.Counter]] = field(default_factory=dict)
    modify_calls: dict[str, list[collections.Counter]] = field(default_factory=dict)
    popup_calls: dict[str, collections.Counter] = field(default_factory=dict)
    trace_start_calls: dict[str, collections.Counter] = field(default_factory=dict)


@dataclass
class ExeFacts:
    size: int
    resources: int
    imports: list[str]
    foreign: list[str]


def progress(text: str) -> None:
    print(f"[bench {time.strftime('%H:%M:%S')}] {text}", file=sys.stderr, flush=True)


def missing_builds() -> list[str]:
    """The programs the benchmark needs that are not built."""
    return [str(path) for path in (LAUNCHER, FLOOR.path(), VANTREL.path(), FLOOR.path(BUILD32), VANTREL.path(BUILD32))
            if not path.is_file()]


def measure_all(runs: int, idle_seconds: float) -> Figures:
    """Every figure but the sizes, each phase in turn in one rig."""
    figures = Figures()
    progress("starting the Wine rig")
    with WineRig() as rig:
        rig.reg("add", DEBUG_KEY, "/v", "RelayFromInclude", "/t", "REG_SZ", "/d", RELAY_FROM, "/f")
        try:
            rig.reg("delete", DEBUG_KEY, "/v", "RelayFromExclude", "/f")
        except Exception:  # noqa: BLE001 - absent already
            pass
        measure_startup(rig, runs, figures)
        measure_crowded_startup(rig, runs, figures)
        measure_popup(rig, runs, figures)
        measure_idle(rig, idle_seconds, figures)
        measure_traced_startup(rig, runs, figures)
        measure_calls(rig, runs, figures)
    return figures


# ---- running things in the rig ---------------------------------------------------

def launcher(rig: WineRig, *args, debug: str = "", timeout: float = 300) -> tuple[list[list[str]], str]:
    """Runs launcher.exe; returns its output split into words per line, and its stderr."""
    done = rig.wine(LAUNCHER, *args, debug=debug, timeout=timeout)
    err = done.stderr.decode("utf-8", "replace")
    if done.returncode != 0:
        raise RuntimeError(f"launcher {' '.join(map(str, args))} failed ({done.returncode}):\n{err[-3000:]}")
    lines = [line.split() for line in done.stdout.decode("utf-8", "replace").splitlines() if line.strip()]
    return lines, err


def windows_path(program: Program) -> str:
    return linux_file_in_wine(program.path())


def startup_args() -> list[str]:
    """Both programs, as the launcher's startup command takes them: path, window class."""
    args = []
    for program in PROGRAMS:
        args += [windows_path(program), program.window_class]
    return args


def linux_pid(rig: WineRig, program: Program, timeout: float = 10) -> int:
    pattern = re.compile(r"[\\/]" + re.escape(program.exe) + r"\b", re.I)

    def find():
        found = [pid for pid, cmd in rig.processes() if pattern.search(cmd) and "/desktop=" not in cmd]
        return found[0] if len(found) == 1 else None
    return rig.wait_until(find, timeout, message=f"the Wine process of {program.exe}")


def close(rig: WineRig, program: Program, pid: int) -> None:
    hwnd = rig.probe_ok("find", program.window_class, "-")
    rig.probe_ok("post", hwnd, "WM_CLOSE", 0, 0)
    rig.wait_until(lambda: not process_running(pid), 15, message=f"{program.exe} to exit")


def process_running(pid: int) -> bool:
    if not psutil.pid_exists(pid):
        return False
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            return f.read().rsplit(b")", 1)[1].split()[0] not in (b"Z", b"X")
    except OSError:
        return False


def start_kept(rig: WineRig, program: Program) -> int:
    """Starts the program through the launcher and leaves it running; its Linux pid."""
    lines, _ = launcher(rig, "start", windows_path(program), program.window_class)
    if not lines or lines[0][0] != "started":
        raise RuntimeError(f"launcher start {program.exe}: {lines}")
    return linux_pid(rig, program)


def menu_visible(rig: WineRig, menu: str) -> bool:
    result = rig.probe("visible", menu)  # fails once the menu window is gone
    return result.ok and result.out.strip() == "1"


# ---- /proc -------------------------------------------------------------------------

def cpu_ns(pid: int) -> int:
    """Processor time of every thread of the process so far, in nanoseconds."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass  # a thread that just ended
    return total


def memory_kib(pid: int) -> dict[str, int]:
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            name, _, rest = line.partition(":")
            if name in ("VmRSS", "VmData", "RssAnon"):
                values[name] = int(rest.split()[0])
    return values


def helper_pids(rig: WineRig) -> list[int]:
    """The processes that do the tray's work on a program's behalf."""
    pids = [pid for pid, cmd in rig.processes()
            if "wineserver" in cmd or re.search(r"explorer\.exe /desktop\s*$", cmd, re.I)]
    if rig.xvfb is not None:
        pids.append(rig.xvfb.proc.pid)
    return pids


# ---- the phases --------------------------------------------------------------------

def measure_startup(rig: WineRig, runs: int, figures: Figures) -> None:
    runs *= STARTUP_ROUNDS_PER_RUN
    progress(f"start-up: {runs} rounds of each program, taking turns")
    lines, _ = launcher(rig, "startup", runs, 2, *startup_args(), timeout=60 + runs * 30)
    for words in lines:
        if words[0] == "startup":
            figures.startup.setdefault(words[1], []).append(float(words[5]))


def measure_crowded_startup(rig: WineRig, runs: int, figures: Figures) -> None:
    # A desktop in daily use holds many more (mostly hidden) top-level windows than the
    # rig's; whatever a program does with its own windows at start-up costs more there.
    progress(f"start-up on a desktop with {CROWD} more windows: {runs} rounds of each program")
    lines, _ = launcher(rig, "startup", "--crowd", CROWD, runs, 1, *startup_args(), timeout=60 + runs * 30)
    for words in lines:
        if words[0] == "startup":
            figures.startup_crowded.setdefault(words[1], []).append(float(words[5]))


def measure_popup(rig: WineRig, runs: int, figures: Figures) -> None:
    runs *= POPUP_ROUNDS_PER_RUN
    progress(f"popup: {runs} rounds of each program")
    pids = {program.exe: start_kept(rig, program) for program in PROGRAMS}
    try:
        lines, _ = launcher(rig, "popup", runs + 1, *[p.window_class for p in PROGRAMS], timeout=60 + runs * 10)
    finally:
        for program in PROGRAMS:
            close(rig, program, pids[program.exe])
    by_class = {program.window_class: program.exe for program in PROGRAMS}
    for words in lines:
        if words[0] == "popup" and int(words[2]) > 0:  # round 0 is the warm-up
            figures.popup.setdefault(by_class[words[1]], []).append(float(words[3]))


def measure_idle(rig: WineRig, seconds: float, figures: Figures) -> None:
    for program in PROGRAMS:
        progress(f"idle: {program.exe} alone for {seconds:g} s")
        pid = start_kept(rig, program)
        helpers = helper_pids(rig)
        figures.memory_start[program.exe] = memory_kib(pid)
        began, own, others = time.monotonic(), cpu_ns(pid), sum(map(cpu_ns, helpers))
        time.sleep(seconds)
        figures.idle_cpu_ms[program.exe] = (cpu_ns(pid) - own) / 1e6
        figures.helpers_cpu_ms[program.exe] = (sum(map(cpu_ns, helpers)) - others) / 1e6
        figures.idle_seconds[program.exe] = time.monotonic() - began
        figures.memory_idle[program.exe] = memory_kib(pid)
        close(rig, program, pid)


def traced(text: str) -> list[wine_trace.TracedProcess]:
    """The starts of the measured programs in a Wine trace."""
    return wine_trace.parse_trace(text, {p.exe: wine_trace.image_size(p.path()) for p in PROGRAMS})


def measure_traced_startup(rig: WineRig, runs: int, figures: Figures) -> None:
    progress(f"traced start-up: {runs} rounds of each program")
    rig.reg("add", DEBUG_KEY, "/v", "RelayInclude", "/t", "REG_SZ", "/d", ";".join(MILESTONE_CALLS), "/f")
    try:
        _, err = launcher(rig, "startup", runs, 1, *startup_args(), debug=TRACE, timeout=60 + runs * 60)
    finally:
        rig.reg("delete", DEBUG_KEY, "/v", "RelayInclude", "/f")
    seen: collections.Counter = collections.Counter()
    for process in traced(err):
        seen[process.exe] += 1
        if seen[process.exe] == 1:
            # The warm-up start: only its list of DLLs is kept.
            figures.dlls[process.exe] = process.loaded_dlls()
            continue
        points = wine_trace.milestones(process)
        if points:
            per = figures.milestones.setdefault(process.exe, {})
            for key, value in points.items():
                per.setdefault(key, []).append(value)


def measure_calls(rig: WineRig, ticks: int, figures: Figures) -> None:
    for program in PROGRAMS:
        progress(f"OS calls: {program.exe} traced for {ticks + 2} ticks and one popup")
        log, log_path = run_traced_with_popup(rig, program, ticks)
        starts = [p for p in traced(log) if p.exe == program.exe]
        if not starts:
            raise RuntimeError(f"no trace of {program.exe} in {log_path}")
        counts = wine_trace.count_run_calls(starts[0], ticks)
        figures.tick_calls[program.exe] = counts.ticks
        figures.modify_calls[program.exe] = counts.inside_modify
        if counts.popup is not None:
            figures.popup_calls[program.exe] = counts.popup
        figures.trace_start_calls[program.exe] = counts.start


def run_traced_with_popup(rig: WineRig, program: Program, ticks: int) -> tuple[str, Path]:
    """Runs the program under the relay trace for two timer ticks more than `ticks`, opens
    and closes its popup menu once, ends it; its trace and the trace's file."""
    launch = rig.launch(program.path(), debug="+pid,+relay,+loaddll")
    rig.wait_until(lambda: launch.log().count(wine_trace.NIM_MODIFY_CALL) >= ticks + 2, timeout=ticks + 60,
                   message=f"{ticks + 2} ticks of {program.exe}")
    hwnd = rig.probe_ok("find", program.window_class, "-")
    rig.probe_ok("post", hwnd, WM_MOUSEMOVE, 0, WM_RBUTTONUP)
    menu = rig.wait_window(MENU_CLASS, timeout=20)
    rig.probe_ok("menu-keys", menu, "ESCAPE")
    rig.wait_until(lambda: not menu_visible(rig, menu), timeout=10, message="the menu to close")
    close(rig, program, linux_pid(rig, program))
    return launch.log(), launch.log_path


# ---- sizes -------------------------------------------------------------------------

def exe_facts(path: Path) -> ExeFacts:
    pe = pefile.PE(str(path))
    imports = [entry.dll.decode() for entry in pe.DIRECTORY_ENTRY_IMPORT]
    foreign = [name for name in imports if name.lower() not in SYSTEM_DLLS]
    resources = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]].Size
    return ExeFacts(size=path.stat().st_size, resources=resources, imports=imports, foreign=foreign)


def sizes() -> dict[tuple[str, str], ExeFacts]:
    """Sizes and imports of both programs in both builds, by (build, exe)."""
    return {(build_dir.name, program.exe): exe_facts(program.path(build_dir))
            for build_dir in (BUILD32, BUILD64) for program in PROGRAMS}

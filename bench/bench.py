#!/usr/bin/env python3
"""Measures vantrel.exe against floor.exe (bench/floor.cpp: the least a tray program
of this design has to do) under Wine, in one private rig, and prints one markdown
table with both figures and their ratio; the same table goes to
build/bench/results.md.

    python3 bench/bench.py [--runs N] [--idle-seconds S]

scripts/bench builds first and then runs this. Everything runs on the x86_64 build
(build/win64), the one Wine can run here; the sizes cover both builds.

How each figure is taken:
  start-up     bench/launcher.exe, inside the Wine desktop, CreateProcess'es the exe,
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

import argparse
import collections
import datetime
import os
import platform
import re
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import pefile  # noqa: E402
import psutil  # noqa: E402
from rig import WINE, WineRig  # noqa: E402
from rig import windows_path as linux_file_in_wine  # noqa: E402

BUILD64 = REPO / "build" / "win64"
BUILD32 = REPO / "build" / "win32"
RESULTS = REPO / "build" / "bench" / "results.md"
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
WINDOW_CALLS = ("ShowWindow", "SetWindowPos", "UpdateWindow")
DEBUG_KEY = r"HKCU\Software\Wine\Debug"
C_RUNTIME = {"msvcrt", "ucrtbase"}


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


def progress(text: str) -> None:
    print(f"[bench {time.strftime('%H:%M:%S')}] {text}", file=sys.stderr, flush=True)


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

@dataclass
class Figures:
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


def measure_startup(rig: WineRig, runs: int, figures: Figures) -> None:
    runs *= STARTUP_ROUNDS_PER_RUN
    progress(f"start-up: {runs} rounds of each program, taking turns")
    args = []
    for program in PROGRAMS:
        args += [windows_path(program), program.window_class]
    lines, _ = launcher(rig, "startup", runs, 2, *args, timeout=60 + runs * 30)
    for words in lines:
        if words[0] == "startup":
            figures.startup.setdefault(words[1], []).append(float(words[5]))


def measure_crowded_startup(rig: WineRig, runs: int, figures: Figures) -> None:
    # A desktop in daily use holds many more (mostly hidden) top-level windows than the
    # rig's; whatever a program does with its own windows at start-up costs more there.
    progress(f"start-up on a desktop with {CROWD} more windows: {runs} rounds of each program")
    args = []
    for program in PROGRAMS:
        args += [windows_path(program), program.window_class]
    lines, _ = launcher(rig, "startup", "--crowd", CROWD, runs, 1, *args, timeout=60 + runs * 30)
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


# ---- Wine's traces -----------------------------------------------------------------

TRACE_LINE = re.compile(r"^(?:(?P<time>\d+\.\d+):)?(?P<pid>[0-9a-f]{4,}):(?P<tid>[0-9a-f]{4,}):(?P<rest>.*)$")
RETURN_ADDRESS = re.compile(r" ret=([0-9a-f]+)\s*$")
CALL = re.compile(r"^Call (?P<dll>[\w.-]+)\.(?P<fn>\w+)\(.*\) ret=(?P<ret>[0-9a-f]+)\s*$")
RET = re.compile(r"^Ret  (?P<dll>[\w.-]+)\.(?P<fn>\w+)\(\)")
LOADED = re.compile(r'Loaded L"(?P<path>[^"]+)" at (?P<base>[0-9A-Fa-f]+)')
STARTED = re.compile(r"CreateProcessInternalW started process pid (?P<pid>[0-9a-f]+) tid (?P<tid>[0-9a-f]+)")
CREATING = re.compile(r'CreateProcessInternalW app L"(?P<app>[^"]*)"')


def image_size(path: Path) -> int:
    data = path.read_bytes()[:4096]
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 24 + 56:pe + 24 + 60], "little")  # SizeOfImage


@dataclass
class TracedProcess:
    exe: str
    pid: str
    created_at: float | None = None  # the parent's CreateProcess, in trace seconds
    base: int = 0
    size: int = 0
    events: list[tuple[float, str, str]] = field(default_factory=list)  # (time, tid, text)

    def own(self, text: str) -> bool:
        """Whether a traced call or return line belongs to a call made from the exe."""
        match = RETURN_ADDRESS.search(text)
        return bool(match) and self.base <= int(match[1], 16) < self.base + self.size

    def own_calls(self):
        """(time, tid, dll, function, line index) of every call made from the exe."""
        for index, (when, tid, text) in enumerate(self.events):
            match = CALL.match(text)
            if match and self.own(text):
                yield when, tid, match["dll"].lower(), match["fn"], index


def parse_trace(text: str) -> list[TracedProcess]:
    """Splits a Wine trace (WINEDEBUG with +pid) into the measured programs' starts."""
    known = {program.exe: image_size(program.path()) for program in PROGRAMS}
    processes: dict[str, TracedProcess] = {}
    pending: dict[str, float] = {}  # creating parent pid -> time of the CreateProcess call
    order: list[TracedProcess] = []
    for line in text.splitlines():
        match = TRACE_LINE.match(line)
        if not match:
            continue
        when = float(match["time"] or 0)
        pid, tid, rest = match["pid"], match["tid"], match["rest"]
        if CREATING.search(rest):
            pending[pid] = when
            continue
        started = STARTED.search(rest)
        if started:
            processes[started["pid"]] = TracedProcess(exe="", pid=started["pid"], created_at=pending.pop(pid, None))
            continue
        process = processes.get(pid)
        if process is None:
            loaded = LOADED.search(rest)
            if not loaded:
                continue
            process = processes[pid] = TracedProcess(exe="", pid=pid)
        if not process.exe:
            loaded = LOADED.search(rest)
            name = loaded["path"].replace("\\\\", "\\").rsplit("\\", 1)[-1].lower() if loaded else ""
            if loaded and name in known:
                process.exe, process.base, process.size = name, int(loaded["base"], 16), known[name]
                order.append(process)
            elif loaded:
                continue
        process.events.append((when, tid, rest))
    return [process for process in order if process.exe]


def first(process: TracedProcess, pattern: str, own: bool = False) -> float | None:
    """Time of the first event of the process that matches (and is the exe's own call)."""
    regex = re.compile(pattern)
    return next((when for when, _, text in process.events
                 if regex.search(text) and (not own or process.own(text))), None)


MILESTONES = (
    # key, label
    ("mapped", "exe mapped by the loader"),
    ("entry", "its imported DLLs loaded and started"),
    ("window", "main window created"),
    ("first_test", "first display-mode test"),
    ("scan", "42nd display-mode test returned"),
    ("add", "NIM_ADD called"),
    ("icon", "NIM_ADD returned"),
    ("loop", "first GetMessageA"),
)


def time_inside(process: TracedProcess, functions: tuple[str, ...], until: float) -> float:
    """Seconds spent inside calls to these functions made from the exe, up to `until`."""
    open_calls: dict[tuple[str, str], list[float]] = {}
    total = 0.0
    for when, tid, text in process.events:
        if when > until:
            break
        call = CALL.match(text)
        if call and call["fn"] in functions and process.own(text):
            open_calls.setdefault((tid, call["fn"]), []).append(when)
            continue
        ret = RET.match(text)
        if ret and process.own(text) and open_calls.get((tid, ret["fn"])):
            total += when - open_calls[(tid, ret["fn"])].pop()
    return total


def milestones(process: TracedProcess) -> dict[str, float] | None:
    """Milestones of one traced start, in ms after the parent's CreateProcess call."""
    if process.created_at is None:
        return None
    calls = list(process.own_calls())
    if not calls:
        return None
    icon = first(process, r"^Ret  shell32\.Shell_NotifyIconA\(", own=True)
    tests = [when for when, _, text in process.events
             if text.startswith("Ret  user32.ChangeDisplaySettingsA(") and process.own(text)
             and (icon is None or when <= icon)]
    # The last DLL entry point to return before the program's own first call.
    attached = [when for when, _, text in process.events
                if text.startswith("Ret  PE DLL") and "PROCESS_ATTACH" in text and when <= calls[0][0]]
    loop = first(process, r"^Call user32\.GetMessageA\(", own=True)
    times = {
        "mapped": first(process, re.escape(process.exe) + r'" at'),
        "entry": attached[-1] if attached else None,
        "window": first(process, r"^Ret  user32\.CreateWindowExA\(", own=True),
        "first_test": first(process, r"^Call user32\.ChangeDisplaySettingsA\(", own=True),
        "scan": tests[-1] if tests else None,
        "add": first(process, r"^Call shell32\.Shell_NotifyIconA\(00000000,", own=True),
        "icon": icon,
        "loop": loop,
    }
    if any(value is None for value in times.values()):
        return None
    points = {key: (value - process.created_at) * 1000 for key, value in times.items()}
    points["windowing"] = time_inside(process, WINDOW_CALLS, loop) * 1000
    return points


def measure_traced_startup(rig: WineRig, runs: int, figures: Figures) -> None:
    progress(f"traced start-up: {runs} rounds of each program")
    args = []
    for program in PROGRAMS:
        args += [windows_path(program), program.window_class]
    rig.reg("add", DEBUG_KEY, "/v", "RelayInclude", "/t", "REG_SZ", "/d", ";".join(MILESTONE_CALLS), "/f")
    try:
        _, err = launcher(rig, "startup", runs, 1, *args, debug=TRACE, timeout=60 + runs * 60)
    finally:
        rig.reg("delete", DEBUG_KEY, "/v", "RelayInclude", "/f")
    starts = parse_trace(err)
    seen: collections.Counter = collections.Counter()
    for process in starts:
        seen[process.exe] += 1
        if seen[process.exe] == 1:
            # The warm-up start: only its list of DLLs is kept.
            names = [LOADED.search(text)["path"].replace("\\\\", "\\").rsplit("\\", 1)[-1].lower()
                     for _, _, text in process.events if LOADED.search(text)]
            figures.dlls[process.exe] = [name for name in names if name != process.exe]
            continue
        points = milestones(process)
        if points:
            per = figures.milestones.setdefault(process.exe, {})
            for key, value in points.items():
                per.setdefault(key, []).append(value)


def timer_ticks(process: TracedProcess, tid: str) -> list[tuple[int, int]]:
    """Where each WM_TIMER ran, as (call, return) line indices."""
    spans, begun = [], None
    for index, (_, call_tid, text) in enumerate(process.events):
        if call_tid == tid and "window proc" in text and "msg=WM_TIMER" in text:
            if text.startswith("Call "):
                begun = index
            elif begun is not None:
                spans.append((begun, index))
                begun = None
    return spans


def count_calls(process: TracedProcess, start: int, end: int, tid: str,
                without: list[tuple[int, int]] = ()) -> collections.Counter:
    counts: collections.Counter = collections.Counter()
    for _, call_tid, dll, fn, index in process.own_calls():
        if start <= index < end and call_tid == tid and not any(a < index < b for a, b in without):
            counts[f"{dll.removesuffix('.dll')}.{fn}"] += 1
    return counts


def calls_inside(process: TracedProcess, index: int, tid: str) -> collections.Counter:
    """What Wine's DLLs call while the exe's call at `index` runs (only the DLLs traced)."""
    counts: collections.Counter = collections.Counter()
    for _, call_tid, text in process.events[index + 1:]:
        if call_tid != tid:
            continue
        if text.startswith("Ret  ") and process.own(text):
            break
        match = CALL.match(text)
        if match and not process.own(text):
            counts[f"{match['dll'].lower().removesuffix('.dll')}.{match['fn']}"] += 1
    return counts


def menu_visible(rig: WineRig, menu: str) -> bool:
    result = rig.probe("visible", menu)  # fails once the menu window is gone
    return result.ok and result.out.strip() == "1"


def measure_calls(rig: WineRig, ticks: int, figures: Figures) -> None:
    for program in PROGRAMS:
        progress(f"OS calls: {program.exe} traced for {ticks + 2} ticks and one popup")
        launch = rig.launch(program.path(), debug="+pid,+relay,+loaddll")
        modify = "Call shell32.Shell_NotifyIconA(00000001,"
        rig.wait_until(lambda: launch.log().count(modify) >= ticks + 2, timeout=ticks + 60,
                       message=f"{ticks + 2} ticks of {program.exe}")
        hwnd = rig.probe_ok("find", program.window_class, "-")
        rig.probe_ok("post", hwnd, WM_MOUSEMOVE, 0, WM_RBUTTONUP)
        menu = rig.wait_window(MENU_CLASS, timeout=20)
        rig.probe_ok("menu-keys", menu, "ESCAPE")
        rig.wait_until(lambda: not menu_visible(rig, menu), timeout=10, message="the menu to close")
        pid = linux_pid(rig, program)
        close(rig, program, pid)
        traced = [p for p in parse_trace(launch.log()) if p.exe == program.exe]
        if not traced:
            raise RuntimeError(f"no trace of {program.exe} in {launch.log_path}")
        process = traced[0]
        events = process.events
        modifies = [i for i, (_, _, text) in enumerate(events) if text.startswith(modify)]
        main_tid = events[modifies[0]][1]
        mouse = [i for i, (_, tid, text) in enumerate(events)
                 if tid == main_tid and "window proc" in text and "msg=WM_MOUSEMOVE" in text]
        per_tick = []
        for begin, end in zip(modifies, modifies[1:]):
            if any(begin <= i < end for i in mouse):
                continue  # the tick that also carried the popup
            per_tick.append((count_calls(process, begin, end, main_tid), calls_inside(process, begin, main_tid)))
        figures.tick_calls[program.exe] = [own for own, _ in per_tick[:max(ticks, 1)]]
        figures.modify_calls[program.exe] = [inner for _, inner in per_tick[:max(ticks, 1)]]
        if len(mouse) >= 2:
            # The ticks that run while the menu is open come and go with how long it stays
            # open; they are counted as ticks, not as the popup's.
            figures.popup_calls[program.exe] = count_calls(process, mouse[0], mouse[-1] + 1, main_tid,
                                                           without=timer_ticks(process, main_tid))
        add = next(i for i, (_, _, text) in enumerate(events) if text.startswith("Call shell32.Shell_NotifyIconA(00000000,"))
        loop = next((i for i, (_, tid, text) in enumerate(events)
                     if i > add and tid == main_tid and text.startswith("Call user32.GetMessageA(")), add)
        figures.trace_start_calls[program.exe] = count_calls(process, 0, loop + 1, main_tid)


# ---- sizes -------------------------------------------------------------------------

@dataclass
class ExeFacts:
    size: int
    resources: int
    imports: list[str]
    foreign: list[str]


# DLLs of Windows itself; MinGW's runtime DLLs would be the usual foreign ones.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll"}


def exe_facts(path: Path) -> ExeFacts:
    pe = pefile.PE(str(path))
    imports = [entry.dll.decode() for entry in pe.DIRECTORY_ENTRY_IMPORT]
    foreign = [name for name in imports if name.lower() not in SYSTEM_DLLS]
    resources = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]].Size
    return ExeFacts(size=path.stat().st_size, resources=resources, imports=imports, foreign=foreign)


# ---- the report --------------------------------------------------------------------

def median(values) -> float:
    return statistics.median(values) if values else float("nan")


def ratio(ours: float, floor: float) -> str:
    if not floor or floor != floor or ours != ours:
        return "–"
    return f"{ours / floor:.2f}"


def spread(values: list[float], digits: int = 1) -> str:
    if not values:
        return "–"
    return f"{median(values):.{digits}f} ({min(values):.{digits}f}–{max(values):.{digits}f})"


def verdict(ok: bool | None) -> str:
    return "–" if ok is None else ("yes" if ok else "**no**")


def machine() -> list[str]:
    model = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            model = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), model)
    except OSError:
        pass
    wine = subprocess.run([WINE, "--version"], capture_output=True, text=True).stdout.strip()
    commit = subprocess.run(["git", "-C", str(REPO), "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip() or "unknown"
    dirty = subprocess.run(["git", "-C", str(REPO), "status", "--porcelain", "--untracked-files=no"],
                           capture_output=True, text=True).stdout.strip()
    return [
        f"- Machine: {model}, {os.cpu_count()} cores, Linux {platform.release()}, {wine}",
        f"- Date: {datetime.datetime.now(datetime.timezone.utc).strftime('%Y-%m-%d %H:%M UTC')}",
        f"- Source: commit {commit}" + (" with uncommitted changes" if dirty else ""),
    ]


def report(figures: Figures, runs: int, idle_seconds: float, sizes: dict[tuple[str, str], ExeFacts],
           elapsed: float) -> str:
    v, f = VANTREL.exe, FLOOR.exe
    rows: list[tuple[str, str, str, str, str, str]] = []

    def row(label, ours, floor, rat="–", goal="", met=None):
        rows.append((label, ours, floor, rat, goal, verdict(met)))

    # 1. start-up
    sv, sf = figures.startup.get(v, []), figures.startup.get(f, [])
    r = median(sv) / median(sf) if sv and sf else float("nan")
    row(f"Start-up, CreateProcess to waiting for input with the icon registered, ms: median (min–max) of {len(sv)}",
        spread(sv), spread(sf), ratio(median(sv), median(sf)), "≤ 1.1×", r <= 1.1 if r == r else None)
    cv, cf = figures.startup_crowded.get(v, []), figures.startup_crowded.get(f, [])
    if cv and cf:
        row(f"  the same with {CROWD} more hidden top-level windows on the desktop, ms: median (min–max) of {len(cv)}",
            spread(cv), spread(cf), ratio(median(cv), median(cf)))
    mv, mf = figures.milestones.get(v, {}), figures.milestones.get(f, {})
    previous = None
    for key, label in MILESTONES:
        if key in mv and key in mf:
            if previous is None:
                dv, df = mv[key], mf[key]
                text = f"traced: CreateProcess to {label}"
            else:
                dv = [b - a for a, b in zip(mv[previous], mv[key])]
                df = [b - a for a, b in zip(mf[previous], mf[key])]
                text = f"traced: … then to {label}"
            row(f"  {text}, ms (median of {len(dv)})", f"{median(dv):.0f}", f"{median(df):.0f}",
                ratio(median(dv), median(df)) if median(df) >= 1 else "–")
            previous = key
    for key, label in (("windowing", "inside ShowWindow, SetWindowPos and UpdateWindow"),):
        if key in mv and key in mf:
            row(f"  traced: of all that, time {label}, ms (median of {len(mv[key])})",
                f"{median(mv[key]):.0f}", f"{median(mf[key]):.0f}", "–")
    if v in figures.trace_start_calls and f in figures.trace_start_calls:
        a, b = sum(figures.trace_start_calls[v].values()), sum(figures.trace_start_calls[f].values())
        row("  OS calls made by the exe up to its message loop", f"{a}", f"{b}", ratio(a, b), "≤ 2×", a <= 2 * b)
    if figures.dlls.get(v) and figures.dlls.get(f):
        extra = [name for name in figures.dlls[v] if name not in figures.dlls[f]]
        row("  DLLs loaded into the process at start-up", f"{len(figures.dlls[v])}" + (f" (+{', '.join(extra)})" if extra else ""),
            f"{len(figures.dlls[f])}", ratio(len(figures.dlls[v]), len(figures.dlls[f])), "no COM", not any(
                name.lower().startswith(("ole32", "combase", "rpcrt4")) for name in extra))

    # 2. popup
    pv, pf = figures.popup.get(v, []), figures.popup.get(f, [])
    r = median(pv) / median(pf) if pv and pf else float("nan")
    row(f"Popup, WM_MOUSEMOVE 517 posted to the visible menu, ms: median (min–max) of {len(pv)}",
        spread(pv, 2), spread(pf, 2), ratio(median(pv), median(pf)), "≤ 1.1×", r <= 1.1 if r == r else None)
    if v in figures.popup_calls and f in figures.popup_calls:
        cv, cf = figures.popup_calls[v], figures.popup_calls[f]
        a, b = sum(cv.values()), sum(cf.values())
        row("  OS calls made by the exe for one popup (right-click to menu closed)", f"{a}", f"{b}", ratio(a, b),
            "≤ floor + 6", a <= b + 6)

    # 3. idle
    cv, cf = figures.idle_cpu_ms.get(v), figures.idle_cpu_ms.get(f)
    r = cv / cf if cv is not None and cf else float("nan")
    seconds = figures.idle_seconds.get(v, idle_seconds)
    row(f"Idle: processor time of the program's process over {idle_seconds:g} s, ms",
        f"{cv:.1f}" if cv is not None else "–", f"{cf:.1f}" if cf is not None else "–",
        ratio(cv or 0, cf or 0), "≤ 1.2×", r <= 1.2 if r == r else None)
    hv, hf = figures.helpers_cpu_ms.get(v), figures.helpers_cpu_ms.get(f)
    if hv is not None and hf is not None:
        row("  meanwhile explorer + wineserver + Xvfb, ms", f"{hv:.1f}", f"{hf:.1f}", ratio(hv, hf))
    tv, tf = figures.tick_calls.get(v, []), figures.tick_calls.get(f, [])
    if tv and tf:
        total_v = [sum(c.values()) for c in tv]
        total_f = [sum(c.values()) for c in tf]
        r = median(total_v) / median(total_f)
        row(f"Idle: OS calls made by the exe per timer tick, median of {len(tv)} ticks",
            f"{median(total_v):.0f}", f"{median(total_f):.0f}", ratio(median(total_v), median(total_f)),
            "≤ 1.2×", r <= 1.2)
        crt_v = [sum(n for k, n in c.items() if k.split(".")[0] in C_RUNTIME) for c in tv]
        crt_f = [sum(n for k, n in c.items() if k.split(".")[0] in C_RUNTIME) for c in tf]
        row("  of which C runtime (msvcrt: malloc, free, strlen...)", f"{median(crt_v):.0f}", f"{median(crt_f):.0f}",
            ratio(median(crt_v), median(crt_f)) if median(crt_f) else "–")
    iv, inf = figures.modify_calls.get(v, []), figures.modify_calls.get(f, [])
    if iv and inf:
        a, b = median([sum(c.values()) for c in iv]), median([sum(c.values()) for c in inf])
        row("  calls shell32 makes inside the tick's NIM_MODIFY", f"{a:.0f}", f"{b:.0f}", ratio(a, b))

    # 4. memory
    for key, label in (("VmRSS", "working set (VmRSS)"), ("VmData", "private bytes (VmData)"),
                       ("RssAnon", "private resident (RssAnon)")):
        for when, source in (("after start-up", figures.memory_start), (f"after {idle_seconds:g} s idle", figures.memory_idle)):
            a, b = source.get(v, {}).get(key), source.get(f, {}).get(key)
            if a is None or b is None:
                continue
            goal = "≤ 1.2×" if key != "RssAnon" else ""
            met = (a / b <= 1.2) if goal else None
            row(f"Memory: {label} {when}, KiB", f"{a}", f"{b}", ratio(a, b), goal, met)
    grow_v = {k: figures.memory_idle.get(v, {}).get(k, 0) - figures.memory_start.get(v, {}).get(k, 0)
              for k in ("VmRSS", "VmData")}
    grow_f = {k: figures.memory_idle.get(f, {}).get(k, 0) - figures.memory_start.get(f, {}).get(k, 0)
              for k in ("VmRSS", "VmData")}
    if figures.memory_idle.get(v) and figures.memory_idle.get(f):
        # Wine's own allocations move the working set by a few pages either way; growth
        # means more than the floor shows over the same time, or any private growth.
        met = grow_v["VmData"] <= max(grow_f["VmData"], 0) and grow_v["VmRSS"] <= max(grow_f["VmRSS"], 0) + 64
        row(f"Memory: growth over the idle time, VmRSS / VmData, KiB", f"{grow_v['VmRSS']:+d} / {grow_v['VmData']:+d}",
            f"{grow_f['VmRSS']:+d} / {grow_f['VmData']:+d}", "–", "no growth", met)

    # 5. size
    for build in ("win32", "win64"):
        a, b = sizes.get((build, v)), sizes.get((build, f))
        if a and b:
            goal = "< 160 KiB" if build == "win32" else ""
            row(f"Size of the {build} exe (resources {a.resources / 1024:.1f} / {b.resources / 1024:.1f} KiB), KiB",
                f"{a.size / 1024:.1f}", f"{b.size / 1024:.1f}", ratio(a.size, b.size), goal,
                a.size < 160 * 1024 if goal else None)
    for build in ("win32", "win64"):
        a, b = sizes.get((build, v)), sizes.get((build, f))
        if a and b:
            row(f"Imported DLLs of the {build} exe", ", ".join(a.imports), ", ".join(b.imports), "–",
                "Windows' own only", not a.foreign)

    header = ("Figure", "Vantrel", "floor", "ratio", "goal", "met")
    lines = ["| " + " | ".join(header) + " |", "|---|---:|---:|---:|---|---|"]
    lines += ["| " + " | ".join(cells) + " |" for cells in rows]
    notes = machine() + [
        f"- Runs: start-up {runs * STARTUP_ROUNDS_PER_RUN}, popup {runs * POPUP_ROUNDS_PER_RUN} of each program "
        "(taking turns, after warm-up); "
        f"idle {idle_seconds:g} s per program, alone; the x86_64 build under Wine in a private "
        f"Xvfb 1600x1200 + Wine desktop 1024x768; bench time {elapsed:.0f} s.",
        "- Wine's explorer keeps a hidden tooltip window for every tray icon ever removed; between "
        "starts the launcher closes those, so that every start meets the same desktop.",
        "- \"traced\" rows come from extra starts with Wine's trace of a few calls of the exe (1 ms "
        "steps); they show where the time goes.",
    ]
    def listing(counts: collections.Counter, limit: int = 12) -> str:
        shown = ", ".join(f"{name} {count}" for name, count in counts.most_common(limit))
        return shown + (f", {len(counts) - limit} more functions" if len(counts) > limit else "")

    def middle(per_tick: dict[str, list[collections.Counter]]) -> dict[str, collections.Counter]:
        return {exe: ticks[len(ticks) // 2] for exe, ticks in per_tick.items() if ticks}

    for title, source in (("One timer tick, calls made by the exe", middle(figures.tick_calls)),
                          ("Inside that tick's NIM_MODIFY, calls made by shell32", middle(figures.modify_calls)),
                          ("One popup, calls made by the exe", figures.popup_calls),
                          ("Start-up to the message loop, calls made by the exe", figures.trace_start_calls)):
        if v in source and f in source:
            notes.append(f"- {title}: Vantrel: {listing(source[v]) or 'none'}; floor: {listing(source[f]) or 'none'}.")
    return "\n".join(lines) + "\n\n" + "\n".join(notes) + "\n"


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=10, help="runs per timed figure (default 10)")
    parser.add_argument("--idle-seconds", type=float, default=60, help="idle time per program (default 60)")
    args = parser.parse_args(argv)
    if args.runs < 1 or args.idle_seconds <= 0:
        parser.error("--runs and --idle-seconds must be positive")
    missing = [str(path) for path in (LAUNCHER, FLOOR.path(), VANTREL.path(),
                                      FLOOR.path(BUILD32), VANTREL.path(BUILD32))
               if not path.is_file()]
    if missing:
        print("not built: " + ", ".join(missing) + "\n(bench/ must be added to the Windows builds: "
              "add_subdirectory(bench) in CMakeLists.txt's if(WIN32) block; then scripts/bench builds it)",
              file=sys.stderr)
        return 1

    began = time.monotonic()
    figures = Figures()
    sizes = {(build_dir.name, program.exe): exe_facts(program.path(build_dir))
             for build_dir in (BUILD32, BUILD64) for program in PROGRAMS}
    progress("starting the Wine rig")
    with WineRig() as rig:
        rig.reg("add", DEBUG_KEY, "/v", "RelayFromInclude", "/t", "REG_SZ", "/d", RELAY_FROM, "/f")
        try:
            rig.reg("delete", DEBUG_KEY, "/v", "RelayFromExclude", "/f")
        except Exception:  # noqa: BLE001 - absent already
            pass
        measure_startup(rig, args.runs, figures)
        measure_crowded_startup(rig, args.runs, figures)
        measure_popup(rig, args.runs, figures)
        measure_idle(rig, args.idle_seconds, figures)
        measure_traced_startup(rig, args.runs, figures)
        measure_calls(rig, args.runs, figures)
    table = report(figures, args.runs, args.idle_seconds, sizes, time.monotonic() - began)
    RESULTS.parent.mkdir(parents=True, exist_ok=True)
    RESULTS.write_text(table)
    print(table, end="")
    progress(f"written to {RESULTS.relative_to(REPO)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

"""Reads Wine's call trace of the benchmark's programs: splits it into the programs'
starts, and tells from each start when its start-up stages were reached and which
calls it made.

The trace is what WINEDEBUG=+pid,+relay,+loaddll (with +timestamp and +process for
the timed starts) writes: one line per call into a DLL and per return, each with the
process and thread that made it. A call belongs to the exe when the return address it
names lies inside the exe's image, which is how the exe's own calls are told from the
calls Wine's DLLs make on its behalf. Nothing here runs Wine; measure.py does.
"""

from __future__ import annotations

import collections
import re
from dataclasses import dataclass, field
from pathlib import Path

TRACE_LINE = re.compile(r"^(?:(?P<time>\d+\.\d+):)?(?P<pid>[0-9a-f]{4,}):(?P<tid>[0-9a-f]{4,}):(?P<rest>.*)$")
RETURN_ADDRESS = re.compile(r" ret=([0-9a-f]+)\s*$")
CALL = re.compile(r"^Call (?P<dll>[\w.-]+)\.(?P<fn>\w+)\(.*\) ret=(?P<ret>[0-9a-f]+)\s*$")
RET = re.compile(r"^Ret  (?P<dll>[\w.-]+)\.(?P<fn>\w+)\(\)")
LOADED = re.compile(r'Loaded L"(?P<path>[^"]+)" at (?P<base>[0-9A-Fa-f]+)')
STARTED = re.compile(r"CreateProcessInternalW started process pid (?P<pid>[0-9a-f]+) tid (?P<tid>[0-9a-f]+)")
CREATING = re.compile(r'CreateProcessInternalW app L"(?P<app>[^"]*)"')
NIM_ADD_CALL = "Call shell32.Shell_NotifyIconA(00000000,"
NIM_MODIFY_CALL = "Call shell32.Shell_NotifyIconA(00000001,"
WINDOW_CALLS = ("ShowWindow", "SetWindowPos", "UpdateWindow")

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


def image_size(path: Path) -> int:
    data = path.read_bytes()[:4096]
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 24 + 56:pe + 24 + 60], "little")  # SizeOfImage


def loaded_name(loaded: re.Match) -> str:
    """The file name of a DLL or exe in a +loaddll line, lower case."""
    return loaded["path"].replace("\\\\", "\\").rsplit("\\", 1)[-1].lower()


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

    def loaded_dlls(self) -> list[str]:
        """The DLLs loaded into the process, in load order, without the exe itself."""
        names = [loaded_name(LOADED.search(text)) for _, _, text in self.events if LOADED.search(text)]
        return [name for name in names if name != self.exe]


# ---- splitting the trace -------------------------------------------------------------

def parse_trace(text: str, image_sizes: dict[str, int]) -> list[TracedProcess]:
    """Splits a Wine trace (WINEDEBUG with +pid) into the starts of the exes named in
    image_sizes (file name, lower case -> SizeOfImage), in the order they started."""
    processes: dict[str, TracedProcess] = {}
    pending: dict[str, float] = {}  # creating parent pid -> time of the CreateProcess call
    order: list[TracedProcess] = []
    for line in text.splitlines():
        match = TRACE_LINE.match(line)
        if match and not starts_process(match, processes, pending):
            process = process_of(match, processes, image_sizes, order)
            if process is not None:
                process.events.append((float(match["time"] or 0), match["tid"], match["rest"]))
    return [process for process in order if process.exe]


def starts_process(line: re.Match, processes: dict[str, TracedProcess], pending: dict[str, float]) -> bool:
    """Takes note of a line of CreateProcess (the parent's call, then the child's pid)."""
    pid, rest = line["pid"], line["rest"]
    if CREATING.search(rest):
        pending[pid] = float(line["time"] or 0)
        return True
    started = STARTED.search(rest)
    if started:
        processes[started["pid"]] = TracedProcess(exe="", pid=started["pid"], created_at=pending.pop(pid, None))
        return True
    return False


def process_of(line: re.Match, processes: dict[str, TracedProcess], image_sizes: dict[str, int],
               order: list[TracedProcess]) -> TracedProcess | None:
    """The process a line belongs to, once it is known to run one of the measured exes;
    None for the lines before that and for the lines of every other process."""
    pid, loaded = line["pid"], LOADED.search(line["rest"])
    process = processes.get(pid)
    if process is None:
        if not loaded:
            return None
        process = processes[pid] = TracedProcess(exe="", pid=pid)
    if not process.exe and loaded:
        name = loaded_name(loaded)
        if name not in image_sizes:
            return None
        process.exe, process.base, process.size = name, int(loaded["base"], 16), image_sizes[name]
        order.append(process)
    return process


# ---- start-up milestones -------------------------------------------------------------

def first(process: TracedProcess, pattern: str, own: bool = False) -> float | None:
    """Time of the first event of the process that matches (and is the exe's own call)."""
    regex = re.compile(pattern)
    return next((when for when, _, text in process.events
                 if regex.search(text) and (not own or process.own(text))), None)


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
    times = milestone_times(process, first_own_call=calls[0][0])
    if any(value is None for value in times.values()):
        return None
    points = {key: (value - process.created_at) * 1000 for key, value in times.items()}
    points["windowing"] = time_inside(process, WINDOW_CALLS, times["loop"]) * 1000
    return points


def milestone_times(process: TracedProcess, first_own_call: float) -> dict[str, float | None]:
    """When each of MILESTONES was reached, in trace seconds; None if it never was."""
    icon = first(process, r"^Ret  shell32\.Shell_NotifyIconA\(", own=True)
    tests = [when for when, _, text in process.events
             if text.startswith("Ret  user32.ChangeDisplaySettingsA(") and process.own(text)
             and (icon is None or when <= icon)]
    # The last DLL entry point to return before the program's own first call.
    attached = [when for when, _, text in process.events
                if text.startswith("Ret  PE DLL") and "PROCESS_ATTACH" in text and when <= first_own_call]
    return {
        "mapped": first(process, re.escape(process.exe) + r'" at'),
        "entry": attached[-1] if attached else None,
        "window": first(process, r"^Ret  user32\.CreateWindowExA\(", own=True),
        "first_test": first(process, r"^Call user32\.ChangeDisplaySettingsA\(", own=True),
        "scan": tests[-1] if tests else None,
        "add": first(process, r"^Call shell32\.Shell_NotifyIconA\(00000000,", own=True),
        "icon": icon,
        "loop": first(process, r"^Call user32\.GetMessageA\(", own=True),
    }


# ---- counting calls ------------------------------------------------------------------

@dataclass
class CallCounts:
    """The calls of one traced run (ticks, one popup), as "dll.function" -> count."""
    ticks: list[collections.Counter]  # made by the exe in each tick that carried no popup
    inside_modify: list[collections.Counter]  # made by shell32 inside each such tick's NIM_MODIFY
    popup: collections.Counter | None  # made by the exe for the popup; None without one
    start: collections.Counter  # made by the exe up to its message loop


def count_run_calls(process: TracedProcess, ticks: int) -> CallCounts:
    """Counts the calls of a run that went through `ticks` timer ticks and one popup."""
    modifies = [i for i, (_, _, text) in enumerate(process.events) if text.startswith(NIM_MODIFY_CALL)]
    main_tid = process.events[modifies[0]][1]
    mouse = [i for i, (_, tid, text) in enumerate(process.events)
             if tid == main_tid and "window proc" in text and "msg=WM_MOUSEMOVE" in text]
    per_tick = []
    for begin, end in zip(modifies, modifies[1:]):
        if any(begin <= i < end for i in mouse):
            continue  # the tick that also carried the popup
        per_tick.append((count_calls(process, begin, end, main_tid), calls_inside(process, begin, main_tid)))
    per_tick = per_tick[:max(ticks, 1)]
    return CallCounts(ticks=[own for own, _ in per_tick], inside_modify=[inner for _, inner in per_tick],
                      popup=popup_calls(process, mouse, main_tid), start=start_calls(process, main_tid))


def popup_calls(process: TracedProcess, mouse: list[int], tid: str) -> collections.Counter | None:
    if len(mouse) < 2:
        return None
    # The ticks that run while the menu is open come and go with how long it stays
    # open; they are counted as ticks, not as the popup's.
    return count_calls(process, mouse[0], mouse[-1] + 1, tid, without=timer_ticks(process, tid))


def start_calls(process: TracedProcess, tid: str) -> collections.Counter:
    events = process.events
    add = next(i for i, (_, _, text) in enumerate(events) if text.startswith(NIM_ADD_CALL))
    loop = next((i for i, (_, call_tid, text) in enumerate(events)
                 if i > add and call_tid == tid and text.startswith("Call user32.GetMessageA(")), add)
    return count_calls(process, 0, loop + 1, tid)


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

"""Writes the benchmark's table from the figures measure.py took: one markdown row per
figure with Vantrel's value, the floor's, their ratio and the goal it is held to,
grouped as start-up, popup, idle, memory and size; then notes on the machine and the
runs, and the lists of the calls counted. Runs nothing under Wine.
"""

from __future__ import annotations

import collections
import datetime
import os
import platform
import statistics
import subprocess

from measure import (CROWD, FLOOR, POPUP_ROUNDS_PER_RUN, REPO, STARTUP_ROUNDS_PER_RUN, VANTREL,
                     ExeFacts, Figures)
from rig import WINE  # found on the path that importing measure sets
from wine_trace import MILESTONES

V, F = VANTREL.exe, FLOOR.exe
HEADER = ("Figure", "Vantrel", "floor", "ratio", "goal", "met")
C_RUNTIME = {"msvcrt", "ucrtbase"}
MEMORY = (("VmRSS", "working set (VmRSS)"), ("VmData", "private bytes (VmData)"),
          ("RssAnon", "private resident (RssAnon)"))
Row = tuple[str, str, str, str, str, str]


def report(figures: Figures, runs: int, idle_seconds: float, sizes: dict[tuple[str, str], ExeFacts],
           elapsed: float) -> str:
    rows = (startup_rows(figures) + popup_rows(figures) + idle_rows(figures, idle_seconds)
            + memory_rows(figures, idle_seconds) + size_rows(sizes))
    lines = ["| " + " | ".join(HEADER) + " |", "|---|---:|---:|---:|---|---|"]
    lines += ["| " + " | ".join(cells) + " |" for cells in rows]
    notes = machine() + run_notes(runs, idle_seconds, elapsed) + call_notes(figures)
    return "\n".join(lines) + "\n\n" + "\n".join(notes) + "\n"


# ---- cells -------------------------------------------------------------------------

def row(label: str, ours: str, floor: str, rat: str = "–", goal: str = "", met: bool | None = None) -> Row:
    return (label, ours, floor, rat, goal, verdict(met))


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


def at_most(ours: list[float], floor: list[float], factor: float) -> bool | None:
    """Whether the median of ours is within `factor` times the floor's; None without both."""
    r = median(ours) / median(floor) if ours and floor else float("nan")
    return r <= factor if r == r else None


def totals(per_tick: list[collections.Counter]) -> list[int]:
    return [sum(counts.values()) for counts in per_tick]


# ---- start-up ----------------------------------------------------------------------

def startup_rows(figures: Figures) -> list[Row]:
    return timed_startup_rows(figures) + milestone_rows(figures) + start_call_rows(figures)


def timed_startup_rows(figures: Figures) -> list[Row]:
    sv, sf = figures.startup.get(V, []), figures.startup.get(F, [])
    rows = [row(f"Start-up, CreateProcess to waiting for input with the icon registered, ms: median (min–max) of {len(sv)}",
                spread(sv), spread(sf), ratio(median(sv), median(sf)), "≤ 1.1×", at_most(sv, sf, 1.1))]
    cv, cf = figures.startup_crowded.get(V, []), figures.startup_crowded.get(F, [])
    if cv and cf:
        rows.append(row(f"  the same with {CROWD} more hidden top-level windows on the desktop, ms: median (min–max) of {len(cv)}",
                        spread(cv), spread(cf), ratio(median(cv), median(cf))))
    return rows


def milestone_rows(figures: Figures) -> list[Row]:
    mv, mf = figures.milestones.get(V, {}), figures.milestones.get(F, {})
    rows, previous = [], None
    for key, label in MILESTONES:
        if key in mv and key in mf:
            rows.append(milestone_row(mv, mf, key, label, previous))
            previous = key
    if "windowing" in mv and "windowing" in mf:
        rows.append(row(f"  traced: of all that, time inside ShowWindow, SetWindowPos and UpdateWindow, ms "
                        f"(median of {len(mv['windowing'])})",
                        f"{median(mv['windowing']):.0f}", f"{median(mf['windowing']):.0f}", "–"))
    return rows


def milestone_row(mv: dict[str, list[float]], mf: dict[str, list[float]], key: str, label: str,
                  previous: str | None) -> Row:
    """One stage of the traced start-up: from the milestone before (or CreateProcess) to this one."""
    if previous is None:
        dv, df = mv[key], mf[key]
        text = f"traced: CreateProcess to {label}"
    else:
        dv = [b - a for a, b in zip(mv[previous], mv[key])]
        df = [b - a for a, b in zip(mf[previous], mf[key])]
        text = f"traced: … then to {label}"
    return row(f"  {text}, ms (median of {len(dv)})", f"{median(dv):.0f}", f"{median(df):.0f}",
               ratio(median(dv), median(df)) if median(df) >= 1 else "–")


def start_call_rows(figures: Figures) -> list[Row]:
    rows = []
    if V in figures.trace_start_calls and F in figures.trace_start_calls:
        a, b = sum(figures.trace_start_calls[V].values()), sum(figures.trace_start_calls[F].values())
        rows.append(row("  OS calls made by the exe up to its message loop", f"{a}", f"{b}", ratio(a, b), "≤ 2×", a <= 2 * b))
    if figures.dlls.get(V) and figures.dlls.get(F):
        rows.append(dll_row(figures.dlls[V], figures.dlls[F]))
    return rows


def dll_row(ours: list[str], floor: list[str]) -> Row:
    extra = [name for name in ours if name not in floor]
    com = any(name.lower().startswith(("ole32", "combase", "rpcrt4")) for name in extra)
    return row("  DLLs loaded into the process at start-up", f"{len(ours)}" + (f" (+{', '.join(extra)})" if extra else ""),
               f"{len(floor)}", ratio(len(ours), len(floor)), "no COM", not com)


# ---- popup -------------------------------------------------------------------------

def popup_rows(figures: Figures) -> list[Row]:
    pv, pf = figures.popup.get(V, []), figures.popup.get(F, [])
    rows = [row(f"Popup, WM_MOUSEMOVE 517 posted to the visible menu, ms: median (min–max) of {len(pv)}",
                spread(pv, 2), spread(pf, 2), ratio(median(pv), median(pf)), "≤ 1.1×", at_most(pv, pf, 1.1))]
    if V in figures.popup_calls and F in figures.popup_calls:
        a, b = sum(figures.popup_calls[V].values()), sum(figures.popup_calls[F].values())
        rows.append(row("  OS calls made by the exe for one popup (right-click to menu closed)", f"{a}", f"{b}",
                        ratio(a, b), "≤ floor + 6", a <= b + 6))
    return rows


# ---- idle --------------------------------------------------------------------------

def idle_rows(figures: Figures, idle_seconds: float) -> list[Row]:
    cv, cf = figures.idle_cpu_ms.get(V), figures.idle_cpu_ms.get(F)
    r = cv / cf if cv is not None and cf else float("nan")
    rows = [row(f"Idle: processor time of the program's process over {idle_seconds:g} s, ms",
                f"{cv:.1f}" if cv is not None else "–", f"{cf:.1f}" if cf is not None else "–",
                ratio(cv or 0, cf or 0), "≤ 1.2×", r <= 1.2 if r == r else None)]
    hv, hf = figures.helpers_cpu_ms.get(V), figures.helpers_cpu_ms.get(F)
    if hv is not None and hf is not None:
        rows.append(row("  meanwhile explorer + wineserver + Xvfb, ms", f"{hv:.1f}", f"{hf:.1f}", ratio(hv, hf)))
    return rows + tick_rows(figures)


def tick_rows(figures: Figures) -> list[Row]:
    rows = []
    tv, tf = figures.tick_calls.get(V, []), figures.tick_calls.get(F, [])
    if tv and tf:
        a, b = median(totals(tv)), median(totals(tf))
        rows.append(row(f"Idle: OS calls made by the exe per timer tick, median of {len(tv)} ticks",
                        f"{a:.0f}", f"{b:.0f}", ratio(a, b), "≤ 1.2×", a / b <= 1.2))
        a, b = median([c_runtime_calls(c) for c in tv]), median([c_runtime_calls(c) for c in tf])
        rows.append(row("  of which C runtime (msvcrt: malloc, free, strlen...)", f"{a:.0f}", f"{b:.0f}",
                        ratio(a, b) if b else "–"))
    iv, inf = figures.modify_calls.get(V, []), figures.modify_calls.get(F, [])
    if iv and inf:
        a, b = median(totals(iv)), median(totals(inf))
        rows.append(row("  calls shell32 makes inside the tick's NIM_MODIFY", f"{a:.0f}", f"{b:.0f}", ratio(a, b)))
    return rows


def c_runtime_calls(counts: collections.Counter) -> int:
    return sum(n for name, n in counts.items() if name.split(".")[0] in C_RUNTIME)


# ---- memory ------------------------------------------------------------------------

def memory_rows(figures: Figures, idle_seconds: float) -> list[Row]:
    rows = []
    for key, label in MEMORY:
        for when, source in (("after start-up", figures.memory_start), (f"after {idle_seconds:g} s idle", figures.memory_idle)):
            a, b = source.get(V, {}).get(key), source.get(F, {}).get(key)
            if a is None or b is None:
                continue
            goal = "≤ 1.2×" if key != "RssAnon" else ""
            rows.append(row(f"Memory: {label} {when}, KiB", f"{a}", f"{b}", ratio(a, b), goal,
                            (a / b <= 1.2) if goal else None))
    if figures.memory_idle.get(V) and figures.memory_idle.get(F):
        rows.append(growth_row(figures))
    return rows


def growth(figures: Figures, exe: str) -> dict[str, int]:
    return {key: figures.memory_idle.get(exe, {}).get(key, 0) - figures.memory_start.get(exe, {}).get(key, 0)
            for key in ("VmRSS", "VmData")}


def growth_row(figures: Figures) -> Row:
    gv, gf = growth(figures, V), growth(figures, F)
    # Wine's own allocations move the working set by a few pages either way; growth
    # means more than the floor shows over the same time, or any private growth.
    met = gv["VmData"] <= max(gf["VmData"], 0) and gv["VmRSS"] <= max(gf["VmRSS"], 0) + 64
    return row("Memory: growth over the idle time, VmRSS / VmData, KiB", f"{gv['VmRSS']:+d} / {gv['VmData']:+d}",
               f"{gf['VmRSS']:+d} / {gf['VmData']:+d}", "–", "no growth", met)


# ---- size --------------------------------------------------------------------------

def size_rows(sizes: dict[tuple[str, str], ExeFacts]) -> list[Row]:
    builds = [(build, sizes.get((build, V)), sizes.get((build, F))) for build in ("win32", "win64")]
    builds = [(build, a, b) for build, a, b in builds if a and b]
    return [exe_size_row(*both) for both in builds] + [import_row(*both) for both in builds]


def exe_size_row(build: str, a: ExeFacts, b: ExeFacts) -> Row:
    goal = "< 160 KiB" if build == "win32" else ""
    return row(f"Size of the {build} exe (resources {a.resources / 1024:.1f} / {b.resources / 1024:.1f} KiB), KiB",
               f"{a.size / 1024:.1f}", f"{b.size / 1024:.1f}", ratio(a.size, b.size), goal,
               a.size < 160 * 1024 if goal else None)


def import_row(build: str, a: ExeFacts, b: ExeFacts) -> Row:
    return row(f"Imported DLLs of the {build} exe", ", ".join(a.imports), ", ".join(b.imports), "–",
               "Windows' own only", not a.foreign)


# ---- notes -------------------------------------------------------------------------

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


def run_notes(runs: int, idle_seconds: float, elapsed: float) -> list[str]:
    return [
        f"- Runs: start-up {runs * STARTUP_ROUNDS_PER_RUN}, popup {runs * POPUP_ROUNDS_PER_RUN} of each program "
        "(taking turns, after warm-up); "
        f"idle {idle_seconds:g} s per program, alone; the x86_64 build under Wine in a private "
        f"Xvfb 1600x1200 + Wine desktop 1024x768; bench time {elapsed:.0f} s.",
        "- Wine's explorer keeps a hidden tooltip window for every tray icon ever removed; between "
        "starts the launcher closes those, so that every start meets the same desktop.",
        "- \"traced\" rows come from extra starts with Wine's trace of a few calls of the exe (1 ms "
        "steps); they show where the time goes.",
    ]


def call_notes(figures: Figures) -> list[str]:
    """The calls behind the counted rows, function by function, most frequent first."""
    notes = []
    for title, source in (("One timer tick, calls made by the exe", middle(figures.tick_calls)),
                          ("Inside that tick's NIM_MODIFY, calls made by shell32", middle(figures.modify_calls)),
                          ("One popup, calls made by the exe", figures.popup_calls),
                          ("Start-up to the message loop, calls made by the exe", figures.trace_start_calls)):
        if V in source and F in source:
            notes.append(f"- {title}: Vantrel: {listing(source[V]) or 'none'}; floor: {listing(source[F]) or 'none'}.")
    return notes


def listing(counts: collections.Counter, limit: int = 12) -> str:
    shown = ", ".join(f"{name} {count}" for name, count in counts.most_common(limit))
    return shown + (f", {len(counts) - limit} more functions" if len(counts) > limit else "")


def middle(per_tick: dict[str, list[collections.Counter]]) -> dict[str, collections.Counter]:
    return {exe: ticks[len(ticks) // 2] for exe, ticks in per_tick.items() if ticks}

"""What Microsoft's validation rules (ICE) that packaging teams run would report of a
package, read from its tables with msiinfo: the conditions behind ICE30, 38, 43, 57, 64
and 91, the platform's folders and components, and the stop for a per-machine install
without administrator rights.
"""
from __future__ import annotations

import re
import subprocess
from pathlib import Path

# The conditions behind the ICE rules that packaging teams run (the rules themselves need
# Windows), read from the package's tables. Folders in the user's profile (ICE38, ICE64),
# and those of them that stay per-user even in a per-machine install (ICE91, ICE57).
PROFILE = {"AppDataFolder", "DesktopFolder", "FavoritesFolder", "LocalAppDataFolder", "MyPicturesFolder",
           "NetHoodFolder", "PersonalFolder", "PrintHoodFolder", "ProgramMenuFolder", "RecentFolder",
           "SendToFolder", "StartMenuFolder", "StartupFolder", "TemplateFolder"}
PER_USER_ONLY = {"AppDataFolder", "FavoritesFolder", "NetHoodFolder", "PersonalFolder", "PrintHoodFolder",
                 "RecentFolder", "SendToFolder", "MyPicturesFolder", "LocalAppDataFolder"}
COMPONENT_64BIT, COMPONENT_REGISTRY_KEY_PATH, ELEVATION_NOT_REQUIRED = 256, 4, 8


RULE_TABLES = {"Component", "Directory", "File", "IniFile", "LaunchCondition", "Registry", "RemoveFile", "Shortcut"}


def msi_tables(msi: Path, wanted: set[str]) -> dict[str, list[dict[str, str]]]:
    """The wanted tables of msi that it has, as rows of column -> value (`msiinfo export`)."""
    def export(*args: str) -> str:
        return subprocess.run(["msiinfo", *args], check=True, capture_output=True, text=True).stdout
    tables = {}
    for name in set(export("tables", str(msi)).split()) & wanted:
        lines = export("export", str(msi), name).splitlines()
        columns = lines[0].split("\t")
        tables[name] = [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]
    return tables


def rule_problems(msi: Path) -> list[str]:
    """What ICE30, ICE38, ICE43, ICE57, ICE64 and ICE91 would report, and a package that says
    it needs no elevation without stopping a per-machine install that has none, one line each."""
    tables = msi_tables(msi, RULE_TABLES)
    parent = {row["Directory"]: row["Directory_Parent"] for row in tables["Directory"]}
    components = {row["Component"]: row for row in tables["Component"]}
    registry = {row["Registry"]: row for row in tables.get("Registry", [])}

    def folders(directory: str) -> set[str]:  # the folder and those above it
        chain = set()
        while directory and directory not in chain:
            chain.add(directory)
            directory = parent.get(directory, "")
        return chain

    def scope(directory: str) -> str:
        chain = folders(directory)
        return "user" if chain & PER_USER_ONLY else "either" if chain & PROFILE else "machine"

    def current_user_key_path(name: str) -> bool:
        row = components[name]
        key = registry.get(row["KeyPath"])
        return (int(row["Attributes"]) & COMPONENT_REGISTRY_KEY_PATH != 0 and key is not None
                and key["Root"] in ("1", "-1") and key["Component_"] == name)

    problems = []
    for name, row in components.items():
        if folders(row["Directory_"]) & PROFILE and not current_user_key_path(name):
            problems.append(f"ICE38: {name} installs to the user's profile without an HKCU registry key path")
    for row in tables.get("Shortcut", []):
        if row["Target"].startswith("[") and not current_user_key_path(row["Component_"]):
            problems.append(f"ICE43: {row['Component_']} has the non-advertised shortcut {row['Shortcut']}"
                            " without an HKCU registry key path")
    # ICE57: per-user, per-machine and either (root -1, folders that follow ALLUSERS) in one component.
    roots = {"1": "user", "-1": "either"}
    kinds: dict[str, set[str]] = {name: set() for name in components}
    for row in tables.get("File", []):
        kinds[row["Component_"]].add(scope(components[row["Component_"]]["Directory_"]))
    for row in registry.values():
        kinds[row["Component_"]].add(roots.get(row["Root"], "machine"))
    for row in tables.get("Shortcut", []):
        kinds[row["Component_"]].add(scope(row["Directory_"]))
    problems += [f"ICE57: {name} mixes {' and '.join(sorted(found))} data" for name, found in kinds.items()
                 if len(found) > 1]
    removed = {row["DirProperty"] for row in tables.get("RemoveFile", []) if not row["FileName"]}
    problems += [f"ICE64: the folder {d} is in the user's profile but not in the RemoveFile table"
                 for d in parent if d not in PROFILE and folders(d) & PROFILE and d not in removed]
    for kind, table, where in (("file", "File", None), ("shortcut", "Shortcut", "Directory_"),
                               ("ini file", "IniFile", "DirProperty")):
        for row in tables.get(table, []):
            directory = row[where] if where else components[row["Component_"]]["Directory_"]
            if scope(directory) == "user":
                problems.append(f"ICE91: the {kind} {row[table]} goes to {directory}, which ALLUSERS does not change")
    seen: dict[tuple[str, str], str] = {}
    for row in tables.get("File", []):
        place = (components[row["Component_"]]["Directory_"], row["FileName"].split("|")[-1].lower())
        if place in seen and seen[place] != row["Component_"]:
            problems.append(f"ICE30: {seen[place]} and {row['Component_']} both install {place[1]} to {place[0]}")
        seen.setdefault(place, row["Component_"])
    return problems + platform_problems(msi, tables, components)


def platform_problems(msi: Path, tables: dict, components: dict) -> list[str]:
    summary = subprocess.run(["msiinfo", "suminfo", str(msi)], check=True, capture_output=True, text=True).stdout
    x64 = re.search(r"^Template: x64;", summary, re.M) is not None
    problems = [f"{name} is {'not ' if x64 else ''}a 64-bit component in the {'x64' if x64 else 'x86'} package"
                for name, row in components.items() if bool(int(row["Attributes"]) & COMPONENT_64BIT) != x64]
    folders = {row["Directory"] for row in tables["Directory"]}
    wanted, wrong = ("ProgramFiles64Folder", "ProgramFilesFolder") if x64 else ("ProgramFilesFolder", "ProgramFiles64Folder")
    if wanted not in folders or wrong in folders:
        problems.append(f"the package installs under {wrong if wrong in folders else 'neither'}, not {wanted}")
    word_count = int(re.search(r"^Source: (\d+)", summary, re.M)[1])
    stops = any("Privileged" in row["Condition"] and "ALLUSERS" in row["Condition"]
                for row in tables.get("LaunchCondition", []))
    if word_count & ELEVATION_NOT_REQUIRED and not stops:
        problems.append("the package asks for no elevation, yet nothing stops ALLUSERS=1 without administrator rights")
    return problems

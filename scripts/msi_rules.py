"""What Microsoft's validation rules (ICE) that packaging teams run would report of a
package, read from its tables with msiinfo: the conditions behind ICE30, 38, 43, 57, 64
and 91 (and 68's for the custom actions), the platform's folders and components, the stop
for a per-machine install without administrator rights, the properties that must reach an
elevated install, and where the program may be started.
"""
from __future__ import annotations

import re
import subprocess
from pathlib import Path

from release_names import COMPONENTS

# The conditions behind the ICE rules that packaging teams run (the rules themselves need
# Windows), read from the package's tables. Folders in the user's profile (ICE38, ICE64),
# and those of them that stay per-user even in a per-machine install (ICE91, ICE57).
PROFILE = {"AppDataFolder", "DesktopFolder", "FavoritesFolder", "LocalAppDataFolder", "MyPicturesFolder",
           "NetHoodFolder", "PersonalFolder", "PrintHoodFolder", "ProgramMenuFolder", "RecentFolder",
           "SendToFolder", "StartMenuFolder", "StartupFolder", "TemplateFolder"}
PER_USER_ONLY = {"AppDataFolder", "FavoritesFolder", "NetHoodFolder", "PersonalFolder", "PrintHoodFolder",
                 "RecentFolder", "SendToFolder", "MyPicturesFolder", "LocalAppDataFolder"}
COMPONENT_64BIT, COMPONENT_REGISTRY_KEY_PATH, ELEVATION_NOT_REQUIRED = 256, 4, 8


RULE_TABLES = {"AppSearch", "Component", "CustomAction", "Directory", "File", "IniFile", "InstallExecuteSequence",
               "LaunchCondition", "Property", "Registry", "RemoveFile", "Shortcut"}
# Custom action type bits: the base type's low three bits (2: an exe), an error message
# (19), deferred execution, no impersonation.
CA_EXE, CA_ERROR, CA_DEFERRED, CA_NO_IMPERSONATE = 2, 19, 1024, 2048
# Public properties that Windows Installer itself hands to the elevated part of an install.
INSTALLER_OWN = {"ALLUSERS", "REMOVE", "REINSTALL", "REINSTALLMODE", "ADDLOCAL", "TARGETDIR"}


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
    return problems + platform_problems(msi, tables, components) + action_problems(tables)


def action_problems(tables: dict) -> list[str]:
    """ICE68's no-impersonation bit on an action that is not deferred; a public property
    that a condition reads, a search sets or names a folder, and that an elevated install
    would drop because it is not secure; and a start of the program that runs elevated or
    where nobody sees it."""
    actions = {row["Action"]: int(row["Type"]) for row in tables.get("CustomAction", [])}
    problems = [f"ICE68: {name} is not deferred yet marked no-impersonation" for name, kind in actions.items()
                if kind & CA_NO_IMPERSONATE and not kind & CA_DEFERRED]
    conditions = [re.sub(r'"[^"]*"', "", row.get("Condition", ""))  # quoted values are no names
                  for table in ("Component", "InstallExecuteSequence", "LaunchCondition")
                  for row in tables.get(table, [])]
    public = set(re.findall(r"\b[A-Z][A-Z0-9_]*\b", " ".join(conditions))) - {"AND", "OR", "NOT"}
    public |= {row["Property"] for row in tables.get("AppSearch", [])}
    public |= {row["Directory"] for row in tables["Directory"] if re.fullmatch(r"[A-Z][A-Z0-9_]*", row["Directory"])}
    secure = next((row["Value"].split(";") for row in tables.get("Property", [])
                   if row["Property"] == "SecureCustomProperties"), [])
    problems += [f"{name} is not a secure property: an elevated install ignores it" for name in
                 sorted(public - INSTALLER_OWN - set(secure))]
    sequence = {row["Action"]: row for row in tables.get("InstallExecuteSequence", [])}
    problems += [f"{name} starts the program without asking VantrelDesktop (elevated, or where nobody sees it)"
                 for name, kind in actions.items() if kind & 7 == CA_EXE and name in sequence
                 and "VantrelDesktop" not in sequence[name]["Condition"]]
    return problems


def platform_problems(msi: Path, tables: dict, components: dict) -> list[str]:
    summary = subprocess.run(["msiinfo", "suminfo", str(msi)], check=True, capture_output=True, text=True).stdout
    x64 = re.search(r"^Template: x64;", summary, re.M) is not None
    problems = [f"{name} is {'not ' if x64 else ''}a 64-bit component in the {'x64' if x64 else 'x86'} package"
                for name, row in components.items() if bool(int(row["Attributes"]) & COMPONENT_64BIT) != x64]
    folders = {row["Directory"] for row in tables["Directory"]}
    wanted, wrong = ("ProgramFiles64Folder", "ProgramFilesFolder") if x64 else ("ProgramFilesFolder", "ProgramFiles64Folder")
    if wanted not in folders or wrong in folders:
        problems.append(f"the package installs under {wrong if wrong in folders else 'neither'}, not {wanted}")
    if x64:
        problems += [f"{name} has the x86 package's component code" for name, row in components.items()
                     if row["ComponentId"].strip("{}").upper() in COMPONENTS.values()]
    # Microsoft's packaging guidelines: no launch condition on Privileged or AdminUser; an
    # error action (type 19) in the execute sequence, where elevation is known.
    problems += [f"a launch condition reads {name}: use a type-19 action in InstallExecuteSequence"
                 for row in tables.get("LaunchCondition", []) for name in ("Privileged", "AdminUser")
                 if name in row["Condition"]]
    errors = {row["Action"] for row in tables.get("CustomAction", []) if int(row["Type"]) & 0x3F == CA_ERROR}
    stops = any(row["Action"] in errors and "ALLUSERS" in row["Condition"] and "NOT Privileged" in row["Condition"]
                for row in tables.get("InstallExecuteSequence", []))
    word_count = int(re.search(r"^Source: (\d+)", summary, re.M)[1])
    if word_count & ELEVATION_NOT_REQUIRED and not stops:
        problems.append("the package asks for no elevation, yet nothing stops ALLUSERS=1 without administrator rights")
    return problems

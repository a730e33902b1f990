"""What winget does with this package's installer manifest, and what the MSI then does
with the arguments it gets: for every account, copy already there and winget command,
the installer entry winget picks, whether it elevates msiexec, msiexec's arguments, and
whether the package's launch conditions let the install through.

winget's rules, from its source (microsoft/winget-cli):
- src/AppInstallerRepositoryCore/Microsoft/ARPHelper.cpp, PopulateIndexFromKey: an
  installed copy's scope is the hive of its uninstall entry (HKLM is "machine").
- src/AppInstallerCommonCore/Manifest/ManifestComparator.cpp: InstalledScopeFilter (an
  entry of the other scope is out, one without scope stays), ScopeComparator (--scope is
  a requirement an entry without scope does not meet; the "user" preference, winget's
  default setting, ranks user entries first), MachineArchitectureComparator (the system's
  architecture first) and GetPreferredInstaller (the first of equal entries wins).
- src/AppInstallerCommonCore/Manifest/ManifestCommon.cpp, GetDefaultKnownSwitches: an
  MSI's default switches; the manifest's own replace them one by one.
- src/AppInstallerCLICore/Workflows/ShellExecuteInstallerHandler.cpp:
  GetInstallerArgsTemplate (the order of the switches; no scope switch of its own for an
  MSI), ShellExecuteInstallImpl (elevationRequired from an unelevated prompt starts the
  installer with "runas"), GetMsiExecUninstallArgs (uninstall is msiexec /x, unelevated).
- src/AppInstallerCLICore/Workflows/InstallFlow.cpp, EnsureApplicableInstaller:
  elevationProhibited refuses an elevated winget.
"""
from __future__ import annotations

import re
import shlex
from dataclasses import dataclass, field
from pathlib import Path

PACKAGING = Path(__file__).resolve().parents[1] / "packaging"
MSI_DEFAULT_SWITCHES = {"Silent": "/quiet /norestart", "SilentWithProgress": "/passive /norestart",
                        "Log": '/log "<LOGPATH>"', "InstallLocation": 'TARGETDIR="<INSTALLPATH>"'}
# winget's options that reach the installer, and the others a README command may use.
OPTIONS = {"install": {"--scope", "--location", "-l", "--silent", "-h", "--interactive", "-i", "--id", "--exact", "-e",
                       "--architecture", "-a", "--source", "-s", "--custom", "--accept-package-agreements"},
           "upgrade": {"--scope", "--location", "-l", "--silent", "-h", "--interactive", "-i", "--id", "--exact", "-e",
                       "--architecture", "-a", "--source", "-s", "--custom", "--all", "--accept-package-agreements"},
           "uninstall": {"--scope", "--silent", "-h", "--interactive", "-i", "--id", "--exact", "-e", "--source", "-s"}}
TAKES_VALUE = {"--scope", "--location", "-l", "--id", "--architecture", "-a", "--source", "-s", "--custom"}


@dataclass
class Scenario:
    account: str                 # "standard", "admin" (an unelevated prompt) or "elevated"
    copy: str | None             # the Vantrel already installed: None, "user" or "machine"
    command: list[str]           # winget's arguments, e.g. ["upgrade", "--scope", "machine", "Ambrel.Vantrel"]
    system: str = "x64"


@dataclass
class Outcome:
    entry: dict | None = None    # the installer entry winget picked
    elevated: bool = False       # msiexec runs with administrator rights
    args: str = ""               # msiexec's arguments after the package
    refusal: str = ""            # why it stops ("" when it works)
    properties: dict = field(default_factory=dict)


def parse_command(words: list[str]) -> tuple[str, dict[str, str], list[str]]:
    """winget's verb, its options (a switch maps to "") and the rest; an option winget
    does not have is an error."""
    verb, options, rest = words[0], {}, []
    if verb not in OPTIONS:
        raise ValueError(f"winget has no command {verb!r} here")
    words = list(words[1:])
    while words:
        word = words.pop(0)
        if word.startswith("-"):
            if word not in OPTIONS[verb]:
                raise ValueError(f"winget {verb} has no option {word}")
            options[word.lstrip("-")[0] if len(word) == 2 else word.lstrip("-")] = \
                words.pop(0) if word in TAKES_VALUE else ""
        else:
            rest.append(word)
    aliases = {"l": "location", "h": "silent", "i": "interactive", "e": "exact", "a": "architecture", "s": "source"}
    options = {aliases.get(k, k): v for k, v in options.items()}
    if options.get("scope", "user").lower() not in ("user", "machine"):
        raise ValueError(f"winget's --scope is user or machine, not {options['scope']}")
    return verb, {k: v.lower() if k == "scope" else v for k, v in options.items()}, rest


def installed_scope(account: str, copy: str | None) -> str | None:
    # A per-user copy that an administrator installed has its uninstall entry under HKLM:
    # the package carries the "elevation not required" bit (InstallScope perUser).
    if copy == "user" and account == "standard":
        return "user"
    return "machine" if copy else None


def entries(manifest: dict) -> list[dict]:
    """The installer entries as winget reads them: the root's keys hold for every entry,
    switches merge key by key over an MSI's defaults."""
    root = {k: v for k, v in manifest.items() if k != "Installers"}
    merged = []
    for own in manifest.get("Installers") or []:
        entry = {**root, **own}
        entry["InstallerSwitches"] = {**MSI_DEFAULT_SWITCHES, **(root.get("InstallerSwitches") or {}),
                                      **(own.get("InstallerSwitches") or {})}
        merged.append(entry)
    return merged


def pick_entry(candidates: list[dict], installed: str | None, required: str | None, system: str) -> dict | None:
    archs = ["x64", "x86"] if system == "x64" else ["x86"]

    def applicable(entry):
        scope = entry.get("Scope")
        return (entry["Architecture"] in archs and (installed is None or scope in (None, installed))
                and (required is None or scope == required))

    def first_better(first, second):
        # Each comparator in order; the first strong result decides, else the first weak one.
        weak = None
        for better in (scope_better, arch_better):
            forward, reverse = better(first, second), better(second, first)
            if "strong" in (forward, reverse):
                return forward == "strong"
            weak = weak if weak is not None else (True if forward else False if reverse else None)
        return bool(weak)

    def scope_better(first, second):
        if first.get("Scope") == "user" and second.get("Scope") != "user":
            return "weak" if second.get("Scope") is None else "strong"
        return None

    def arch_better(first, second):
        if archs.index(first["Architecture"]) < archs.index(second["Architecture"]):
            return "strong" if first["Architecture"] == archs[0] else "weak"
        return None

    best = None
    for entry in filter(applicable, candidates):
        if best is None or first_better(entry, best):
            best = entry
    return best


def installer_args(entry: dict, options: dict[str, str]) -> str:
    switches = entry["InstallerSwitches"]
    if "interactive" in options:
        parts = [switches.get("Interactive", "")]
    elif "silent" in options:
        parts = [switches.get("Silent") or switches.get("SilentWithProgress", "")]
    else:
        parts = [switches.get("SilentWithProgress") or switches.get("Silent", "")]
    parts += [switches.get("Log", ""), switches.get("Custom", ""), options.get("custom", "")]
    if "location" in options:
        parts.append(switches.get("InstallLocation", ""))
    args = " ".join(part for part in parts if part).replace("<LOGPATH>", "winget.log")
    return args.replace("<INSTALLPATH>", options.get("location", ""))


def split_words(line: str) -> list[str]:
    """A command line's words as Windows programs read them: quotes group, and a
    backslash is part of a path, not an escape."""
    words = shlex.shlex(line, posix=True)
    words.whitespace_split, words.escape = True, ""
    return list(words)


def msi_properties(args: str) -> dict[str, str]:
    return {name.upper(): value for name, _, value in
            (word.partition("=") for word in split_words(args) if "=" in word and not word.startswith("/"))}


def play(manifest: dict, scenario: Scenario, conditions: list[tuple[str, str]]) -> Outcome:
    """What happens; conditions are the package's (expression that must hold, message)."""
    verb, options, _ = parse_command(scenario.command)
    outcome = Outcome()
    elevated_prompt = scenario.account == "elevated"
    installed = installed_scope(scenario.account, scenario.copy)
    if verb == "uninstall":
        if not scenario.copy:
            outcome.refusal = "no installed package found"
        elif scenario.copy == "machine" and not elevated_prompt:
            # msiexec /x runs unelevated, and the package asks for no elevation.
            outcome.refusal = "removing a copy for every user needs a prompt opened with Run as administrator"
        outcome.args = "/x {ProductCode} " + ("/quiet /norestart" if "silent" in options else "/passive /norestart")
        return outcome
    if verb == "upgrade" and not scenario.copy:
        outcome.refusal = "no installed package found"
        return outcome
    entry = pick_entry(entries(manifest), installed, options.get("scope"), scenario.system)
    if entry is None:
        outcome.refusal = "no applicable installer"
        return outcome
    outcome.entry = entry
    requirement = entry.get("ElevationRequirement")
    if requirement == "elevationProhibited" and elevated_prompt:
        outcome.refusal = "the installer cannot run elevated"
        return outcome
    outcome.elevated = elevated_prompt or requirement == "elevationRequired"
    outcome.args = installer_args(entry, options)
    outcome.properties = msi_properties(outcome.args)
    outcome.refusal = msi_refusal(outcome, scenario, conditions)
    return outcome


def msi_refusal(outcome: Outcome, scenario: Scenario, conditions: list[tuple[str, str]]) -> str:
    properties = {**outcome.properties, "Installed": "", "Privileged": "1" if outcome.elevated else "",
                  "USERCOPY": "{old}" if scenario.copy == "user" else "",
                  "MACHINECOPY": "{old}" if scenario.copy == "machine" else "",
                  "VersionNT64": "601" if scenario.system == "x64" else "", "UserSID": "S-1-5-21-1"}
    for expression, message in conditions:
        if not evaluate(expression, properties):
            return f"1603: {message}"
    if properties.get("ALLUSERS") and not outcome.elevated:
        return "1603: a per-machine install without administrator rights fails writing Program Files"
    return ""


# ---- what must work -----------------------------------------------------------------------

ID = "Ambrel.Vantrel"
FOLDER = "D:\\Apps\\Vantrel"
# (accounts, copy there, winget's arguments, what happens): "user" and "machine" are
# installs in that scope, anything else a part of the refusal. A refusal stops before
# anything changes (winget itself, or the launch conditions, which come first).
EVERY = ("standard", "admin", "elevated")
SCENARIOS = [
    (EVERY, None, ["install", ID], "user"),
    (EVERY, None, ["install", "--scope", "user", ID], "user"),
    (EVERY, None, ["install", "--scope", "machine", ID], "machine"),
    (EVERY, None, ["install", "--location", FOLDER, ID], "user"),
    (EVERY, None, ["install", "--scope", "machine", "--location", FOLDER, "--silent", ID], "machine"),
    (EVERY, "user", ["upgrade", ID], "user"),
    (("standard",), "user", ["upgrade", "--scope", "user", ID], "user"),
    (EVERY, "user", ["uninstall", ID], "removed"),
    (EVERY, "machine", ["upgrade", "--scope", "machine", ID], "machine"),
    (("elevated",), "machine", ["uninstall", ID], "removed"),
    (("standard", "admin"), "machine", ["uninstall", ID], "Run as administrator"),
    # winget takes every copy under HKLM for a per-machine one, an administrator's own
    # per-user copy too: without --scope an upgrade is per-user, which a per-machine copy
    # refuses, naming the command (msiexec /i ... ALLUSERS=1).
    (EVERY, "machine", ["upgrade", ID], "1603: Vantrel is already installed for every user"),
    (EVERY, "machine", ["install", "--scope", "user", ID], "no applicable installer"),
    (("admin", "elevated"), "user", ["upgrade", "--scope", "user", ID], "no applicable installer"),
]


def scenario_problems(manifest: dict, conditions: list[tuple[str, str]] | None = None) -> list[str]:
    conditions = package_conditions() if conditions is None else conditions
    problems = []
    for accounts, copy, command, expected in SCENARIOS:
        for account in accounts:
            for system in ("x64", "x86"):
                outcome = play(manifest, Scenario(account, copy, command, system), conditions)
                got = describe(outcome, command, system)
                if expected in ("user", "machine", "removed") and got != expected or \
                        expected not in ("user", "machine", "removed") and expected not in outcome.refusal:
                    problems.append(f"winget {' '.join(command)} ({account} account, {copy or 'no'} copy, {system}): "
                                    f"expected {expected}, got {got} [{outcome.args}]")
    return problems


def describe(outcome: Outcome, command: list[str], system: str) -> str:
    """What happened, in the words of the scenario table."""
    if outcome.refusal:
        return outcome.refusal
    if command[0] == "uninstall":
        return "removed"
    _, options, _ = parse_command(command)
    if "location" in options and outcome.properties.get("INSTALLFOLDER") != options["location"]:
        return f"an install that ignores --location {options['location']}"
    if outcome.entry["Architecture"] != system:
        return f"the {outcome.entry['Architecture']} package on {system} Windows"
    return "machine" if outcome.properties.get("ALLUSERS") else "user"


# ---- the package's launch conditions --------------------------------------------------------


def package_conditions(packaging: Path = PACKAGING) -> list[tuple[str, str]]:
    """Each rule that stops an install, as (expression that must hold, message): the
    LaunchCondition rows, and every error action (type 19) of the execute sequence
    with its condition turned round, written in vantrel.wxs or msi-tables.sql."""
    wxs = (packaging / "vantrel.wxs").read_text()
    unescape = lambda text: text.replace("&quot;", '"').replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&")
    rules = [(unescape(m[2]), unescape(m[1])) for m in re.finditer(r'<Condition Message="([^"]*)">([^<]*)</Condition>', wxs)]
    errors = {m[1]: unescape(m[2]) for m in re.finditer(r'<CustomAction Id="(\w+)"[^>]*\bError="([^"]*)"', wxs)}
    sequence = [(m[1], unescape(m[2])) for m in re.finditer(r'<Custom Action="(\w+)"[^>]*>([^<]*)</Custom>', wxs)]
    for table, row in sql_rows((packaging / "msi-tables.sql").read_text()):
        if table == "CustomAction" and row.get("Type") == "19":
            errors[row["Action"]] = row.get("Target", "")
        elif table == "InstallExecuteSequence":
            sequence.append((row["Action"], row.get("Condition", "")))
    rules += [(f"NOT ({condition})" if condition.strip() else "0", errors[action])
              for action, condition in sequence if action in errors]
    return rules


def sql_rows(sql: str):
    """(table, {column: value}) of every INSERT statement, a line each."""
    for m in re.finditer(r"^INSERT INTO `(\w+)` \(([^)]*)\) VALUES \((.*)\)\s*$", sql, re.M):
        columns = re.findall(r"`(\w+)`", m[2])
        values = [v.strip() for v in re.findall(r"'(?:[^']|'')*'|[^,\s][^,]*", m[3])]
        yield m[1], dict(zip(columns, (v[1:-1].replace("''", "'") if v.startswith("'") else v for v in values)))


TOKEN = re.compile(r'\s*(?:(?P<string>"[^"]*")|(?P<number>-?\d+)|(?P<op><>|>=|<=|~=|=|<|>|\(|\))|(?P<word>[\w.%]+))')


def evaluate(expression: str, properties: dict[str, str]) -> bool:
    """Windows Installer's conditional syntax, as far as these conditions use it: NOT,
    AND, OR, parentheses, properties (true when not empty) and comparisons."""
    tokens, position = [], 0
    expression = expression.strip()
    while position < len(expression):
        match = TOKEN.match(expression, position)
        if not match or match.end() == position:
            raise ValueError(f"cannot read the condition {expression!r} at {position}")
        tokens.append(next((kind, value) for kind, value in match.groupdict().items() if value is not None))
        position = match.end()
    tokens.append(("end", ""))
    index = 0

    def peek(*words):
        kind, value = tokens[index]
        return kind in ("word", "op") and value.upper() in words

    def take():
        nonlocal index
        index += 1
        return tokens[index - 1]

    def either():
        result = both()
        while peek("OR"):
            take()
            result = both() or result
        return result

    def both():
        result = negation()
        while peek("AND"):
            take()
            result = negation() and result
        return result

    def negation():
        if peek("NOT"):
            take()
            return not negation()
        return comparison()

    def comparison():
        left = value()
        if peek("=", "<>", "~=", "<", ">", "<=", ">="):
            op, right = take()[1], value()
            if op == "~=":
                return str(left).lower() == str(right).lower()
            if isinstance(left, int) != isinstance(right, int):
                left, right = str(left), str(right)
            return {"=": left == right, "<>": left != right, "<": left < right, ">": left > right,
                    "<=": left <= right, ">=": left >= right}[op]
        return bool(left)

    def value():
        kind, text = take()
        if text == "(":
            result = either()
            take()
            return result
        if kind == "string":
            return text[1:-1]
        if kind == "number":
            return int(text)
        found = properties.get(text, "")
        return int(found) if re.fullmatch(r"-?\d+", found) else found

    result = either()
    if tokens[index][0] != "end":
        raise ValueError(f"cannot read the condition {expression!r}")
    return result

#!/usr/bin/env python3
"""Reads the resources and imports back out of built Vantrel executables and
checks them: version block, icons, link cursor, manifest, and that the exe
only needs DLLs every Windows install has.

    python3 tests/res/check_resources.py              # unittest over the exes
    python3 tests/res/check_resources.py --summary [EXE...]

The exes come from the arguments or VANTREL_EXES (colon-separated), else
build/win32/vantrel.exe and build/win64/vantrel.exe under the repository.
A missing exe is a failure, not a skip: a check that quietly did not run
would look the same as one that passed.

Standard library only, so it runs wherever the cross build runs.
"""

import os
import struct
import sys
import unittest
from itertools import zip_longest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RES_DIR = os.path.join(REPO, "src", "res")
DEFAULT_EXES = [os.path.join(REPO, "build", "win32", "vantrel.exe"),
                os.path.join(REPO, "build", "win64", "vantrel.exe")]

RT_CURSOR, RT_ICON, RT_VERSION = 1, 3, 16
RT_GROUP_CURSOR, RT_GROUP_ICON, RT_MANIFEST = 12, 14, 24
RT_NAMES = {1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG",
            6: "STRING", 9: "ACCELERATOR", 10: "RCDATA", 12: "GROUP_CURSOR",
            14: "GROUP_ICON", 16: "VERSION", 24: "MANIFEST"}

IDI_APP, IDI_APP_IMAGE, IDI_ABOUT, IDC_HAND_LINK = 1, 30001, 2, 3
APP_IMAGE_SIZE = 3752

VERSION_STRINGS = [
    ("Comments", "Vantrel - Allows quick, easy changes of the screen resolution from the System Tray."),
    ("CompanyName", "Ambrel Utilities"),
    ("FileDescription", "Vantrel"),
    ("LegalCopyright", "Copyright (C) 2026 Ambrel Utilities"),
    ("LegalTrademarks", "None"),
    ("ProductName", "Vantrel"),
    ("FileVersion", "2.00.0005"),
    ("ProductVersion", "2.00.0005"),
    ("InternalName", "vantrel"),
    ("OriginalFilename", "vantrel.exe"),
]
VERSION_MS, VERSION_LS = (2 << 16) | 0, (0 << 16) | 5

# DLLs that ship with every supported Windows.  MinGW's own runtime DLLs
# (libstdc++-6, libgcc_s_*, libwinpthread-1) are the usual leak: the exe
# then fails to start on a clean machine.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "comctl32.dll", "comdlg32.dll", "advapi32.dll",
    "version.dll", "shlwapi.dll", "uxtheme.dll", "dwmapi.dll", "shcore.dll",
    "winmm.dll", "msvcrt.dll", "ucrtbase.dll", "ntdll.dll",
}


class PEError(Exception):
    pass


def _u16z(data, off):
    """NUL-terminated UTF-16LE string at off; returns (text, offset past NUL)."""
    end = off
    while end + 1 < len(data) and data[end:end + 2] != b"\0\0":
        end += 2
    if end + 1 >= len(data):
        raise PEError("unterminated UTF-16 string at 0x%x" % off)
    return data[off:end].decode("utf-16-le"), end + 2


def _align4(n):
    return (n + 3) & ~3


class PE:
    """Just enough of a PE32 / PE32+ reader for resources and imports."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PEError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise PEError("no PE signature")
        self.machine, nsect, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.dll_characteristics = struct.unpack_from("<H", data, opt + 70)[0]
        if self.magic == 0x10B:
            ndirs_at, dirs_at = opt + 92, opt + 96
        elif self.magic == 0x20B:
            ndirs_at, dirs_at = opt + 108, opt + 112
        else:
            raise PEError("unknown optional header magic 0x%x" % self.magic)
        ndirs = struct.unpack_from("<I", data, ndirs_at)[0]
        self.dirs = [struct.unpack_from("<II", data, dirs_at + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        for i in range(nsect):
            s = opt + opt_size + 40 * i
            name = data[s:s + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, va, rsize, raw = struct.unpack_from("<IIII", data, s + 8)
            self.sections.append((name, va, max(vsize, rsize), raw, rsize))

    @property
    def bits(self):
        return 64 if self.magic == 0x20B else 32

    def directory(self, index):
        return self.dirs[index] if index < len(self.dirs) else (0, 0)

    def offset(self, rva):
        for _, va, size, raw, rsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rsize:
                    raise PEError("RVA 0x%x lies in uninitialised data" % rva)
                return raw + rva - va
        raise PEError("RVA 0x%x is outside every section" % rva)

    def read(self, rva, size):
        off = self.offset(rva)
        if off + size > len(self.data):
            raise PEError("data at RVA 0x%x runs past the end of the file" % rva)
        return self.data[off:off + size]

    def cstr(self, rva):
        off = self.offset(rva)
        end = self.data.index(b"\0", off)
        return self.data[off:end].decode("ascii", "replace")

    def resources(self):
        """All resources as (type, name, language, bytes); type and name are
        ints for numeric ids and strings for named ones."""
        rva, size = self.directory(2)
        if not rva:
            return []
        base = self.offset(rva)
        data = self.data
        out = []

        def entries(off):
            named, ids = struct.unpack_from("<HH", data, base + off + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", data, base + off + 16 + 8 * i)
                if name & 0x80000000:
                    n = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", data, n)[0]
                    key = data[n + 2:n + 2 + 2 * length].decode("utf-16-le")
                else:
                    key = name
                yield key, target

        for rtype, t in entries(0):
            if not t & 0x80000000:
                raise PEError("resource type %r is not a directory" % (rtype,))
            for rname, n in entries(t & 0x7FFFFFFF):
                if not n & 0x80000000:
                    raise PEError("resource %r/%r is not a directory" % (rtype, rname))
                for lang, leaf in entries(n & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise PEError("resource %r/%r/%r nests too deep" % (rtype, rname, lang))
                    drva, dsize = struct.unpack_from("<II", data, base + leaf)
                    out.append((rtype, rname, lang, self.read(drva, dsize)))
        return out

    def imports(self):
        """Names of the DLLs imported, normally or delay-loaded."""
        names = []
        rva, _ = self.directory(1)
        while rva:
            desc = struct.unpack_from("<IIIII", self.read(rva, 20))
            if not any(desc):
                break
            names.append(self.cstr(desc[3]))
            rva += 20
        rva, _ = self.directory(13)
        while rva:
            desc = struct.unpack_from("<8I", self.read(rva, 32))
            if not any(desc):
                break
            names.append(self.cstr(desc[1]))
            rva += 32
        return names


# --- decoding the resources ----------------------------------------------

def version_tree(data, off=0):
    """One VS_VERSIONINFO-style node: (key, type, value_length, value bytes,
    children).  Text values keep their raw UTF-16 bytes."""
    length, vlen, vtype = struct.unpack_from("<HHH", data, off)
    if length < 6 or off + length > len(data):
        raise PEError("version node at 0x%x has bad length %d" % (off, length))
    key, pos = _u16z(data, off + 6)
    pos = _align4(pos)
    vbytes = vlen * 2 if vtype == 1 else vlen
    value = data[pos:pos + vbytes]
    pos = _align4(pos + vbytes)
    children = []
    end = off + length
    while pos + 6 <= end:
        child = version_tree(data, pos)
        children.append(child)
        pos = _align4(pos + struct.unpack_from("<H", data, pos)[0])
    return key, vtype, vlen, value, children


def group_entries(data, cursor=False):
    """Entries of an RT_GROUP_ICON / RT_GROUP_CURSOR directory as dicts."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != (2 if cursor else 1):
        raise PEError("not a %s group directory" % ("cursor" if cursor else "icon"))
    if len(data) != 6 + 14 * count:
        raise PEError("group directory is %d bytes for %d entries" % (len(data), count))
    out = []
    for i in range(count):
        if cursor:
            w, h, planes, bits, size, rid = struct.unpack_from("<HHHHIH", data, 6 + 14 * i)
            out.append(dict(width=w, height=h, planes=planes, bits=bits, size=size, id=rid))
        else:
            w, h, colours, _, planes, bits, size, rid = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            out.append(dict(width=w or 256, height=h or 256, colours=colours,
                            planes=planes, bits=bits, size=size, id=rid))
    return out


def dib_header(data):
    size, w, h, planes, bits = struct.unpack_from("<IiiHH", data, 0)
    if size != 40:
        raise PEError("image is not a BITMAPINFOHEADER DIB (header size %d)" % size)
    return dict(width=w, height=h, planes=planes, bits=bits)


class Resources:
    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.pe = PE(f.read())
        self.all = self.pe.resources()

    def find_section(self, name):
        return [s for s in self.pe.sections if s[0] == name]

    def find(self, rtype, name=None):
        return [r for r in self.all if r[0] == rtype and (name is None or r[1] == name)]

    def one(self, rtype, name, what):
        found = self.find(rtype, name)
        if len(found) != 1:
            raise AssertionError("%s: expected one %s resource %r, found %d"
                                 % (what, RT_NAMES.get(rtype, rtype), name, len(found)))
        return found[0][3]


# --- checks: each returns a list of problems -----------------------------

def check_version(res):
    problems = []
    data = res.one(RT_VERSION, 1, "version")
    key, _, vlen, fixed, children = version_tree(data)
    if key != "VS_VERSION_INFO":
        problems.append("version root key is %r" % key)
    if vlen != 52 or len(fixed) != 52:
        return problems + ["VS_FIXEDFILEINFO is %d bytes, not 52" % vlen]
    f = struct.unpack("<13I", fixed)
    want = [("dwSignature", 0xFEEF04BD), ("dwStrucVersion", 0x00010000),
            ("dwFileVersionMS", VERSION_MS), ("dwFileVersionLS", VERSION_LS),
            ("dwProductVersionMS", VERSION_MS), ("dwProductVersionLS", VERSION_LS),
            ("dwFileFlagsMask", 0), ("dwFileFlags", 0), ("dwFileOS", 0x4),
            ("dwFileType", 0x1), ("dwFileSubtype", 0),
            ("dwFileDateMS", 0), ("dwFileDateLS", 0)]
    for (field, expected), got in zip(want, f):
        if got != expected:
            problems.append("%s is 0x%x, expected 0x%x" % (field, got, expected))

    blocks = [c[0] for c in children]
    if blocks != ["VarFileInfo", "StringFileInfo"]:
        problems.append("blocks after the fixed part are %r, expected VarFileInfo then StringFileInfo" % blocks)
    by_key = {c[0]: c for c in children}

    var = by_key.get("VarFileInfo")
    if var:
        vars_ = [(c[0], c[3]) for c in var[4]]
        if vars_ != [("Translation", struct.pack("<HH", 0x0409, 0x04B0))]:
            problems.append("VarFileInfo holds %r, expected one Translation 0x0409, 0x04B0" % vars_)

    sfi = by_key.get("StringFileInfo")
    if sfi:
        tables = [c[0] for c in sfi[4]]
        if tables != ["040904B0"]:
            problems.append("string tables are %r, expected ['040904B0']" % tables)
        if sfi[4]:
            got = []
            for name, vtype, vlen, value, _ in sfi[4][0][4]:
                text = value.decode("utf-16-le")
                if vtype != 1 or text.find("\0") != len(text) - 1:
                    problems.append("string %s is not a NUL-terminated text value (type %d, length %d)"
                                    % (name, vtype, vlen))
                got.append((name, text.rstrip("\0")))
            for i, (g, e) in enumerate(zip_longest(got, VERSION_STRINGS)):
                if g != e:
                    problems.append("version string #%d is %s, expected %s" % (
                        i + 1, "%s = %r" % g if g else "missing", "%s = %r" % e if e else "nothing"))
    return problems


def check_app_icon(res):
    problems = []
    entries = group_entries(res.one(RT_GROUP_ICON, IDI_APP, "application icon"))
    want = dict(width=48, height=48, colours=0, planes=1, bits=8, size=APP_IMAGE_SIZE, id=IDI_APP_IMAGE)
    if entries != [want]:
        problems.append("icon group %d is %r, expected exactly %r" % (IDI_APP, entries, [want]))
    image = res.one(RT_ICON, IDI_APP_IMAGE, "application icon image")
    if len(image) != APP_IMAGE_SIZE:
        problems.append("RT_ICON %d is %d bytes, expected %d" % (IDI_APP_IMAGE, len(image), APP_IMAGE_SIZE))
    with open(os.path.join(RES_DIR, "app_icon_48.bin"), "rb") as f:
        if image != f.read():
            problems.append("RT_ICON %d differs from src/res/app_icon_48.bin" % IDI_APP_IMAGE)
    return problems


def check_about_icon(res):
    problems = []
    entries = group_entries(res.one(RT_GROUP_ICON, IDI_ABOUT, "about icon"))
    sizes = sorted(((e["width"], e["height"], e["bits"]) for e in entries), reverse=True)
    if sizes != [(32, 32, 4), (16, 16, 4)]:
        problems.append("about icon group holds %r, expected 32x32 and 16x16 at 4 bpp" % sizes)
    for e in entries:
        image = res.one(RT_ICON, e["id"], "about icon image")
        h = dib_header(image)
        if (h["width"], h["height"], h["bits"], h["planes"]) != (e["width"], 2 * e["height"], 4, 1):
            problems.append("about icon image %d has header %r" % (e["id"], h))
        if len(image) != e["size"]:
            problems.append("about icon image %d is %d bytes, group says %d" % (e["id"], len(image), e["size"]))
    return problems


def check_cursor(res):
    problems = []
    entries = group_entries(res.one(RT_GROUP_CURSOR, IDC_HAND_LINK, "link cursor"), cursor=True)
    if len(entries) != 1:
        return ["cursor group %d has %d entries, expected 1" % (IDC_HAND_LINK, len(entries))]
    e = entries[0]
    data = res.one(RT_CURSOR, e["id"], "link cursor image")
    hot = struct.unpack_from("<HH", data, 0)
    h = dib_header(data[4:])
    if hot != (5, 0):
        problems.append("cursor hot spot is %r, expected (5, 0)" % (hot,))
    if (h["width"], h["height"], h["bits"], h["planes"]) != (32, 64, 1, 1):
        problems.append("cursor image is %dx%d (double height) at %d bpp, %d planes; expected 32x64, 1 bpp, 1"
                        % (h["width"], h["height"], h["bits"], h["planes"]))
    if (e["width"], e["bits"]) != (32, 1) or e["size"] != len(data):
        problems.append("cursor group entry %r does not match its image (%d bytes)" % (e, len(data)))
    return problems


def check_manifest(res):
    found = res.find(RT_MANIFEST)
    if len(found) != 1:
        return ["expected exactly one RT_MANIFEST, found %d: %r"
                % (len(found), [(r[1], r[2], len(r[3])) for r in found])]
    _, name, _, text = found[0]
    problems = []
    if name != 1:
        problems.append("manifest id is %r, expected 1" % (name,))
    for needle in (b"PerMonitorV2", b"asInvoker"):
        if needle not in text:
            problems.append("manifest lacks %s" % needle.decode())
    with open(os.path.join(RES_DIR, "vantrel.manifest"), "rb") as f:
        if text != f.read():
            problems.append("manifest differs from src/res/vantrel.manifest")
    return problems


def check_imports(res):
    problems = []
    names = res.pe.imports()
    if not names:
        problems.append("no imports at all")
    for name in names:
        low = name.lower()
        if low not in SYSTEM_DLLS and not low.startswith("api-ms-win-"):
            hint = " (link the MinGW runtime statically: -static)" if low.startswith(
                ("libstdc++", "libgcc", "libwinpthread")) else ""
            problems.append("imports %s, which is not a Windows system DLL%s" % (name, hint))
    return problems


def check_architecture(res):
    pe = res.pe
    if (pe.machine, pe.magic) not in ((0x14C, 0x10B), (0x8664, 0x20B)):
        return ["machine 0x%x with optional header 0x%x is neither i386 PE32 nor x64 PE32+"
                % (pe.machine, pe.magic)]
    return []


# ASLR, no-execute data and no Remote Desktop compatibility shims.
DYNAMIC_BASE, NX_COMPAT, TERMINAL_SERVER_AWARE = 0x0040, 0x0100, 0x8000


def check_hardening(res):
    flags = res.pe.dll_characteristics
    missing = [name for name, bit in (("DYNAMIC_BASE", DYNAMIC_BASE), ("NX_COMPAT", NX_COMPAT),
                                      ("TERMINAL_SERVER_AWARE", TERMINAL_SERVER_AWARE)) if not flags & bit]
    if not res.find_section(".reloc"):
        missing.append("a .reloc section (without it the loader cannot move the exe)")
    return ["lacks %s" % name for name in missing]


CHECKS = [check_hardening, check_architecture, check_version, check_app_icon, check_about_icon,
          check_cursor, check_manifest, check_imports]


def run_checks(res):
    problems = []
    for check in CHECKS:
        try:
            problems += check(res)
        except (AssertionError, PEError, struct.error, OSError) as e:
            problems.append(str(e) or type(e).__name__)
    return problems


# --- unittest ------------------------------------------------------------

def exe_paths(argv=()):
    if argv:
        return list(argv)
    env = os.environ.get("VANTREL_EXES")
    return [p for p in env.split(":") if p] if env else DEFAULT_EXES


class ExeResources(unittest.TestCase):
    exe = None
    _res = None

    @classmethod
    def setUpClass(cls):
        if os.path.isfile(cls.exe):
            cls._res = Resources(cls.exe)

    def _check(self, check):
        if self._res is None:
            self.fail("%s does not exist: build it first" % self.exe)
        problems = check(self._res)
        if problems:
            self.fail("%s:\n  %s" % (self.exe, "\n  ".join(problems)))

    def test_architecture(self):
        self._check(check_architecture)

    def test_hardening(self):
        self._check(check_hardening)

    def test_version(self):
        self._check(check_version)

    def test_app_icon(self):
        self._check(check_app_icon)

    def test_about_icon(self):
        self._check(check_about_icon)

    def test_cursor(self):
        self._check(check_cursor)

    def test_manifest(self):
        self._check(check_manifest)

    def test_imports(self):
        self._check(check_imports)


def load_tests(loader, standard_tests, pattern):
    suite = unittest.TestSuite()
    for n, exe in enumerate(exe_paths()):
        tail = os.path.join(os.path.basename(os.path.dirname(exe)), os.path.basename(exe))
        label = "".join(c if c.isalnum() else "_" for c in tail)
        cls = type("ExeResources_%d_%s" % (n, label), (ExeResources,), {"exe": exe})
        suite.addTests(loader.loadTestsFromTestCase(cls))
    return suite


# --- summary -------------------------------------------------------------

def summary(path):
    res = Resources(path)
    pe = res.pe
    arch = {0x14C: "i386", 0x8664: "x86-64"}.get(pe.machine, "0x%x" % pe.machine)
    print("%s: PE%s %s" % (path, "32+" if pe.bits == 64 else "32", arch))
    for rtype, name, lang, data in res.all:
        print("  %-13s %-6s lang 0x%04x %6d bytes" % (RT_NAMES.get(rtype, rtype), name, lang, len(data)))
    for name, data in ((r[1], r[3]) for r in res.find(RT_GROUP_ICON)):
        for e in group_entries(data):
            print("  icon group %s: %dx%d %d bpp -> icon %d" % (name, e["width"], e["height"], e["bits"], e["id"]))
    for name, data in ((r[1], r[3]) for r in res.find(RT_GROUP_CURSOR)):
        for e in group_entries(data, cursor=True):
            image = res.find(RT_CURSOR, e["id"])
            hot = struct.unpack_from("<HH", image[0][3]) if image else "?"
            print("  cursor group %s: %dx%d %d bpp hot spot %s" % (name, e["width"], e["height"] // 2, e["bits"], hot))
    for _, _, _, data in res.find(RT_VERSION):
        _, _, _, fixed, children = version_tree(data)
        ms, ls = struct.unpack_from("<II", fixed, 8)
        print("  version %d.%d.%d.%d, blocks %s" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF,
                                                    [c[0] for c in children]))
        for block in children:
            for table in block[4]:
                for name, _, _, value, _ in table[4]:
                    print("    %s = %s" % (name, value.decode("utf-16-le").rstrip("\0")))
                if block[0] == "VarFileInfo":
                    print("    %s = %s" % (table[0], table[3].hex()))
    print("  imports: %s" % ", ".join(pe.imports()))
    problems = run_checks(res)
    for p in problems:
        print("  PROBLEM: %s" % p)
    print("  %s" % ("all checks passed" if not problems else "%d problem(s)" % len(problems)))
    return not problems


def main(argv):
    if argv[:1] == ["--summary"]:
        ok = True
        for path in exe_paths(argv[1:]):
            try:
                ok = summary(path) and ok
            except (OSError, PEError, struct.error) as e:
                print("%s: %s" % (path, e))
                ok = False
        return 0 if ok else 1
    if argv:
        os.environ["VANTREL_EXES"] = ":".join(argv)
    result = unittest.main(module=__name__, argv=[sys.argv[0]], exit=False, verbosity=1).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

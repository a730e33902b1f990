"""Reads the built exes back and checks what Windows and Explorer see of them: the
machine, the loader's safety flags, the version block, the icons, the link cursor, the
manifest, and that only DLLs of Windows itself are imported; and that the installer's
custom-action DLL beside each exports its entry points by the names the package gives.

The exes are build/win32/vantrel.exe and build/win64/vantrel.exe, or those named in
VANTREL_EXES (colon-separated). A missing exe is a failure: a check that quietly did not
run would look the same as one that passed.
"""
import os
import struct
import unittest
from xml.etree import ElementTree

import pefile

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RES = os.path.join(REPO, "src", "res")
EXES = os.environ.get("VANTREL_EXES", ":".join(
    os.path.join(REPO, "build", build, "vantrel.exe") for build in ("win32", "win64"))).split(":")

RT_CURSOR, RT_ICON, RT_GROUP_CURSOR, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 1, 3, 12, 14, 16, 24
IDI_APP, IDI_APP_IMAGE, IDI_ABOUT, IDC_HAND_LINK = 1, 30001, 2, 3
with open(os.path.join(REPO, "VERSION")) as f:
    MAJOR, MINOR, REVISION = map(int, f.read().split("."))
VERSION = (MAJOR << 16 | MINOR, REVISION)  # MAJOR.MINOR.0.REVISION as the fixed part's MS and LS words
VERSION_STRINGS = [
    ("Comments", "Vantrel - Allows quick, easy changes of the screen resolution from the System Tray."),
    ("CompanyName", "Ambrel Utilities"),
    ("FileDescription", "Vantrel"),
    ("LegalCopyright", "Copyright (C) 2026 Ambrel Utilities"),
    ("LegalTrademarks", "None"),
    ("ProductName", "Vantrel"),
    ("FileVersion", f"{MAJOR}.{MINOR:02}.{REVISION:04}"),
    ("ProductVersion", f"{MAJOR}.{MINOR:02}.{REVISION:04}"),
    ("InternalName", "vantrel"),
    ("OriginalFilename", "vantrel.exe"),
]
# What every supported Windows has. MinGW's runtime DLLs (libstdc++-6, libgcc_s_*,
# libwinpthread-1) are the usual leak: the exe then fails to start on a clean machine.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll"}


def committed(name):
    with open(os.path.join(RES, name), "rb") as f:
        return f.read()


def dib(data):
    """Width, height (both masks), planes and bits of an image's BITMAPINFOHEADER."""
    assert struct.unpack_from("<I", data)[0] == 40, "not a BITMAPINFOHEADER image"
    return struct.unpack_from("<iiHH", data, 4)


def group(data, cursor=False):
    """Entries of an icon or cursor group: (width, height, bits, size, id)."""
    _, kind, count = struct.unpack_from("<HHH", data)
    assert kind == (2 if cursor else 1) and len(data) == 6 + 14 * count, "not a group directory"
    if cursor:
        rows = [struct.unpack_from("<HHHHIH", data, 6 + 14 * i) for i in range(count)]
        return [(w, h // 2, bits, size, rid) for w, h, _, bits, size, rid in rows]
    rows = [struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i) for i in range(count)]
    return [(w or 256, h or 256, bits, size, rid) for w, h, _, _, _, bits, size, rid in rows]


class Exe:
    def __init__(self, path):
        self.pe = pefile.PE(path)
        self.resources = {}
        for kind in self.pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for name in kind.directory.entries:
                for data in (language.data.struct for language in name.directory.entries):
                    self.resources.setdefault((kind.id, name.id), []).append(
                        self.pe.get_data(data.OffsetToData, data.Size))

    def one(self, kind, name):
        found = self.resources.get((kind, name), [])
        assert len(found) == 1, f"{len(found)} resources of type {kind} named {name}, not one"
        return found[0]


class ExeResources(unittest.TestCase):
    def test_each_exe(self):
        for path in EXES:
            with self.subTest(exe=os.path.relpath(path, REPO)):
                self.assertTrue(os.path.isfile(path), f"{path} does not exist: build it first")
                self.check(Exe(path))

    def check(self, exe):
        pe = exe.pe
        self.assertIn((pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Magic), [(0x14C, 0x10B), (0x8664, 0x20B)])
        # ASLR (with the relocations it needs), no-execute data, no Remote Desktop shims.
        flags = pe.OPTIONAL_HEADER.DllCharacteristics
        self.assertEqual(0x8140, flags & 0x8140, f"DllCharacteristics {flags:#x}")
        self.assertIn(b".reloc", [section.Name.rstrip(b"\0") for section in pe.sections])
        self.check_version(pe)
        self.check_icons_and_cursor(exe)
        manifests = [key for key in exe.resources if key[0] == RT_MANIFEST]
        self.assertEqual([(RT_MANIFEST, 1)], manifests, "exactly one manifest, id 1")
        self.assertEqual(committed("vantrel.manifest"), exe.one(RT_MANIFEST, 1))
        # Undeclared, Windows draws the program at 96 dpi and stretches the bitmap: blurred at 150 %.
        settings = ElementTree.fromstring(exe.one(RT_MANIFEST, 1)).find(".//{urn:schemas-microsoft-com:asm.v3}windowsSettings")
        self.assertEqual({"dpiAware": "true/pm", "dpiAwareness": "PerMonitorV2,PerMonitor"},
                         {child.tag.split("}")[1]: child.text for child in settings})
        imported = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
        self.assertLessEqual(imported, SYSTEM_DLLS)

    def check_version(self, pe):
        fixed = pe.VS_FIXEDFILEINFO[0]
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), VERSION)
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), VERSION)
        self.assertEqual((fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS, fixed.FileType, fixed.FileSubtype,
                          fixed.FileDateMS, fixed.FileDateLS), (0, 0, 0x4, 0x1, 0, 0, 0))
        blocks = [block for blocks in pe.FileInfo for block in blocks]
        self.assertEqual([b"VarFileInfo", b"StringFileInfo"], [block.Key for block in blocks])
        self.assertEqual([{b"Translation": "0x0409 0x04b0"}], [var.entry for var in blocks[0].Var])
        [table] = blocks[1].StringTable
        self.assertEqual(b"040904B0", table.LangID.upper())
        self.assertEqual(VERSION_STRINGS, [(k.decode(), v.decode()) for k, v in table.entries.items()])

    def check_icons_and_cursor(self, exe):
        app = exe.one(RT_ICON, IDI_APP_IMAGE)
        self.assertEqual([(48, 48, 8, len(app), IDI_APP_IMAGE)], group(exe.one(RT_GROUP_ICON, IDI_APP)))
        self.assertEqual((3752, committed("app_icon_48.bin")), (len(app), app))
        about = group(exe.one(RT_GROUP_ICON, IDI_ABOUT))
        self.assertEqual([(32, 32, 4), (16, 16, 4)], sorted(((w, h, bits) for w, h, bits, _, _ in about), reverse=True))
        for width, height, _, size, rid in about:
            image = exe.one(RT_ICON, rid)
            self.assertEqual(((width, 2 * height, 1, 4), size), (dib(image), len(image)))
        [(width, height, bits, size, rid)] = group(exe.one(RT_GROUP_CURSOR, IDC_HAND_LINK), cursor=True)
        cursor = exe.one(RT_CURSOR, rid)
        self.assertEqual((5, 0), struct.unpack_from("<HH", cursor), "hot spot at the fingertip")
        self.assertEqual(((32, 64, 1, 1), (32, 32, 1), len(cursor)), (dib(cursor[4:]), (width, height, bits), size))


class InstallerCustomActions(unittest.TestCase):
    def test_each_build_exports_the_entry_points_by_their_plain_names(self):
        # Windows Installer looks an entry point up by the name in the CustomAction table;
        # a 32-bit stdcall export keeps its "@4" unless the linker strips it.
        for exe in EXES:
            dll = os.path.join(os.path.dirname(exe), "close_running.dll")
            with self.subTest(dll=os.path.relpath(dll, REPO)):
                exports = pefile.PE(dll).DIRECTORY_ENTRY_EXPORT.symbols
                self.assertEqual([b"CheckInstallContext", b"CloseRunningCopies"], sorted(e.name for e in exports))


if __name__ == "__main__":
    unittest.main()

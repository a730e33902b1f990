#!/usr/bin/python3
"""The release steps that are more than a command line, for scripts/package and
scripts/verify-release (and the tests, which import them):

  msi DIST_STAGE VERSION COMMIT EPOCH   builds vantrel-VERSION.msi (x86) and
                                        vantrel-VERSION-x64.msi from the staged files
  rules MSI                             what Microsoft's validation rules (ICE) would report
  manifests DIST VERSION                writes the winget and Scoop manifests of DIST's artefacts
  check DIST VERSION                    checks them as the repositories' maintainers would
  same-msi A B                          whether two MSIs hold the same data, signatures apart
  envelope EXE...                       whether a signature on each exe can be taken off again

The work itself lives beside it: release_names.py (what the files are called, the
product's codes), msi_package.py (building and comparing the packages), msi_rules.py
(the validation rules) and manifests.py (writing and checking the manifests).
"""
from __future__ import annotations

import sys
from pathlib import Path

import yaml

from manifests import check_manifests, write_manifests
from msi_package import build_msi, same_msi
from msi_rules import rule_problems
from release_names import ARCHES, VERSION, ReleaseError, msi_name, next_patch, product_code, sha256, zip_name

# The names the tests and scripts use through this module.
__all__ = ["ARCHES", "VERSION", "build_msi", "check_manifests", "envelope_problems", "msi_name", "next_patch",
           "product_code", "rule_problems", "same_msi", "sha256", "write_manifests", "zip_name"]


# ---- signatures ---------------------------------------------------------------------------


def envelope_problems(exe: Path) -> list[str]:
    """osslsigncode pads an exe to a multiple of 8 before it appends the signature and
    rewrites the PE checksum when it takes it off again: the unsigned bytes come back
    exactly only from an exe that already has both."""
    import pefile
    pe = pefile.PE(str(exe), fast_load=True)
    problems = []
    if exe.stat().st_size % 8:
        problems.append(f"{exe}: its size {exe.stat().st_size} is not a multiple of 8")
    if pe.OPTIONAL_HEADER.CheckSum != pe.generate_checksum():
        problems.append(f"{exe}: its PE checksum {pe.OPTIONAL_HEADER.CheckSum:#x} is not {pe.generate_checksum():#x}")
    return problems


# ---- command line -------------------------------------------------------------------------


def main(argv: list[str]) -> int:
    command, *args = argv or [""]
    try:
        if command == "msi" and len(args) == 4:
            stage, version, commit, epoch = args
            for arch in ARCHES:
                print(build_msi(Path(stage) / "files", Path(stage) / msi_name(version, arch), version, commit, int(epoch), arch))
        elif command == "rules" and len(args) == 1:
            problems = rule_problems(Path(args[0]))
            for problem in problems:
                print(f"{args[0]}: {problem}", file=sys.stderr)
            return 1 if problems else 0
        elif command == "manifests" and len(args) == 2:
            for path in write_manifests(Path(args[0]), args[1]):
                print(path)
        elif command == "check" and len(args) == 2:
            problems = check_manifests(Path(args[0]), args[1])
            for problem in problems:
                print(problem, file=sys.stderr)
            return 1 if problems else 0
        elif command == "envelope" and args:
            problems = [problem for exe in args for problem in envelope_problems(Path(exe))]
            for problem in problems:
                print(problem, file=sys.stderr)
            return 1 if problems else 0
        elif command == "same-msi" and len(args) == 2:
            differing = same_msi(Path(args[0]), Path(args[1]))
            if differing:
                print(f"the MSIs differ in the streams {', '.join(differing)}", file=sys.stderr)
            return 1 if differing else 0
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except (ReleaseError, OSError, yaml.YAMLError) as error:
        print(f"scripts/release.py {command}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#!/usr/bin/env python3
"""krv5316-check.exe without a usable ZOVAK_OX9162.DLL under Wine: with no DLL at all
it still answers --help and --version, and a run ends with the library error's exit
status; so does a run on a DLL that lacks one of the seven functions, instead of
dying at the first call of the missing one. A DLL in the current folder or on PATH is
never loaded, and a DLL of the other width is named in the message."""
import argparse
import re
import shutil
import sys
from pathlib import Path

from wine_support import Wine, marked_for_width, verdict

LIBRARY_ERROR = 2


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    parser.add_argument("--bin", type=Path, required=True)
    parser.add_argument("--prefix", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    args = parser.parse_args()
    failures = []

    # Beside the program only what a test puts there: Wine's own folders have no DLL
    # of that name either.
    alone = args.work / "loader"
    shutil.rmtree(alone, ignore_errors=True)
    alone.mkdir(parents=True)
    exe = alone / "krv5316-check.exe"
    shutil.copy(args.bin / "krv5316-check.exe", exe)
    wine = Wine(args.width, args.prefix, alone)

    def expect(what, wanted, cards, *options, message="", **where):
        status, out, err, _ = wine.run(exe, list(options), cards, **where)
        if status != wanted or not re.search(message, err):
            failures.append(f"{what}: exit status {status}, not {wanted} with '{message}'\n"
                            f"{out}{err}")

    expect("--help without the DLL", 0, "0123@2/13", "--help")
    expect("--version without the DLL", 0, "0123@2/13", "--version")
    expect("a run without the DLL", LIBRARY_ERROR, "0123@2/13")

    # Anyone may leave a DLL in the current folder or on PATH: neither is searched.
    planted = args.work / "planted"
    shutil.rmtree(planted, ignore_errors=True)
    planted.mkdir()
    shutil.copy(args.bin / "ZOVAK_OX9162.DLL", planted)
    expect("the DLL in the current folder and on PATH", LIBRARY_ERROR, "",
           message="cannot load ZOVAK_OX9162.DLL: it is not in the program's folder",
           cwd=planted, path=planted)

    # The stand-in marked for the other width: the system's message names the file.
    (alone / "ZOVAK_OX9162.DLL").write_bytes(
        marked_for_width(args.bin / "ZOVAK_OX9162.DLL", 96 - args.width))
    expect("a DLL of the other width", LIBRARY_ERROR, "",
           message=r"(?m)error 193: [^%\n]*ZOVAK_OX9162\.DLL[^%\n]*$")

    # The stand-in with its export of OX9162_Close renamed: every other call works, so
    # only binding all seven up front stops the run before a card is opened.
    dll = (args.bin / "ZOVAK_OX9162.DLL").read_bytes()
    lacking = dll.replace(b"OX9162_Close\0", b"OX9162_Clos_\0")
    if lacking == dll:
        failures.append("the stand-in exports no OX9162_Close to rename")
    (alone / "ZOVAK_OX9162.DLL").write_bytes(lacking)
    expect("a run on a DLL lacking OX9162_Close", LIBRARY_ERROR, "0123@2/13")

    return verdict(args.width, "loader", failures)


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Both widths installed side by side on 64-bit Windows (Wine): each has its own
Start-menu folder and Apps entry, named with its width, and removing the 64-bit one
leaves the 32-bit one's entries and programs working. Skipped (77) without a 32-bit
installer, which the 32-bit build makes."""
import argparse
import re
import shutil
import subprocess
import sys
from pathlib import Path

from wine_support import Wine, verdict

SKIP = 77


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--installer", type=Path, required=True, help="the 64-bit installer")
    parser.add_argument("--other", type=Path, required=True, help="the 32-bit installer")
    parser.add_argument("--prefix", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    args = parser.parse_args()
    if not args.other.is_file():
        print(f"SKIP: no 32-bit installer {args.other} (the win32 build's test makes it)")
        return SKIP
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)
        return condition

    args.work.mkdir(parents=True, exist_ok=True)
    shutil.rmtree(args.prefix, ignore_errors=True)
    wine = Wine(64, args.prefix.resolve(), args.work)
    env = dict(wine.env, LC_ALL="C.UTF-8")
    drive_c = args.prefix.resolve() / "drive_c"
    menu = drive_c / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs"
    folders = {32: drive_c / "Program Files (x86)" / "OX_KRV5316",
               64: drive_c / "Program Files" / "OX_KRV5316"}

    def run(*command):
        code = subprocess.run([wine.loader, *map(str, command)], env=env, cwd=args.work,
                              capture_output=True, timeout=300).returncode
        subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=env, timeout=300)
        return code

    def entries(width):
        """The width's Start-menu links that start its own window and its Apps entry's
        name."""
        links = menu / f"OX_KRV5316 ({width}-bit)"
        window = str(folders[width]).split("drive_c/")[1].replace("/", "\\") + "\\ox_krv5316.exe"
        own = [link.name for link in links.glob("*.lnk")
               if window.encode("utf-16-le") in link.read_bytes()
               or window.encode() in link.read_bytes()]
        # From the registry file that the server writes as it ends: a reg.exe query would
        # start Wine again, for seconds each time.
        registry = (args.prefix / "system.reg").read_text(errors="replace")
        path = ["Software", *(["Wow6432Node"] if width == 32 else []), "Microsoft", "Windows",
                "CurrentVersion", "Uninstall", f"OX_KRV5316-win{width}"]
        key = "[" + "\\\\".join(path) + "]"  # the file doubles each backslash
        entry = re.search(re.escape(key) + r"[^\[]*?^\"DisplayName\"=\"([^\"]*)\"", registry,
                          re.I | re.M | re.S)
        return own, entry[1] if entry else None

    for installer in (args.other, args.installer):
        shutil.copy(installer, args.work)
        expect(run(args.work / installer.name, "/S") == 0, f"{installer.name} did not install")
    for width in (32, 64):
        own, name = entries(width)
        expect("OX_KRV5316.lnk" in own and name == f"OX_KRV5316 ({width}-bit)",
               f"{width}-bit beside the other: links {own}, Apps entry {name}")

    run(folders[64] / "Uninstall.exe", "/S")
    own, name = entries(64)
    expect(not own and name is None and not (folders[64] / "ox_krv5316.exe").exists(),
           f"the 64-bit uninstall left links {own}, Apps entry {name}")
    own, name = entries(32)
    checks = run(folders[32] / "krv5316-check.exe", "--version") == 0
    expect("OX_KRV5316.lnk" in own and name == "OX_KRV5316 (32-bit)" and checks,
           f"the 64-bit uninstall took the 32-bit one's: links {own}, Apps entry {name}, "
           f"check runs {checks}")
    return verdict(64, "installers side by side", failures)


if __name__ == "__main__":
    sys.exit(main())

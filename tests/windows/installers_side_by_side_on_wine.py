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
import time
from pathlib import Path

from wine_support import Wine, verdict

SKIP = 77
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\OX_KRV5316-win"


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

    # A Wine process that lives as long as the test keeps Wine's server and services
    # running: each Wine start then takes a fraction of a second, not seconds.
    keeper = subprocess.Popen([wine.loader, "cmd"], env=env, stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(*command):
        # No pipes to Wine's programs: the services they start hold them open.
        return subprocess.run([wine.loader, *map(str, command)], env=env, cwd=args.work,
                              stdout=subprocess.PIPE if command[0] == "reg" else
                              subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)

    def entries(width):
        """The width's Start-menu links that start its own window and its Apps entry's
        name."""
        links = menu / f"OX_KRV5316 ({width}-bit)"
        window = str(folders[width]).split("drive_c/")[1].replace("/", "\\") + "\\ox_krv5316.exe"
        own = [link.name for link in links.glob("*.lnk")
               if window.encode("utf-16-le") in link.read_bytes()
               or window.encode() in link.read_bytes()]
        query = run("reg", "query", UNINSTALL + str(width), "/v", "DisplayName", f"/reg:{width}")
        name = re.search(rb"REG_SZ\s+(.*?)\s*$", query.stdout, re.M)
        return own, name[1].decode() if name else None

    for installer in (args.other, args.installer):
        shutil.copy(installer, args.work)
        expect(run(args.work / installer.name, "/S").returncode == 0,
               f"{installer.name} did not install")
    for width in (32, 64):
        own, name = entries(width)
        expect("OX_KRV5316.lnk" in own and name == f"OX_KRV5316 ({width}-bit)",
               f"{width}-bit beside the other: links {own}, Apps entry {name}")

    # The uninstaller runs on in a copy of itself, which removes the Apps entry last.
    run(folders[64] / "Uninstall.exe", "/S")
    deadline = time.monotonic() + 60
    while (own_name := entries(64))[1] and time.monotonic() < deadline:
        time.sleep(0.2)
    own, name = own_name
    expect(not own and name is None and not (folders[64] / "ox_krv5316.exe").exists(),
           f"the 64-bit uninstall left links {own}, Apps entry {name}")
    own, name = entries(32)
    checks = run(folders[32] / "krv5316-check.exe", "--version").returncode == 0
    expect("OX_KRV5316.lnk" in own and name == "OX_KRV5316 (32-bit)" and checks,
           f"the 64-bit uninstall took the 32-bit one's: links {own}, Apps entry {name}, "
           f"check runs {checks}")
    keeper.stdin.close()
    keeper.wait(timeout=60)
    return verdict(64, "installers side by side", failures)


if __name__ == "__main__":
    sys.exit(main())

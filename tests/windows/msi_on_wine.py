#!/usr/bin/env python3
"""The MSI of one width under Wine's msiexec, silently, as IT deploys it: an install
into a folder with Czech letters given as INSTALLDIR, an older version refused over it,
the removal (which leaves the maker's DLL put in the folder by hand), and an upgrade from
an older version (the same staged files with one more, made by the MSI's own builder
with a lower version), which must land in the older one's folder. Each time the files,
the Start-menu entries and the Apps entry are checked. Prints what it costs."""
import argparse
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

from wine_support import RUN_TIMEOUT, Wine, verdict

SKIP = 77
FOLDER = r"C:\Zkoušky\Čtečka OX"
OLD_VERSION = "0.1"
OLD_ONLY = "jen-ve-starsi-verzi.txt"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# The Start-menu entries and the staged file each starts; the training entry where
# the build has the training folder.
SHORTCUTS = {"OX_KRV5316.lnk": "ox_krv5316.exe", "Příručka.lnk": "prirucka.txt",
             "OX_KRV5316 – simulované karty.lnk": "simulace/ox_krv5316.exe"}


def msi_properties(msi):
    table = subprocess.run(["msiinfo", "export", str(msi), "Property"], capture_output=True,
                           check=True).stdout.decode()
    return dict(line.split("\t", 1) for line in table.splitlines()[3:] if "\t" in line)


def links_to(lnk, path):
    """Whether the shortcut's item list names each part of the Windows path in turn (its
    other copies of the path are in the ANSI code page, which lacks Czech letters)."""
    at = 0
    for part in path.split("\\")[1:]:
        at = lnk.find(part.encode("utf-16-le"), at)
        if at < 0:
            return False
    return True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    parser.add_argument("--msi", type=Path, required=True)
    parser.add_argument("--staged", type=Path, required=True)
    parser.add_argument("--cpack-config", type=Path, required=True)
    parser.add_argument("--builder", type=Path, required=True)
    parser.add_argument("--certificate", type=Path)
    parser.add_argument("--prefix", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    args = parser.parse_args()
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)
        return condition

    start = time.monotonic()
    shutil.rmtree(args.work, ignore_errors=True)
    args.work.mkdir(parents=True)
    # The older version: the same files and one more, at a lower version.
    old_staged, old_msi = args.work / "older", args.work / f"older-{args.width}.msi"
    shutil.copytree(args.staged, old_staged)
    (old_staged / OLD_ONLY).write_text("1")
    subprocess.run(["cmake", f"-DOX_MSI_CONFIG={args.cpack_config}",
                    f"-DOX_MSI_STAGED={old_staged}", f"-DOX_MSI_VERSION={OLD_VERSION}",
                    f"-DOX_MSI_OUTPUT={old_msi}", "-P", str(args.builder)],
                   check=True, capture_output=True)
    shutil.rmtree(args.prefix, ignore_errors=True)
    try:
        wine = Wine(args.width, args.prefix.resolve(), args.work)
    except (OSError, subprocess.SubprocessError) as error:
        print(f"SKIP: Wine cannot run here ({error})")
        return SKIP
    # Wine takes the command line's Czech letters from the locale's encoding.
    env = dict(wine.env, LC_ALL="C.UTF-8")
    drive_c = args.prefix.resolve() / "drive_c"
    folder = drive_c / FOLDER[3:].replace("\\", "/")
    product = msi_properties(args.msi)
    name, version = product["ProductName"], product["ProductVersion"]
    staged = sorted(p.relative_to(args.staged) for p in args.staged.rglob("*") if p.is_file())
    shortcuts = {lnk: target for lnk, target in SHORTCUTS.items()
                 if (args.staged / target).is_file()}
    # Per machine; Wine's msiexec puts the entries in the user's Start menu all the same.
    menus = [programs / name for programs in
             [drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs",
              *drive_c.glob("users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs")]]

    def msiexec(*words):
        return subprocess.run([wine.loader, "msiexec", *words, "/qn"], env=env,
                              capture_output=True, timeout=RUN_TIMEOUT).returncode

    def apps_entries():
        """{product code: {value: data}} of the entries named as the MSI names itself."""
        export = args.work / "uninstall.reg"
        subprocess.run([wine.loader, "reg", "export", UNINSTALL, str(export), "/y"], env=env,
                       capture_output=True, timeout=RUN_TIMEOUT)
        entries, values = {}, None
        for line in export.read_text(encoding="utf-16").splitlines():
            if m := re.match(r"\[.*\\(\{[0-9A-F-]+\})\]$", line):
                values = entries.setdefault(m.group(1), {})
            elif values is not None and (m := re.match(r'"(\w+)"="(.*)"$', line)):
                values[m.group(1)] = m.group(2).replace("\\\\", "\\")
        return {code: v for code, v in entries.items() if v.get("DisplayName") == name}

    def expect_installed(when, code):
        for path in staged:
            expect((folder / path).is_file() and
                   (folder / path).read_bytes() == (args.staged / path).read_bytes(),
                   f"{when}: {path} is not installed as staged")
        expect(not (folder / OLD_ONLY).exists(), f"{when}: the older version's file stayed")
        entries = {c: (v.get("DisplayVersion"), v.get("InstallLocation"))
                   for c, v in apps_entries().items()}
        expect(entries == {code: (version, FOLDER + "\\")},
               f"{when}: Apps shows {entries}, not {name} {version} in {FOLDER} alone")
        menu = next((m for m in menus if m.is_dir()), None)
        for lnk, target in shortcuts.items():
            path = f"{FOLDER}\\{target}".replace("/", "\\")
            expect(menu and (menu / lnk).is_file() and links_to((menu / lnk).read_bytes(), path),
                   f"{when}: no Start-menu entry {name}\\{lnk} starting {target}")

    # Install into a folder named on the command line.
    expect(msiexec("/i", str(args.msi), f"INSTALLDIR={FOLDER}") == 0, "the install failed")
    code = product["ProductCode"]
    expect_installed("install", code)
    if args.certificate:
        expect(subprocess.run(["osslsigncode", "verify", "-CAfile", args.certificate, "-in",
                               args.msi], capture_output=True).returncode == 0,
               "the MSI has no intact signature")

    # An older version over it is refused (1603, which Wine's exit status cuts to a byte).
    expect(msiexec("/i", str(old_msi)) != 0, "an older version installed over a newer")
    expect_installed("after a downgrade", code)

    # The removal leaves the maker's DLL, and so the folder.
    (folder / "ZOVAK_OX9162.DLL").write_bytes(b"MZ")
    expect(msiexec("/x", code) == 0, "the removal failed")
    left = [str(p.relative_to(folder)) for p in folder.rglob("*")] if folder.is_dir() else []
    expect(left == ["ZOVAK_OX9162.DLL"], f"the removal left {left}, not the maker's DLL alone")
    expect(not any(m.exists() for m in menus), "the removal left the Start-menu folder")
    expect(not apps_entries(), "the removal left the Apps entry")

    # An upgrade from an older version goes into its folder.
    expect(msiexec("/i", str(old_msi), f"INSTALLDIR={FOLDER}") == 0, "the older version failed")
    expect(msiexec("/i", str(args.msi)) == 0, "the upgrade failed")
    expect_installed("upgrade", code)

    size = args.msi.stat().st_size / 1e6
    print(f"{args.width}-bit: the MSI ({size:.1f} MB): install, downgrade, removal and upgrade "
          f"under Wine in {time.monotonic() - start:.1f} s")
    return verdict(args.width, "MSI", failures)


if __name__ == "__main__":
    sys.exit(main())

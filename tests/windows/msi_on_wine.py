#!/usr/bin/env python3
"""The MSI under Wine's msiexec /qn: install into a Czech INSTALLDIR, an older version
refused, removal (a DLL put there by hand stays), upgrade from an older version (the
staged files and one more) into its folder; files, Start menu, Apps each time."""
import argparse
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

from wine_support import RUN_TIMEOUT, Wine, verdict

FOLDER, OLD_ONLY = r"C:\Zkoušky\Čtečka OX", "jen-ve-starsi-verzi.txt"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# The entries and the staged file each starts, where the build has that file.
SHORTCUTS = {"OX_KRV5316.lnk": "ox_krv5316.exe", "Příručka.lnk": "prirucka.txt",
             "OX_KRV5316 – simulované karty.lnk": "simulace/ox_krv5316.exe"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    for name in ("msi", "staged", "cpack-config", "builder", "certificate", "prefix", "work"):
        parser.add_argument(f"--{name}", type=Path, required=True)
    args = parser.parse_args()
    failures, start = [], time.monotonic()
    expect = lambda condition, what: condition or failures.append(what)
    shutil.rmtree(args.work, ignore_errors=True)
    old, old_msi = args.work / "older", args.work / "older.msi"
    shutil.copytree(args.staged, old)
    (old / OLD_ONLY).write_text("1")
    subprocess.run(["cmake", f"-DOX_MSI_CONFIG={args.cpack_config}", f"-DOX_MSI_STAGED={old}",
                    "-DOX_MSI_VERSION=0.1", f"-DOX_MSI_OUTPUT={old_msi}", "-P", args.builder],
                   check=True, capture_output=True)
    shutil.rmtree(args.prefix, ignore_errors=True)
    wine = Wine(args.width, args.prefix.resolve(), args.work)
    env = dict(wine.env, LC_ALL="C.UTF-8")  # Wine reads the Czech arguments as UTF-8
    run = lambda *words: subprocess.run([wine.loader, *words], env=env, capture_output=True,
                                        timeout=RUN_TIMEOUT).returncode
    msiexec = lambda *words: run("msiexec", *words, "/qn")
    table = subprocess.run(["msiinfo", "export", args.msi, "Property"], capture_output=True,
                           text=True, check=True).stdout
    product = dict(line.split("\t", 1) for line in table.splitlines()[3:])
    name, code = product["ProductName"], product["ProductCode"]
    drive_c = args.prefix.resolve() / "drive_c"
    folder = drive_c / FOLDER[3:].replace("\\", "/")
    staged = [p.relative_to(args.staged) for p in args.staged.rglob("*") if p.is_file()]
    # Per machine, yet Wine's msiexec makes the entries in the user's Start menu.
    menus = [p / name for p in [drive_c / "ProgramData/Microsoft/Windows/Start Menu/Programs",
             *drive_c.glob("users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs")]]

    def apps():  # {product code: (version, folder)} of the entries of the MSI's name
        run("reg", "export", UNINSTALL, str(args.work / "apps.reg"), "/y")
        text = (args.work / "apps.reg").read_text(encoding="utf-16").replace("\\\\", "\\")
        return {c: (re.search(r'"DisplayVersion"="(.*)"', v)[1],
                    re.search(r'"InstallLocation"="(.*)"', v)[1])
                for c, v in re.findall(r"\\(\{[0-9A-F-]+\})\]\n((?:.+\n)+)", text)
                if f'"DisplayName"="{name}"' in v}

    def expect_installed(when):
        expect(all((folder / p).is_file() and (folder / p).read_bytes() ==
                   (args.staged / p).read_bytes() for p in staged) and
               not (folder / OLD_ONLY).exists(), f"{when}: not the staged files in {FOLDER}")
        entries = apps()
        expect(entries == {code: (product["ProductVersion"], FOLDER + "\\")},
               f"{when}: Apps shows {entries}, not {name} in {FOLDER} alone")
        menu = next((m for m in menus if m.is_dir()), Path("/nonexistent"))
        for lnk, target in SHORTCUTS.items():
            # The item list names each part of the path (its other copy is in ANSI).
            path = f"{FOLDER[3:]}/{target}".replace("\\", "/")
            parts = [part.encode("utf-16-le") for part in path.split("/")]
            found = (menu / lnk).read_bytes() if (menu / lnk).is_file() else b""
            expect(not (args.staged / target).is_file() or
                   re.search(b".*".join(map(re.escape, parts)), found, re.S),
                   f"{when}: no Start-menu entry {name}\\{lnk} starting {target}")

    expect(msiexec("/i", args.msi, f"INSTALLDIR={FOLDER}") == 0, "the install failed")
    expect_installed("install")
    expect(subprocess.run(["osslsigncode", "verify", "-CAfile", args.certificate, "-in",
                           args.msi], capture_output=True).returncode == 0,
           "the MSI has no intact signature")
    # Wine's exit status holds the low byte of 1603.
    expect(msiexec("/i", old_msi) != 0, "an older version installed over a newer")
    expect_installed("after a downgrade")
    (folder / "ZOVAK_OX9162.DLL").write_bytes(b"MZ")
    expect(msiexec("/x", code) == 0, "the removal failed")
    left = [str(p.relative_to(folder)) for p in folder.rglob("*")] if folder.is_dir() else []
    expect(left == ["ZOVAK_OX9162.DLL"], f"the removal left {left}, not the maker's DLL alone")
    expect(not any(m.exists() for m in menus) and not apps(), "the removal left its entries")
    expect(msiexec("/i", old_msi, f"INSTALLDIR={FOLDER}") == 0, "the older version failed")
    expect(msiexec("/i", args.msi) == 0, "the upgrade failed")
    expect_installed("upgrade")
    print(f"{args.width}-bit: the MSI ({args.msi.stat().st_size / 1e6:.1f} MB): install, "
          f"downgrade, removal, upgrade under Wine in {time.monotonic() - start:.1f} s")
    return verdict(args.width, "MSI", failures)


if __name__ == "__main__":
    sys.exit(main())

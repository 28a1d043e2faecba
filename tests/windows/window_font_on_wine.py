#!/usr/bin/env python3
"""The window's folder, font and status line under Wine, for one width: every MinGW DLL
a file there imports is there too; in a prefix whose "MS Sans Serif" is Wine's Western bitmap font
(sserife.fon, without ě, č, ř, as on a Western Windows) window_font_test.exe finds every
label in one face and in its place; beside a DLL that faults at its first call (and on
64-bit the stand-in's C++ exception) the status line is the library error, and
krv5316-check exits 2 naming the fault, instead of either program ending."""
import argparse
import re
import shutil
import subprocess
import sys
from pathlib import Path

from wine_support import Wine, imports, verdict

BITMAP_FONT = Path("/usr/share/wine/fonts/sserife.fon")  # Debian's fonts-wine
FONTS_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts"
VIRTUAL_DISPLAY = Path(__file__).resolve().parents[2] / "scripts" / "virtual_display.sh"
MINGW_DLL = re.compile(r"lib(gcc_s|stdc\+\+|winpthread|ssp|atomic|gomp)[-_\w]*\.dll")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    for path_option in ("--bin", "--faulty", "--prefix", "--work"):
        parser.add_argument(path_option, type=Path, required=True)
    parser.add_argument("--objdump", required=True)
    args = parser.parse_args()
    present = {path.name.lower() for path in args.bin.iterdir()}
    failures = [f"{path.name} imports {dll}, which is not beside it"
                for path in args.bin.glob("**/*") if path.suffix.lower() in (".exe", ".dll")
                for dll in imports(args.objdump, path)
                if MINGW_DLL.fullmatch(dll) and dll.lower() not in present]
    args.work.mkdir(parents=True, exist_ok=True)
    wine = Wine(args.width, args.prefix.resolve(), args.work)
    shutil.copy(BITMAP_FONT, args.prefix.resolve() / "drive_c" / "windows" / "Fonts")
    subprocess.run([wine.loader, "reg", "add", FONTS_KEY, "/v", "MS Sans Serif 8,10,12,14,18,24",
                    "/d", BITMAP_FONT.name, "/f"], env=wine.env, capture_output=True, timeout=120)
    # The faulty DLL where Windows looks first: beside a copy of the programs and Qt.
    faulty = args.work / "faulty"
    shutil.rmtree(faulty, ignore_errors=True)
    shutil.copytree(args.bin, faulty, ignore=shutil.ignore_patterns("ox_krv5316.exe", "*.DLL"))
    shutil.copy(args.faulty, faulty / "ZOVAK_OX9162.DLL")
    xvfb = subprocess.Popen(["bash", VIRTUAL_DISPLAY], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    display = xvfb.stdout.readline().decode().strip()
    log = args.work / "qtest.txt"  # Qt Test's log reaches a file under Wine, not a pipe

    def run(folder, program, cards="0123@2/13", **extra):
        log.unlink(missing_ok=True)
        options = ["-o", f"{log},txt"] if program == "window_font_test.exe" else []
        try:
            done = subprocess.run([wine.loader, str(folder / program), *options], timeout=120,
                                  env=dict(wine.env, DISPLAY=display, OX9162_SIM_CARDS=cards,
                                           **extra), cwd=args.work, capture_output=True)
        except subprocess.TimeoutExpired:  # a message box of Qt's, say
            subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=wine.env, timeout=60)
            return None, "no end within 120 s"
        text = log.read_text(errors="replace") if log.exists() else ""
        return done.returncode, text + (done.stdout + done.stderr).decode(errors="replace")

    try:
        status, out = run(args.bin, "window_font_test.exe")
        chosen = re.search(r"chosen face: (.*)", out)
        print(f"{args.width}-bit: the window's face where MS Sans Serif is the bitmap font: "
              f"{chosen.group(1).strip() if chosen else 'none named'}")
        failures += [f"the window in the bitmap font's prefix:\n{out}"] if status != 0 else []
        # A C++ exception crosses from the DLL only on 64-bit (see docs/windows.md).
        for folder, cards in [(faulty, "0123@2/13")] + [(args.bin, "throw")] * (args.width == 64):
            status, out = run(folder, "window_font_test.exe", cards, OX_EXPECT_LIBRARY_ERROR="1")
            if status != 0:
                failures.append(f"the window's status line on {folder.name} {cards}:\n{out}")
        status, out = run(faulty, "krv5316-check.exe")
        if status != 2 or "access violation" not in out:
            failures.append(f"the check on a DLL that faults: exit status {status}\n{out}")
    finally:
        xvfb.terminate()
        xvfb.wait()
    return verdict(args.width, "window font", failures)


if __name__ == "__main__":
    sys.exit(main())

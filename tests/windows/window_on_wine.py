#!/usr/bin/env python3
"""The Windows installer and the installed window under Wine, on a virtual display:
silent install into a folder of our choice and upgrades into it, what the installer
says of the maker's DLL (in Czech, then in English), the signatures, the window on the
stand-in DLL (title, enumeration, a click on "Otevřít kartu", download, version read and
ticks at 100 ms in the trace, a screenshot), uninstall. Prints the start-up time and one
tick's CPU time."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

from PIL import ImageGrab

from wine_support import Wine, marked_for_width, verdict

SKIP = 77
TITLE = "OX_KRV5316  -  test PCI karty ZOVAK"
CLIENT = (681, 385)
TAB_BAR = 23  # the page's top below the window's, as on Linux
TICK_ACCESSES = 24 * 5 + 5
# The KRV-5316 is the library's card 1, behind the other model's card 0.
VERSION_READ = "R 1 5fc 12"
VIRTUAL_DISPLAY = Path(__file__).resolve().parents[2] / "scripts" / "virtual_display.sh"
FOLDER = r"C:\B\OX"


def installs(width):
    """The installs in turn: the width of the DLL then in the install folder (none, the
    other, the programs'), the locale, and the last line of the installer's log. The
    installer's own folder and PATH hold the stand-in throughout: the programs use
    neither. Wine takes the Czech UI from the locale's name even where the system lacks
    the locale; its file names are then ASCII, so the later installs are the English."""
    dll, other = f"{FOLDER}\\ZOVAK_OX9162.DLL", 96 - width
    return [(None, "cs_CZ.UTF-8", "Knihovna ovladače výrobce karet ZOVAK_OX9162.DLL nebyla"),
            (other, "C.UTF-8", f"{dll} is a {other}-bit DLL: the {width}-bit programs cannot"),
            (width, "C.UTF-8", f"The programs will use the card maker's driver library {dll}.")]


def screenshot(display, x, y, width, height, path):
    """The screen's rectangle as a PNG, through Pillow's grab of an X display."""
    ImageGrab.grab(bbox=(x, y, x + width, y + height), xdisplay=display).save(path)


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def ticks_after_version(lines):
    if VERSION_READ not in lines:
        return 0
    return (len(lines) - lines.index(VERSION_READ) - 1) // TICK_ACCESSES


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    parser.add_argument("--installer", type=Path, required=True)
    parser.add_argument("--dll", type=Path, required=True)
    parser.add_argument("--certificate", type=Path, required=True)
    parser.add_argument("--prefix", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--firmware", type=Path, required=True)
    args = parser.parse_args()
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)
        return condition

    args.work.mkdir(parents=True, exist_ok=True)
    # A fresh prefix: nothing left installed by an earlier run.
    shutil.rmtree(args.prefix, ignore_errors=True)
    try:
        wine = Wine(args.width, args.prefix.resolve(), args.work)
        subprocess.run([wine.loader, "cmd", "/c", "exit"], env=wine.env, check=True,
                       capture_output=True, timeout=120)
    except (OSError, subprocess.SubprocessError) as error:
        print(f"SKIP: Wine cannot run here ({error})")
        return SKIP
    drive_c = args.prefix.resolve() / "drive_c"
    folder = drive_c / "B" / "OX"
    installed = ["ox_krv5316.exe", "krv5316-check.exe", "prirucka.txt", "licence.txt",
                 "install.log", "Uninstall.exe"]
    menu = drive_c / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs"
    key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\OX_KRV5316"

    def registered():
        return subprocess.run([wine.loader, "reg", "query", key], env=wine.env,
                              capture_output=True, timeout=120).returncode == 0

    beside, on_path = args.work / "installer", args.work / "path"
    for place in (beside, on_path, folder):
        place.mkdir(parents=True, exist_ok=True)
    shutil.copy(args.installer, beside)
    shutil.copy(args.dll, beside / "ZOVAK_OX9162.DLL")
    shutil.copy(args.dll, on_path / "ZOVAK_OX9162.DLL")
    for step, (dll_width, locale, said) in enumerate(installs(args.width)):
        (folder / "ZOVAK_OX9162.DLL").unlink(missing_ok=True)
        if dll_width:
            (folder / "ZOVAK_OX9162.DLL").write_bytes(marked_for_width(args.dll, dll_width))
        env = dict(wine.env, LC_ALL=locale,
                   WINEPATH="Z:" + str(on_path.resolve()).replace("/", "\\"))
        where = [f"/D={FOLDER}"] if step == 0 else []
        subprocess.run([wine.loader, args.installer.name, "/S", *where], env=env, cwd=beside,
                       capture_output=True, timeout=300)
        subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=wine.env, timeout=300)
        log = folder / "install.log"
        lines = log.read_text(encoding="utf-16").splitlines() if log.is_file() else [""]
        expect(lines[-1].startswith(said), f"install {step + 1} said '{lines[-1]}', not '{said}'")
    for name in installed:
        expect((folder / name).is_file(), f"the installer did not install {name}")
    # The guide opens with a double-click: Windows' line ends, and a BOM for Notepad.
    guide = (folder / "prirucka.txt").read_bytes() if (folder / "prirucka.txt").is_file() else b""
    expect(guide.startswith(b"\xef\xbb\xbf") and b"\r\n" in guide
           and b"\n" not in guide.replace(b"\r\n", b""),
           "the guide is not a Windows text (a BOM, then CR LF line ends)")
    expect(not (drive_c / "Program Files" / "OX_KRV5316").exists(),
           "an upgrade installed into Program Files, not where the programs were")
    if failures:
        return verdict(args.width, "window and installer", failures)
    signed = [args.installer, *folder.glob("**/*.exe"), *folder.glob("**/*.dll")]
    for path in signed:
        if path.name != "ZOVAK_OX9162.DLL":
            verify = subprocess.run(["osslsigncode", "verify", "-CAfile", args.certificate,
                                     "-in", path], capture_output=True, text=True)
            expect(verify.returncode == 0, f"{path.name} has no intact signature")
    menu_folder = menu / "OX_KRV5316"
    link = menu_folder / "OX_KRV5316.lnk"
    target = "OX\\ox_krv5316.exe"
    expect(link.is_file() and any(target.encode(code) in link.read_bytes()
                                  for code in ("ascii", "utf-16-le")),
           f"no Start-menu entry that starts {target}")
    expect((menu_folder / "Příručka.lnk").is_file(), "no Start-menu entry for the guide")
    expect(registered(), "no entry in Apps & features")

    # The window runs on the stand-in that the last install found beside it.
    # The project's one way to a display: it answers once the server takes clients.
    xvfb = subprocess.Popen(["bash", str(VIRTUAL_DISPLAY)], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    display = xvfb.stdout.readline().decode().strip()
    trace = args.work / "window.trace"
    trace.unlink(missing_ok=True)
    env = dict(wine.env, DISPLAY=display, OX9162_SIM_CARDS="0456@3/5;0123@2/13",
               OX9162_SIM_TRACE=trace.name)
    xdotool = lambda *words: subprocess.run(["xdotool", *words], env=env, capture_output=True,
                                           text=True, timeout=60).stdout.strip()
    start = time.monotonic()
    window = subprocess.Popen([wine.loader, str(folder / "ox_krv5316.exe")], env=env,
                              cwd=args.work, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        found = ""
        while not found and time.monotonic() - start < 60 and window.poll() is None:
            found = xdotool("search", "--onlyvisible", "--name", re.escape(TITLE))
        started = time.monotonic() - start
        if not expect(found, f"no window titled '{TITLE}' (its process: {window.poll()})"):
            return verdict(args.width, "window and installer", failures)
        wid = found.split()[0]
        geometry = dict(re.findall(r"(\w+)=(\d+)", xdotool("getwindowgeometry", "--shell", wid)))
        x, y, width, height = (int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        # With no window manager Wine may draw the frame itself: the client area sits
        # at the bottom, centred between the side borders.
        border = (width - CLIENT[0]) // 2
        left, top = border, height - CLIENT[1] - border

        lines = trace.read_text().splitlines() if trace.exists() else []
        expect([l.split(" =")[0] for l in lines[:7]] == [
            "call OX9162_CardsInSystem", "call OX9162_Card_DID 0", "call OX9162_Card_BUS 0",
            "call OX9162_Card_SLOT 0", "call OX9162_Card_DID 1", "call OX9162_Card_BUS 1",
            "call OX9162_Card_SLOT 1"], f"not the enumeration of two cards: {lines[:8]}")

        # Middle of a button at the page's 472, top, of 97 x 25: "Otevřít kartu" at 128.
        click = lambda button_top: xdotool("mousemove", "--window", wid, str(left + 520),
                                           str(top + TAB_BAR + button_top + 12), "click", "1")
        click(128)
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and ticks_after_version(lines) < 3:
            time.sleep(0.5)
            lines = trace.read_text().splitlines()
        opened = "call OX9162_Open 1 0 = 0" in lines
        if expect(opened, "the click did not open the KRV-5316"):
            first = lines.index("call OX9162_Open 1 0 = 0")
            writes = sum(1 for l in lines[first:] if l.startswith("W 1 400 "))
            expect(writes == args.firmware.stat().st_size,
                   f"{writes} firmware bytes written, not {args.firmware.stat().st_size}")
            expect(VERSION_READ in lines[first:], "the version was not read")

        # Ticks over a few seconds: at 100 ms, about ten a second.
        pid = window.pid  # Wine runs the program in the process it was started as
        before, cpu_before, clock = ticks_after_version(lines), cpu_seconds(pid), time.monotonic()
        time.sleep(3)
        lines = trace.read_text().splitlines()
        ticks, seconds = ticks_after_version(lines) - before, time.monotonic() - clock
        cpu = cpu_seconds(pid) - cpu_before
        expect(6 <= ticks / seconds <= 11, f"{ticks} ticks in {seconds:.1f} s, not one a 100 ms")
        screenshot(display, x, y, width, height, args.work / "window-on-wine.png")
        print(f"{args.width}-bit: the window under Wine is up with its cards in {started:.1f} s; "
              f"{ticks / seconds:.1f} ticks/s, {cpu / max(ticks, 1) * 1000:.1f} ms CPU per tick; "
              f"screenshot {args.work / 'window-on-wine.png'}")

        click(232)  # "Konec"
        expect(window.wait(timeout=60) == 0, "the window did not end on Konec")
    finally:
        if window.poll() is None:
            window.kill()
        xvfb.terminate()
        xvfb.wait()

    subprocess.run([wine.loader, str(folder / "Uninstall.exe"), "/S"], env=wine.env,
                   capture_output=True, timeout=300)
    subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=wine.env, timeout=300)
    for name in installed:
        expect(not (folder / name).exists(), f"the uninstaller left {name}")
    expect(not (menu / "OX_KRV5316").exists(), "the uninstaller left the Start-menu entry")
    expect(not registered(), "the uninstaller left the Apps & features entry")
    expect((folder / "ZOVAK_OX9162.DLL").exists(), "the uninstaller removed the driver DLL")

    return verdict(args.width, "window and installer", failures)


if __name__ == "__main__":
    sys.exit(main())

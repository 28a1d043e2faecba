#!/usr/bin/env python3
"""The Windows installer and the installed window under Wine, on a virtual display:
silent install into a folder of our choice and upgrades into it, what the installer
says of the maker's DLL (in Czech, then in English), the signatures, the programs never
loading the training folder's stand-in, the window on a DLL beside it (title,
enumeration) while an upgrade and an uninstall must fail and change nothing, the
training entry's window on the default simulated cards (a click on "Otevřít kartu",
download, version read and ticks at 100 ms in the trace, a screenshot), an explicit /D
that moves the install and one that is refused, the 32-bit install beside the 64-bit
one, uninstall. Prints the training window's
start-up times and one tick's CPU time."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

from PIL import ImageGrab

from wine_support import Wine, exports, marked_for_width, verdict

SKIP = 77
TITLE = "OX_KRV5316  -  test PCI karty ZOVAK"
CLIENT = (681, 385)
TAB_BAR = 23  # the page's top below the window's, as on Linux
TICK_ACCESSES = 24 * 5 + 5
# The window's cards beside the programs, and the stand-in's own, which training starts
# on: the KRV-5316 that a click opens is the library's card 0 there.
CARDS = "0456@3/5;0123@2/13"
DEFAULT_CARDS = "0123@2/13;0456@3/5;0123@4/2"  # docs/simulated-cards.md
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


def ticks_after_version(lines, card):
    read = f"R {card} 5fc 12"
    if read not in lines:
        return 0
    return (len(lines) - lines.index(read) - 1) // TICK_ACCESSES


def cards_of(text):
    """[(DID, bus, slot)] of an OX9162_SIM_CARDS value."""
    return [(int(did, 16), int(bus), int(slot))
            for did, bus, slot in re.findall(r"([0-9a-f]+)@(\d+)/(\d+)", text)]


def enumerated(lines):
    """[(DID, bus, slot)] that the stand-in's trace says it told the program."""
    cards = {}
    for line in lines:
        if m := re.fullmatch(r"call OX9162_Card_(DID|BUS|SLOT) (\d+) = 0 (\d+)", line):
            cards.setdefault(int(m[2]), {})[m[1]] = int(m[3])
    return [(c.get("DID"), c.get("BUS"), c.get("SLOT")) for _, c in sorted(cards.items())]


def files_of(folder):
    """What an install holds, as {name: (size, time)}; the log may change."""
    return {str(p.relative_to(folder)): (p.stat().st_size, p.stat().st_mtime_ns)
            for p in folder.rglob("*") if p.is_file() and p.name != "install.log"}


def lines_of(trace):
    return trace.read_text().splitlines() if trace.exists() else []


class Window:
    """A window that command starts, found on the display by its title; its process
    is the one that owns it, which may not be the one started."""

    def __init__(self, command, env, cwd):
        self.env = env
        start = time.monotonic()
        self.process = subprocess.Popen(command, env=env, cwd=cwd, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        found = ""
        while not found and time.monotonic() - start < 60:
            found = self.xdotool("search", "--onlyvisible", "--name", re.escape(TITLE))
        self.started = time.monotonic() - start
        self.wid = found.split()[0] if found else None
        if self.wid:
            self.pid = int(self.xdotool("getwindowpid", self.wid) or self.process.pid)
            geometry = dict(re.findall(r"(\w+)=(\d+)",
                                       self.xdotool("getwindowgeometry", "--shell", self.wid)))
            self.x, self.y, self.width, self.height = (
                int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
            # With no window manager Wine may draw the frame itself: the client area
            # sits at the bottom, centred between the side borders.
            self.left = (self.width - CLIENT[0]) // 2
            self.top = self.height - CLIENT[1] - self.left

    def xdotool(self, *words):
        return subprocess.run(["xdotool", *words], env=self.env, capture_output=True,
                              text=True, timeout=60).stdout.strip()

    def click(self, button_top):
        """The middle of a button at the page's 472, button_top, of 97 x 25."""
        self.xdotool("mousemove", "--window", self.wid, str(self.left + 520),
                     str(self.top + TAB_BAR + button_top + 12), "click", "1")

    def close(self):
        """Konec; whether the window's process ended."""
        self.click(232)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and Path(f"/proc/{self.pid}").exists():
            if self.process.pid == self.pid and self.process.poll() is not None:
                return self.process.returncode == 0
            time.sleep(0.2)
        return not Path(f"/proc/{self.pid}").exists()

    def end(self):
        if self.wid and Path(f"/proc/{self.pid}").exists():
            os.kill(self.pid, 9)
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    parser.add_argument("--installer", type=Path, required=True)
    parser.add_argument("--dll", type=Path, required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--certificate", type=Path, required=True)
    parser.add_argument("--prefix", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--firmware", type=Path, required=True)
    parser.add_argument("--other", type=Path, help="a 32-bit installer to install beside")
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
    # The project's one way to a display: it answers once the server takes clients, and
    # ends with this script. Every Wine program has it, as the first starts the desktop.
    xvfb = subprocess.Popen(["bash", str(VIRTUAL_DISPLAY)], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    display = xvfb.stdout.readline().decode().strip()
    wine.env["DISPLAY"] = display
    drive_c = args.prefix.resolve() / "drive_c"
    folder = drive_c / "B" / "OX"
    installed = ["ox_krv5316.exe", "krv5316-check.exe", "prirucka.txt", "licence.txt",
                 "install.log", "Uninstall.exe", "simulace/ox_krv5316.exe",
                 "simulace/ZOVAK_OX9162.DLL", "simulace/Qt6Core.dll",
                 "simulace/platforms/qwindows.dll"]
    menu = drive_c / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs"
    menu_name = f"OX_KRV5316 ({args.width}-bit)"  # the last install's, in English
    key = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\OX_KRV5316-win"

    def registered(width=args.width):
        view = [] if width == args.width else [f"/reg:{width}"]
        return subprocess.run([wine.loader, "reg", "query", f"{key}{width}", *view],
                              env=wine.env, **quiet).returncode == 0

    beside, on_path = args.work / "installer", args.work / "path"
    for place in (beside, on_path, folder):
        place.mkdir(parents=True, exist_ok=True)
    shutil.copy(args.installer, beside)
    shutil.copy(args.dll, beside / "ZOVAK_OX9162.DLL")
    shutil.copy(args.dll, on_path / "ZOVAK_OX9162.DLL")
    english = dict(wine.env, LC_ALL="C.UTF-8")

    # A Wine process that lives until the last uninstall keeps Wine's server and
    # services running: each Wine start after it takes a fraction of a second, not
    # seconds. The installer waits for the old version's uninstaller itself.
    keeper = subprocess.Popen([wine.loader, "cmd"], env=wine.env, stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # No pipes to Wine's programs: the services they start hold them open.
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)

    def install(*options, env=english, installer=args.installer):
        return subprocess.run([wine.loader, installer.name, "/S", *options], env=env,
                              cwd=beside, **quiet).returncode

    def logged(where=folder):
        log = where / "install.log"
        return log.read_text(encoding="utf-16").splitlines() if log.is_file() else [""]

    for step, (dll_width, locale, said) in enumerate(installs(args.width)):
        (folder / "ZOVAK_OX9162.DLL").unlink(missing_ok=True)
        if dll_width:
            (folder / "ZOVAK_OX9162.DLL").write_bytes(marked_for_width(args.dll, dll_width))
        env = dict(wine.env, LC_ALL=locale,
                   WINEPATH="Z:" + str(on_path.resolve()).replace("/", "\\"))
        install(*([f"/D={FOLDER}"] if step == 0 else []), env=env)
        said_last = logged()[-1]
        expect(said_last.startswith(said), f"install {step + 1} said '{said_last}', not '{said}'")
        if step == 0:
            # The real programs never take the training folder's stand-in.
            trace = args.work / "check.trace"
            trace.unlink(missing_ok=True)
            with open(args.work / "check.err", "w+") as errors:
                code = subprocess.run([wine.loader, folder / "krv5316-check.exe"], stderr=errors,
                                      stdout=subprocess.DEVNULL, timeout=300, cwd=args.work,
                                      env=dict(env, OX9162_SIM_CARDS=CARDS,
                                               OX9162_SIM_TRACE=trace.name)).returncode
                errors.seek(0)
                error = errors.read()
            expect(code == 2 and f"not in the program's folder {FOLDER} nor" in error
                   and not trace.exists(), f"the installed check found a stand-in: {code} {error}")
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
    standin = folder / "simulace" / "ZOVAK_OX9162.DLL"
    expect(exports(args.objdump, standin) == exports(args.objdump, args.dll),
           "the training folder's DLL exports more or less than the maker's seven functions")
    signed = [args.installer, *folder.glob("**/*.exe"), *folder.glob("**/*.dll")]
    for path in signed:
        if path.name != "ZOVAK_OX9162.DLL":
            verify = subprocess.run(["osslsigncode", "verify", "-CAfile", args.certificate,
                                     "-in", path], capture_output=True, text=True)
            expect(verify.returncode == 0, f"{path.name} has no intact signature")
    expect([p.name for p in menu.glob("OX_KRV5316*")] == [menu_name],
           f"Start-menu folders {[p.name for p in menu.glob('OX_KRV5316*')]}, not {menu_name}")
    link = menu / menu_name / "OX_KRV5316.lnk"
    target = "OX\\ox_krv5316.exe"
    expect(link.is_file() and any(target.encode(code) in link.read_bytes()
                                  for code in ("ascii", "utf-16-le")),
           f"no Start-menu entry that starts {target}")
    expect((menu / menu_name / "Příručka.lnk").is_file(), "no Start-menu entry for the guide")
    expect(registered(), "no entry in Apps & features")

    windows = []
    try:
        # The window on the stand-in beside it, as on the maker's DLL: an upgrade and an
        # uninstall while it runs fail and change nothing.
        trace = args.work / "window.trace"
        trace.unlink(missing_ok=True)
        windows.append(Window([wine.loader, str(folder / "ox_krv5316.exe")],
                              dict(english, OX9162_SIM_CARDS=CARDS,
                                   OX9162_SIM_TRACE=trace.name), args.work))
        window = windows[-1]
        if not expect(window.wid, f"no window titled '{TITLE}'"):
            return verdict(args.width, "window and installer", failures)
        expect(enumerated(lines_of(trace)) == cards_of(CARDS),
               f"not the enumeration of {CARDS}: {lines_of(trace)[:8]}")
        before = files_of(folder)
        uninstaller = [wine.loader, str(folder / "Uninstall.exe"), "/S", f"_?={FOLDER}"]
        for what, run in (("an upgrade", install),
                          ("an uninstall", lambda: subprocess.run(
                              uninstaller, env=english, **quiet).returncode)):
            code = run()
            expect(code != 0 and "is in use" in logged()[-1] and files_of(folder) == before
                   and registered() and link.is_file(),
                   f"{what} over the running window: status {code}, '{logged()[-1]}', "
                   f"files changed: {files_of(folder) != before}")
        expect(window.close(), "the window did not end on Konec")

        # The training entry: the window on the default simulated cards.
        trace = args.work / "training.trace"
        trace.unlink(missing_ok=True)
        windows.append(Window([wine.loader, "start", rf"C:\ProgramData\Microsoft\Windows\Start Menu"
                               rf"\Programs\{menu_name}\OX_KRV5316 – simulated cards.lnk"],
                              dict(english, OX9162_SIM_TRACE="Z:" + str(trace).replace("/", "\\")),
                              args.work))
        window = windows[-1]
        if not expect(window.wid, "the training entry started no window"):
            return verdict(args.width, "window and installer", failures)
        lines = lines_of(trace)
        expect(enumerated(lines) == cards_of(DEFAULT_CARDS),
               f"training is not on the default cards: {lines[:10]}")
        window.click(128)  # "Otevřít kartu"
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and ticks_after_version(lines, 0) < 3:
            time.sleep(0.5)
            lines = lines_of(trace)
        opened = "call OX9162_Open 0 0 = 0" in lines
        if expect(opened, "the click did not open the KRV-5316"):
            first = lines.index("call OX9162_Open 0 0 = 0")
            writes = sum(1 for l in lines[first:] if l.startswith("W 0 400 "))
            expect(writes == args.firmware.stat().st_size,
                   f"{writes} firmware bytes written, not {args.firmware.stat().st_size}")

        # Ticks over a few seconds: at 100 ms, about ten a second.
        before, cpu_before, clock = ticks_after_version(lines, 0), cpu_seconds(window.pid), \
            time.monotonic()
        time.sleep(3)
        lines = lines_of(trace)
        ticks, seconds = ticks_after_version(lines, 0) - before, time.monotonic() - clock
        cpu = cpu_seconds(window.pid) - cpu_before
        expect(6 <= ticks / seconds <= 11, f"{ticks} ticks in {seconds:.1f} s, not one a 100 ms")
        screenshot(display, window.x, window.y, window.width, window.height,
                   args.work / "window-on-wine.png")
        print(f"{args.width}-bit: the window under Wine is up with its cards in "
              f"{windows[0].started:.1f} s, from the training entry in {window.started:.1f} s "
              f"(Wine running); {ticks / seconds:.1f} ticks/s, "
              f"{cpu / max(ticks, 1) * 1000:.1f} ms CPU per tick; "
              f"screenshot {args.work / 'window-on-wine.png'}")
        expect(window.close(), "the training window did not end on Konec")
    finally:
        for window in windows:
            window.end()

    # A /D that is no whole path is refused; an explicit one wins over the installed
    # folder, whose version is removed there.
    before = files_of(folder)
    code = install("/D=C:/Zkoušky/Lomítka")
    expect(code != 0 and files_of(folder) == before and not (drive_c / "Zkoušky").exists(),
           f"/D with forward slashes: status {code}, not refused")
    moved = drive_c / "Zkoušky" / "Jinam"
    expect(install(r"/D=C:\Zkoušky\Jinam") == 0, "an explicit /D did not install")
    expect(logged(moved)[0].startswith("OX_KRV5316 1.20") and registered()
           and not any((folder / name).exists() for name in installed),
           f"an explicit /D did not move the install from {FOLDER}: {logged(moved)}")
    # Both widths on one 64-bit Windows: each keeps its Start-menu folder and Apps entry
    # when the other goes.
    other = menu / "OX_KRV5316 (32-bit)"
    beside_other = args.other is not None and args.other.is_file()
    if beside_other:
        shutil.copy(args.other, beside)
        install(installer=args.other)
        expect(sorted(p.name for p in menu.glob("OX_KRV5316*")) == [other.name, menu_name]
               and registered(32), "no Start-menu folder or Apps entry of its own for each width")
    elif args.other:
        print(f"{args.width}-bit: both widths side by side not tried: no {args.other}")

    subprocess.run([wine.loader, str(moved / "Uninstall.exe"), "/S"], env=wine.env, **quiet)
    # The uninstaller runs on in a copy of itself: done when Wine is.
    keeper.stdin.close()
    keeper.wait(timeout=60)
    subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=wine.env, timeout=300)
    for name in installed:
        expect(not (moved / name).exists(), f"the uninstaller left {name}")
    expect(not (menu / menu_name).exists(), "the uninstaller left the Start-menu entry")
    expect(not registered(), "the uninstaller left the Apps & features entry")
    expect((folder / "ZOVAK_OX9162.DLL").exists(), "the uninstaller removed the driver DLL")
    expect(not beside_other or (other / "OX_KRV5316.lnk").is_file() and registered(32),
           "the uninstaller took the 32-bit install's Start-menu entries or Apps entry")
    xvfb.terminate()
    xvfb.wait()
    return verdict(args.width, "window and installer", failures)


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""krv5316-check.exe of one width on the stand-in ZOVAK_OX9162.DLL under Wine.

What the program imports and the DLL exports, then the exit status and the reports
for a healthy card, for a dead counter and a failed download (whose trace must show
every access of a download once), and for a failing library. Every failed expectation
is named; the exit status is 1 when there was one.
Prints the download's trapped access cost and the check's run time as figures.
"""
import argparse
import json
import os
import re
import subprocess
import sys
from pathlib import Path

from wine_support import Wine, exports, imports

DRIVER_DLL = "zovak_ox9162.dll"
DRIVER_FUNCTIONS = {
    "OX9162_CardsInSystem", "OX9162_Card_DID", "OX9162_Card_BUS", "OX9162_Card_SLOT",
    "OX9162_Open", "OX9162_BAR4_BaseAdr", "OX9162_Close",
}
# Every Windows has these; anything else would have to travel with the program.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll"}


class Check:
    def __init__(self, width):
        self.width = width
        self.failures = 0

    def expect(self, condition, what, detail=""):
        if not condition:
            self.failures += 1
            print(f"FAIL ({self.width}-bit): {what}", file=sys.stderr)
            if detail:
                print(detail.rstrip(), file=sys.stderr)
        return condition


def json_cards(report):
    """The report's list of cards: the first list of objects that carry a verdict."""
    stack = [report]
    while stack:
        item = stack.pop()
        if isinstance(item, list) and item and all(
                isinstance(c, dict) and any("verdict" in k or "passed" in k for k in c)
                for c in item):
            return item
        if isinstance(item, dict):
            stack.extend(item.values())
        elif isinstance(item, list):
            stack.extend(item)
    return None


def passed(card):
    for key, value in card.items():
        if "verdict" in key:
            return str(value).lower() in ("pass", "passed")
        if "passed" in key:
            return value is True
    return False


def download_accesses(trace_file):
    """Accesses from the first window address handed out to the first VERSION read."""
    count = None
    try:
        with trace_file.open() as trace:
            for line in trace:
                if line.startswith("call OX9162_BAR4_BaseAdr"):
                    count = 0
                elif count is not None and re.match(r"R \d+ 5fc ", line):
                    return count
                elif count is not None and line[:1] in "RW":
                    count += 1
    except OSError:
        pass
    return None


def manifest(objdump, exe):
    """The program's application manifest, resource 1 of type 24; None without one."""
    table = subprocess.run([objdump, "-p", str(exe)], capture_output=True, text=True).stdout
    if not re.search(r"Entry: ID: 0x000018,.*\n.*\n\w*\s+Entry: ID: 0x000001,", table):
        return None
    data = exe.read_bytes()
    start = data.find(b"<assembly")
    end = data.find(b"</assembly>", start)
    return data[start:end] if start >= 0 and end >= 0 else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    parser.add_argument("--bin", type=Path, required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--prefix", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--firmware", type=Path, required=True)
    args = parser.parse_args()
    check = Check(args.width)
    exe, dll = args.bin.resolve() / "krv5316-check.exe", args.bin.resolve() / "ZOVAK_OX9162.DLL"
    args.work.mkdir(parents=True, exist_ok=True)

    table = imports(args.objdump, exe)
    # Loaded at run time, so that the program starts without it.
    check.expect(DRIVER_DLL not in table,
                 f"the program imports {sorted(table.get(DRIVER_DLL, []))} from "
                 f"ZOVAK_OX9162.DLL instead of loading it when needed")
    others = set(table) - SYSTEM_DLLS - {DRIVER_DLL}
    check.expect(not others, f"the program needs DLLs that do not come with Windows: "
                             f"{sorted(others)}")
    check.expect(set(imports(args.objdump, dll)) <= SYSTEM_DLLS,
                 "the stand-in needs DLLs that do not come with Windows")
    check.expect(exports(args.objdump, dll) == DRIVER_FUNCTIONS,
                 f"the stand-in exports {sorted(exports(args.objdump, dll))}")

    # Both programs as Windows expects them: the user's own rights, so that a report in
    # Program Files is not redirected to VirtualStore; long names; Windows 10 and 11.
    for program in ("krv5316-check.exe", "ox_krv5316.exe"):
        path = args.bin.resolve() / program
        if not path.exists():
            continue  # a build without the window
        text = manifest(args.objdump, path) or b""
        check.expect(all(part in text for part in (
            b'level="asInvoker"', b">true</longPathAware>",
            b"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}")),
            f"{program} has no manifest asking for the user's rights, long names and "
            f"Windows 10", text.decode(errors="replace"))

    wine = Wine(args.width, args.prefix, args.work)
    run_time = ["--run-time", "300"]

    # A healthy KRV-5316 behind a card of another model.
    json_file = args.work / "healthy.json"
    json_file.unlink(missing_ok=True)
    status, out, err, seconds = wine.run(exe, [*run_time, "--json", json_file.name],
                                         "0456@3/5;0123@2/13")
    report = out + err
    check.expect(status == 0, f"healthy card: exit status {status}, not 0", report)
    check.expect(out.count("Verdict: PASS") == 1, "healthy card: no PASS verdict", report)
    try:
        cards = json_cards(json.loads(json_file.read_text()))
        check.expect(cards is not None and len(cards) == 1 and passed(cards[0]),
                     "healthy card: the JSON report does not list one passed card",
                     json_file.read_text())
    except (OSError, ValueError) as error:
        check.expect(False, f"healthy card: no JSON report to read: {error}", report)
    download = re.search(r"download\s+pass\s+configured in ([\d.]+) s", out)

    # A dead counter and a failed download, each named by its step.
    trace_file = args.work / "broken.trace"
    status, out, err, _ = wine.run(exe, run_time, "0123@2/13:deadcnt=20;0123@4/2:nodone",
                                   trace_file.name)
    report = out + err
    check.expect(status == 1, f"broken cards: exit status {status}, not 1", report)
    check.expect(re.search(r"count\s+fail\s+.*CNT20", out) is not None,
                 "dead counter: the count step does not name CNT20", report)
    check.expect(re.findall(r"Verdict: (.*)", out) ==
                 ["FAIL at step count", "FAIL at step download"],
                 "broken cards: verdicts are not a failed count and a failed download", report)

    # Every access trapped and traced once: the three control writes, a data write and
    # a status read per image byte, the closing write and the status read.
    accesses = download_accesses(trace_file)
    expected = 3 + 2 * args.firmware.stat().st_size + 2
    check.expect(accesses == expected,
                 f"the trace shows {accesses} accesses in a download, not {expected}")

    # Figures: the time of a download without the trace file, over its accesses.
    if accesses and download:
        download_seconds = float(download.group(1))
        print(f"{args.width}-bit: download {download_seconds:.2f} s for {accesses} accesses, "
              f"{download_seconds / accesses * 1e6:.1f} us per trapped access; whole check "
              f"of the healthy card {seconds:.1f} s")

    status, out, err, _ = wine.run(exe, [], "fail")
    check.expect(status == 2, f"library failure: exit status {status}, not 2", out + err)

    # The null device takes a report, and an existing report is replaced.
    status, out, err, _ = wine.run(exe, [*run_time, "--json", "NUL", "--junit", json_file.name],
                                   "0123@2/13")
    check.expect(status == 0, f"reports to NUL and over a report: exit status {status}, not 0",
                 out + err)
    check.expect(json_file.read_text().startswith("<?xml"),
                 "the JUnit report did not replace the earlier file")

    # A read-only report is refused before the cards, as cmd's `>` refuses it, and kept;
    # a hidden one (Wine keeps the attribute as Samba does) stays hidden once replaced.
    locked, hidden = args.work / "locked.json", args.work / "hidden.json"
    for report in (locked, hidden):
        report.unlink(missing_ok=True)
        report.write_text("{}")
    locked.chmod(0o444)
    os.setxattr(hidden, "user.DOSATTRIB", b"0x2")
    status, out, err, _ = wine.run(exe, [*run_time, "--json", locked.name], "0123@2/13")
    check.expect(status == 2 and "read-only" in err and locked.read_text() == "{}",
                 f"a read-only report: exit status {status}, not 2 with the file kept", out + err)
    status, out, err, _ = wine.run(exe, [*run_time, "--json", hidden.name], "0123@2/13")
    attribute = os.getxattr(hidden, "user.DOSATTRIB").split(b"\0")[0]
    check.expect(status == 0 and int(attribute, 16) & 2 and hidden.read_text() != "{}",
                 f"a hidden report: exit status {status}, attributes {attribute!r}", out + err)

    # Names beyond the ANSI code page, end to end: the argument, the folder and the file
    # of a report, and the trace's file.
    folder = args.work / "Zkoušky"
    folder.mkdir(exist_ok=True)
    for old in folder.iterdir():
        old.unlink()
    status, out, err, _ = wine.run(exe, ["--json", "Zkoušky\\přehled.json"], "fail",
                                   "Zkoušky\\stopa.trace")
    try:
        options = json.loads((folder / "přehled.json").read_text(encoding="utf-8"))["options"]
        check.expect(options.get("json") == "Zkoušky\\přehled.json",
                     f"a Czech argument reads {options.get('json')!r} in the JSON report")
    except (OSError, ValueError, KeyError) as error:
        check.expect(False, f"no JSON report at a Czech name: {error}", out + err)
    check.expect((folder / "stopa.trace").exists(), "no trace file at a Czech name", err)

    # Argument errors say what Linux says; file names differ in case only on Linux, and
    # Windows drops trailing dots and spaces. The console's names take no report file.
    status, out, err, _ = wine.run(exe, ["/?"], "0123@2/13")
    check.expect(status == 0 and "Usage: krv5316-check" in out, "/? does not give the help",
                 out + err)
    for arguments, message in ((["--loopback=yes"], "--loopback takes no value"),
                               (["--j", "x"], "--j is ambiguous"),
                               (["--json", "r.json", "--junit", "R.JSON"],
                                "--json and --junit name the same file"),
                               (["--json", "r.json. ", "--junit", "r.json"],
                                "--json and --junit name the same file"),
                               (["--json", "CON"], "the console takes no report file"),
                               (["--junit", "conout$"], "the console takes no report file")):
        status, out, err, _ = wine.run(exe, arguments, "0123@2/13")
        check.expect(status == 2 and message in err,
                     f"{' '.join(arguments)}: exit status {status}, not 2 with '{message}'",
                     out + err)

    print(f"{args.width}-bit: {'all passed' if check.failures == 0 else 'FAILED'}")
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())

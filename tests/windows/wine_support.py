"""What the Wine tests share: Wine in a prefix of the tests, the imports and exports of a
PE file, a PE file marked for the other width, and the verdict line that
scripts/windows.sh shows. No test of its own."""
import os
import re
import struct
import subprocess
import sys
import time
from pathlib import Path

RUN_TIMEOUT = 120
WINE_TEST = Path(__file__).resolve().parent / "wine_test.sh"
# The PE header's machine field for each width, as Windows reads it.
PE_MACHINE = {32: 0x14C, 64: 0x8664}


def imports(objdump, path):
    """{dll name in lower case: set of imported names} from objdump -p."""
    table, dll = {}, None
    for line in subprocess.run([objdump, "-p", str(path)], capture_output=True, text=True,
                               check=True).stdout.splitlines():
        if m := re.match(r"\s*DLL Name: (\S+)", line):
            dll = m.group(1).lower()
            table[dll] = set()
        elif dll and (m := re.match(r"\s*[0-9a-f]+\s+\d+\s+(\S+)$", line)):
            table[dll].add(m.group(1))
        elif not line.strip():
            dll = None
    return table


def exports(objdump, path):
    text = subprocess.run([objdump, "-p", str(path)], capture_output=True, text=True,
                          check=True).stdout
    table = text.split("[Ordinal/Name Pointer] Table", 1)
    return set(re.findall(r"^\s*\[\s*\d+\] (\S+)$", table[1], re.M)) if len(table) == 2 else set()


def marked_for_width(pe_file, width):
    """The file's bytes with the PE header's machine field saying WIDTH bits."""
    data = bytearray(Path(pe_file).read_bytes())
    struct.pack_into("<H", data, struct.unpack_from("<I", data, 0x3C)[0] + 4,
                     PE_MACHINE[width])
    return bytes(data)


class Wine:
    def __init__(self, width, prefix, work):
        self.loader = "/usr/lib/wine/wine64" if width == 64 else "wine"
        self.work = work
        # No .NET or browser engine: the prefix needs nothing that would be fetched.
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all",
                        WINEARCH="win64" if width == 64 else "win32",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run(["bash", WINE_TEST, str(width), str(prefix), "--prefix-only"],
                       check=True, timeout=RUN_TIMEOUT)

    def run(self, exe, args, cards, trace=None, cwd=None, path=None):
        """path: a Unix folder that Windows finds on its PATH."""
        env = dict(self.env, OX9162_SIM_CARDS=cards)
        env.pop("OX9162_SIM_TRACE", None)
        if trace:
            env["OX9162_SIM_TRACE"] = trace
        if path:
            env["WINEPATH"] = "Z:" + str(path).replace("/", "\\")
        start = time.monotonic()
        try:
            done = subprocess.run([self.loader, str(exe), *args], env=env, cwd=cwd or self.work,
                                  capture_output=True, text=True, errors="replace",
                                  timeout=RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            return None, "", f"no end within {RUN_TIMEOUT} s", 0.0
        return (done.returncode, done.stdout.replace("\r\n", "\n"), done.stderr,
                time.monotonic() - start)


def verdict(width, what, failures):
    """Each failure on stderr, then the one line scripts/windows.sh shows; the status."""
    for failure in failures:
        print(f"FAIL ({width}-bit {what}): {str(failure).rstrip()}", file=sys.stderr)
    print(f"{width}-bit: {what} {'all passed' if not failures else 'FAILED'}")
    return 1 if failures else 0

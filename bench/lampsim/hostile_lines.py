#!/usr/bin/env python3
"""lampsim against hostile scenario files: one line of 10 MB in each place a
parser could spend time or memory on it. Each file must be refused at FILE:LINE
within a second and under 64 MB (the process's peak resident memory, as the
kernel reports it for the child; that includes the few MB of this script at
the time it started the child, so the figure is an upper bound).

usage: hostile_lines.py LAMPSIM
"""
import os
import subprocess
import sys
import tempfile
import time

SIZE = 10 * 1000 * 1000
WALL_LIMIT_S = 1.0
MEMORY_LIMIT_MB = 64

# name, what comes before the long part, the part repeated, what follows
CASES = [
    ("unknown command", b"init\n", b"x", b"\n"),
    ("unknown expectation", b"init\nexpect ", b"x", b"\n"),
    ("number out of range", b"init\nbright ", b"9", b"\n"),
    ("time out of range", b"init\n", b"9", b"s state\n"),
    ("words beyond count", b"init\nstate", b" 1", b"\n"),
]


# Written in pieces: the peak memory a child reports includes this process's
# at the time it started the child, so this one stays small.
def write_case(path, head, part, tail):
    piece = part * (100000 // len(part))
    with open(path, "wb") as f:
        f.write(head)
        for _ in range(SIZE // len(piece)):
            f.write(piece)
        f.write(tail)
    return os.path.getsize(path)


def measure(lampsim, path):
    start = time.monotonic()
    proc = subprocess.Popen([lampsim, path, "--quiet"], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    return os.waitstatus_to_exitcode(status), err.decode(errors="replace"), wall, \
        usage.ru_maxrss / 1024.0


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    failed = 0
    with tempfile.TemporaryDirectory(prefix="lampsim-hostile.") as d:
        for name, head, part, tail in CASES:
            path = os.path.join(d, "h.lamp")
            size = write_case(path, head, part, tail)
            status, err, wall, peak_mb = measure(sys.argv[1], path)
            ok = status == 2 and err.startswith(path + ":2: ") and len(err) < 200 \
                and wall < WALL_LIMIT_S and peak_mb < MEMORY_LIMIT_MB
            failed += not ok
            print("%-22s %5.1f MB line: status %d in %6.3f s, peak %5.1f MB  %s"
                  % (name, size / 1e6, status, wall, peak_mb, "ok" if ok else "FAILED"))
            print("    " + err.strip())
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

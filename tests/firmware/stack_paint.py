#!/usr/bin/env python3
"""The stack's high-water mark on the chip, against the worst case
stack_usage.py computes for the same image.

Each scenario file runs on lampsim's player under QEMU as lampsim runs it: the
step table lampsim writes for it, the same machine and options. Before the
first instruction, QEMU's gdb stub fills the RAM between the image's data and
the top of the stack with a pattern; when the player ends (a breakpoint on
the exit call) the stub reads that RAM back, and the lowest word that no
longer holds the pattern is the deepest the stack went, over every power
cycle of the run (a chip reset keeps the RAM). Each run must end with status
0.

The mark is checked against what stack_usage.py computes for the image. The
board's thread mode only idles once its clocks run (the player runs its steps
in the board's interrupts, and no interrupt comes before the clocks start),
so the deepest the stack can go is thread mode's worst before the clocks
start, or an interrupt's worst on top of the idle loop's frames (the path to
the wfi); a mark over that fails, as the analysis then misses a frame or a
call. The worst of thread mode plus one interrupt is printed too.
"""
import argparse
import os
import re
import socket
import subprocess
import sys
import tempfile
import time

from elf_image import Elf
import stack_usage

PATTERN = bytes.fromhex("efbeadde")  # 0xDEADBEEF, little-endian
CHUNK = 1024  # bytes a packet carries (the stub's limit is 4096 characters)


class Stub:
    """Just enough of the GDB remote protocol: memory, a breakpoint, continue."""

    def __init__(self, path, deadline):
        while True:
            try:
                self.s = socket.socket(socket.AF_UNIX)
                self.s.connect(path)
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        self.buf = b""

    def send(self, data):
        self.s.sendall(b"$%s#%02x" % (data.encode(), sum(data.encode()) % 256))

    def reply(self):
        while True:
            m = re.search(rb"\$([^#]*)#[0-9a-f]{2}", self.buf)
            if m:
                self.buf = self.buf[m.end():]
                try:
                    self.s.sendall(b"+")
                except OSError:  # the exit reply: QEMU is gone already
                    pass
                return m.group(1).decode()
            data = self.s.recv(65536)
            if not data:
                raise EOFError("the gdb stub closed the connection")
            self.buf += data

    def command(self, data):
        self.send(data)
        return self.reply()


def table_for(lampsim, scenario, work):
    """The step table lampsim writes for the chip (lampsim keeps its work
    folder when asked; the firmware it is given here is empty, so the chip
    part of that run stops at once)."""
    empty = os.path.join(work, "none.elf")
    open(empty, "w").close()
    p = subprocess.run([lampsim, scenario, "--board", "m0", "--firmware", empty, "--quiet"],
                       env=dict(os.environ, LAMPSIM_KEEP_WORKDIR="1"),
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    m = re.search(r"kept in (\S+)", p.stderr)
    if not m or not os.path.exists(os.path.join(m.group(1), "table.bin")):
        raise RuntimeError("lampsim wrote no step table for %s: %s" % (scenario, p.stderr))
    return m.group(1)


def high_water(qemu, elf, folder, lo, top, stop_at, timeout):
    sock = os.path.join(folder, "gdb.sock")
    q = subprocess.Popen([qemu, "-M", "microbit", "-display", "none", "-monitor", "none",
                          "-serial", "none", "-semihosting-config", "enable=on,target=native",
                          "-icount", "shift=0,sleep=off", "-kernel", elf,
                          "-S", "-gdb", "unix:%s,server=on,wait=on" % sock],
                         cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        stub = Stub(sock, time.monotonic() + 10)
        for at in range(lo, top, CHUNK):
            n = min(CHUNK, top - at)
            if stub.command("M%x,%x:%s" % (at, n, (PATTERN * (n // 4)).hex())) != "OK":
                raise RuntimeError("the stub refused to fill the stack")
        if stub.command("Z0,%x,2" % stop_at) != "OK":
            raise RuntimeError("the stub refused a breakpoint")
        stub.s.settimeout(timeout)
        stop = stub.command("c")
        if not stop.startswith(("T05", "S05")):
            raise RuntimeError("the player ended without reaching its exit call (%s)" % stop)
        ram = b""
        for at in range(lo, top, CHUNK):
            ram += bytes.fromhex(stub.command("m%x,%x" % (at, min(CHUNK, top - at))))
        stub.command("z0,%x,2" % stop_at)
        end = stub.command("c")
        status = int(end[1:3], 16) if end.startswith("W") else None
        q.wait(timeout=30)
    finally:
        if q.poll() is None:
            q.kill()
            q.wait()
    if status != 0:
        raise RuntimeError("the player under QEMU stopped with %s (%s)" % (
            end, q.stderr.read().decode(errors="replace").strip()[-300:]))
    for i in range(0, len(ram), 4):
        if ram[i:i + 4] != PATTERN:
            return top - (lo + i)
    return 0


def idle_depth(image, reset):
    """(path, bytes) from the reset handler to the function that idles (wfi),
    each frame on the way; the reset handler alone if none is found."""
    todo, seen = [[reset]], {reset}
    while todo:
        path = todo.pop(0)
        if any(m == "wfi" for _, m, _ in image.code[path[-1]]):
            return path, sum(image.frame(f)[0] for f in path)
        for callee in sorted(image.graph.get(path[-1], {})):
            if callee not in seen:
                seen.add(callee)
                todo.append(path + [callee])
    return [reset], image.frame(reset)[0]


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--lampsim", required=True)
    p.add_argument("--firmware", required=True, help="lampsim's player image")
    p.add_argument("--qemu", required=True)
    p.add_argument("--objdump", required=True)
    p.add_argument("--source-dir", required=True)
    p.add_argument("--stop-at", default="semihost_exit", help="the player's exit call")
    p.add_argument("--timeout", type=float, default=240)
    p.add_argument("scenarios", nargs="+")
    a = p.parse_args()

    args = argparse.Namespace(elf=a.firmware, objdump=a.objdump, source_dir=a.source_dir,
                              ci=None, operations=None, root=[])
    image, rows, problems = stack_usage.analyse(args)
    if problems:
        for problem in problems:
            print("FAIL: " + problem)
        return 1
    by_name = {r[0]: r for r in rows}
    worst = by_name["thread+interrupt"]
    thread = [r for r in rows if r[1] == "thread mode"][0]
    irq = max((r for r in rows if r[1] == "interrupt"), key=lambda r: r[2])
    idle_path, idle = idle_depth(image, thread[0])
    predicted = max(thread[2], idle + irq[2])
    elf = Elf(a.firmware)
    symbol = {n: v for n, v, _, _ in elf.symbols}
    top = symbol["__stack_top"]
    lo = max(s[3] + s[5] for s in elf.sections if s[0] in (".data", ".bss", ".noinit"))
    lo = (lo + 3) & ~3
    stop_at = symbol[a.stop_at] & ~1

    marks = []
    with tempfile.TemporaryDirectory(prefix="stack-paint.") as work:
        for scenario in a.scenarios:
            folder = table_for(a.lampsim, scenario, work)
            try:
                start = time.monotonic()
                mark = high_water(a.qemu, a.firmware, folder, lo, top, stop_at, a.timeout)
                took = time.monotonic() - start
            finally:
                for f in os.listdir(folder):
                    os.remove(os.path.join(folder, f))
                os.rmdir(folder)
            marks.append((mark, os.path.basename(scenario)))
            print("%-24s %4d bytes of stack at most (%.1f s)" % (os.path.basename(scenario),
                                                                 mark, took))
    deepest = max(marks)
    names = lambda path: " > ".join(image.base.get(f, f) for f in path)
    print("high-water mark: %d bytes (%s) of the %d bytes painted" % (
        deepest[0], deepest[1], top - lo))
    print("computed: %d bytes = the idle loop's %d (%s) + %s's worst %d (%s, the hardware's "
          "frame and alignment included); thread mode alone %d" % (
              predicted, idle, names(idle_path), irq[0], irq[2], names(irq[3]), thread[2]))
    print("computed worst of thread mode plus one interrupt: %d bytes" % worst[2])
    if deepest[0] == 0:
        print("FAIL: no stack use seen: the pattern did not reach the RAM")
        return 1
    if deepest[0] > predicted:
        print("FAIL: the chip used %d bytes more stack than computed: the analysis misses a "
              "frame or a call" % (deepest[0] - predicted))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

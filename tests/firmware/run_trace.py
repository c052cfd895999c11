#!/usr/bin/env python3
"""Runs a firmware image under qemu-system-arm -M microbit and checks its trace.

compare:    the lamp scenario's trace must equal the host board's, byte for byte
            (every PWM write with its time, every result), plus a few anchors
            worked out by hand so that two equally wrong runs cannot pass.
fast-blink: a 120 ms blink on the target, checked against hand-worked values.
mix:        the integer mixing against the float form over every input on the
            target: no difference, and the checksum the host test asserts.

The emulator runs with -icount (virtual time from the instruction count), so the
run is deterministic and independent of the machine's load.
"""
import argparse
import subprocess
import sys

QEMU_ARGS = ["-M", "microbit", "-display", "none", "-monitor", "none", "-serial", "none",
             "-semihosting-config", "enable=on,target=native", "-icount", "shift=0,sleep=off"]


def run_firmware(qemu, elf, timeout_s):
    # Semihosting console output arrives on QEMU's stderr.
    proc = subprocess.run([qemu, *QEMU_ARGS, "-kernel", elf], stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, timeout=timeout_s)
    return proc.returncode, proc.stderr.decode("ascii", "replace").splitlines()


def writes(lines):
    return [tuple(int(x) for x in l.split()[1:]) for l in lines if l.startswith("w ")]


def results(lines):
    return [l for l in lines if l.startswith("r ")]


def require(cond, what):
    if not cond:
        print("FAIL:", what)
        sys.exit(1)


def check_lamp_anchors(lines):
    w = writes(lines)
    r = results(lines)
    # Start-up fade at 5000 * 1000 / 18000 = 277 us per tick, one unit per tick
    # towards (18000, 0): channel 0 first, 18000 pairs, the last at 18000 * 277 us.
    require(w[0] == (277, 0, 1) and w[1] == (277, 1, 0), "first start-up write (1, 0) at 277 us")
    require(w[2 * 17999] == (4986000, 0, 18000), "start-up fade arrives at 18000 at 4986000 us")
    require("r 5100 bright_get 0 100" in r, "default brightness 100 on an erased store")
    # One level down the table from 100 is 85: target 85 * 180 = 15300.
    require("r 5200 adjusted 0" in r, "first step accepted")
    require("r 5400 adjusted 1" in r, "a repeat at the limit reports LIGHT_ERROR")
    require("r 7000 countdown_set 3" in r, "countdown out of range refused")
    require("r 9500 adjusted 2" in r, "adjusting a switched-off lamp reports LIGHT_FAIL")
    # Saved record: magic 0xAA, switched on, brightness 60, temperature 80 (LE).
    rec = [int(l.split()[3]) for l in r if " record_byte " in l]
    require(rec[1:] == [0xAA, 1, 60, 0, 80, 0], "saved record bytes")
    boot2 = r.index("r 0 boot 2")
    require("r 3500 bright_get 0 60" in r[boot2:] and "r 3500 temperature_get 0 80" in r[boot2:],
            "state restored after the reset")
    # After the reset: fade-in with the temperature channel at 80 * 180 = 14400 at once.
    first_after = [x for x in w if x[0] == 277][-2:]
    require(first_after == [(277, 0, 1), (277, 1, 14400)], "fade-in after the reset")


def compare(args):
    ref = subprocess.run([args.reference], stdout=subprocess.PIPE, timeout=args.timeout)
    require(ref.returncode == 0, "host reference exit status %d" % ref.returncode)
    host = ref.stdout.decode("ascii").splitlines()
    status, target = run_firmware(args.qemu, args.elf, args.timeout)
    require(status == 0, "firmware exit status %d" % status)
    if args.mutate_write is not None:
        # Self-check of the comparison: one PWM value off by one.
        idx = [i for i, l in enumerate(target) if l.startswith("w ")][args.mutate_write]
        t, ch, duty = target[idx].split()[1:]
        target[idx] = "w %s %s %d" % (t, ch, int(duty) ^ 1)
    for i, (a, b) in enumerate(zip(host, target)):
        require(a == b, "line %d differs: host %r, target %r" % (i + 1, a, b))
    require(len(host) == len(target), "trace lengths differ: host %d, target %d lines"
            % (len(host), len(target)))
    check_lamp_anchors(target)
    print("identical: %d lines, %d PWM writes" % (len(target), len(writes(target))))


def fast_blink(args):
    status, lines = run_firmware(args.qemu, args.elf, args.timeout)
    require(status == 0, "firmware exit status %d" % status)
    r = results(lines)
    w = writes(lines)
    # (120 - 100) * 1000 / 18000 = 1 us, raised to the board's 22 us.
    for ms in (5221, 5341, 5461, 5581):
        require("r %d timer14 1 22" % ms in r, "tick runs at 22 us at %d ms" % ms)
    # Each toggle starts on its millisecond: the software timers kept time.
    by_time = {}
    for t, ch, duty in w:
        by_time.setdefault(t, []).append(duty)
    # Lit (18000, 0) at 5100. Toggle at 5220 fades towards dark, 22 us a unit:
    # 120000 / 22 -> 5454 units before 5340, so 12546; the toggles at 5340 and
    # 5460 find the lamp not dark and fade on: 7092, 1638; the one at 5580 reaches
    # 0 after 1638 ticks, at 5580000 + 1638 * 22 = 5616036 us.
    require(by_time.get(5220022) == [17999, 0], "first toggle's first tick at 5220022 us")
    require(by_time.get(5339988) == [12546, 0], "12546 at the second toggle")
    require(by_time.get(5459988) == [7092, 0], "7092 at the third toggle")
    require(by_time.get(5579988) == [1638, 0], "1638 at the fourth toggle")
    require(by_time.get(5616036) == [0, 0] and w[-1] == (5616036, 1, 0), "dark at 5616036 us")
    require("r 5700 ticks 36002" in r, "18001 start-up ticks + 5454 * 3 + 1638 + 1")
    idle = [int(l.split()[3]) for l in r if "idle_passes_during_blink" in l]
    require(idle and idle[0] > 0, "thread mode kept running during the blink")
    print("fast blink: served at 22 us, timers on time, thread mode ran %d passes" % idle[0])


# mix_reference_sum in tests/support/mix_sweep.h: FNV-1a over the float form's
# results for all 196,608 inputs, the value the host test asserts too.
MIX_REFERENCE_SUM = 0x2D3BA52A


def mix(args):
    status, lines = run_firmware(args.qemu, args.elf, args.timeout)
    require(status == 0, "firmware exit status %d" % status)
    found = [l.split() for l in lines if l.startswith("mix ")]
    require(len(found) == 1, "one mix line, got %d" % len(found))
    f = found[0]
    v = dict(zip(f[1::2], f[2::2]))
    require(int(v.get("inputs", "0")) == 3 * 256 * 256, "all 196608 inputs swept")
    require(int(v.get("differences", "-1")) == 0,
            "%s inputs differ from the float form" % v.get("differences"))
    require(int(v.get("reference_sum", "0"), 16) == MIX_REFERENCE_SUM,
            "float form's checksum %s, host's 0x%08x" % (v.get("reference_sum"), MIX_REFERENCE_SUM))
    require(int(v.get("integer_sum", "0"), 16) == MIX_REFERENCE_SUM,
            "integer mixing's checksum %s, host's 0x%08x" % (v.get("integer_sum"), MIX_REFERENCE_SUM))
    # The same comparison notices the plain 9 * b * t / 5, as on the host.
    require(int(v.get("plain_differences", "0")) == 543, "plain 9bt/5 differs on 543 inputs")
    print("mix on the target: %s inputs, 0 differences, checksum 0x%08x"
          % (v["inputs"], MIX_REFERENCE_SUM))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--qemu", default="qemu-system-arm")
    p.add_argument("--timeout", type=float, default=100)
    sub = p.add_subparsers(dest="cmd", required=True)
    c = sub.add_parser("compare")
    c.add_argument("--elf", required=True)
    c.add_argument("--reference", required=True)
    c.add_argument("--mutate-write", type=int)
    f = sub.add_parser("fast-blink")
    f.add_argument("--elf", required=True)
    m = sub.add_parser("mix")
    m.add_argument("--elf", required=True)
    args = p.parse_args()
    {"compare": compare, "fast-blink": fast_blink, "mix": mix}[args.cmd](args)


if __name__ == "__main__":
    main()

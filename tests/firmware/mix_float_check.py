#!/usr/bin/env python3
"""Runs firmware_mix_float_check under qemu-system-arm -M microbit: the integer
mixing against the float form over every input on the target, the float form's
checksum equal to the host's, and the comparison able to fail (the plain
9 * b * t / 5 must differ on 543 inputs, as on the host)."""
import argparse
import subprocess
import sys

QEMU_ARGS = ["-M", "microbit", "-display", "none", "-monitor", "none", "-serial", "none",
             "-semihosting-config", "enable=on,target=native", "-icount", "shift=0,sleep=off"]
# mix_reference_sum in tests/support/mix_sweep.h: FNV-1a over the float form's
# results for every input in the three modes.
MIX_REFERENCE_SUM = 0x2D3BA52A


def require(cond, what):
    if not cond:
        print("FAIL:", what)
        sys.exit(1)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--qemu", default="qemu-system-arm")
    p.add_argument("--timeout", type=float, default=100)
    p.add_argument("--elf", required=True)
    args = p.parse_args()
    # Semihosting console output arrives on QEMU's stderr.
    proc = subprocess.run([args.qemu, *QEMU_ARGS, "-kernel", args.elf], stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, timeout=args.timeout)
    lines = proc.stderr.decode("ascii", "replace").splitlines()
    require(proc.returncode == 0, "firmware exit status %d" % proc.returncode)
    found = [l.split() for l in lines if l.startswith("mix ")]
    require(len(found) == 1, "one mix line, got %d" % len(found))
    v = {key: int(value, 16) for key, value in zip(found[0][1::2], found[0][2::2])}
    require(v.get("inputs") == 3 * 256 * 256, "all 196608 inputs swept")
    require(v.get("differences") == 0, "%s inputs differ from the float form" % v.get("differences"))
    for key in ("reference_sum", "integer_sum"):
        require(v.get(key) == MIX_REFERENCE_SUM,
                "%s %s, host's 0x%08x" % (key, v.get(key), MIX_REFERENCE_SUM))
    require(v.get("plain_differences") == 543, "plain 9bt/5 differs on 543 inputs")
    print("mix on the target: %s inputs, 0 differences, checksum 0x%08x"
          % (v["inputs"], MIX_REFERENCE_SUM))


if __name__ == "__main__":
    main()

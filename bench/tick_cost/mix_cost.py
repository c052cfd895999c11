#!/usr/bin/python3
"""Cost of the channel mixing on the Cortex-M0, measured on the built code.

Calls _light_ctrl_data_calculate_cw of each image given once per input, in both
mixing modes, under the same instruction-set simulation and timing model as
tick_cost.py, and prints instructions and estimated cycles per call (mean, max).
The reverse conversions are timed on the channel pairs that the mixing gives
for the lamp's own range (brightness 1..100, temperature 0..100).

Usage: mix_cost.py [--all] IMAGE.elf [IMAGE.elf ...]
  --all: every brightness and temperature byte (0..255), not only 0..100;
         several minutes per image.
Example: mix_cost.py build/m0/bench/tick_cost/tick_bench_current.elf
(the tick bench images keep the three functions whole; in a firmware image
link-time optimisation may have inlined or specialised them)
"""
import struct
import sys

from tick_cost import RAM, Cpu

RESULT = RAM + 0x3000  # scratch for the result pair, below the stack
MODES = [("cold/warm", 0), ("bright/temperature", 1)]


def stats(samples):
    n = len(samples)
    return (sum(s[0] for s in samples) / n, max(s[0] for s in samples),
            sum(s[1] for s in samples) / n, max(s[1] for s in samples))


def run(cpu, name, *args):
    from unicorn.arm_const import UC_ARM_REG_R1, UC_ARM_REG_R2
    if len(args) > 1:
        cpu.uc.reg_write(UC_ARM_REG_R1, args[1])
    if len(args) > 2:
        cpu.uc.reg_write(UC_ARM_REG_R2, args[2])
    return cpu.call(name, args[0], count=True)


def measure(path, top):
    cpu = Cpu(path)
    mode_addr = cpu.symbols["light_cfg_data"] + 1  # after light_way: bright_mode
    rows = []
    for label, mode in MODES:
        cpu.uc.mem_write(mode_addr, bytes([mode]))
        mix, pairs = [], []
        for b in range(top + 1):
            for t in range(top + 1):
                mix.append(run(cpu, "_light_ctrl_data_calculate_cw", b, t, RESULT))
                if 1 <= b <= 100 and t <= 100:
                    pairs.append(struct.unpack("<I", cpu.uc.mem_read(RESULT, 4))[0])
        rows.append(("mix", label, stats(mix)))
        for conv in ("brightness", "temperature"):
            fn = "_light_ctrl_data_calculate_" + conv
            rows.append((conv, label, stats([run(cpu, fn, p) for p in pairs if p != 0])))
    return rows


def main(args):
    top = 255 if "--all" in args else 100
    paths = [a for a in args if a != "--all"]
    print("inputs 0..%d; instructions and cycles per call" % top)
    print("%-12s %-20s %14s %12s" % ("function", "mode", "mean i/c", "max i/c"))
    for path in paths:
        print(path)
        for fn, mode, (mi, xi, mc, xc) in measure(path, top):
            print("%-12s %-20s %6.1f/%-7.1f %5d/%-6d" % (fn, mode, mi, mc, xi, xc))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(sys.argv[1:])

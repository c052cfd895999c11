#!/usr/bin/env python3
"""Fails if a product image needs a debugger: a breakpoint instruction (bkpt,
semihosting's trap among them; without a debugger attached it is a hard fault)
or a semihosting routine linked in. Test images that report through
semihosting are built apart (microbit_firmware(... SEMIHOSTING)) and are not
given here.

Usage: no_debugger_needed.py --objdump OBJDUMP --nm NM IMAGE.elf...
"""
import argparse
import re
import subprocess
import sys


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--objdump", required=True)
    p.add_argument("--nm", required=True)
    p.add_argument("images", nargs="+")
    a = p.parse_args()
    failed = False
    for image in a.images:
        code = subprocess.run([a.objdump, "-d", image], capture_output=True, text=True,
                              check=True).stdout
        traps = [l.strip() for l in code.splitlines() if re.search(r"\bbkpt\b", l)]
        symbols = subprocess.run([a.nm, image], capture_output=True, text=True,
                                 check=True).stdout
        semihost = [l.split()[-1] for l in symbols.splitlines() if "semihost" in l.lower()]
        if traps or semihost:
            failed = True
            print("FAIL: %s needs a debugger: %d breakpoint instructions%s%s" % (
                image, len(traps), (" (first: %s)" % traps[0]) if traps else "",
                (", semihosting routines: " + " ".join(semihost)) if semihost else ""))
        else:
            print("%s: no breakpoint instruction, no semihosting" % image)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

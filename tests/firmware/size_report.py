#!/usr/bin/env python3
"""Size of a firmware image, and the module's own share from its link map.

The module's share: the objects of Light/ and System/, and every runtime member
(libgcc: soft-float, division; libc) that they pull in, directly or through
another runtime member (from the map's cross-reference table, -Wl,--cref).
Flash counts code, read-only data and the initial values of .data; RAM counts
.data and .bss. The stack is a region of the linker script, not counted.
"""
import argparse
import re
import subprocess
import sys

FLASH_BUDGET = 8 * 1024
RAM_BUDGET = 256
ALLOC = {".text": "flash", ".rodata": "flash", ".data": "both", ".bss": "ram",
         ".init_array": "flash", ".ARM.exidx": "flash", ".isr_vector": "flash"}


def short(path):
    m = re.search(r"([^/]+\.a)\(([^)]+)\)$", path)
    return "%s(%s)" % m.groups() if m else path.rsplit("/", 1)[-1]


def group_of(path):
    if "liblight_ctrl.a" in path:
        return "Light/"
    if re.search(r"liblight_(timer|nvm|utilities)\.a", path):
        return "System/"
    if "libgcc.a" in path:
        return "libgcc"
    if "libc_nano.a" in path or "libg_nano.a" in path or "libm.a" in path:
        return "libc"
    return "other"


def parse_map(text):
    sizes = {}  # file -> {"flash": n, "ram": n}
    out_sec = None
    lines = text[text.index("Linker script and memory map"):text.index("Cross Reference Table")]
    lines = lines.splitlines()
    i = 0
    pending = None
    for line in lines:
        m = re.match(r"^(\.[\w.]+)\s", line)
        if m:
            out_sec = m.group(1)
            continue
        if pending is not None:
            m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
            if m:
                add(sizes, out_sec, int(m.group(2), 16), m.group(3))
            pending = None
            continue
        m = re.match(r"^ (\.[\w.$]+|COMMON)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m:
            add(sizes, out_sec, int(m.group(3), 16), m.group(4))
            continue
        if re.match(r"^ (\.[\w.$]+|COMMON)$", line):
            pending = line
    xref = text[text.index("Cross Reference Table"):].splitlines()[3:]
    refs = {}  # defining file -> referencing files
    definer = None
    for line in xref:
        m = re.match(r"^(\S+)\s+(\S.*)$", line)
        if m:
            definer = m.group(2).strip()
            refs.setdefault(definer, set())
        elif line.strip() and definer is not None:
            refs[definer].add(line.strip())
    return sizes, refs


def add(sizes, out_sec, size, path):
    kind = ALLOC.get(out_sec)
    if kind is None or size == 0:
        return
    entry = sizes.setdefault(path, {"flash": 0, "ram": 0})
    if kind in ("flash", "both"):
        entry["flash"] += size
    if kind in ("ram", "both"):
        entry["ram"] += size


def module_runtime(sizes, refs):
    """Runtime members reached from Light/ and System/ objects."""
    reached = {f for f in refs if group_of(f) in ("Light/", "System/")}
    reached |= {f for f in sizes if group_of(f) in ("Light/", "System/")}
    changed = True
    while changed:
        changed = False
        for definer, users in refs.items():
            if definer not in reached and group_of(definer) in ("libgcc", "libc") and users & reached:
                reached.add(definer)
                changed = True
    return {f for f in reached if group_of(f) in ("libgcc", "libc")}


SOFT_FLOAT = re.compile(r"^__(aeabi_[fd]|aeabi_[ui]?[lu]?2[fd]|aeabi_[fd]2|.*[sd]f[23i]|.*[sd]i[sd]f|clzsi2$)")


# Soft-float routines by name, for a whole image: the AEABI ones (__aeabi_f*,
# __aeabi_d*, the flag-setting compares __aeabi_cf*/__aeabi_cd*, the integer
# conversions __aeabi_[u]i2f/d and __aeabi_[u]l2f/d, __aeabi_h2f) and libgcc's
# own (__addsf3, __mulsf3, __eqsf2, __fixunssfsi, __floatsisf, __extendsfdf2,
# __truncdfsf2, __mulsc3, __gnu_f2h_ieee, ...). __clzsi2 is not among them: 64-bit
# integer division uses it too.
SOFT_FLOAT_SYMBOL = re.compile(
    r"^__(aeabi_(c?[fd][a-z0-9]|u?[il]2[fd]|h2f)\w*"
    r"|(add|sub|mul|div|neg|powi)[sdtx]f[23]|(eq|ne|lt|le|gt|ge|unord|cmp)[sdtx]f2"
    r"|fix(uns)?[sdtx]f[sdt]i|float(un)?[sdt]i[sdtx]f"
    r"|extend[hsd]f[sdtx]f2|trunc[sdtx]f[hsd]f2|(mul|div)[sdtx]c3|gnu_[fdh]2[hf]\w*)$")


def soft_float_symbols(objdump, elf):
    """Soft-float routines among the symbols an image defines."""
    text = subprocess.run([objdump, "-t", elf], check=True, stdout=subprocess.PIPE,
                          text=True).stdout
    names = {line.split()[-1] for line in text.splitlines()
             if re.match(r"^[0-9a-f]{8} ", line)}
    return sorted(n for n in names if SOFT_FLOAT_SYMBOL.match(n))


def reachable(objdump, elf, root):
    """Functions reachable from root through direct calls and branches, read
    from the disassembly, and those of them that also call through a pointer
    (not followed: on this board only the trace listener of the tests)."""
    text = subprocess.run([objdump, "-d", "--no-show-raw-insn", elf], check=True,
                          stdout=subprocess.PIPE, text=True).stdout
    calls, current, indirect = {}, None, set()
    for line in text.splitlines():
        m = re.match(r"^[0-9a-f]+ <([^>]+)>:$", line)
        if m:
            current = m.group(1)
            calls[current] = set()
            continue
        if current is None:
            continue
        m = re.search(r"\t(bl|b(?:\.n|\.w)?|b[a-z]{2}(?:\.n|\.w)?)\s+[0-9a-f]+ <([^>+]+)>", line)
        if m and m.group(2) != current:
            calls[current].add(m.group(2))
        elif re.search(r"\tblx\s+r", line):
            indirect.add(current)
    seen, todo = set(), [root]
    while todo:
        f = todo.pop()
        if f not in seen:
            seen.add(f)
            todo.extend(calls.get(f, ()))
    return seen, seen & indirect


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--elf", required=True)
    p.add_argument("--map", required=True)
    p.add_argument("--size", default="arm-none-eabi-size")
    p.add_argument("--out")
    p.add_argument("--check", action="store_true", help="fail over the module's budget")
    p.add_argument("--objdump", help="with --no-soft-float-from")
    p.add_argument("--no-soft-float-from", metavar="FUNCTION",
                   help="fail if a soft-float routine is reachable from FUNCTION")
    p.add_argument("--no-soft-float-in", metavar="ELF", nargs="+", default=[],
                   help="with --objdump: fail if one of these images links a soft-float "
                        "routine; images named *float* carry a float reference and may")
    a = p.parse_args()
    report = [subprocess.run([a.size, a.elf], check=True, stdout=subprocess.PIPE,
                             text=True).stdout.rstrip(), ""]
    sizes, refs = parse_map(open(a.map).read())
    runtime = module_runtime(sizes, refs)
    rows = {}
    for path, s in sizes.items():
        g = group_of(path)
        if g in ("libgcc", "libc"):
            g = ("soft-float (libgcc)" if re.search(r"sf|df|_fix|float|cmp|clz", path)
                 else "int helpers (libgcc)") if g == "libgcc" else "libc"
            g = g if path in runtime else "runtime for the board"
        r = rows.setdefault(g, {"flash": 0, "ram": 0, "files": []})
        r["flash"] += s["flash"]
        r["ram"] += s["ram"]
        if g in ("soft-float (libgcc)", "int helpers (libgcc)", "libc"):
            r["files"].append(short(path))
    module_groups = ["Light/", "System/", "soft-float (libgcc)", "int helpers (libgcc)", "libc"]
    report.append("%-24s %8s %8s" % ("part", "flash B", "RAM B"))
    for g in module_groups + ["runtime for the board", "other"]:
        if g in rows:
            report.append("%-24s %8d %8d" % (g, rows[g]["flash"], rows[g]["ram"]))
    flash = sum(rows[g]["flash"] for g in module_groups if g in rows)
    ram = sum(rows[g]["ram"] for g in module_groups if g in rows)
    report.append("%-24s %8d %8d   (budget %d / %d)" % ("module total", flash, ram,
                                                      FLASH_BUDGET, RAM_BUDGET))
    for g in ("soft-float (libgcc)", "int helpers (libgcc)", "libc"):
        if g in rows:
            report.append("  %s: %s" % (g, ", ".join(sorted(rows[g]["files"]))))
    float_calls = []
    if a.no_soft_float_from:
        funcs, indirect = reachable(a.objdump, a.elf, a.no_soft_float_from)
        float_calls = sorted(f for f in funcs if SOFT_FLOAT.match(f))
        report.append("reachable from %s: %d functions, soft-float: %s; calls through a "
                      "pointer (not followed) in: %s" % (
                          a.no_soft_float_from, len(funcs), ", ".join(float_calls) or "none",
                          ", ".join(sorted(indirect)) or "none"))
    float_images = []
    for elf in a.no_soft_float_in:
        name = elf.rsplit("/", 1)[-1]
        found = soft_float_symbols(a.objdump, elf)
        if "float" in name:
            report.append("soft-float in %s (float reference, allowed): %d routines" % (
                name, len(found)))
            continue
        report.append("soft-float in %s: %s" % (name, ", ".join(found) or "none"))
        if found:
            float_images.append(name)
    text = "\n".join(report) + "\n"
    print(text, end="")
    if a.out:
        open(a.out, "w").write(text)
    if a.check and (flash > FLASH_BUDGET or ram > RAM_BUDGET):
        print("FAIL: module over budget")
        sys.exit(1)
    if float_calls:
        print("FAIL: soft-float reachable from " + a.no_soft_float_from)
        sys.exit(1)
    if float_images:
        print("FAIL: soft-float linked in " + ", ".join(float_images))
        sys.exit(1)


if __name__ == "__main__":
    main()

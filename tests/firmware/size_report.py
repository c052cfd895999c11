#!/usr/bin/env python3
"""Size of a firmware image, and the module's own share of it.

The image is link-time optimised: the module's functions are inlined into the
board's and the board's into the module's, all from one object, so the link
map no longer tells the module's bytes from the board's. They are told apart
by the image's own debug information instead, byte by byte:

- code: every instruction belongs to the source file the line table gives for
  its address (the file of the innermost inlined function): the fade tick
  inlined into the board's dispatcher counts for Light/, the board's PWM write
  inlined into the tick for the board. A constant pool belongs to the function
  that holds it. Code from outside the source tree (toolchain headers) counts
  for the file of the function it was inlined into.
- data and read-only data: every object belongs to the translation unit that
  defines it (the compile unit of its debug entry, through the abstract origin
  that link-time optimisation leaves); a function's string literals to the
  function's.
- runtime library members (libgcc: division, soft-float; libc), which are
  linked as they are, count for the module when module code calls them, or
  a member that module code calls (from the disassembly and the map's
  cross-reference table, -Wl,--cref).

The module's share is Light/, System/ and their runtime members. Bytes the
debug information cannot place are listed as unattributed and counted in the
module's total, so that the budget errs on the safe side. Without link-time
optimisation the same rules give what the map gives object by object.

Flash counts code, read-only data and the initial values of .data; RAM counts
.data and .bss. Alignment padding between input sections is not counted. The
stack is a region of the linker script, not counted.
"""
import argparse
import bisect
import os
import re
import sys

from elf_image import BRANCH, disassembly, elf_symbols, line_table, run, target_of

ALLOC = {".text": "flash", ".rodata": "flash", ".data": "both", ".bss": "ram",
         ".init_array": "flash", ".ARM.exidx": "flash", ".isr_vector": "flash"}
MODULE_GROUPS = ["Light/", "System/", "soft-float (libgcc)", "int helpers (libgcc)", "libc",
                 "unattributed"]
OTHER_GROUPS = ["board", "program", "runtime for the others"]


def short(path):
    m = re.search(r"([^/]+\.a)\(([^)]+)\)$", path)
    return "%s(%s)" % m.groups() if m else path.rsplit("/", 1)[-1]


def library_of(path):
    """The runtime library an input file comes from, or None for the program."""
    if re.search(r"/libgcc\.a\(", path):
        return "libgcc"
    if re.search(r"/lib(c|g)_nano\.a\(|/libm\.a\(|/libstdc\+\+_nano\.a\(", path):
        return "libc"
    return None


def library_group(path):
    if library_of(path) == "libc":
        return "libc"
    return ("soft-float (libgcc)" if re.search(r"sf|df|_fix|float|cmp|clz", path)
            else "int helpers (libgcc)")


class SourceGroups:
    """Group of a source file: Light/, System/, board, program, or None outside
    the source tree."""

    def __init__(self, source_dir):
        self.root = os.path.realpath(source_dir) + "/"

    def __call__(self, path):
        if path is None:
            return None
        path = os.path.realpath(path)
        if not path.startswith(self.root):
            return None
        rel = path[len(self.root):]
        if rel.startswith("Light/"):
            return "Light/"
        if rel.startswith("System/"):
            return "System/"
        if rel.startswith("Boards/"):
            return "board"
        return "program"


# ---------------------------------------------------------------- link map

def parse_map(text):
    """Input sections [(output section, section name, address, size, file)] and
    the cross-reference table {defining file: set of referencing files}."""
    sections = []
    out_sec = None
    body = text[text.index("Linker script and memory map"):text.index("Cross Reference Table")]
    pending = None
    for line in body.splitlines():
        m = re.match(r"^(\.[\w.]+)\s", line)
        if m:
            out_sec = m.group(1)
            continue
        if pending is not None:
            m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
            if m:
                sections.append((out_sec, pending, int(m.group(1), 16), int(m.group(2), 16),
                                 m.group(3)))
            pending = None
            continue
        m = re.match(r"^ (\.[\w.$]+|COMMON)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if m:
            sections.append((out_sec, m.group(1), int(m.group(2), 16), int(m.group(3), 16),
                             m.group(4)))
            continue
        m = re.match(r"^ (\.[\w.$]+|COMMON)$", line)
        if m:
            pending = m.group(1)
    sections = [s for s in sections if s[0] in ALLOC and s[3] > 0]
    refs = {}
    definer = None
    for line in text[text.index("Cross Reference Table"):].splitlines()[3:]:
        m = re.match(r"^(\S+)\s+(\S.*)$", line)
        if m:
            definer = m.group(2).strip()
            refs.setdefault(definer, set())
        elif line.strip() and definer is not None:
            refs[definer].add(line.strip())
    return sections, refs


# ------------------------------------------------------------ debug information

def definitions(objdump, elf):
    """({address: compile unit}, {name: set of compile units}, [compile unit])
    for every function and object the debug information places (through
    abstract origins and out-of-line definitions) or names at file scope."""
    cu_of, origin, placed, names = {}, {}, {}, {}
    cu_names, cu_dirs = [], []
    offset, tag = None, None
    for line in run(objdump, "--dwarf=info", elf).splitlines():
        m = re.match(r"^\s*<(\d+)><([0-9a-f]+)>: Abbrev Number: \d+(?: \((DW_TAG_\w+)\))?", line)
        if m:
            depth, offset, tag = int(m.group(1)), int(m.group(2), 16), m.group(3)
            if tag == "DW_TAG_compile_unit":
                cu_names.append(None)
                cu_dirs.append("")
            cu_of[offset] = len(cu_names) - 1
            continue
        m = re.match(r"^\s*<[0-9a-f]+>\s+(DW_AT_\w+)\s*: (.*)$", line)
        if not m or offset is None:
            continue
        attr, value = m.groups()
        if tag == "DW_TAG_compile_unit" and attr in ("DW_AT_name", "DW_AT_comp_dir"):
            value = value.split("): ", 1)[-1].strip()
            if attr == "DW_AT_name":
                cu_names[-1] = value
            else:
                cu_dirs[-1] = value
        elif attr == "DW_AT_name" and tag == "DW_TAG_variable" and depth <= 2:
            names.setdefault(value.split("): ", 1)[-1].strip(), set()).add(len(cu_names) - 1)
        elif attr in ("DW_AT_abstract_origin", "DW_AT_specification"):
            t = re.search(r"<0x([0-9a-f]+)>", value)
            if t:
                origin[offset] = int(t.group(1), 16)
        elif attr == "DW_AT_location" and tag == "DW_TAG_variable":
            t = re.search(r"DW_OP_addr: ([0-9a-f]+)\)$", value)
            if t:
                placed[int(t.group(1), 16)] = offset
        elif attr == "DW_AT_low_pc" and tag == "DW_TAG_subprogram":
            placed.setdefault(int(value.strip(), 16), offset)
    files = [os.path.join(d, n) if n else None for n, d in zip(cu_names, cu_dirs)]
    result = {}
    for addr, die in placed.items():
        seen = set()
        while die in origin and die not in seen:
            seen.add(die)
            die = origin[die]
        if die in cu_of:
            result[addr] = files[cu_of[die]]
    return result, {n: {files[c] for c in cus} for n, cus in names.items()}, files


def branches(code):
    """[(address, target)] of every direct call or branch in the disassembly."""
    out = []
    for insns in code.values():
        for addr, mnemonic, operands in insns:
            m = re.match(r"^([0-9a-f]+)\b", operands)
            if BRANCH.match(mnemonic) and m:
                out.append((addr, int(m.group(1), 16)))
    return out


def last_identifier(symbol):
    """The last name in a symbol: light_cfg_data, or light_bright_table from
    _ZN12_GLOBAL__N_1L18light_bright_tableE."""
    if not symbol.startswith("_Z"):
        return symbol
    names, i = [], 0
    while i < len(symbol):
        m = re.match(r"\d+", symbol[i:])
        if m:
            n = int(m.group(0))
            i += len(m.group(0))
            names.append(symbol[i:i + n])
            i += n
        else:
            i += 1
    return names[-1] if names else symbol


# ---------------------------------------------------------------- attribution

class Attribution:
    def __init__(self, a):
        self.group_of = SourceGroups(a.source_dir)
        self.sections, self.refs = parse_map(open(a.map).read())
        self.defs, self.names, units = definitions(a.objdump, a.elf)
        # The line table names a compile unit's own file without its directory.
        by_base = {}
        for f in units:
            if f:
                by_base.setdefault(os.path.basename(f), set()).add(f)
        self.lines = [(lo, hi, f if os.path.isabs(f) or len(by_base.get(f, ())) != 1
                       else next(iter(by_base[f])))
                      for lo, hi, f in line_table(a.objdump, a.elf)]
        self.line_starts = [r[0] for r in self.lines]
        symbols = elf_symbols(a.elf)
        self.data_marks = sorted((v, n.startswith("$d")) for n, v, _, _ in symbols
                                 if re.match(r"^\$[dt](\.|$)", n))
        self.functions = sorted((v & ~1, s) for _, v, s, t in symbols if t == 2 and s)
        self.by_name = {}
        for n, v, _, _ in symbols:
            self.by_name.setdefault(n, v & ~1)
        self.insns = disassembly(a.objdump, a.elf)
        self.branches = branches(self.insns)
        self.flash = {}
        self.ram = {}
        self.code_group = []  # (start, end, group) of program code, for the callers
        self.code_file = {}  # bytes of code by the source file of its line

    def add(self, group, out_sec, size):
        kind = ALLOC[out_sec]
        if kind in ("flash", "both"):
            self.flash[group] = self.flash.get(group, 0) + size
        if kind in ("ram", "both"):
            self.ram[group] = self.ram.get(group, 0) + size

    def function_group(self, addr):
        """Group of the function holding addr, from its debug entry."""
        i = bisect.bisect_right(self.functions, (addr, 1 << 32)) - 1
        if i >= 0 and self.functions[i][0] <= addr < self.functions[i][0] + self.functions[i][1]:
            return self.group_of(self.defs.get(self.functions[i][0]))
        return None

    def code(self, out_sec, start, size):
        """Splits code by the line table; constant pools and code without a
        line in the tree go with the function that holds them."""
        end = start + size
        holder = self.function_group(start)
        cuts = {start, end}
        i = bisect.bisect_right(self.line_starts, start) - 1
        i = max(i, 0)
        while i < len(self.lines) and self.lines[i][0] < end:
            cuts.update(x for x in self.lines[i][:2] if start < x < end)
            i += 1
        j = bisect.bisect_left(self.data_marks, (start, False))
        while j < len(self.data_marks) and self.data_marks[j][0] < end:
            cuts.add(max(start, self.data_marks[j][0]))
            j += 1
        cuts = sorted(cuts)
        for lo, hi in zip(cuts, cuts[1:]):
            k = bisect.bisect_right(self.data_marks, (lo, True)) - 1
            in_data = k >= 0 and self.data_marks[k][1]
            group = None
            if not in_data:
                r = bisect.bisect_right(self.line_starts, lo) - 1
                if r >= 0 and self.lines[r][0] <= lo < self.lines[r][1]:
                    group = self.group_of(self.lines[r][2])
                    if group is not None:
                        self.code_group.append((lo, hi, group))
                        path = os.path.relpath(os.path.realpath(self.lines[r][2]),
                                               self.group_of.root)
                        self.code_file[path] = self.code_file.get(path, 0) + hi - lo
            group = group or holder or "unattributed"
            self.add(group, out_sec, hi - lo)

    def data(self, out_sec, name, addr, size):
        group = self.group_of(self.defs.get(addr))
        if group is None:
            # String literals: .rodata.<function>.str1.1 go with the function.
            m = re.match(r"^\.rodata\.(.+)\.str\d+\.\d+$", name)
            if m and m.group(1) in self.by_name:
                group = self.function_group(self.by_name[m.group(1)])
        if group is None:
            # A constant the debug information gives by value only: by its
            # name, if every unit that has one by that name is in one group.
            ident = last_identifier(name.rsplit(".", 1)[-1])
            groups = {self.group_of(f) for f in self.names.get(ident, ())}
            if len(groups) == 1:
                group = groups.pop()
        self.add(group or "unattributed", out_sec, size)

    def run(self):
        library = []
        for out_sec, name, addr, size, path in self.sections:
            if library_of(path):
                library.append((out_sec, addr, size, path))
            elif out_sec in (".text",) and name.startswith(".text"):
                self.code(out_sec, addr, size)
            else:
                self.data(out_sec, name, addr, size)
        # Runtime members the module's code calls, then those they call.
        self.code_group.sort()
        starts = [c[0] for c in self.code_group]
        ranges = {}
        for out_sec, addr, size, path in library:
            ranges.setdefault(path, []).append((addr, addr + size))
        module_members = set()
        for at, target in self.branches:
            i = bisect.bisect_right(starts, at) - 1
            if i < 0 or not self.code_group[i][0] <= at < self.code_group[i][1]:
                continue
            if self.code_group[i][2] not in ("Light/", "System/"):
                continue
            for path, rs in ranges.items():
                if any(lo <= target < hi for lo, hi in rs):
                    module_members.add(path)
        changed = True
        while changed:
            changed = False
            for definer, users in self.refs.items():
                if definer in ranges and definer not in module_members and users & module_members:
                    module_members.add(definer)
                    changed = True
        self.members = {}
        for out_sec, addr, size, path in library:
            group = library_group(path) if path in module_members else "runtime for the others"
            self.add(group, out_sec, size)
            if path in module_members:
                self.members.setdefault(group, set()).add(short(path))
        return self


# ----------------------------------------------------------------- soft-float

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
    text = run(objdump, "-t", elf)
    names = {line.split()[-1] for line in text.splitlines()
             if re.match(r"^[0-9a-f]{8} ", line)}
    return sorted(n for n in names if SOFT_FLOAT_SYMBOL.match(n))


def reachable(code, root):
    """Functions reachable from root through direct calls and branches, read
    from the disassembly, and those of them that also call through a pointer
    (not followed: the board's PWM listener and software-timer callbacks).
    None if the image has no function root."""
    calls, indirect = {}, set()
    for name, insns in code.items():
        calls[name] = set()
        for _, mnemonic, operands in insns:
            target = target_of(operands) if BRANCH.match(mnemonic) else None
            if target is not None and target != name:
                calls[name].add(target)
            elif mnemonic == "blx" and re.match(r"^r\d", operands):
                indirect.add(name)
    if root not in calls:
        return None, None
    seen, todo = set(), [root]
    while todo:
        f = todo.pop()
        if f not in seen:
            seen.add(f)
            todo.extend(calls.get(f, ()))
    return seen, seen & indirect


# ----------------------------------------------------------------------- main

def main():
    p = argparse.ArgumentParser()
    p.add_argument("--elf", required=True)
    p.add_argument("--map", required=True)
    p.add_argument("--source-dir", required=True, help="the source tree: Light/, System/, ...")
    p.add_argument("--objdump", required=True)
    p.add_argument("--size", default="arm-none-eabi-size")
    p.add_argument("--out")
    p.add_argument("--flash-budget", type=int, default=4608)
    p.add_argument("--ram-budget", type=int, default=200)
    p.add_argument("--check", action="store_true", help="fail over the module's budget")
    p.add_argument("--by-file", action="store_true",
                   help="also the module's code by source file (its line-table bytes)")
    p.add_argument("--no-soft-float-from", metavar="FUNCTION",
                   help="fail if a soft-float routine is reachable from FUNCTION")
    p.add_argument("--no-soft-float-in", metavar="ELF", nargs="+", default=[],
                   help="fail if one of these images links a soft-float routine; images "
                        "named *float* carry a float reference and may")
    a = p.parse_args()
    report = [run(a.size, a.elf).rstrip(), ""]
    att = Attribution(a).run()
    report.append("%-24s %8s %8s" % ("part", "flash B", "RAM B"))
    for g in MODULE_GROUPS[:-1] + ["unattributed"] + OTHER_GROUPS:
        if att.flash.get(g, 0) or att.ram.get(g, 0) or g in ("Light/", "System/"):
            report.append("%-24s %8d %8d" % (g, att.flash.get(g, 0), att.ram.get(g, 0)))
    flash = sum(att.flash.get(g, 0) for g in MODULE_GROUPS)
    ram = sum(att.ram.get(g, 0) for g in MODULE_GROUPS)
    over = ", ".join("%s over by %d B" % (what, used - budget) for what, used, budget in
                     (("flash", flash, a.flash_budget), ("RAM", ram, a.ram_budget))
                     if used > budget)
    report.append("%-24s %8d %8d   (budget %d / %d%s)" % ("module total", flash, ram,
                                                        a.flash_budget, a.ram_budget,
                                                        ": " + over if over else ""))
    for g in ("soft-float (libgcc)", "int helpers (libgcc)", "libc"):
        if g in att.members:
            report.append("  %s: %s" % (g, ", ".join(sorted(att.members[g]))))
    if a.by_file:
        for path in sorted(f for f in att.code_file if att.group_of(f) in ("Light/", "System/")):
            report.append("  code %-34s %6d" % (path, att.code_file[path]))
    failures = []
    if a.no_soft_float_from:
        funcs, indirect = reachable(att.insns, a.no_soft_float_from)
        if funcs is None:
            failures.append("no function %s in %s" % (a.no_soft_float_from, a.elf))
        else:
            float_calls = sorted(f for f in funcs if SOFT_FLOAT.match(f))
            report.append("reachable from %s: %d functions, soft-float: %s; calls through a "
                          "pointer (not followed) in: %s" % (
                              a.no_soft_float_from, len(funcs), ", ".join(float_calls) or "none",
                              ", ".join(sorted(indirect)) or "none"))
            if float_calls:
                failures.append("soft-float reachable from " + a.no_soft_float_from)
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
    if float_images:
        failures.append("soft-float linked in " + ", ".join(float_images))
    if a.check and (flash > a.flash_budget or ram > a.ram_budget):
        failures.append("module over budget")
    text = "\n".join(report) + "\n"
    print(text, end="")
    if a.out:
        open(a.out, "w").write(text)
    for f in failures:
        print("FAIL: " + f)
    if failures:
        sys.exit(1)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Worst-case stack of a Cortex-M0 firmware image, from the compiler's frame
sizes and the image's own call graph.

- Frames: GCC's -fcallgraph-info=su, written at the link (link-time
  optimisation generates the code there): <image>.ltrans0.ltrans.ci. A
  function it does not list (the runtime library's, code built without
  link-time optimisation) gets the frame its prologue sets up (push, sub sp),
  and every function it does list must set up just the frame it gives, so
  the two cannot drift apart.
- Calls: the image's disassembly: bl, and b to another function (a tail
  call, counted as a call). A call through a pointer (blx rN) is resolved by
  what its source line says (the line table, addr2line), with POINTER_CALLS
  below: the functions the program passes to the call that stores the
  pointer (timer_init's callback, a board listener), the functions in a
  table, or every override a virtual call can reach. Every function whose
  address the image takes must be one such target.
- A call through a pointer no rule resolves, recursion, a frame of run-time
  size, or a function with neither a compiler figure nor a prologue this
  script reads fails the check with what it found.

Figures are in bytes. An interrupt adds the hardware's exception frame (8
words) and up to 4 bytes of alignment; the worst case of the chip is thread
mode at its deepest with one interrupt on top (the board serves its
interrupts from TIMER0 alone, so they never nest).
"""
import argparse
import glob
import math
import os
import re
import sys

from elf_image import BRANCH, Elf, base_name, demangle, disassembly, run, target_of

EXCEPTION_FRAME = 8 * 4 + 4

# Calls through a pointer: (what the call's source line says, where the
# pointer's possible values are named).
#   ("argument", F, i): every function named as argument i of a call of F in
#                       the image's sources; F may be a tuple of functions of
#                       which some pass their own parameter i on to another
#                       (its values are those named at their calls)
#   ("object", S):      every function whose address the object S holds
#   ("section", S):     every function whose address section S holds
# A call of a member through an object (x.name( or x->name() whose name is a
# virtual function of the image resolves to every override of that name in
# the image's vtables, without a rule.
POINTER_CALLS = [
    # the software timers' callbacks, bound directly or by the module's helper
    (r"\bcallback\(", ("argument", ("timer_init", "_light_ctrl_timer_arm"), 1)),
    (r"\bpwm_listener\(", ("argument", "board_pwm_set_listener", 0)),
    (r"\btim14_listener\(", ("argument", "board_timer14_set_listener", 0)),
    (r"\btimers_listener\(", ("argument", "board_timers_set_listener", 0)),
    (r"\bcall_fn\(", ("argument", "board_call_at", 1)),
    (r"\(\*ctor\)\(", ("section", ".init_array")),  # static constructors, at start-up
    (r"\bCALL\(", ("argument", "CALL", 0)),  # tests/firmware/size_main.cpp
    (r"\bsink_\(", ("argument", "writer", 0)),  # lampsim's player: the stream's sink
    (r"\.run\(", ("object", "command_table")),  # lampsim's player: its commands
]


class Failure(Exception):
    pass


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


DECLARATION = re.compile(r"^(const\s+)?[\w:]+(<[^>]*>)?[\s*&]+[A-Za-z_]\w*$|\(\s*\*")


def call_arguments(text, name):
    """[(line, [argument])] of every call of `name` in the text: a function's
    declaration or definition (every argument a parameter: `void *ctx`) and
    a macro's definition are left out."""
    out = []
    for m in re.finditer(r"(?<![\w.>])" + re.escape(name) + r"\s*\(", text):
        line_start = text.rfind("\n", 0, m.start()) + 1
        if text[line_start:m.start()].lstrip().startswith("#"):
            continue
        depth, args, start, i = 1, [], m.end(), m.end()
        while i < len(text) and depth > 0:
            c = text[i]
            if c in "([{":
                depth += 1
            elif c in ")]}":
                depth -= 1
            elif c == "," and depth == 1:
                args.append(text[start:i].strip())
                start = i + 1
            i += 1
        args.append(text[start:i - 1].strip())
        if all(DECLARATION.search(arg) or arg in ("", "void") for arg in args):
            continue
        out.append((text.count("\n", 0, m.start()) + 1, args))
    return out


class Image:
    def __init__(self, elf, objdump, source_dir, ci_files):
        self.path = elf
        self.elf = Elf(elf)
        self.source_dir = os.path.realpath(source_dir)
        tools = objdump[:-len("objdump")]
        self.addr2line, self.cxxfilt = tools + "addr2line", tools + "c++filt"
        self.code = disassembly(objdump, elf)
        funcs = {n: (v & ~1, s) for n, v, s, t in self.elf.symbols if t == 2 and s}
        self.start = {n: a for n, (a, _) in funcs.items() if n in self.code}
        self.by_address = {a: n for n, a in self.start.items()}
        names = demangle(self.cxxfilt, [n for n, _, _, _ in self.elf.symbols])
        self.base = {n: base_name(d) for n, d in names.items() if n in self.start}
        self.objects = {base_name(names[n]): (v, s) for n, v, s, t in self.elf.symbols
                        if t == 1 and s}
        self.frames = self.read_ci(ci_files)
        self.sources = sorted({f for f in re.findall(r"^(/\S+):$", run(
            objdump, "--dwarf=decodedline", elf), re.M) if f.startswith(self.source_dir)
            and os.path.exists(f)})
        self.texts = {f: strip_comments(open(f, errors="replace").read()) for f in self.sources}
        self.vtables = self.read_vtables()
        self.graph = {}
        self.unresolved = []
        self.taken = self.addresses_taken()
        self.claimed = set()
        self.build_graph()

    # ------------------------------------------------------------- frames

    def read_ci(self, ci_files):
        frames = {}
        for path in ci_files:
            for m in re.finditer(r'node: \{ title: "(?:[^"]*\.o:)?([^"]+)" label: "[^"]*\\n(\d+) '
                                 r'bytes \((\w+(?:,\w+)*)\)"', open(path).read()):
                frames[m.group(1)] = (int(m.group(2)), m.group(3))
        if not frames:
            raise Failure("no frame sizes in %s: link the image with -fcallgraph-info=su"
                          % (", ".join(ci_files) or "<no .ci file beside the image>"))
        return frames

    def prologue(self, name):
        """Bytes the function's own code takes off the stack, or None if some
        instruction sets the stack pointer in a way this does not read."""
        total = 0
        for _, mnemonic, operands in self.code[name]:
            if mnemonic == "push":
                total += 4 * len(operands.strip("{}").split(","))
            elif mnemonic == "sub" and re.match(r"^sp, #\d+", operands):
                total += int(re.match(r"^sp, #(\d+)", operands).group(1))
            elif re.match(r"^sp\b", operands) and not (
                    mnemonic == "add" and re.match(r"^sp, #\d+", operands)):
                return None  # the epilogue's add sp, #N is the only other move read
        return total

    def frame(self, name):
        own = self.prologue(name)
        if name in self.frames:
            size, kind = self.frames[name]
            if kind != "static":
                raise Failure("%s: a frame of run-time size (%s)" % (name, kind))
            if own is not None and own != size:
                raise Failure("%s: the compiler gives a frame of %d bytes, its code sets up %d; "
                              "is %s from this link?" % (name, size, own, "the .ci file"))
            return size, "compiler"
        if own is None:
            raise Failure("%s: no compiler figure, and its code moves the stack pointer in a "
                          "way this script does not read" % name)
        return own, "code"

    # --------------------------------------------------------- pointers

    def function_at(self, word):
        return self.by_address.get(word & ~1) if word & 1 else None

    def read_vtables(self):
        """{method name: set of functions} over every vtable of the image."""
        out = {}
        for n, v, s, t in self.elf.symbols:
            if n.startswith("_ZTV") and s:
                for w in self.elf.words(v, s):
                    f = self.function_at(w)
                    if f:
                        out.setdefault(self.base[f], set()).add(f)
        return out

    def addresses_taken(self):
        """{function: where} for every function whose address is a word of the
        image's data or of a literal pool, the vector table left out."""
        marks = sorted((v, n.startswith("$d")) for n, v, _, _ in self.elf.symbols
                       if re.match(r"^\$[dt](\.|$)", n))
        taken = {}
        for name, kind, flags, start, offset, size, _ in self.elf.sections:
            if not flags & 2 or kind == 8 or name == ".isr_vector" or size < 4:
                continue
            words = self.elf.words(start, size - size % 4)
            for i, w in enumerate(words):
                addr = start + 4 * i
                if flags & 4:  # code: only its data (literal pools)
                    before = [m for m in marks if m[0] <= addr]
                    if not before or not before[-1][1]:
                        continue
                f = self.function_at(w)
                if f:
                    taken.setdefault(f, "%s+0x%x" % (name, addr - start))
        return taken

    def named(self, name, where):
        """The functions an argument names: of the image's functions by that
        name, those whose address the image takes (a pointer can hold no
        other); none for a null pointer."""
        if name in ("nullptr", "NULL", "0"):
            return set()
        name = name.lstrip("&").split("::")[-1]
        found = {f for f, b in self.base.items() if b == name}
        if not found:
            raise Failure("%s passes `%s`, which names no function of the image: the script "
                          "cannot tell what it points to" % (where, name))
        return found & set(self.taken)

    def parameters(self, function, index):
        """The names of parameter `index` in the definitions of `function` in
        the image's sources."""
        out = set()
        for text in self.texts.values():
            for m in re.finditer(r"(?<![\w.>])" + re.escape(function) + r"\s*\(([^()]*(?:\([^()]*\)"
                                 r"[^()]*)*)\)\s*\{", text):
                params = [p.strip() for p in re.split(r",(?![^(]*\))", m.group(1))]
                if index < len(params):
                    name = re.search(r"(\w+)\s*(\)\s*\(.*\))?$", params[index])
                    inner = re.search(r"\(\s*\*\s*(\w+)\s*\)", params[index])
                    out.add(inner.group(1) if inner else name.group(1) if name else "")
        return out

    def targets(self, rule):
        kind = rule[0]
        if kind == "argument":
            _, callees, index = rule
            callees = callees if isinstance(callees, tuple) else (callees,)
            passed_on = {p for c in callees for p in self.parameters(c, index)}
            out = set()
            for callee in callees:
                for f, text in self.texts.items():
                    for line, args in call_arguments(text, callee):
                        if index < len(args) and args[index] not in passed_on:
                            where = "%s(...) at %s:%d" % (callee, os.path.relpath(
                                f, self.source_dir), line)
                            out |= self.named(args[index], where)
            return out
        if kind == "object":
            if rule[1] not in self.objects:
                return set()
            v, s = self.objects[rule[1]]
            return {f for f in map(self.function_at, self.elf.words(v, s)) if f}
        if kind == "section":
            sec = self.elf.section(rule[1])
            if sec is None:
                return set()
            return {f for f in map(self.function_at, self.elf.words(sec[3], sec[5])) if f}
        raise ValueError(rule)

    def site(self, address):
        """(file, line, [the line, the line with the two before it]) of the
        source the instruction comes from."""
        out = run(self.addr2line, "-e", self.path, "0x%x" % address).strip()
        m = re.match(r"^(.*):(\d+)", out)
        if not m or not os.path.exists(m.group(1)):
            return out, 0, []
        lines = strip_comments(open(m.group(1), errors="replace").read()).splitlines()
        n = int(m.group(2))
        return m.group(1), n, [lines[n - 1], " ".join(lines[max(0, n - 3):n])]

    def resolve(self, name, address):
        """The functions a call through a pointer may reach: by the rule its
        line (or, for a call written over lines, the lines before) matches."""
        path, line, texts = self.site(address)
        where = "%s:%d" % (os.path.relpath(path, self.source_dir), line)
        for text in texts:
            for pattern, rule in POINTER_CALLS:
                if re.search(pattern, text):
                    found = self.targets(rule)
                    self.claimed |= found
                    return found, where
            methods = [m for m in re.findall(r"(?:\.|->)\s*(\w+)\s*\(", text)
                       if m in self.vtables]
            if methods:
                found = set().union(*(self.vtables[m] for m in methods))
                self.claimed |= found
                return found, where
        self.unresolved.append("%s calls through a pointer at %s (`%s`): no rule in "
                               "POINTER_CALLS of tests/firmware/stack_usage.py says what it "
                               "calls" % (name, where, texts[0].strip() if texts else "?"))
        return set(), where

    # ------------------------------------------------------------ graph

    def build_graph(self):
        ranges = sorted((a, n) for n, a in self.start.items())
        for name, insns in self.code.items():
            callees = {}
            for addr, mnemonic, operands in insns:
                if mnemonic in ("blx", "bx") and re.match(r"^(r\d+|ip)$", operands):
                    found, where = self.resolve(name, addr)
                    for t in found:
                        callees.setdefault(t, "through a pointer at " + where)
                elif BRANCH.match(mnemonic):
                    # A branch back to the function's own start is a loop; a
                    # call of it is recursion.
                    t = target_of(operands)
                    if t is not None and t in self.code and (t != name or mnemonic == "bl"):
                        callees.setdefault(t, "direct")
            self.graph[name] = callees
        for vt in self.vtables.values():
            self.claimed |= vt
        for _, rule in POINTER_CALLS:
            if rule[0] == "section":
                self.claimed |= self.targets(rule)

    def check_claims(self):
        loose = sorted(set(self.taken) - self.claimed)
        return ["the image takes the address of %s (%s), but no call through a pointer is "
                "known to reach it: add the rule that does to POINTER_CALLS of "
                "tests/firmware/stack_usage.py" % (f, self.taken[f]) for f in loose]

    def depth(self, root):
        """(worst bytes, the path that takes them) from root down."""
        memo = {}

        def walk(f, stack):
            if f in stack:
                cycle = stack[stack.index(f):] + [f]
                raise Failure("recursion: " + " -> ".join(self.base.get(c, c) for c in cycle))
            if f in memo:
                return memo[f]
            own, _ = self.frame(f)
            best, path = 0, []
            for callee in sorted(self.graph.get(f, {})):
                d, p = walk(callee, stack + [f])
                if d > best:
                    best, path = d, p
            memo[f] = (own + best, [f] + path)
            return memo[f]
        return walk(root, [])

    def vector(self):
        """[(name, index)] of the vector table's handlers, reset first."""
        sec = self.elf.section(".isr_vector")
        words = self.elf.words(sec[3], sec[5])
        out = []
        for i, w in enumerate(words[1:], 1):
            f = self.function_at(w)
            if f and f not in [n for n, _ in out]:
                out.append((f, i))
        return out


def operations(header):
    """The functions a public header declares."""
    text = strip_comments(open(header).read())
    return re.findall(r"^\s*\w[\w\s\*]*?\b(\w+)\s*\([^;{]*\)\s*;", text, re.M)


def analyse(a):
    ci = a.ci or sorted(glob.glob(a.elf + ".ltrans*.ci")) or sorted(glob.glob(a.elf + "*.ci"))
    image = Image(a.elf, a.objdump, a.source_dir, ci)
    problems = image.unresolved + image.check_claims()
    vector = image.vector()
    reset = vector[0][0]
    interrupts = [n for n, i in vector[1:]]
    rows = []  # (name, kind, worst, path)

    def add(name, kind, extra=0):
        if name not in image.code:
            problems.append("%s is not a function of its own in %s (inlined?): call it through "
                            "CALL() in tests/firmware/size_main.cpp" % (name, a.elf))
            return
        worst, path = image.depth(name)
        rows.append((name, kind, worst + extra, path))

    try:
        for op in a.operations and operations(a.operations) or []:
            add(op, "operation")
        for name in a.root:
            add(name, "store")
        if a.operations:
            callbacks = image.targets(POINTER_CALLS[0][1])
            for name in sorted(callbacks):
                add(name, "timer callback")
        for name in interrupts:
            add(name, "interrupt", EXCEPTION_FRAME)
        add(reset, "thread mode")
        thread = [r for r in rows if r[1] == "thread mode"]
        irq = [r for r in rows if r[1] == "interrupt"]
        if thread and irq:
            top = max(irq, key=lambda r: r[2])
            rows.append(("thread+interrupt", "worst case", thread[0][2] + top[2],
                         thread[0][3] + ["+ " + top[0]]))
    except Failure as e:
        problems.append(str(e))
    return image, rows, problems


BUDGET_HEAD = """
# Stack budgets of the lamp firmware's entries, in bytes: the stack test
# (ctest --preset m0 -R stack) fails when an entry of firmware_stack.elf needs
# more. Each is the measured figure plus about 10 %, rounded up to the next
# multiple of 8 (so a function that needs nothing may take one push). Written by
#   cmake --build --preset m0 --target stack_budget
# (tests/firmware/stack_usage.py --write-budget); review the change before
# committing it. An entry the image no longer has, or one without a line,
# fails the test too.
"""


def read_budget(path):
    budget = {}
    for line in open(path):
        line = line.split("#", 1)[0].split()
        if len(line) == 2:
            budget[line[0]] = int(line[1])
    return budget


def table(image, rows, budget):
    out = ["| entry | kind | own frame B | worst B | budget B | deepest path |",
           "|---|---|---:|---:|---:|---|"]
    for name, kind, worst, path in rows:
        own = image.frame(name)[0] if name in image.code else ""
        out.append("| `%s` | %s | %s | %d | %s | %s |" % (
            name, kind, own, worst, budget.get(name, "-"),
            " > ".join(image.base.get(p, p) for p in path)))
    return "\n".join(out)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--elf", required=True)
    p.add_argument("--objdump", required=True)
    p.add_argument("--source-dir", required=True)
    p.add_argument("--ci", nargs="*", help="-fcallgraph-info files (default: beside the image)")
    p.add_argument("--operations", help="public header whose functions are each an entry")
    p.add_argument("--root", action="append", default=[], help="another entry")
    p.add_argument("--budget", help="budget file: fail when a figure exceeds its budget")
    p.add_argument("--write-budget", action="store_true",
                   help="print a budget file from this measurement, 10 %% over, rounded up to 8")
    p.add_argument("--out", help="also write the table here")
    a = p.parse_args()
    image, rows, problems = analyse(a)
    budget = read_budget(a.budget) if a.budget and not a.write_budget else {}
    if a.write_budget:
        for problem in problems:
            print("FAIL: " + problem, file=sys.stderr)
        print(BUDGET_HEAD.strip())
        for name, _, worst, _ in rows:
            print("%-44s %5d   # %d measured" % (name, (math.floor(worst * 1.1 / 8) + 1) * 8, worst))
        return 1 if problems else 0
    text = table(image, rows, budget)
    print(text)
    compiler = sum(1 for f in image.graph if f in image.frames)
    print("frames: %d functions from the compiler's figures, %d from their code; "
          "%d calls through pointers resolved" % (
              compiler, len(image.graph) - compiler,
              sum(1 for c in image.graph.values() for k in c.values() if k != "direct")))
    if a.out:
        open(a.out, "w").write(text + "\n")
    if a.budget and not problems:
        names = {r[0] for r in rows}
        for name, _, worst, _ in rows:
            if name not in budget:
                problems.append("%s has no budget in %s: add a line `%s <bytes>`" % (
                    name, a.budget, name))
            elif worst > budget[name]:
                problems.append("%s needs %d bytes of stack, over its budget of %d in %s" % (
                    name, worst, budget[name], a.budget))
        for name in sorted(set(budget) - names):
            problems.append("%s in %s is no entry of the image any more: remove or rename the "
                            "line" % (name, a.budget))
    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as e:
        print("FAIL: " + str(e))
        sys.exit(1)

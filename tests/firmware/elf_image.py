"""Reading a Cortex-M0 firmware image: its symbols, sections, line table and
disassembly. Shared by the size test (size_report.py) and the stack test
(stack_usage.py)."""
import re
import struct
import subprocess


def run(tool, *args):
    return subprocess.run([tool, *args], check=True, stdout=subprocess.PIPE, text=True,
                          errors="replace").stdout


def line_table(objdump, elf):
    """Sorted address ranges [(start, end, file)] of the decoded line table."""
    ranges = []
    current = None
    prev = None  # (address, file) of the row before, within a sequence
    for line in run(objdump, "--dwarf=decodedline", elf).splitlines():
        m = re.match(r"^(\S+)\s+(\d+|-)\s+(0x[0-9a-f]+)\b", line)
        if m and current is not None:
            addr = int(m.group(3), 16)
            if prev is not None and addr > prev[0]:
                ranges.append((prev[0], addr, prev[1]))
            prev = None if m.group(2) == "-" else (addr, current)
            continue
        m = re.match(r"^(\S.*):$", line)
        if m and not line.startswith("Contents of"):
            current = m.group(1)
    ranges.sort()
    return ranges


class Elf:
    """The sections and symbols of a 32-bit little-endian ELF file."""

    def __init__(self, path):
        self.data = open(path, "rb").read()
        d = self.data
        e_shoff, = struct.unpack_from("<I", d, 0x20)
        e_shentsize, e_shnum, e_shstrndx = struct.unpack_from("<HHH", d, 0x2E)
        raw = [struct.unpack_from("<IIIIIIIIII", d, e_shoff + i * e_shentsize)
               for i in range(e_shnum)]
        names = raw[e_shstrndx][4]
        # name, type, flags, address, offset, size, link
        self.sections = [(self._string(names, s[0]), s[1], s[2], s[3], s[4], s[5], s[6])
                         for s in raw]
        self.symbols = []  # (name, value, size, type)
        for sec in self.sections:
            if sec[1] != 2:  # SHT_SYMTAB
                continue
            strtab = self.sections[sec[6]][4]
            for off in range(sec[4], sec[4] + sec[5], 16):
                name, value, size, info = struct.unpack_from("<IIIB", d, off)
                self.symbols.append((self._string(strtab, name), value, size, info & 0xF))

    def _string(self, table, offset):
        end = self.data.index(b"\0", table + offset)
        return self.data[table + offset:end].decode()

    def section(self, name):
        for s in self.sections:
            if s[0] == name:
                return s
        return None

    def words(self, addr, size):
        """The 32-bit words of the image's contents at [addr, addr + size), from
        whichever allocated section holds them (none for .bss)."""
        for name, kind, flags, start, offset, length, _ in self.sections:
            if flags & 2 and kind != 8 and start <= addr and addr + size <= start + length:
                at = offset + addr - start
                return list(struct.unpack_from("<%dI" % (size // 4), self.data, at))
        return []


def elf_symbols(elf):
    """[(name, value, size, type)] of the symbol table, mapping symbols included."""
    return Elf(elf).symbols


INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+(\S+)\s*(.*?)\s*$")


def disassembly(objdump, elf):
    """{function: [(address, mnemonic, operands)]} of the code sections, data
    in them (literal pools, .word) left out."""
    out, current = {}, None
    for line in run(objdump, "-d", "--no-show-raw-insn", elf).splitlines():
        m = re.match(r"^[0-9a-f]+ <([^>]+)>:$", line)
        if m:
            current = m.group(1)
            out[current] = []
            continue
        m = INSTRUCTION.match(line)
        if m and current is not None and not m.group(2).startswith("."):
            out[current].append((int(m.group(1), 16), m.group(2), m.group(3)))
    return out


def target_of(operands):
    """The symbol a direct branch or call goes to: 'bl 1a2 <foo>' -> 'foo',
    None for one inside a function ('<foo+0x12>')."""
    m = re.match(r"^[0-9a-f]+ <([^>+]+)>", operands)
    return m.group(1) if m else None


BRANCH = re.compile(r"^(bl|b|b\.n|b\.w|b[a-z]{2}(\.n|\.w)?)$")


def demangle(cxxfilt, names):
    """{symbol: demangled} for C++ symbols; C names map to themselves."""
    names = sorted(set(names))
    mangled = [n for n in names if n.startswith("_Z")]
    out = {n: n for n in names}
    if mangled:
        text = subprocess.run([cxxfilt], input="\n".join(mangled) + "\n", check=True,
                              stdout=subprocess.PIPE, text=True).stdout.splitlines()
        out.update(zip(mangled, text))
    return out


def base_name(demangled):
    """The function's own name: 'ns::cls::read_step(unsigned long, step&)' and
    'read_step.part.0' -> 'read_step'."""
    demangled = demangled.replace("(anonymous namespace)", "anonymous")
    depth, cut = 0, len(demangled)
    for i, c in enumerate(demangled):
        if c in "(<":
            if depth == 0 and c == "(":
                cut = i
                break
            depth += 1
        elif c in ")>":
            depth -= 1
    name = demangled[:cut].split("::")[-1].strip()
    return name.split(".")[0]

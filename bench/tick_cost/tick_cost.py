#!/usr/bin/python3
"""Cost of one fade tick on the Cortex-M0, measured on the built code.

Runs each image given in unicorn's Cortex-M0 instruction-set simulator, tick by
tick from the start of a fade until the tick that stops timer 14, counts every
executed instruction and estimates cycles with the Cortex-M0 timing model
below. The start of the fade (bench_start: light_ctrl_process in case (a),
_light_ctrl_gradually_start in the others, with the work the fade engine does
there) is counted on its own. Two kinds of image:

- a bench image (tick_bench_*.elf): the module on a board of stubs. Each tick
  is one call of light_ctrl_gradually_timer_handler.
- the board image (a name with "board"): the module on the real board, the
  firmware as it is linked for the chip. Each tick is one TIMER0 interrupt
  (TIMER0_IRQHandler: the board's dispatcher, the tick, the board's PWM
  driver), with TIMER0's counter, compares and interrupt enables modelled; the
  millisecond boundaries between ticks (TIMER0's compare 1) are served through
  the same handler and not counted. A boundary on the very microsecond of a
  tick is served by the tick's interrupt, as on the chip (once in 1000 ticks
  at 277 us).

Every image must write the same outputs: after every tick the channel values
(light_ctrl_handle.current_val) of each case are compared between the images,
and a difference fails the run.

Timing model (Cortex-M0, zero-wait-state memory and peripherals, single-cycle
multiplier):
  data processing, MULS, CPS 1; LDR/STR (any form) 2; LDM/STM 1+N;
  PUSH 1+N; POP 1+N, POP with PC 4+N (N = registers besides PC);
  conditional branch 1 not taken, 3 taken; B, BX, BLX, ADD/MOV to PC 3;
  BL 4; MRS, MSR, DMB/DSB/ISB 4.
Flash wait states (the lamp's part needs some at 48 and 72 MHz) and the
interrupt entry and exit (16 + 16 cycles on the M0) come on top.

For the board image a second line per case gives its interrupts at the
nRF51's 16 MHz, entry and exit added, against the board's shortest tick
period (BOARD_TIM14_MIN_PERIOD_US): the worst tick served on its own (every
period), the first tick (once a fade), a tick on a millisecond boundary (its
interrupt serves the millisecond too, once a millisecond at most) and the
millisecond's interrupt alone. An image whose board had a SysTick (before
TIMER0's compare 1 took the milliseconds) gets its boundaries through
SysTick_Handler. A last line gives the millisecond interrupt on which a
blink toggles and so starts its fade, plan and scale included (bench_blink,
where the image has it).

Usage: tick_cost.py [--period-us N] [--fade W0,M0,W1,M1[,cw]] IMAGE.elf [IMAGE.elf ...]
  --period-us N: the board's shortest period for the 16 MHz line (default:
  BOARD_TIM14_MIN_PERIOD_US of this tree's Boards/microbit/board_microbit.h)
  --fade: instead of the four cases, one fade from the outputs (W0, M0) to
  (W1, M1), in brightness/temperature mode, or cold/warm mixing with ",cw"
  (case (d)'s start with these values written over its own)
"""
import os
import re
import struct
import sys

from unicorn import (Uc, UC_ARCH_ARM, UC_MODE_THUMB, UC_MODE_MCLASS, UC_HOOK_CODE,
                     UC_HOOK_MEM_WRITE)
from unicorn.arm_const import (UC_ARM_REG_LR, UC_ARM_REG_R0, UC_ARM_REG_SP,
                               UC_CPU_ARM_CORTEX_M0)

CASES = [
    ("(a) switch-on, brightness/temperature, (0,9000)->(18000,9000)", 0),
    ("(b) cold/warm (0,0)->(2700,6300)", 1),
    ("(c) cold/warm opposite (2700,6300)->(6300,2700)", 2),
    ("(d) brightness/temperature (0,0)->(9000,5400)", 3),
]
BUDGETS = [("22us@48MHz", 1056), ("22us@72MHz", 1584),
           ("277us@48MHz", 13296), ("277us@72MHz", 19944)]
FLASH, FLASH_SIZE = 0x00000000, 256 * 1024
RAM, RAM_SIZE = 0x20000000, 16 * 1024
PERIPH, PERIPH_SIZE = 0x40000000, 0x20000
PPB, PPB_SIZE = 0xE000E000, 0x1000  # NVIC, SCB
RETURN = 0x0003FF00  # a return address inside flash that no code uses
ENTRY_EXIT = 32  # cycles of a Cortex-M0 interrupt's entry and exit
CHIP_HZ = 16000000  # the nRF51's core clock
COND_BRANCH = "cond"

# nRF51 TIMER0, as Boards/microbit/nrf51.h uses it.
TIMER0 = 0x40008000
TASKS_CAPTURE2 = TIMER0 + 0x048
EVENTS_COMPARE0 = TIMER0 + 0x140
EVENTS_COMPARE1 = TIMER0 + 0x144
INTENSET = TIMER0 + 0x304
INTENCLR = TIMER0 + 0x308
CC0 = TIMER0 + 0x540
CC2 = TIMER0 + 0x548
INT_COMPARE0 = 1 << 16


def read_elf(path):
    data = open(path, "rb").read()
    assert data[:4] == b"\x7fELF" and data[4] == 1, "32-bit ELF expected"
    (e_phoff, e_shoff) = struct.unpack_from("<II", data, 0x1C)
    (e_phentsize, e_phnum, e_shentsize, e_shnum) = struct.unpack_from("<HHHH", data, 0x2A)
    segments = []
    for i in range(e_phnum):
        p_type, p_off, p_vaddr, _, p_filesz, p_memsz = struct.unpack_from(
            "<IIIIII", data, e_phoff + i * e_phentsize)
        if p_type == 1 and p_filesz:
            segments.append((p_vaddr, data[p_off:p_off + p_filesz]))
    sections = [struct.unpack_from("<IIIIIIIIII", data, e_shoff + i * e_shentsize)
                for i in range(e_shnum)]
    symbols = {}
    for sh in sections:
        if sh[1] == 2:  # SHT_SYMTAB
            strtab = sections[sh[6]]
            for off in range(sh[4], sh[4] + sh[5], 16):
                name, value = struct.unpack_from("<II", data, off)
                end = data.index(b"\0", strtab[4] + name)
                symbols[data[strtab[4] + name:end].decode()] = value
    return segments, symbols


def cost_of(code, nxt):
    """(cycles, kind) of the Thumb instruction with halfwords code, nxt."""
    if code & 0xF800 in (0xF000,) and nxt & 0xD000 == 0xD000:
        return 4, "bl"
    if code & 0xF800 in (0xE800, 0xF000, 0xF800):
        return 4, "sys"  # MRS, MSR, barriers
    if code & 0xFE00 == 0xB400:  # PUSH
        return 1 + bin(code & 0x1FF).count("1"), None
    if code & 0xFE00 == 0xBC00:  # POP
        n = bin(code & 0xFF).count("1")
        return (4 + n, "ret") if code & 0x100 else (1 + n, None)
    if code & 0xF000 == 0xC000:  # LDM/STM
        return 1 + bin(code & 0xFF).count("1"), None
    if code & 0xF800 == 0x4800 or 0x5000 <= code <= 0x9FFF:  # loads, stores
        return 2, None
    if code & 0xF000 == 0xD000 and code & 0x0F00 not in (0x0E00, 0x0F00):
        return 1, COND_BRANCH
    if code & 0xF800 == 0xE000 or code & 0xFF00 == 0x4700:  # B, BX, BLX
        return 3, "jump"
    if code & 0xFC00 == 0x4400 and code & 0x0300 != 0x0100 and (code & 0x87) == 0x87:
        return 3, "jump"  # ADD/MOV with PC as destination
    return 1, None


class Cpu:
    def __init__(self, path):
        segments, self.symbols = read_elf(path)
        self.uc = Uc(UC_ARCH_ARM, UC_MODE_THUMB | UC_MODE_MCLASS)
        self.uc.ctl_set_cpu_model(UC_CPU_ARM_CORTEX_M0)
        for base, size in ((FLASH, FLASH_SIZE), (RAM, RAM_SIZE), (PERIPH, PERIPH_SIZE),
                           (PPB, PPB_SIZE)):
            self.uc.mem_map(base, size)
        for addr, blob in segments:
            self.uc.mem_write(addr, blob)
        self.decoded = {}
        self.counting = False
        self.counter_us = 0  # TIMER0's free-running microsecond counter
        self.inten = 0
        self.uc.hook_add(UC_HOOK_CODE, self._on_instruction)
        self.uc.hook_add(UC_HOOK_MEM_WRITE, self._on_timer_write, begin=TIMER0,
                         end=TIMER0 + 0xFFF)

    def _on_instruction(self, uc, address, size, _):
        if not self.counting:
            return
        if self.pending_branch is not None and address != self.pending_branch:
            self.cycles += 2  # the branch was taken
        self.pending_branch = None
        entry = self.decoded.get(address)
        if entry is None:
            code, nxt = struct.unpack("<HH", uc.mem_read(address, 4))
            entry = cost_of(code, nxt)
            self.decoded[address] = entry
        self.instructions += 1
        self.cycles += entry[0]
        if entry[1] == COND_BRANCH:
            self.pending_branch = address + 2

    def _on_timer_write(self, uc, access, address, size, value, _):
        if address == TASKS_CAPTURE2 and value:
            uc.mem_write(CC2, struct.pack("<I", self.counter_us & 0xFFFFFFFF))
        elif address == INTENSET:
            self.inten |= value
        elif address == INTENCLR:
            self.inten &= ~value

    def call(self, name, arg=0, count=False):
        self.uc.reg_write(UC_ARM_REG_SP, RAM + RAM_SIZE)
        self.uc.reg_write(UC_ARM_REG_LR, RETURN | 1)
        self.uc.reg_write(UC_ARM_REG_R0, arg)
        self.instructions = self.cycles = 0
        self.pending_branch = None
        self.counting = count
        self.uc.emu_start(self.symbols[name] | 1, RETURN)
        self.counting = False
        return self.instructions, self.cycles

    def word(self, addr):
        return struct.unpack("<I", self.uc.mem_read(addr, 4))[0]

    def outputs(self):
        """light_ctrl_handle.current_val: (white, warm)."""
        return struct.unpack("<HH", self.uc.mem_read(self.symbols["light_ctrl_handle"] + 4, 4))


FADE = []  # --fade: (white, warm) from, (white, warm) to, cold/warm mixing


def setup(cpu, case):
    """bench_setup, then --fade's values over case (d)'s."""
    cpu.call("bench_setup", case)
    if FADE:
        (w0, m0, w1, m1), cw = FADE[0]
        cpu.uc.mem_write(cpu.symbols["light_ctrl_handle"], struct.pack("<HHHH", w1, m1, w0, m0))
        cpu.uc.mem_write(cpu.symbols["light_cfg_data"] + 1, bytes([0 if cw else 1]))


def bench_ticks(cpu, case):
    setup(cpu, case)
    cpu.start = cpu.call("bench_start", case, count=True)
    ticks, outputs = [], []
    while cpu.word(cpu.symbols["bench_timer14_running"]):
        ticks.append(cpu.call("light_ctrl_gradually_timer_handler", count=True))
        outputs.append(cpu.outputs())
        if len(ticks) > 100000:
            raise RuntimeError("fade does not end")
    return ticks, outputs


def board_ticks(cpu, case):
    """The ticks as for a bench image; in cpu.shared the indices of the ticks
    whose interrupt also served a millisecond boundary, in cpu.ms the
    millisecond interrupts between ticks (instructions, cycles)."""
    setup(cpu, case)
    cpu.start = cpu.call("bench_start", case, count=True)
    ms_served = 0
    ticks, outputs = [], []
    cpu.shared, cpu.ms = set(), []
    while cpu.inten & INT_COMPARE0:
        due = cpu.word(CC0)
        boundary = (ms_served + 1) * 1000
        if boundary < due:
            cpu.counter_us = boundary
            if "SysTick_Handler" in cpu.symbols:
                cpu.ms.append(cpu.call("SysTick_Handler", count=True))
            else:
                cpu.uc.mem_write(EVENTS_COMPARE1, struct.pack("<I", 1))
                cpu.ms.append(cpu.call("TIMER0_IRQHandler", count=True))
            ms_served += 1
            continue
        if boundary == due:
            ms_served += 1  # served first, by the tick's interrupt
            cpu.uc.mem_write(EVENTS_COMPARE1, struct.pack("<I", 1))
            cpu.shared.add(len(ticks))
        cpu.counter_us = due
        cpu.uc.mem_write(EVENTS_COMPARE0, struct.pack("<I", 1))
        ticks.append(cpu.call("TIMER0_IRQHandler", count=True))
        outputs.append(cpu.outputs())
        if len(ticks) > 100000:
            raise RuntimeError("fade does not end")
    return ticks, outputs


PERIOD_US = []  # --period-us


def shortest_period_us():
    """--period-us, else BOARD_TIM14_MIN_PERIOD_US of the board's header."""
    if PERIOD_US:
        return PERIOD_US[0]
    header = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "Boards",
                          "microbit", "board_microbit.h")
    m = re.search(r"#define BOARD_TIM14_MIN_PERIOD_US (\d+)u", open(header).read())
    return int(m.group(1))


def at_chip_pace(cpu, ticks):
    """The board's interrupts at 16 MHz, entry and exit added, against its
    shortest period."""
    period = shortest_period_us() * CHIP_HZ // 1000000
    alone = [t[1] for i, t in enumerate(ticks) if i > 0 and i not in cpu.shared]
    shared = [t[1] for i, t in enumerate(ticks) if i in cpu.shared]

    def share(c):
        return "%d = %.0f%%" % (c + ENTRY_EXIT, 100.0 * (c + ENTRY_EXIT) / period)
    text = "at 16 MHz with entry and exit, of %d us (%d cycles): a tick alone at most %s" % (
        shortest_period_us(), period, share(max(alone)))
    text += ", the first %s" % share(ticks[0][1])
    if shared:
        text += ", on a millisecond boundary at most %s" % share(max(shared))
    if cpu.ms:
        text += ", the millisecond alone at most %s" % share(max(t[1] for t in cpu.ms))
    return text


def blink_toggle(path):
    """The millisecond interrupt on which a blink's toggle starts its fade, its
    plan included (bench_blink: case (b)'s fade from inside the interrupt):
    (instructions, cycles) without entry and exit, or None for an image
    without bench_blink."""
    cpu = Cpu(path)
    if "bench_blink" not in cpu.symbols:
        return None
    cpu.call("bench_setup", 1)
    cpu.call("bench_blink")
    for ms in range(1, 2001):
        cpu.counter_us = ms * 1000
        if "SysTick_Handler" in cpu.symbols:
            cost = cpu.call("SysTick_Handler", count=True)
        else:
            cpu.uc.mem_write(EVENTS_COMPARE1, struct.pack("<I", 1))
            cost = cpu.call("TIMER0_IRQHandler", count=True)
        if cpu.inten & INT_COMPARE0:
            return cost
    raise RuntimeError("the blink does not toggle")


def label_of(path):
    name = path.rsplit("/", 1)[-1]
    return "float" if "float" in name else "board" if "board" in name else "current"


def main(paths):
    header = "%-7s %-58s %6s %16s %16s %16s %16s  %s" % (
        "image", "case", "ticks", "start instr/cyc", "first instr/cyc", "mean instr/cyc",
        "max instr/cyc",
        "max cycles as share of " + ", ".join(b[0] for b in BUDGETS) + " (first tick in brackets)")
    print(header)
    written = {}  # case -> (label, outputs of every tick) of the first image
    differ = []
    for path in paths:
        label = label_of(path)
        run = board_ticks if label == "board" else bench_ticks
        later = []  # the ticks after the first of cases (a) and (b)
        cases = CASES
        if FADE:
            (w0, m0, w1, m1), cw = FADE[0]
            cases = [("(%d,%d)->(%d,%d)%s" % (w0, m0, w1, m1, ", cold/warm" if cw else ""), 3)]
        for name, case in cases:
            cpu = Cpu(path)
            ticks, outputs = run(cpu, case)
            if case not in written:
                written[case] = (label, outputs)
            elif written[case][1] != outputs:
                differ.append("%s %s (against %s)" % (label, name, written[case][0]))
            rest = ticks[1:]
            if case in (0, 1) and not FADE:
                later += rest
            first = ticks[0]
            mean_i = sum(t[0] for t in rest) / len(rest)
            mean_c = sum(t[1] for t in rest) / len(rest)
            max_i = max(t[0] for t in rest)
            max_c = max(t[1] for t in rest)
            shares = ", ".join("%.0f%% (%.0f%%)" % (100.0 * max_c / b, 100.0 * first[1] / b)
                               for _, b in BUDGETS)
            print("%-7s %-58s %6d %7d/%-8d %7d/%-8d %7.1f/%-8.1f %7d/%-8d  %s" % (
                label, name, len(ticks), cpu.start[0], cpu.start[1], first[0], first[1], mean_i,
                mean_c, max_i, max_c, shares))
            if label == "board":
                print("%-7s     %s" % ("", at_chip_pace(cpu, ticks)))
        if later:
            print("%-7s mean over the later ticks of (a) and (b): %.1f/%.1f" % (
                label, sum(t[0] for t in later) / len(later),
                sum(t[1] for t in later) / len(later)))
        toggle = blink_toggle(path) if label == "board" and not FADE else None
        if toggle:
            cycles = toggle[1] + ENTRY_EXIT
            print("%-7s the millisecond on which a blink toggles, its fade's start included: "
                  "%d/%d, at 16 MHz with entry and exit %d cycles = %.1f us" % (
                      label, toggle[0], toggle[1], cycles, cycles * 1e6 / CHIP_HZ))
    print("mean and max: every tick after the first, the stopping tick included")
    if differ:
        print("FAIL: outputs differ: " + "; ".join(differ))
        sys.exit(1)
    print("outputs after every tick: the same in every image, every case")


if __name__ == "__main__":
    args = sys.argv[1:]
    while args[:1] in (["--period-us"], ["--fade"]) and len(args) > 1:
        if args[0] == "--period-us":
            PERIOD_US.append(int(args[1]))
        else:
            values = args[1].split(",")
            FADE.append((tuple(int(v) for v in values[:4]), values[4:] == ["cw"]))
        args = args[2:]
    if not args:
        sys.exit(__doc__)
    main(args)

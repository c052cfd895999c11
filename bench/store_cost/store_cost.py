#!/usr/bin/python3
"""What a save costs the nRF51: the store's writes as lampsim's player links
them, run in unicorn as a Cortex-M0 (tick_cost.py's model: instructions, and
cycles with zero wait states), with the words the NVMC programs and the pages
it erases counted. On the chip the core stalls for each word (tWRITE) and
each page (tERASEPAGE) on top of the cycles.

From an erased store: the light record saved again and again (28 fit a
sector), with the sector the next hand-over takes erased ahead (nvm_prepare)
or not.

Usage: store_cost.py lampsim_player.elf
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tick_cost"))
import tick_cost as tc  # noqa: E402
from unicorn import UC_HOOK_MEM_WRITE  # noqa: E402
from unicorn.arm_const import UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3  # noqa: E402

DATA_AREA, DATA_SIZE, PAGE = 0x3E800, 6 * 1024, 1024  # Boards/microbit/nrf51.h
NVMC_READY, NVMC_ERASEPAGE = 0x4001E400, 0x4001E508
BUF = 0x20003000  # the record, in RAM the player leaves to the stack's end
RECORD = bytes([0xAC, 0xAA, 0x01, 0x32, 0x00, 0x1E, 0x00])


class Chip(tc.Cpu):
    def __init__(self, path):
        super().__init__(path)
        self.uc.mem_write(DATA_AREA, b"\xff" * DATA_SIZE)
        self.uc.mem_write(NVMC_READY, struct.pack("<I", 1))
        self.words = self.erases = 0
        self.uc.hook_add(UC_HOOK_MEM_WRITE, self._on_flash, begin=DATA_AREA,
                         end=DATA_AREA + DATA_SIZE - 1)
        self.uc.hook_add(UC_HOOK_MEM_WRITE, self._on_erase, begin=NVMC_ERASEPAGE,
                         end=NVMC_ERASEPAGE + 3)

    def _on_flash(self, uc, access, address, size, value, _):
        self.words += 1

    def _on_erase(self, uc, access, address, size, value, _):
        self.erases += 1
        uc.mem_write(value, b"\xff" * PAGE)

    def run(self, name, *args):
        """(instructions, cycles, words, erases) of one call."""
        self.words = self.erases = 0
        self.uc.reg_write(tc.UC_ARM_REG_SP, tc.RAM + tc.RAM_SIZE)
        self.uc.reg_write(tc.UC_ARM_REG_LR, tc.RETURN | 1)
        for reg, value in zip((tc.UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3),
                              args):
            self.uc.reg_write(reg, value)
        self.instructions = self.cycles = 0
        self.pending_branch = None
        self.counting = True
        self.uc.emu_start(self.symbols[name] | 1, tc.RETURN)
        self.counting = False
        return self.instructions, self.cycles, self.words, self.erases

    def save(self):
        return self.run("nvm_write", 2, 0, BUF, len(RECORD))


def line(what, cost):
    instructions, cycles, words, erases = cost
    print("%-58s %6d %7d %6d %6d   %8.0f us + %2d tWRITE + %d tERASEPAGE" % (
        what, instructions, cycles, words, erases, cycles / 16.0, words, erases))


def main(path):
    print("%-58s %6s %7s %6s %6s   %s" % ("call", "instr", "cycles", "words", "erases",
                                          "at 16 MHz"))
    for prepared in (False, True):
        chip = Chip(path)
        chip.uc.mem_write(BUF, RECORD)
        chip.run("nvm_init")
        chip.run("nvm_prepare")  # the first sector, erased already: nothing to do
        costs = [chip.save() for _ in range(3 * 28)]  # the ring gone round, the head full
        if prepared:
            line("nvm_prepare, the ring gone round: the next sector", chip.run("nvm_prepare"))
        line("save into the head", costs[1])
        line("save that hands over, %s" % ("the sector erased ahead" if prepared else
                                           "erasing it"), chip.save())
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))

#!/usr/bin/env python3
"""Runs a scenario under lampsim on the host board and on the Cortex-M0 under
QEMU, and checks that each run's expectations hold and that the two runs give
the same trace, CSV and timeline, byte for byte.

--mutate-pwm N changes the N-th PWM write of the chip's trace by one before the
comparison: the comparison's self-check, which must then fail.
"""
import argparse
import os
import subprocess
import sys
import tempfile


def run(cmd, out_path):
    with open(out_path, "wb") as out:
        return subprocess.run(cmd, stdout=out).returncode


def first_difference(a, b):
    la, lb = a.splitlines(), b.splitlines()
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return "line %d: host %r, m0 %r" % (i + 1, x, y)
    return "the host's has %d lines, the m0's %d" % (len(la), len(lb))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--lampsim", required=True)
    p.add_argument("--firmware", required=True)
    p.add_argument("--mutate-pwm", type=int)
    p.add_argument("scenario")
    a = p.parse_args()
    with tempfile.TemporaryDirectory(prefix="lampsim-compare.") as d:
        outputs = {}
        for board in ("host", "m0"):
            files = {k: os.path.join(d, "%s.%s" % (board, k)) for k in ("trace", "csv", "txt")}
            cmd = [a.lampsim, a.scenario, "--board", board, "--trace", files["trace"],
                   "--csv", files["csv"]]
            if board == "m0":
                cmd += ["--firmware", a.firmware]
            status = run(cmd, files["txt"])
            if status != 0:
                print("FAIL: lampsim --board %s exited with %d" % (board, status))
                return 1
            outputs[board] = {k: open(f, "rb").read().decode() for k, f in files.items()}
        if a.mutate_pwm is not None:
            lines = outputs["m0"]["trace"].split("\n")
            writes = [i for i, l in enumerate(lines) if l.startswith("pwm ")]
            i = writes[a.mutate_pwm]
            word = lines[i].split(" ")
            word[3] = str(int(word[3]) ^ 1)
            lines[i] = " ".join(word)
            outputs["m0"]["trace"] = "\n".join(lines)
        for kind in ("trace", "csv", "txt"):
            if outputs["host"][kind] != outputs["m0"][kind]:
                print("FAIL: the %s differs between the boards, first at %s"
                      % ("timeline" if kind == "txt" else kind,
                         first_difference(outputs["host"][kind], outputs["m0"][kind])))
                return 1
        trace = outputs["host"]["trace"]
        print("identical on both boards: %d events, %d PWM writes"
              % (trace.count("\n"), trace.count("\npwm ")))
    return 0


if __name__ == "__main__":
    sys.exit(main())

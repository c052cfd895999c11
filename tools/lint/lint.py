#!/usr/bin/env python3
"""make lint: clang-tidy, cppcheck and GCC's -fanalyzer over the project's
sources; the run passes with zero findings.

Which files, and how each compiles, come from the builds' compile_commands.json
(the host and m0 presets, and the consumer project for Boards/template), so a
source a build compiles is linted with no list to update. Each file is
analysed once per tool, with the command of the first build that compiles it:

  clang-tidy  Light/ System/ Boards/ tools/   host, m0, consumer  (.clang-tidy)
  cppcheck    Light/ System/ Boards/          host, m0, consumer  warning, style,
                                                                  performance, portability
  -fanalyzer  Light/ System/ Boards/          m0, host, consumer  (the chip's compiler first)

Tests (any tests/ folder) are not linted. A wrong finding is silenced where it
is, with its reason: // NOLINT(check): why, // cppcheck-suppress id, or a
#pragma GCC diagnostic for the analyser. Findings in files other branches are
rewriting are listed in tools/lint/baseline.txt (file, tool:check, the verdict),
a temporary list to empty once those branches are merged; an entry that no
longer matches anything fails the run, so the list only shrinks. Nothing is
cached between runs.
"""
import argparse
import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys
import time

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
BASELINE = os.path.join(ROOT, "tools", "lint", "baseline.txt")
DATABASES = {  # build -> folder holding its compile_commands.json
    "host": "build/host",
    "m0": "build/m0",
    "consumer": "build/lint/consumer",
}
FIRMWARE = re.compile(r"^(Light|System|Boards)/")
TIDY_SCOPE = re.compile(r"^(Light|System|Boards|tools)/")
DIAGNOSTIC = re.compile(r"^(?P<file>[^:\s][^:]*):(?P<line>\d+):(?:(?P<col>\d+):)? "
                        r"(?P<severity>warning|error|style|performance|portability|fatal error)"
                        r": (?P<message>.*?)(?: \[(?P<check>[^\]]+)\])?$")


def rel(path):
    path = os.path.realpath(path)
    return path[len(ROOT) + 1:] if path.startswith(ROOT + "/") else path


def in_tests(path):
    return path.startswith("tests/") or "/tests/" in path


class Finding:
    def __init__(self, tool, path, line, check, message):
        self.tool, self.path, self.line, self.check, self.message = tool, path, line, check, message

    def key(self):
        return (self.path, int(self.line), self.tool, self.check)

    def __str__(self):
        return "%s:%s: %s %s: %s" % (self.path, self.line, self.tool, self.check, self.message)


def configure_consumer():
    """Compile commands of the consumer project, whose board is Boards/template
    (configured only, with the host's compilers: nothing is built)."""
    subprocess.run(["cmake", "-S", os.path.join(ROOT, "tests", "consumer"),
                    "-B", os.path.join(ROOT, DATABASES["consumer"]),
                    "-DLIGHT_CTRL_SOURCE_DIR=" + ROOT, "-DCMAKE_BUILD_TYPE=MinSizeRel"],
                   check=True, stdout=subprocess.DEVNULL)


def load_commands():
    """{build: {relative path: entry}} of every database."""
    out = {}
    for build, folder in DATABASES.items():
        path = os.path.join(ROOT, folder, "compile_commands.json")
        if not os.path.exists(path):
            sys.exit("lint: no %s; configure the %s build first (make lint does)" % (path, build))
        entries = {}
        for e in json.load(open(path)):
            f = rel(os.path.join(e["directory"], e["file"]))
            entries.setdefault(f, e)
        out[build] = entries
    return out


def pick(commands, order, scope):
    """{relative path: (build, entry)}: each file in scope once, from the first
    build in `order` that compiles it."""
    chosen = {}
    for build in order:
        for f, e in sorted(commands[build].items()):
            if scope.match(f) and not in_tests(f) and f not in chosen:
                chosen[f] = (build, e)
    return chosen


def run_pool(jobs, fn, items):
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        return list(pool.map(fn, items))


def parse(tool, text, default_check=None):
    found = []
    lines = text.splitlines()
    for i, line in enumerate(lines):
        m = DIAGNOSTIC.match(line.strip())
        if not m:
            continue
        if m.group("check") is None and m.group("severity") == "warning":
            # A message over several lines (the analyser's padding report):
            # its check closes the last of them.
            for more in lines[i + 1:i + 40]:
                if DIAGNOSTIC.match(more.strip()):
                    break
                tail = re.search(r" \[([\w.,-]+)\]$", more)
                if tail:
                    m = DIAGNOSTIC.match(line.strip() + " [" + tail.group(1) + "]")
                    break
        path = rel(m.group("file"))
        if not path.startswith(("Light/", "System/", "Boards/", "tools/")) or in_tests(path):
            continue
        check = m.group("check") or default_check or m.group("severity")
        found.append(Finding(tool, path, m.group("line"), check, m.group("message")))
    return found


def clang_tidy(files, jobs):
    def one(item):
        f, (build, _) = item
        p = subprocess.run(["clang-tidy", "-p", os.path.join(ROOT, DATABASES[build]), "--quiet",
                            os.path.join(ROOT, f)], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True)
        found = parse("clang-tidy", p.stdout)
        if p.returncode != 0 and not found:  # it could not analyse the file at all
            found.append(Finding("clang-tidy", f, 0, "failed", p.stderr.strip()[-500:]))
        return found
    return [x for r in run_pool(jobs, one, sorted(files.items())) for x in r]


def cppcheck(files, jobs):
    folder = os.path.join(ROOT, "build", "lint", "cppcheck")
    os.makedirs(folder, exist_ok=True)
    db = os.path.join(folder, "compile_commands.json")
    with open(db, "w") as out:
        json.dump([e for _, (_, e) in sorted(files.items())], out, indent=1)
    p = subprocess.run(["cppcheck", "--project=" + db, "--enable=warning,style,performance,portability",
                        "--inline-suppr", "--quiet", "-j", str(jobs),
                        "--max-configs=1",
                        "--suppress=missingIncludeSystem",
                        "--template={file}:{line}:{column}: {severity}: {message} [{id}]"],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, cwd=ROOT)
    found = parse("cppcheck", p.stdout)
    if p.returncode != 0:
        found.append(Finding("cppcheck", "-", 0, "failed", p.stdout.strip()[-500:]))
    return found


def analyzer(files, jobs):
    def one(item):
        f, (_, e) = item
        args = shlex.split(e["command"]) if "command" in e else list(e["arguments"])
        cleaned = []
        skip = False
        for a in args:
            if skip:
                skip = False
                continue
            if a == "-o":
                skip = True
                continue
            if a in ("-flto", "-Werror") or a.startswith("-flto="):
                continue
            cleaned.append(a)
        cleaned += ["-fanalyzer", "-fno-lto", "-o", os.devnull]
        p = subprocess.run(cleaned, cwd=e["directory"], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True)
        found = parse("gcc", p.stderr)
        if p.returncode != 0 and not found:
            found.append(Finding("gcc", f, 0, "failed", p.stderr.strip()[-500:]))
        return found
    found = [x for r in run_pool(jobs, one, sorted(files.items())) for x in r]
    for x in found:  # -Wanalyzer-null-dereference -> analyzer-null-dereference
        x.check = x.check.lstrip("-W") if x.check.startswith("-W") else x.check
    return found


def read_baseline():
    """[(path, tool, check, line number in the file)]"""
    entries = []
    if not os.path.exists(BASELINE):
        return entries
    for n, line in enumerate(open(BASELINE), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        path, what = line.split()[:2]
        tool, check = what.split(":", 1)
        entries.append((path, tool, check, n))
    return entries


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--only", choices=["clang-tidy", "cppcheck", "gcc"],
                   help="run one analyser")
    a = p.parse_args()

    configure_consumer()
    commands = load_commands()
    tools = {
        "clang-tidy": (clang_tidy, pick(commands, ["host", "m0", "consumer"], TIDY_SCOPE)),
        "cppcheck": (cppcheck, pick(commands, ["host", "m0", "consumer"], FIRMWARE)),
        "gcc": (analyzer, pick(commands, ["m0", "host", "consumer"], FIRMWARE)),
    }
    findings = []
    for name, (fn, files) in tools.items():
        if a.only and name != a.only:
            continue
        start = time.monotonic()
        found = fn(files, a.jobs)
        print("lint: %-10s %2d files, %3d findings before the baseline, %5.1f s" % (
            "-fanalyzer" if name == "gcc" else name, len(files), len(found),
            time.monotonic() - start), flush=True)
        findings += found

    unique = {}
    for f in findings:
        unique.setdefault(f.key(), f)
    baseline = read_baseline()
    used = set()
    open_findings, baselined = [], []
    for f in sorted(unique.values(), key=lambda x: x.key()):
        # clang-tidy names a check with its aliases: "bugprone-x,cert-y".
        hit = [b for b in baseline
               if b[0] == f.path and b[1] == f.tool and b[2] in f.check.split(",")]
        if hit:
            used.update(b[3] for b in hit)
            baselined.append(f)
        else:
            open_findings.append(f)
    for f in baselined:
        print("baselined: %s" % f)
    for f in open_findings:
        print("FINDING: %s" % f)
    stale = [b for b in baseline if b[3] not in used and (not a.only or b[1] == a.only)]
    for path, tool, check, n in stale:
        print("STALE: tools/lint/baseline.txt:%d: %s %s:%s matches no finding any more; "
              "delete the line" % (n, path, tool, check))
    print("lint: %d findings, %d baselined (tools/lint/baseline.txt, %d entries)" % (
        len(open_findings), len(baselined), len(baseline)))
    return 1 if open_findings or stale else 0


if __name__ == "__main__":
    sys.exit(main())

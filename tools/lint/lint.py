#!/usr/bin/env python3
"""make lint: clang-tidy, cppcheck and GCC's -fanalyzer over the project's
sources; the run passes with zero findings.

Which files, and how each compiles, come from the builds' compile_commands.json
(the host, m0 and wasm presets, and the consumer project for Boards/template),
so a source a build compiles is linted with no list to update. Each file is
analysed once per tool, with the command of the first build that compiles it:

  clang-tidy  Light/ System/ Boards/ tools/   host, m0, consumer, wasm  (.clang-tidy)
  cppcheck    Light/ System/ Boards/          host, m0, consumer  warning, style,
                                                                  performance, portability
  -fanalyzer  Light/ System/ Boards/          m0, host, consumer  (the chip's compiler first)

clang-tidy parses a cross compiler's files for that compiler's target, with
the compiler's own headers: a cross GCC's C++ library and C library (its
search list, asked of the compiler with the command's machine flags), and
emscripten's target and system root (em++ --cflags) for the page's source.

Tests (any tests/ folder) are not linted. A wrong finding is silenced where it
is, with its reason: // NOLINT(check): why, // cppcheck-suppress id, or a
#pragma GCC diagnostic for the analyser. Nothing is cached between runs.
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
DATABASES = {  # build -> folder holding its compile_commands.json
    "host": "build/host",
    "m0": "build/m0",
    "consumer": "build/lint/consumer",
    "wasm": "build/wasm",  # the page's own source, tools/lampsim/web/
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


GCC_NAME = re.compile(r"^[\w.-]+-(gcc|g\+\+)(-[\d.]+)?$")  # arm-none-eabi-g++
EMSCRIPTEN = ("em++", "emcc")
MACHINE_FLAG = re.compile(r"^(-m\S+|-specs=\S+|--specs=\S+|--sysroot=\S+)$")


def command_args(entry):
    return shlex.split(entry["command"]) if "command" in entry else list(entry["arguments"])


def target_of(compiler, known={}):
    if compiler not in known:
        known[compiler] = subprocess.run([compiler, "-dumpmachine"], stdout=subprocess.PIPE,
                                         text=True).stdout.strip()
    return known[compiler]


def cross_gcc_headers(compiler, language, machine):
    """clang-tidy's arguments for a cross GCC's headers: its C++ library first,
    then (after clang's own, which stand in for GCC's internal ones) its C
    library, in the order the compiler searches them."""
    p = subprocess.run([compiler] + machine + ["-E", "-x", language, "-v", os.devnull],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    lines = p.stderr.splitlines()
    start = lines.index("#include <...> search starts here:") + 1
    end = lines.index("End of search list.")
    # GCC's own optimisation flags (-ffat-lto-objects) mean nothing to clang's
    # parse, and -Werror would make them an error.
    args = ["-Wno-ignored-optimization-argument"]
    for d in (os.path.normpath(x.strip()) for x in lines[start:end]):
        if "/c++/" in d + "/":
            args.append("-isystem" + d)
        elif "/lib/gcc/" not in d:
            args.append("-idirafter" + d)
    return args


def emscripten_target(compiler):
    """clang-tidy's arguments for emscripten's target: the target, the system
    root and the defines emcc gives its clang (em++ --cflags)."""
    flags = subprocess.run([compiler, "--cflags"], stdout=subprocess.PIPE, check=True,
                           text=True).stdout.split()
    args = []
    for i, a in enumerate(flags):
        if a == "-target":
            args.append("--target=" + flags[i + 1])
        elif a.startswith(("--sysroot=", "-D")):
            args.append(a)
        elif a == "-Xclang" and flags[i + 1].startswith("-iwithsysroot"):
            args += ["-Xclang", flags[i + 1]]
    return args


def toolchain_args(files):
    """{relative path: clang-tidy's extra arguments} for the files a cross
    compiler builds, each toolchain asked once."""
    asked = {}
    out = {}
    for f, (_, e) in files.items():
        args = command_args(e)
        compiler = os.path.basename(args[0])
        language = "c" if f.endswith(".c") else "c++"
        if compiler in EMSCRIPTEN:
            key = (args[0],)
            if key not in asked:
                asked[key] = emscripten_target(args[0])
        elif GCC_NAME.match(compiler) and target_of(args[0]) != target_of("gcc"):
            machine = [a for a in args[1:] if MACHINE_FLAG.match(a)]
            key = (args[0], language) + tuple(machine)
            if key not in asked:
                asked[key] = cross_gcc_headers(args[0], language, machine)
        else:
            continue
        out[f] = asked[key]
    return out


def clang_tidy(files, jobs):
    extra = toolchain_args(files)

    def one(item):
        f, (build, _) = item
        p = subprocess.run(["clang-tidy", "-p", os.path.join(ROOT, DATABASES[build]), "--quiet"] +
                           ["--extra-arg=" + a for a in extra.get(f, [])] +
                           [os.path.join(ROOT, f)], stdout=subprocess.PIPE,
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
        args = command_args(e)
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



def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--jobs", type=int, default=2)
    p.add_argument("--only", choices=["clang-tidy", "cppcheck", "gcc"],
                   help="run one analyser")
    a = p.parse_args()

    configure_consumer()
    commands = load_commands()
    tools = {
        "clang-tidy": (clang_tidy, pick(commands, ["host", "m0", "consumer", "wasm"], TIDY_SCOPE)),
        "cppcheck": (cppcheck, pick(commands, ["host", "m0", "consumer"], FIRMWARE)),
        "gcc": (analyzer, pick(commands, ["m0", "host", "consumer"], FIRMWARE)),
    }
    findings = []
    for name, (fn, files) in tools.items():
        if a.only and name != a.only:
            continue
        start = time.monotonic()
        found = fn(files, a.jobs)
        print("lint: %-10s %2d files, %3d findings, %5.1f s" % (
            "-fanalyzer" if name == "gcc" else name, len(files), len(found),
            time.monotonic() - start), flush=True)
        findings += found

    unique = {}
    for f in findings:
        unique.setdefault(f.key(), f)
    for f in sorted(unique.values(), key=lambda x: x.key()):
        print("FINDING: %s" % f)
    print("lint: %d findings" % len(unique))
    return 1 if unique else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env bash
# What the project's commands need on the machine, by purpose:
#   demo   the virtual lamp (make demo): a C++ compiler, CMake, make
#   web    the lamp in a browser (make web, make serve): also emscripten (with
#          node-acorn, which its JavaScript optimiser loads) and Python
#   test   every test (make test): also GoogleTest, GTKWave's VCD tools, the
#          Cortex-M0 cross toolchain, QEMU, Python, gcovr (make coverage),
#          clang-tidy and cppcheck (make lint), and for the page's test
#          emscripten, Chromium, its driver and Selenium
#   bench  the tick-cost benchmark (make tick-cost): also unicorn for Python
# Installs what is missing from Debian's archive when run as root; otherwise
# stops with a non-zero status and the exact command that installs it.
# Used by make and by .ci/run.
set -euo pipefail

packages_for() {
  case "$1" in
    demo) echo cmake make g++ ;;
    web) echo cmake make g++ emscripten node-acorn python3 ;;
    test) echo cmake make g++ libgtest-dev gtkwave gcc-arm-none-eabi libnewlib-arm-none-eabi \
               libstdc++-arm-none-eabi-newlib qemu-system-arm python3 gcovr clang-tidy cppcheck \
               emscripten node-acorn chromium chromium-driver python3-selenium ;;
    bench) echo cmake make g++ gcc-arm-none-eabi libnewlib-arm-none-eabi \
                libstdc++-arm-none-eabi-newlib python3 python3-unicorn ;;
    *) echo "usage: $0 demo|web|test|bench" >&2; exit 2 ;;
  esac
}

wanted=$(packages_for "${1:-}")
if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "prerequisites: not a Debian-based system; install the equivalents of: $wanted" >&2
  for tool in cmake make g++; do
    command -v "$tool" >/dev/null 2>&1 || { echo "prerequisites: $tool not found" >&2; exit 1; }
  done
  exit 0
fi

missing=()
for p in $wanted; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

command="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
  echo "prerequisites: missing ${missing[*]}" >&2
  echo "install them with:  sudo $command" >&2
  exit 1
fi
echo "prerequisites: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"; }; then
  echo "prerequisites: could not install ${missing[*]}; install them with:  $command" >&2
  exit 1
fi

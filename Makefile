# Entry points a firmware engineer expects. Everything goes through the CMake presets.
.PHONY: all demo build test test-host test-asan test-firmware tick-cost lampsim-speed fade-exhaustive format clean

all: build

build:
	cmake --preset host
	cmake --build --preset host

# The virtual lamp's demonstration: writes out/demo.csv, out/demo.vcd, out/demo.svg.
demo: build
	./build/host/tools/lampsim/lampsim

test: test-host test-asan test-firmware

test-host:
	cmake --preset host
	cmake --build --preset host
	ctest --preset host

test-asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

# Cross build and emulator run, when the Cortex-M0 toolchain is installed.
test-firmware:
	@if command -v arm-none-eabi-gcc >/dev/null 2>&1 && [ -f cmake/arm-none-eabi.cmake ]; then \
		cmake --preset m0 && cmake --build --preset m0 && ctest --preset m0; \
	else echo "test-firmware: Cortex-M0 toolchain not found, skipped"; fi

# Simulation speed of lampsim: an idle day and a busy run of blink fades.
lampsim-speed: build
	./build/host/bench/lampsim/lampsim_speed

# Fade tick cost on the Cortex-M0 (instruction-set simulation, about a minute).
tick-cost:
	cmake --preset m0 && cmake --build --preset m0 --target tick_cost

# Integer fade step against the float reference over every input (about 6 min,
# one thread; THREADS=2 for two).
fade-exhaustive: build
	nice ./build/host/bench/fade_exhaustive/fade_exhaustive $(or $(THREADS),1)

format:
	git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build out

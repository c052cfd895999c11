# Entry points; everything goes through the CMake presets (CMakePresets.json).
# `make help` lists them. A preset is configured once; later runs only build
# what changed and run the tests.
.PHONY: help demo test test-host test-asan test-m0 tick-cost lampsim-speed fade-exhaustive \
        fade-carry-exhaustive \
        install format clean

PREREQ := tools/prerequisites.sh

help:
	@echo "make demo             the virtual lamp's demonstration: out/demo.csv, out/demo.vcd, out/demo.svg"
	@echo "make test             every test: host, host under sanitizers, Cortex-M0 under QEMU"
	@echo "make test-host        the host tests only (build/host)"
	@echo "make test-asan        the host tests under AddressSanitizer and UBSan (build/asan)"
	@echo "make test-m0          the Cortex-M0 build, its tests under QEMU and the size test (build/m0)"
	@echo "make tick-cost        fade tick cost on the Cortex-M0, instruction by instruction"
	@echo "make lampsim-speed    simulation speed of lampsim"
	@echo "make fade-exhaustive  integer fade step against the float one over every input (minutes)"
	@echo "make fade-carry-exhaustive  the fade step's margin carried from tick to tick, every restart (minutes)"
	@echo "make install PREFIX=DIR  the module, its services and headers, for find_package(light_ctrl)"
	@echo "make format           clang-format over every source"
	@echo "make clean            remove build/ and out/"

# Configure a preset only when it has never been configured; the build step
# re-runs CMake by itself when a CMakeLists.txt changes.
build/%/CMakeCache.txt:
	cmake --preset $*

demo:
	@$(PREREQ) demo
	@$(MAKE) --no-print-directory build/demo/CMakeCache.txt
	cmake --build --preset demo
	./build/demo/tools/lampsim/lampsim

test: test-host test-asan test-m0

test-host test-asan test-m0: test-%:
	@$(PREREQ) test
	@$(MAKE) --no-print-directory build/$*/CMakeCache.txt
	cmake --build --preset $*
	ctest --preset $*

tick-cost:
	@$(PREREQ) bench
	@$(MAKE) --no-print-directory build/m0/CMakeCache.txt
	cmake --build --preset m0 --target tick_cost

lampsim-speed:
	@$(PREREQ) demo
	@$(MAKE) --no-print-directory build/host/CMakeCache.txt
	cmake --build --preset host --target lampsim_speed
	./build/host/bench/lampsim/lampsim_speed

# One thread by default; THREADS=2 for two.
fade-exhaustive fade-carry-exhaustive: fade-%:
	@$(PREREQ) demo
	@$(MAKE) --no-print-directory build/host/CMakeCache.txt
	cmake --build --preset host --target fade_$(subst -,_,$*)
	nice ./build/host/bench/fade_exhaustive/fade_$(subst -,_,$*) $(or $(THREADS),1)

install:
	@$(PREREQ) demo
	@$(MAKE) --no-print-directory build/demo/CMakeCache.txt
	cmake --build --preset demo
	cmake --install build/demo --prefix $(or $(PREFIX),/usr/local)

format:
	git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build out

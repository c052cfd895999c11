# Entry points; everything goes through the CMake presets (CMakePresets.json).
# `make help` lists them. A preset is configured once; later runs only build
# what changed and run the tests.
.PHONY: help demo test test-host test-asan test-m0 test-web web serve web-speed coverage lint \
        tick-cost lampsim-speed lampsim-hostile fade-exhaustive fade-carry-exhaustive install \
        format clean

PREREQ := tools/prerequisites.sh

help:
	@echo "make demo             the virtual lamp's demonstration: out/demo.csv, out/demo.vcd, out/demo.svg"
	@echo "make test             every test: host, sanitizers, Cortex-M0 under QEMU, the page in Chromium, coverage, lint"
	@echo "make test-host        the host tests only (build/host)"
	@echo "make test-asan        the host tests under AddressSanitizer and UBSan (build/asan)"
	@echo "make test-m0          the Cortex-M0 build, its tests under QEMU, the size and stack tests (build/m0)"
	@echo "make test-web         the page in headless Chromium against the lampsim program"
	@echo "make coverage         line and branch coverage of Light/ and System/ (build/coverage/report/)"
	@echo "make lint             clang-tidy, cppcheck and GCC -fanalyzer, zero findings"
	@echo "make web              the lamp in a browser: static files into build/web"
	@echo "make serve            serves build/web on 127.0.0.1 and prints the address"
	@echo "make web-speed        the page's size, start-up time and engine speed against the program"
	@echo "make tick-cost        fade tick cost on the Cortex-M0, instruction by instruction"
	@echo "make lampsim-speed    simulation speed of lampsim"
	@echo "make lampsim-hostile  lampsim's time and memory on lines of 10 MB"
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

test: test-host test-asan test-m0 test-web coverage lint

test-host test-asan test-m0: test-%:
	@$(PREREQ) test
	@$(MAKE) --no-print-directory build/$*/CMakeCache.txt
	cmake --build --preset $*
	ctest --preset $*

# The host tests and scenario files with coverage counters, then gcovr with
# gcovr.cfg: HTML in build/coverage/report/, the summary in
# build/coverage/summary.txt; fails below the figures gcovr.cfg records. The
# counts are cleared first, so they are this run's alone.
coverage:
	@$(PREREQ) test
	@$(MAKE) --no-print-directory build/coverage/CMakeCache.txt
	find build/coverage -name '*.gcda' -delete
	cmake --build --preset coverage
	find build/coverage -name '*.gcda' -delete
	ctest --preset coverage
	mkdir -p build/coverage/report
	gcovr --config gcovr.cfg > build/coverage/summary.txt; status=$$?; \
	  cat build/coverage/summary.txt; exit $$status

# The analysers read the builds' compile commands: the host, m0 and wasm (the
# page's source) presets are configured again first, so a file added since is
# in them. Configuring builds nothing.
lint:
	@$(PREREQ) test
	cmake --preset host > /dev/null
	cmake --preset m0 > /dev/null
	cmake --preset wasm > /dev/null
	python3 tools/lint/lint.py --jobs 2

web:
	@$(PREREQ) web
	@$(MAKE) --no-print-directory build/wasm/CMakeCache.txt
	cmake --build --preset wasm

serve: web
	python3 tools/lampsim/web/serve.py build/web

# The page against the program built from the same sources, and a session
# replayed on the Cortex-M0 player.
PAGE_CHECK := /usr/bin/python3 tools/lampsim/web/test_page.py \
	--lampsim build/host/tools/lampsim/lampsim \
	--firmware build/m0/tools/lampsim/target/lampsim_player.elf
test-web: web
	@$(PREREQ) test
	@$(MAKE) --no-print-directory build/host/CMakeCache.txt build/m0/CMakeCache.txt
	cmake --build --preset host --target lampsim
	cmake --build --preset m0 --target lampsim_player
	$(PAGE_CHECK) --out build/web-test

web-speed: web
	@$(PREREQ) test
	@$(MAKE) --no-print-directory build/host/CMakeCache.txt
	cmake --build --preset host --target lampsim
	$(PAGE_CHECK) --bench

tick-cost:
	@$(PREREQ) bench
	@$(MAKE) --no-print-directory build/m0/CMakeCache.txt
	cmake --build --preset m0 --target tick_cost

lampsim-speed:
	@$(PREREQ) demo
	@$(MAKE) --no-print-directory build/host/CMakeCache.txt
	cmake --build --preset host --target lampsim_speed
	./build/host/bench/lampsim/lampsim_speed

lampsim-hostile:
	@$(PREREQ) test
	@$(MAKE) --no-print-directory build/host/CMakeCache.txt
	cmake --build --preset host --target lampsim
	python3 bench/lampsim/hostile_lines.py ./build/host/tools/lampsim/lampsim

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

# Front door for people: `make play` and `make test` do all set-up on a fresh
# Debian 12 machine. The real build is CMake's, in $(BUILD).
BUILD ?= build
# The same project built with AddressSanitizer and UndefinedBehaviorSanitizer
# (`make test-sanitized`).
SANITIZED_BUILD ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build play test soak test-sanitized preview package fuzz bench clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

play: build
	$(BUILD)/tintaria

# Every test, then the same suite built with the sanitizers. The long
# session (tests/soak_gltest.cpp, minutes) has a target of its own; the
# sanitized suite runs a short one.
test: build
	@scripts/with-display ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE soak
	@$(MAKE) --no-print-directory test-sanitized

soak: build
	@scripts/with-display ctest --test-dir $(BUILD) --output-on-failure -L soak

# The sanitized suite alone (its findings fail the tests; see tests/sanitizers).
# Its archives are the ordinary build's: the sanitized content builder is
# tested on the tests' small pictures.
test-sanitized: build
	@cmake -S . -B $(SANITIZED_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTINTARIA_SANITIZE=ON \
		-DTINTARIA_CONTENT_FROM=$(abspath $(BUILD))/data >/dev/null
	@cmake --build $(SANITIZED_BUILD) -j $(JOBS)
	@scripts/with-display ctest --test-dir $(SANITIZED_BUILD) --output-on-failure -j $(JOBS)

# Contact sheets of every archive, drawn by the engine, into $(BUILD)/preview.
preview: build
	@scripts/with-display $(BUILD)/tools/tintaria-preview $(BUILD)/preview

# The Debian package, $(BUILD)/tintaria_<version>_<arch>.deb.
package: build
	@cmake --build $(BUILD) --target package

# The libFuzzer targets (clang) in their own build folder, each run for
# FUZZ_SECONDS; fails when one finds a fault. See tests/fuzz/README.md.
FUZZ_SECONDS ?= 60
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz

# Frame, start-up, memory and content-build figures at two screen sizes, each
# on its own Xvfb screen; the table is printed and written to BENCHMARKS.md.
BENCH_SCREENS ?= 1920x1080 1024x768
bench: build
	@for s in $(BENCH_SCREENS); do \
		echo "bench: $$s"; \
		env -u DISPLAY TINTARIA_XVFB_SCREEN=$${s}x24 scripts/with-display \
			$(BUILD)/tools/tintaria-bench frames $(BUILD)/bench-$$s.txt || exit 1; \
	done
	@echo "bench: content build"
	@$(BUILD)/tools/tintaria-bench content $(BUILD)/tools/tintaria-studio $(BUILD)/bench-$(firstword $(BENCH_SCREENS)).txt
	@$(BUILD)/tools/tintaria-bench report BENCHMARKS.md $(foreach s,$(BENCH_SCREENS),$(BUILD)/bench-$(s).txt)
	@cat tools/bench/findings.md >> BENCHMARKS.md

clean:
	rm -rf $(BUILD) $(SANITIZED_BUILD)

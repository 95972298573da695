# Quick start:
#   make run    install what is missing, build, and start the desktop program
#   make test   install what is missing, build, and run every test, then the
#               core tests built with the portable fallbacks of the Linux-only
#               calls (build/portable), then the unit and corpus tests again
#               under the address and undefined-behaviour sanitizers
#               (build/asan)
#   make fuzz   fuzz the reader and writer for FUZZ_SECONDS (default 300)
#   make fuzz-sheet   fuzz the aligner with lyric sheets for FUZZ_SECONDS
#   make fuzz-song    fuzz the check, the timing editor and the aligner with songs
#
# Builds live under build/<preset> (see CMakePresets.json).

PRESET ?= default
BUILD  := build/$(PRESET)

.PHONY: all deps configure build test test-portable test-asan fuzz fuzz-sheet fuzz-song run bench bench-compare clean format screenshots mutants

all: build

deps:
	@./scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

# The tests of the normal build, then the same unit and corpus tests built
# with AddressSanitizer and UndefinedBehaviorSanitizer.
test: build
	@ctest --preset $(PRESET)
	@$(MAKE) --no-print-directory test-portable
	@$(MAKE) --no-print-directory test-asan

# The core, the command line and the core tests with VERSELANE_PORTABLE=ON.
test-portable: deps
	@cmake --preset portable >/dev/null
	@cmake --build --preset portable
	@ctest --preset portable

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@ctest --preset asan

# Runs the libFuzzer target for FUZZ_SECONDS (see scripts/fuzz).
FUZZ_SECONDS ?= 300
fuzz: deps
	@./scripts/fuzz $(FUZZ_SECONDS)

fuzz-sheet: deps
	@./scripts/fuzz --sheet $(FUZZ_SECONDS)

fuzz-song: deps
	@./scripts/fuzz --song $(FUZZ_SECONDS)

run: build
	@./$(BUILD)/ui/verselane

bench: build
	@./$(BUILD)/bench/verselane-bench

bench-compare: build
	@./scripts/bench-compare --build $(BUILD) --out $(BUILD)/bench-compare.md

# Plants MUTANTS small faults (default 60, seed 7) in a copy of the product
# code and reports how many the tests catch (scripts/mutants).
MUTANTS ?= 60
mutants: deps
	@./scripts/mutants $(MUTANTS) 7

screenshots:
	@./scripts/screenshots

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build

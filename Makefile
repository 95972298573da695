# Quick start:
#   make run    install what is missing, build, and start the desktop program
#   make test   install what is missing, build, and run every test
#
# Builds live under build/<preset> (see CMakePresets.json).

PRESET ?= default
BUILD  := build/$(PRESET)

.PHONY: all deps configure build test run bench clean format screenshots

all: build

deps:
	@./scripts/install-deps

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

test: build
	@ctest --preset $(PRESET)

run: build
	@./$(BUILD)/ui/verselane

bench: build
	@./$(BUILD)/bench/verselane-bench

screenshots:
	@./scripts/screenshots

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf build

# Front door: `make test` sets up, builds and runs every test; `make run` sweeps once.
MAKEFLAGS += --no-print-directory
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup configure build test run bench dist clean

all: build

setup:
	@MORVANE_BUILD=$(abspath $(BUILD)) tools/setup.sh

$(BUILD)/CMakeCache.txt: | setup
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: setup configure
	cmake --build $(BUILD) -j $(JOBS)

# The installer test runs the setup exe that `make dist` builds.
test: dist
	MORVANE_BUILD=$(abspath $(BUILD)) tools/run-tests.sh

# Sweeps once in the demo prefix and prints what was removed.
run: build
	MORVANE_BUILD=$(abspath $(BUILD)) tools/run-once.sh

# The installer and the portable zip, into build/dist/.
dist: build
	MORVANE_BUILD=$(abspath $(BUILD)) tools/make-dist.sh

bench: build
	MORVANE_BUILD=$(abspath $(BUILD)) tools/run-bench.sh $(BENCH)

clean:
	rm -rf $(BUILD)

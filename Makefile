# The entry points: `make demo` renders the demo script through the host program,
# `make check` builds and runs the normal suite, `make test` (CI) the whole suite, then
# again under ASan+UBSan and TSan, then the fuzzers.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps build demo check test clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/run-demo $(BUILD)

check: deps
	@scripts/run-tests default

test: deps
	@scripts/run-tests

clean:
	rm -rf build build-asan build-tsan build-fuzz

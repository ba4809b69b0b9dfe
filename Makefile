# The two entry points: `make demo` renders the demo script through the host program,
# `make test` builds and runs the whole suite, then again under ASan+UBSan and TSan.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all deps build demo test clean

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/run-demo $(BUILD)

test: deps
	@scripts/run-tests

clean:
	rm -rf build build-asan build-tsan build-fuzz

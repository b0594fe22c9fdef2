# Two commands on a new machine: `make run` and `make test`.
BUILD_DIR ?= build
CMAKE_FLAGS ?=

.PHONY: all deps configure build test check-format check-sanitizers run clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@test -f $(BUILD_DIR)/build.ninja || cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR)

test: build
	scripts/run-tests.sh $(BUILD_DIR)
	@scripts/code-size.sh | tail -n 1

# Every C++ file as .clang-format asks.
check-format: deps
	@scripts/check-format.sh

# The sanitizer builds and bounded fuzzing that continuous integration adds.
check-sanitizers: deps
	scripts/check-sanitizers.sh

# Builds only what it runs: the client, the server and the resources (and
# the demonstration's programs when there is no display).
run: configure
	scripts/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan

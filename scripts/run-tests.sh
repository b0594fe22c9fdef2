#!/bin/sh
# Runs the test suite of a build directory.
set -eu
build=${1:-build}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 300

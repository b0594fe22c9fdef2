#!/bin/sh
# Runs the client from a build directory.
set -eu
build=${1:-build}
exec "$build/bin/tolvar"

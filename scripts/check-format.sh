#!/bin/sh
# Fails when a C++ file of the tree differs from what .clang-format asks for.
set -eu
cd "$(dirname "$0")/.."
status=0
for file in $(git ls-files '*.cpp' '*.h'); do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file (run: clang-format -i $file)"
    status=1
  fi
done
exit $status

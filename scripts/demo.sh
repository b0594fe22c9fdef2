#!/bin/bash
# The demonstration without a screen: tolvar-server on a free port and two
# real clients on a virtual display (Xvfb when installed, else Qt's
# offscreen platform). Two new users create their accounts, chat, and play
# a short game to mate through the server; pictures of the lobby and of
# both game windows are saved as PNG files, whose paths are printed.
#
#   scripts/demo.sh [BUILD_DIRECTORY [OUTPUT_DIRECTORY]]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-build}
output=${2:-$build/demo}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja
fi
cmake --build "$build" --target tolvar_demo tolvar_e2e_client tolvar-server
demo=$(cd "$build/bin" && pwd)/tolvar_demo
mkdir -p "$output"
output=$(cd "$output" && pwd)

unset WAYLAND_DISPLAY
if command -v xvfb-run >/dev/null 2>&1; then
  echo "demo: clients on a virtual X display (Xvfb)"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$demo" "$output"
fi
echo "demo: clients on Qt's offscreen platform (Xvfb is not installed)"
unset DISPLAY
export QT_QPA_PLATFORM=offscreen
exec "$demo" "$output"

#!/bin/bash
# The demonstration without a screen: tolvar-server and two real clients on
# a virtual display (Xvfb when installed, else Qt's offscreen platform).
# Two new users create their accounts, chat, and play a short game to mate
# through the server; pictures of the lobby and of both game windows are
# saved as PNG files, whose paths are printed.
#
#   scripts/demo.sh [BUILD_DIRECTORY [OUTPUT_DIRECTORY]]
#
# The clients always connect to port 5000, so the demonstration runs in a
# private network namespace when the system allows one, and otherwise only
# when nothing listens on that port.
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

namespace=()
if unshare -rn true 2>/dev/null; then
  namespace=("$here/in-netns.sh")
elif (exec 3<>/dev/tcp/127.0.0.1/5000) 2>/dev/null; then
  echo "demo: port 5000 is taken and no private network namespace can be made;" >&2
  echo "demo: stop what listens on 5000 and try again." >&2
  exit 1
fi

unset WAYLAND_DISPLAY
if command -v xvfb-run >/dev/null 2>&1; then
  echo "demo: clients on a virtual X display (Xvfb)"
  exec "${namespace[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" "$demo" "$output"
fi
echo "demo: clients on Qt's offscreen platform (Xvfb is not installed)"
unset DISPLAY
export QT_QPA_PLATFORM=offscreen
exec "${namespace[@]}" "$demo" "$output"

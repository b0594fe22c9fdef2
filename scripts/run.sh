#!/bin/bash
# Runs Tolvar Chess from a build directory: builds the client, the server
# and the resources when they are missing or out of date, starts
# tolvar-server on 127.0.0.1:5000 (unless something already listens there)
# with its database in the user's data directory, opens the client, and
# stops the server it started when the client ends.
#
# Without a display there is no window to open: it says so and runs the
# headless demonstration (scripts/demo.sh) instead.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-build}

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set)," >&2
  echo "run: so the client cannot open its windows here." >&2
  echo "run: running the headless demonstration instead (scripts/demo.sh)." >&2
  exec "$here/demo.sh" "$build"
fi
cmake --build "$build" --target tolvar tolvar-server

listening() {
  (exec 3<>/dev/tcp/127.0.0.1/5000) 2>/dev/null
}

if listening; then
  echo "run: a server already listens on 127.0.0.1:5000; the client will use it."
else
  data=${XDG_DATA_HOME:-$HOME/.local/share}/tolvar
  mkdir -p "$data"
  "$build/bin/tolvar-server" --listen 127.0.0.1 --port 5000 --db "$data/server.db" \
    --log "$data/server.log" &
  server=$!
  trap 'kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true' EXIT
  trap 'exit 130' INT TERM
  for _ in $(seq 100); do
    listening && break
    if ! kill -0 "$server" 2>/dev/null; then
      echo "run: tolvar-server did not start; the end of its log ($data/server.log):" >&2
      tail -n 20 "$data/server.log" >&2
      exit 1
    fi
    sleep 0.1
  done
  if ! listening; then
    echo "run: tolvar-server does not accept connections; see $data/server.log" >&2
    exit 1
  fi
  echo "run: tolvar-server is running (database $data/server.db, log $data/server.log)."
  echo "run: log in on \"localhost\"; tick \"Create This Account!\" for a new user."
fi

"$build/bin/tolvar"

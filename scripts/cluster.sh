#!/bin/bash
# A Tolvar cluster on this machine: PostgreSQL, nats-server, HAProxy and the
# nodes of deploy/nodes.conf, configured by the files in deploy/.
#
#   scripts/cluster.sh up [BUILD]     start it all; clients connect to 127.0.0.1:5000
#   scripts/cluster.sh down [BUILD]   stop it all
#
# Everything lives in BUILD/cluster (BUILD defaults to build): the
# PostgreSQL data, the logs, the process ids. Remove that folder for a
# fresh cluster. Missing Debian packages are installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${2:-$root/build}" 2>/dev/null && pwd || echo "${2:-$root/build}")
state=$build/cluster
server=$build/bin/tolvar-server
pg_port=15432
bus=nats://127.0.0.1:14222

# PostgreSQL refuses to run as root: then it runs as the postgres user.
as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

pg_bin() {
  ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1
}

stop_pid() { # name
  local file=$state/$1.pid
  [ -f "$file" ] || return 0
  local pid
  pid=$(cat "$file")
  if kill "$pid" 2>/dev/null; then
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$file"
}

greets() { # port [hello]: the first bytes of a connection there are "101 "
  timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1 && printf '${2:-}' >&3 && head -c 4 <&3" \
    2>/dev/null | grep -q '^101'
}

up() {
  # Whatever is left of an earlier run goes first.
  down >/dev/null
  local missing=""
  command -v nats-server >/dev/null || [ -x /usr/sbin/nats-server ] || missing="$missing nats-server"
  command -v haproxy >/dev/null || [ -x /usr/sbin/haproxy ] || missing="$missing haproxy"
  [ -n "$(pg_bin)" ] || missing="$missing postgresql"
  if [ -n "$missing" ]; then
    echo "Installing$missing"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q $missing
  fi
  [ -x "$server" ] || cmake --build "$build" --target tolvar-server
  mkdir -p "$state"

  # PostgreSQL: a private cluster on its own port and socket directory.
  local bin
  bin=$(pg_bin)
  if [ ! -f "$state/pg/PG_VERSION" ]; then
    mkdir -p "$state/pg"
    [ "$(id -u)" -ne 0 ] || chown postgres: "$state" "$state/pg"
    as_pg "$bin/initdb" -D "$state/pg" -U tolvar --auth=trust -E UTF8 >"$state/initdb.log"
    cp "$root/deploy/postgresql.conf" "$state/tolvar-postgresql.conf"
    echo "include '$state/tolvar-postgresql.conf'" >>"$state/pg/postgresql.conf"
  fi
  [ "$(id -u)" -ne 0 ] || chown postgres: "$state"
  as_pg "$bin/pg_ctl" -D "$state/pg" -l "$state/postgresql.log" -w \
    -o "-p $pg_port -k $state" start >/dev/null
  as_pg "$bin/psql" -h "$state" -p $pg_port -U tolvar -d postgres -tAc \
    "SELECT 1 FROM pg_database WHERE datname = 'tolvar'" | grep -q 1 ||
    as_pg "$bin/createdb" -h "$state" -p $pg_port -U tolvar tolvar

  local nats
  nats=$(command -v nats-server || echo /usr/sbin/nats-server)
  setsid "$nats" -c "$root/deploy/nats-server.conf" -l "$state/nats.log" \
    -P "$state/nats.pid" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 50); do grep -q "Server is ready" "$state/nats.log" 2>/dev/null && break; sleep 0.1; done

  # The nodes share the PostgreSQL database when the server can use one,
  # otherwise one SQLite file (which only works on one machine).
  local storage=(--db "$state/tolvar.db")
  if "$server" --help | grep -q -- --postgres; then
    storage=(--postgres "host=127.0.0.1 port=$pg_port dbname=tolvar user=tolvar")
  fi
  local name port
  while read -r name port; do
    case "$name" in ''|'#'*) continue ;; esac
    # HAProxy names each client in a PROXY header (send-proxy); so must
    # anyone else who connects from its address, as the check below does.
    setsid "$server" --listen 127.0.0.1 --port "$port" --bus "$bus" --node "$name" \
      --proxy-from 127.0.0.1 "${storage[@]}" --log "$state/$name.log" </dev/null >/dev/null 2>&1 &
    echo $! >"$state/$name.pid"
    # The first node makes the database; the others wait for it.
    for _ in $(seq 100); do greets "$port" 'PROXY UNKNOWN\r\n' && break; sleep 0.1; done
  done <"$root/deploy/nodes.conf"

  local haproxy
  haproxy=$(command -v haproxy || echo /usr/sbin/haproxy)
  "$haproxy" -f "$root/deploy/haproxy.cfg" -D -p "$state/haproxy.pid"
  for _ in $(seq 50); do greets 5000 && break; sleep 0.1; done
  if ! greets 5000; then
    echo "the cluster did not come up; see the logs in $state" >&2
    exit 1
  fi
  echo "Tolvar cluster up: connect to 127.0.0.1 port 5000 (logs in $state)"
}

down() {
  stop_pid haproxy
  local name port
  if [ -f "$root/deploy/nodes.conf" ]; then
    while read -r name port; do
      case "$name" in ''|'#'*) continue ;; esac
      stop_pid "$name"
    done <"$root/deploy/nodes.conf"
  fi
  stop_pid nats
  local bin
  bin=$(pg_bin)
  if [ -n "$bin" ] && [ -f "$state/pg/postmaster.pid" ]; then
    as_pg "$bin/pg_ctl" -D "$state/pg" -m fast -w stop >/dev/null
  fi
  echo "Tolvar cluster down"
}

case "${1:-}" in
  up) up ;;
  down) down ;;
  *) echo "usage: $0 up|down [BUILD]" >&2; exit 2 ;;
esac

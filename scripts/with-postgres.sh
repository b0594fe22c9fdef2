#!/bin/sh
# Runs a command with a throw-away PostgreSQL server: a new cluster in a
# temporary directory, listening only on a Unix socket there, started for
# the command and always stopped and removed after it. The command finds its
# connection string in TOLVAR_TEST_POSTGRES (without a database name: it
# makes its own databases) and exits with the command's status.
#
#   scripts/with-postgres.sh COMMAND [ARGUMENT]...
#
# As root, the cluster runs as the postgres user (PostgreSQL refuses root).
set -u
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGUMENT]..." >&2; exit 2; }
bin=""
for candidate in ${TOLVAR_PG_BIN:-} /usr/lib/postgresql/*/bin; do
  [ -x "$candidate/initdb" ] && bin=$candidate
done
if [ -z "$bin" ]; then
  echo "with-postgres: no PostgreSQL server found (install the postgresql package)" >&2
  exit 1
fi
as=""
if [ "$(id -u)" -eq 0 ]; then
  if ! id postgres >/dev/null 2>&1; then
    echo "with-postgres: running as root needs a postgres user to run the cluster" >&2
    exit 1
  fi
  as="runuser -u postgres --"
fi
# As root the cluster's user must reach the directory: it goes below /tmp.
base=${TMPDIR:-/tmp}
[ -n "$as" ] && base=/tmp
dir=$(mktemp -d "$base/tolvar-pg-XXXXXX") || exit 1
chmod 755 "$dir"
[ -n "$as" ] && chown postgres "$dir"
cleanup() {
  $as "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# initdb takes most of the time; with TOLVAR_PG_CACHE naming a directory
# (the tests name one in the build), the first cluster made is kept there
# and later ones are copies of it.
template=""
if [ -n "${TOLVAR_PG_CACHE:-}" ]; then
  template="$TOLVAR_PG_CACHE/$(basename "$(dirname "$bin")")"
fi
if [ -n "$template" ] && [ -f "$template/PG_VERSION" ]; then
  cp -a "$template" "$dir/data"
elif ! $as "$bin/initdb" -D "$dir/data" -U postgres -A trust --no-sync -E UTF8 \
     --no-instructions >"$dir/initdb.log" 2>&1; then
  echo "with-postgres: initdb failed:" >&2
  cat "$dir/initdb.log" >&2
  exit 1
elif [ -n "$template" ] && mkdir -p "$TOLVAR_PG_CACHE"; then
  # Copied aside and renamed, so that clusters made side by side never
  # see half a template.
  cp -a "$dir/data" "$template.$$" && mv -T "$template.$$" "$template" 2>/dev/null
  rm -rf "$template.$$"
fi
# The port only names the socket file in the directory; nothing listens
# on TCP, so clusters started side by side never meet.
port=5432
if ! $as "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
     -o "-c listen_addresses='' -k $dir -p $port -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
     start >/dev/null 2>&1; then
  echo "with-postgres: the PostgreSQL server did not start:" >&2
  cat "$dir/server.log" >&2
  exit 1
fi
TOLVAR_TEST_POSTGRES="host=$dir port=$port user=postgres"
export TOLVAR_TEST_POSTGRES
"$@"

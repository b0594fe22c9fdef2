#!/bin/sh
# Runs a command in a private network namespace with only loopback up, so a
# test may listen on a fixed port (5000) without colliding with anything else.
if unshare -rn true 2>/dev/null; then
  exec unshare -rn sh -c 'ip link set lo up 2>/dev/null || ifconfig lo up 2>/dev/null; exec "$@"' sh "$@"
fi
echo "in-netns: cannot create a network namespace; running in the host namespace" >&2
exec "$@"

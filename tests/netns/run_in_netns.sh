#!/bin/sh
# Runs a command inside a fresh, isolated network namespace that has only the
# loopback interface, with the address 10.77.0.1 and a multicast route, so
# that discovery traffic never leaves this machine.
# Usage: run_in_netns.sh COMMAND [ARGS...]
if [ "$#" -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGS...]" >&2
  exit 2
fi
exec unshare -rn sh -c '
  ip link set lo up &&
  ip link set lo multicast on &&
  ip addr add 10.77.0.1/32 dev lo &&
  ip route add 224.0.0.0/4 dev lo &&
  exec "$@"' run_in_netns "$@"

#!/bin/sh
# Runs a command on a private session bus of its own, stopped afterwards by its pid.
#   with-session-bus.sh COMMAND [ARGS...]
set -eu
scratch=$(mktemp -d)
dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 \
  3>"$scratch/address" 4>"$scratch/pid"
bus_pid=$(cat "$scratch/pid")
trap 'kill "$bus_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
DBUS_SESSION_BUS_ADDRESS=$(cat "$scratch/address")
export DBUS_SESSION_BUS_ADDRESS
status=0
"$@" || status=$?
exit "$status"

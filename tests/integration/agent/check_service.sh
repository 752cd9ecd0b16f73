#!/bin/sh
# The systemd unit of the agent: systemd itself finds nothing to complain about, and it keeps
# the agent in the foreground where systemd can watch and stop it.
# usage: check_service.sh UNIT_FILE AGENT_BINARY
set -eu
unit=$1
agent=$2
grep -q '^ExecStart=/usr/local/bin/vrnhttp -f ' "$unit" || { echo "ExecStart must run vrnhttp -f"; exit 1; }
grep -q '^KillSignal=SIGTERM$' "$unit" || { echo "the agent stops on SIGTERM"; exit 1; }
if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "systemd-analyze is not installed; only the lines were checked"
  exit 0
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sed "s#/usr/local/bin/vrnhttp#$agent#" "$unit" > "$dir/vrnhttp.service"
out=$(systemd-analyze verify "$dir/vrnhttp.service" 2>&1) || { echo "$out"; exit 1; }
# Unknown values are only warned about: any output is a fault of the unit.
if [ -n "$out" ]; then
  echo "$out"
  exit 1
fi
echo "unit verified"

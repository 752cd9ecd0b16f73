#!/bin/sh
# The systemd unit of QuillHT headless: systemd finds nothing to complain about, it runs the
# headless mode with its files in its state folder, and reload and stop map to the signals the
# program takes, and it may open descriptors for a thousand agents.
# usage: check_quillht_service.sh UNIT_FILE QUILLHT_BINARY
set -eu
unit=$1
program=$2
grep -q '^ExecStart=/usr/local/bin/QuillHT --headless --config /var/lib/quillht/QuillHT.ini --workdir /var/lib/quillht ' "$unit" ||
  { echo "ExecStart must run QuillHT --headless with its files in /var/lib/quillht"; exit 1; }
grep -q '^StateDirectory=quillht$' "$unit" || { echo "the state folder must be quillht"; exit 1; }
grep -q '^ExecReload=/bin/kill -HUP \$MAINPID$' "$unit" || { echo "reload must send SIGHUP"; exit 1; }
grep -q '^KillSignal=SIGTERM$' "$unit" || { echo "QuillHT stops on SIGTERM"; exit 1; }
limit=$(sed -n 's/^LimitNOFILE=\([0-9]*\)$/\1/p' "$unit")
[ -n "$limit" ] && [ "$limit" -ge 4096 ] ||
  { echo "LimitNOFILE must allow a thousand agents (two descriptors each)"; exit 1; }
if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "systemd-analyze is not installed; only the lines were checked"
  exit 0
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
sed "s#/usr/local/bin/QuillHT#$program#" "$unit" > "$dir/QuillHT.service"
out=$(systemd-analyze verify "$dir/QuillHT.service" 2>&1) || { echo "$out"; exit 1; }
# Unknown values are only warned about: any output is a fault of the unit.
if [ -n "$out" ]; then
  echo "$out"
  exit 1
fi
echo "unit verified"

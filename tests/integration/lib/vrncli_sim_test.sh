#!/usr/bin/env bash
# vrncli against vrnsim: every verb over the serial link (by a symbolic link to the pty)
# and over UDP, text and JSON output, and the exit status carrying the library status.
set -u
vrncli=$1
vrnsim=$2
. "$(dirname "$0")/cli_harness.sh"
json() { # field, json text
  python3 -c 'import json,sys; v=json.loads(sys.argv[2]); print(v.get(sys.argv[1], "<missing>"))' "$1" "$2"
}

start_sim
ctl() { "$vrnsim" ctl "$dir/ctl" "$@" >/dev/null; }

for link in "--serial $dir/line" "--udp 127.0.0.1:$port"; do
  # shellcheck disable=SC2086
  set -- $link
  out=$("$vrncli" "$@" --json sysinfo); rc=$?
  check "$link sysinfo rc" 0 "$rc"
  check "$link sysinfo status" 0 "$(json status "$out")"
  vendor=$(json vendor "$out")
  [ -n "$vendor" ] && [ "$vendor" != "<missing>" ]; check "$link sysinfo vendor present" 0 $?
  check "$link sysinfo text vendor" "vendor: $vendor" "$("$vrncli" "$@" sysinfo | grep '^vendor: ')"

  out=$("$vrncli" "$@" --json identify); rc=$?
  check "$link identify rc" 0 "$rc"
  check "$link identify" True "$(json identified "$out")"

  index=$("$vrnsim" ctl "$dir/ctl" event-index | cut -d' ' -f2)
  out=$("$vrncli" "$@" --json poll-event); rc=$?
  check "$link poll rc" 0 "$rc"
  check "$link poll index" "$index" "$(json index "$out")"
  check "$link poll text" "index: $index" "$("$vrncli" "$@" poll-event)"

  # Refusals and faults come out as the exit status.
  ctl fault refuse M count 1
  "$vrncli" "$@" sysinfo >/dev/null 2>&1; check "$link refused M" 8 $?
  ctl fault refuse 0x42 count 1
  out=$("$vrncli" "$@" --json sysinfo); rc=$?
  check "$link refused B rc" 66 "$rc"
  check "$link refused B status" 66 "$(json status "$out")"
  ctl fault garbage on count 1
  "$vrncli" "$@" identify >/dev/null 2>&1; check "$link garbage" 2 $?
done

# UDP time-out given on the command line: a silent agent gives 5 after about a second.
ctl fault silent on count 1
start=$(date +%s%N)
"$vrncli" --udp "127.0.0.1:$port" --timeout 1 poll-event >/dev/null 2>&1; rc=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "udp silent rc" 5 "$rc"
[ "$ms" -ge 900 ] && [ "$ms" -le 2500 ]; check "udp silent took about 1 s ($ms ms)" 0 $?

# The library version needs no controller.
check "version" "version: 257" "$("$vrncli" version | head -1)"
check "version json" 257 "$(json version "$("$vrncli" --json version)")"

# Usage errors exit 6; so do serial names that are not devices or do not fit.
"$vrncli" sysinfo >/dev/null 2>&1; check "no link" 6 $?
"$vrncli" --udp 127.0.0.1:0 sysinfo >/dev/null 2>&1; check "port 0" 6 $?
"$vrncli" --udp 127.0.0.1 --serial pts/0 sysinfo >/dev/null 2>&1; check "both links" 6 $?
"$vrncli" --udp 127.0.0.1:"$port" frobnicate >/dev/null 2>&1; check "unknown verb" 6 $?
"$vrncli" --serial "$dir/out" sysinfo >/dev/null 2>&1; check "not below /dev" 6 $?
"$vrncli" --serial ttyVeryLongName sysinfo >/dev/null 2>&1; check "name too long" 6 $?
"$vrncli" --serial nosuchtty sysinfo >/dev/null 2>&1; check "no such port" 15 $?
"$vrncli" --udp not.an.address sysinfo >/dev/null 2>&1; check "bad address" 6 $?
"$vrncli" --help | grep -q '^  poll-event'; check "help lists verbs" 0 $?

finish

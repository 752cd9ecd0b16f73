# Shared by the vrncli script tests: a scratch folder, a vrnsim on a pty (linked as
# $dir/line) and on UDP (port in $port), a check() that counts, and the closing tally.
# Source it after setting vrncli and vrnsim; call start_sim with any extra vrnsim options.
dir=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

failures=0
passes=0
check() { # name, expected, actual
  if [ "$2" == "$3" ]; then
    passes=$((passes + 1))
  else
    echo "FAIL: $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  fi
}

start_sim() { # extra vrnsim options
  "$vrnsim" --pty --udp 127.0.0.1:0 --link "$dir/line" --ctl "$dir/ctl" "$@" \
    >"$dir/out" 2>"$dir/err" &
  sim_pid=$!
  for _ in $(seq 50); do grep -q '^ready$' "$dir/out" && break; sleep 0.1; done
  grep -q '^ready$' "$dir/out" || { echo "vrnsim did not start"; cat "$dir/err"; exit 1; }
  port=$(sed -n 's/^udp 127.0.0.1:\([0-9]*\)$/\1/p' "$dir/out")
}

finish() {
  echo "$passes passed, $failures failed"
  [ "$failures" -eq 0 ]
}

#!/bin/sh
# Fails when a Qt header is included anywhere below monitor/ui.
top=${1:-.}
hits=$(grep -rnE '#include *<Q[A-Za-z]+>|#include *<Qt' \
  "$top/lib" "$top/agent" "$top/sim" "$top/tools" \
  "$top/monitor/core" "$top/monitor/notify" "$top/monitor/settings" "$top/monitor/diskcheck" 2>/dev/null)
if [ -n "$hits" ]; then
  echo "Qt included below monitor/ui:"
  echo "$hits"
  exit 1
fi
echo "layering ok"

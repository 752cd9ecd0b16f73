#!/bin/sh
# Fails when an include points up the monitor's dependency order or a Qt header is included
# below monitor/ui.
#
# Order, top to bottom: app ui diskcheck core notify settings codec. A file of one monitor folder
# may include headers of its own folder and of the folders below it, never of one above it (so
# settings never includes notify, core never includes ui, codec includes no monitor folder).
# Project headers are included by file name, so an include counts for the folder that holds a
# header of that name (unless the including folder has one of its own).
#
# usage: check_layering.sh [SOURCE_TREE]
top=${1:-.}
order="app ui diskcheck core notify settings codec"
status=0

qt=$(grep -rnE '#include *<Q[A-Za-z]+>|#include *<Qt' \
  "$top/lib" "$top/agent" "$top/sim" "$top/tools" \
  "$top/monitor/diskcheck" "$top/monitor/core" "$top/monitor/notify" "$top/monitor/settings" \
  "$top/monitor/codec" 2>/dev/null)
if [ -n "$qt" ]; then
  echo "Qt included below monitor/ui:"
  echo "$qt"
  status=1
fi

# Headers by folder, one "folder header" pair a line.
headers=$(for folder in $order; do
  [ -d "$top/monitor/$folder" ] || continue
  find "$top/monitor/$folder" -maxdepth 1 -name '*.h' -printf "$folder %f\n"
done)

above=""
for folder in $order; do
  dir="$top/monitor/$folder"
  if [ -d "$dir" ] && [ -n "$above" ]; then
    hits=$(grep -rnE '#include *["<][^">]+[">]' "$dir" 2>/dev/null |
      awk -v folder="$folder" -v above="$above" -v headers="$headers" '
        BEGIN {
          n = split(above, a, " "); for (i = 1; i <= n; ++i) isAbove[a[i]] = 1
          m = split(headers, h, "\n")
          for (i = 1; i <= m; ++i) {
            split(h[i], p, " ")
            if (p[1] == folder) own[p[2]] = 1
            else if (p[1] in isAbove) upper[p[2]] = p[1]
          }
        }
        {
          name = $0
          sub(/^[^#]*#include *["<]/, "", name); sub(/[">].*$/, "", name); sub(/^.*\//, "", name)
          if (!(name in own) && (name in upper))
            print "monitor/" folder " includes " name " of monitor/" upper[name] ": " $0
        }')
    if [ -n "$hits" ]; then
      echo "$hits"
      status=1
    fi
  fi
  above="$above $folder"
done

[ $status -eq 0 ] && echo "layering ok"
exit $status

#!/bin/sh
# The layering check against small made-up trees: each case must pass or fail as stated, so a
# check that stopped looking would be noticed.
#
# usage: check_layering_test.sh PATH_TO_check_layering.sh
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# A tree in which every arrow points down: notify uses settings and codec, core uses notify.
base_tree() {
  t=$1
  rm -rf "$t"
  for f in app ui diskcheck core notify settings codec; do mkdir -p "$t/monitor/$f"; done
  mkdir -p "$t/lib" "$t/agent" "$t/sim" "$t/tools"
  echo '#pragma once' >"$t/monitor/codec/Md5.h"
  echo '#pragma once' >"$t/monitor/settings/SettingsStore.h"
  echo '#pragma once' >"$t/monitor/notify/Notifier.h"
  echo '#pragma once' >"$t/monitor/core/Monitor.h"
  echo '#pragma once' >"$t/monitor/ui/MainWindow.h"
  printf '#include "Md5.h"\n' >"$t/monitor/settings/SettingsStore.cpp"
  printf '#include "SettingsStore.h"\n#include "Md5.h"\n' >"$t/monitor/notify/Notifier.cpp"
  printf '#include "Notifier.h"\n#include <string>\n' >"$t/monitor/core/Monitor.cpp"
  printf '#include <QWidget>\n#include "Monitor.h"\n' >"$t/monitor/ui/MainWindow.cpp"
  printf '#include "MainWindow.h"\n' >"$t/monitor/app/main.cpp"
}

# name | expected exit status | shell commands that change the base tree
while IFS='|' read -r name want change; do
  tree="$work/tree"
  base_tree "$tree"
  (cd "$tree" && eval "$change")
  sh "$check" "$tree" >"$work/out" 2>&1
  got=$?
  if [ "$got" -eq "$want" ]; then
    echo "ok   $name"
  else
    echo "FAIL $name: exit $got, expected $want"
    sed 's/^/     /' "$work/out"
    failed=1
  fi
done <<'CASES'
every arrow points down|0|true
settings includes a notify header|1|echo '#include "Notifier.h"' >>monitor/settings/SettingsStore.cpp
core includes a ui header|1|echo '#include "MainWindow.h"' >>monitor/core/Monitor.cpp
codec includes a settings header|1|echo '#include "SettingsStore.h"' >>monitor/codec/Md5.h
codec includes a header by path|1|echo '#include "monitor/notify/Notifier.h"' >monitor/codec/Md5.cpp
notify includes Qt|1|echo '#include <QString>' >>monitor/notify/Notifier.cpp
diskcheck includes a Qt module path|1|echo '#include <QtCore/QObject>' >monitor/diskcheck/Plan.cpp
the library includes Qt|1|echo '#include <QByteArray>' >lib/Frame.cpp
a folder's own header of the same name wins|0|echo '#pragma once' >monitor/settings/Notifier.h; echo '#include "Notifier.h"' >>monitor/settings/SettingsStore.cpp
a name that only resembles a header above|0|echo '#include "NotifierXh"' >>monitor/settings/SettingsStore.cpp
CASES

exit $failed

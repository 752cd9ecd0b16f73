#!/usr/bin/env bash
# An administrator's story with vrncli against vrnsim: read the controller's state, create a
# raid set and a volume on it, watch the volume initialise, read the events this caused. Then
# the other verbs once each, their exit statuses and their usage errors.
set -u
vrncli=$1
vrnsim=$2
. "$(dirname "$0")/cli_harness.sh"
# Prints a value from JSON by a Python expression over `v`.
jq_() { python3 -c 'import json,sys; v=json.loads(sys.argv[2]); print(eval(sys.argv[1]))' "$1" "$2"; }

# The simulator's clock runs at a fiftieth: a volume initialises in a second or two.
start_sim --time-scale 0.02
serial=(--serial "$dir/line")
udp=(--udp "127.0.0.1:$port")
cli() { "$vrncli" "$@" 2>/dev/null; }

# 1. The state: system information, the raid set there is, a free drive, the whole log.
sys=$(cli "${serial[@]}" --json sysinfo); check "sysinfo rc" 0 $?
events=$(jq_ 'v["events"]' "$sys")
check "vendor" "Varno Storage Systems" "$(jq_ 'v["vendor"]' "$sys")"
raid=$(cli "${udp[@]}" --json raidset 0); check "raidset 0 rc" 0 $?
check "raid set 0 members" "[0, 1, 2, 3]" "$(jq_ 'v["members"]' "$raid")"
check "drive 4 is free" "255" "$(jq_ 'v["raid_set"]' "$(cli "${serial[@]}" --json drive 4)")"
log=$(cli "${udp[@]}" --json events --all); check "events --all rc" 0 $?
check "whole log count" "$events" "$(jq_ 'v["count"]' "$log")"
check "whole log listed" "$events" "$(jq_ 'len(v["events"])' "$log")"
index=$(jq_ 'v["index"]' "$(cli "${serial[@]}" --json poll-event)")

# 2. A raid set of drives 4 to 7 and a volume of 100 GB on it.
cli "${serial[@]}" check-password 5172 >/dev/null; check "password" 0 $?
out=$(cli "${serial[@]}" create-raidset 0xF0 Story); check "create-raidset rc" 0 $?
check "create-raidset text" "mask: 240" "$out"
raid=$(cli "${serial[@]}" --json raidset 1)
check "new raid set name" "Story" "$(jq_ 'v["name"]' "$raid")"
check "new raid set members" "[4, 5, 6, 7]" "$(jq_ 'v["members"]' "$raid")"
cli "${udp[@]}" create-volume 1 StoryVol 100 id=1 >/dev/null; check "create-volume rc" 0 $?

# 3. Watch the initialisation (bounded: at most 20 s).
seen_running=0
seen_progress=0
done_init=0
for _ in $(seq 100); do
  vol=$(cli "${serial[@]}" --json volume 2) || break
  if [ "$(jq_ 'v["initialising"]' "$vol")" == "True" ]; then
    seen_running=1
    [ "$(jq_ 'v["progress"]' "$vol")" -gt 0 ] && seen_progress=1
  else
    done_init=1
    break
  fi
  sleep 0.2
done
check "volume initialising seen" 1 "$seen_running"
check "progress seen" 1 "$seen_progress"
check "initialisation finished" 1 "$done_init"
check "volume name" "StoryVol" "$(jq_ 'v["name"]' "$vol")"
check "volume sectors" 195312500 "$(jq_ 'v["capacity"]' "$vol")"
check "volume text" "progress_percent: 0.0" \
  "$(cli "${serial[@]}" volume 2 | grep '^progress_percent')"

# 4. The new events since the index read before, oldest first, over UDP.
new=$(cli "${udp[@]}" --json events --since "$index"); check "events --since rc" 0 $?
check "new events" "['Create RaidSet', 'Create Volume', 'Start Initialize', 'Complete Init']" \
  "$(jq_ '[e["type_text"] for e in v["events"]]' "$new")"
check "new events name the volume" "StoryVol" "$(jq_ 'v["events"][3]["text"]' "$new")"
check "events text" "events[0].type_text: Create RaidSet" \
  "$(cli "${serial[@]}" events --since "$index" | grep '^events\[0\].type_text')"
obj=$(cli "${serial[@]}" --json event-object 0)
check "event-object 0 is the newest" "Complete Init" "$(jq_ 'v["event"]["type_text"]' "$obj")"

# 5. Every other verb once, over one link or the other, with its exit status.
run() { # name, expected status, link..., verb args...
  local name=$1 want=$2
  shift 2
  "$vrncli" "$@" >"$dir/last" 2>&1
  check "$name" "$want" $?
}
run "hwmon fan" 0 "${serial[@]}" hwmon fan
run "hwmon 5010 on an 8-channel controller" 6 "${udp[@]}" hwmon5010
run "set-serial" 0 "${serial[@]}" set-serial VRN-0042
run "set-vendor" 0 "${udp[@]}" set-vendor "Story Vendor"
run "set-model" 0 "${serial[@]}" set-model VRN-9
run "set-model too long" 6 "${serial[@]}" set-model ABCDEFGHI
run "set-mac" 0 "${udp[@]}" set-mac 02:00:00:00:00:07
run "set-mac malformed" 6 "${udp[@]}" set-mac 02:00:00
run "set-time" 0 "${serial[@]}" set-time
run "mute-beeper" 0 "${serial[@]}" mute-beeper
run "set-beeper" 0 "${udp[@]}" set-beeper 1
run "set-host-mode" 0 "${serial[@]}" set-host-mode 1
run "set-rebuild-priority" 0 "${serial[@]}" set-rebuild-priority 2
run "set-ata-mode" 0 "${udp[@]}" set-ata-mode 5
run "set-dhcp-ip" 0 "${udp[@]}" set-dhcp-ip 0 10.1.2.3
run "set-term-port" 0 "${udp[@]}" set-term-port 1 5 0
run "set-term-port speed 8" 6 "${udp[@]}" set-term-port 1 8 0
sys=$(cli "${serial[@]}" --json sysinfo)
check "settings in sysinfo" "VRN-0042|Story Vendor|VRN-9|02:00:00:00:00:07|10.1.2.3|1|2|5" \
  "$(jq_ '"|".join(str(x) for x in [v["serial"], v["vendor"], v["model"], v["mac"], v["local_ip"], v["beeper"], v["rebuild_priority"], v["max_ata_mode"]])' "$sys")"
run "set-password" 0 "${serial[@]}" set-password 0000
run "check old password" 9 "${serial[@]}" check-password 5172
run "check new password" 0 "${serial[@]}" check-password 0000
run "logout" 0 "${serial[@]}" logout
run "start-check" 0 "${serial[@]}" start-check 2
run "stop-check" 0 "${serial[@]}" stop-check 2
run "delete-volume" 0 "${serial[@]}" delete-volume 2
run "delete-volume again" 8 "${serial[@]}" delete-volume 2
run "delete-raidset" 0 "${udp[@]}" delete-raidset 1
run "create-hotspare" 0 "${udp[@]}" create-hotspare 0x80
run "delete-hotspare" 0 "${udp[@]}" delete-hotspare 0x80
run "activate-raidset" 0 "${serial[@]}" activate-raidset 0
run "create-passthrough" 0 "${serial[@]}" create-passthrough 7 id=2
run "modify-passthrough" 0 "${serial[@]}" modify-passthrough 7 id=3
run "modify-passthrough bad option" 6 "${serial[@]}" modify-passthrough 7 colour=3
run "delete-passthrough" 0 "${serial[@]}" delete-passthrough 7
run "smart data" 0 "${serial[@]}" smart data 0
check "smart attribute" "attributes[0].id: 1" "$(grep '^attributes\[0\].id' "$dir/last")"
run "smart enable" 0 "${udp[@]}" smart enable 0
run "smart rw-start" 0 "${serial[@]}" smart rw-start 6 1
run "smart rw-status" 0 "${serial[@]}" smart rw-status 6
run "smart unknown name" 6 "${serial[@]}" smart frobnicate 0
printf 'GET / HTTP/1.0\r\n\r\n' >"$dir/req"
check "http" "HTTP/1.0 200 OK" "$("$vrncli" "${serial[@]}" http "$dir/req" | head -1 | tr -d '\r')"
head -c 1024 /dev/zero >"$dir/req1024"
run "http of a whole piece" 6 "${serial[@]}" http "$dir/req1024"
run "clear-events" 0 "${udp[@]}" clear-events
run "reset" 0 "${serial[@]}" reset
run "raidset without a number" 6 "${serial[@]}" raidset
run "raidset 256" 6 "${serial[@]}" raidset 256

# Every verb is listed by help, and the list holds nothing else.
verbs="help version identify sysinfo raidset volume drive hwmon hwmon5010 poll-event events
event-object clear-events set-serial set-vendor set-model set-mac set-time mute-beeper
set-beeper set-host-mode set-rebuild-priority set-ata-mode set-dhcp-ip set-term-port
check-password set-password logout reset create-raidset delete-raidset activate-raidset
create-hotspare delete-hotspare create-volume delete-volume start-check stop-check
create-passthrough modify-passthrough delete-passthrough smart http"
listed=$("$vrncli" help | sed -n 's/^  \([a-z0-9-]*\) .*/\1/p' | grep -v '^-' | tr '\n' ' ')
check "help lists every verb" "$(echo $verbs)" "$(echo $listed)"

finish

#!/bin/sh
# A pop-up receiver for the messenger tests: a private smbd bound to one loopback address and
# port, which stores every message it is sent as a file in INBOX. Nothing else on the machine is
# touched (own configuration, state, lock and log folders below DIR; no broadcast).
#
# usage: messenger_receiver.sh DIR ADDRESS PORT [DOS_CHARSET [refuse]]
#   ADDRESS must belong to an interface (smbd binds only those): 127.0.0.1 on the loopback, with
#   a port of the test's own. Prints "ready" on standard output once smbd listens, then runs
#   until SIGTERM (at most ten minutes, and no longer than the process that started it). Messages land in DIR/inbox/msg-SENDER-PID.txt, each written whole
#   (through a temporary name) with the receiver's reading of the text in UTF-8.
#   DOS_CHARSET is the 8-bit code page the receiver decodes message texts from (default CP850,
#   smbd's own default; CP950 plays a Traditional Chinese workstation). "refuse" makes a
#   receiver that speaks only SMB2 and later, which drops every message: the sender's smbclient
#   then says "cli_message returned ..." and still exits 0.
# Exit status 77 when smbd is not installed, 1 when it does not come up.
set -u
dir=$1
address=$2
port=$3
charset=${4:-CP850}
lowest=NT1
[ "${5:-}" = refuse ] && lowest=SMB2_02

command -v smbd >/dev/null 2>&1 || { echo "smbd not installed" >&2; exit 77; }

for sub in lock state cache pid private ncalrpc log inbox; do
  mkdir -p "$dir/$sub" || exit 1
done
# smbd running as root hands the message command to its guest account, which must reach the
# inbox and write there.
chmod 711 "$dir"
chmod 1777 "$dir/inbox"

cat >"$dir/smb.conf" <<EOF
[global]
   server role = standalone server
   netbios name = VRNRECV
   workgroup = VRNTEST
   interfaces = $address
   bind interfaces only = yes
   smb ports = $port
   # Messages are SMB1 requests; a receiver that only speaks SMB2 and later drops them.
   server min protocol = $lowest
   dos charset = $charset
   lock directory = $dir/lock
   state directory = $dir/state
   cache directory = $dir/cache
   pid directory = $dir/pid
   private dir = $dir/private
   ncalrpc dir = $dir/ncalrpc
   log file = $dir/log/log.%m
   load printers = no
   printcap name = /dev/null
   disable spoolss = yes
   guest account = nobody
   # %s: the file holding the text, %f: the sender's name, %d: the serving smbd's process id.
   message command = /bin/sh -c 'cat %s >$dir/inbox/.%d.part && mv $dir/inbox/.%d.part $dir/inbox/msg-%f-%d.txt; rm -f %s' &
EOF

# In the foreground smbd makes itself a session of its own, so its stopping of its whole process
# group on SIGTERM spares this script.
smbd -F -s "$dir/smb.conf" --debug-stdout -d 1 >"$dir/log/smbd.out" 2>&1 </dev/null &
smbd_pid=$!
stop() {
  kill "$smbd_pid" 2>/dev/null
  wait "$smbd_pid" 2>/dev/null
}
trap 'stop; exit 0' TERM INT HUP

i=0
until ss -Hltn "src $address and sport = :$port" 2>/dev/null | grep -q .; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 "$smbd_pid" 2>/dev/null; then
    echo "smbd did not start:" >&2
    cat "$dir/log/smbd.out" >&2
    stop
    exit 1
  fi
  sleep 0.1
done
echo ready

# Until SIGTERM; but never past the test that started it, nor past ten minutes.
parent=$PPID
i=0
while [ $i -lt 600 ] && kill -0 "$parent" 2>/dev/null && kill -0 "$smbd_pid" 2>/dev/null; do
  sleep 1 &
  wait $!
  i=$((i + 1))
done
stop

#!/bin/sh
# The lab's pop-up receiver: a private smbd that takes messenger deliveries (smbclient -M) and
# keeps each text as INBOX/msg-SENDER-PID.txt. Runs in the foreground until SIGTERM.
#
#   msgrecv.sh BASE ADDRESS [PORT]      (port 139 by default: the namespace has its own)
#
# smbd speaks only SMB2 and later unless told otherwise, and drops the messenger's SMB1
# request; hence the lowest protocol NT1. Messages are decoded from the sender's 8-bit code
# page; this receiver takes CP950, the one Traditional Chinese alarms are sent in (plain ASCII
# reads the same in any of them).
set -eu
base=$1
address=$2
port=${3:-139}
mkdir -p "$base/lock" "$base/state" "$base/cache" "$base/pid" "$base/private" \
         "$base/ncalrpc" "$base/log" "$base/inbox"
# The message command runs as the guest account.
chmod 1777 "$base/inbox"
cat >"$base/smb.conf" <<EOF
[global]
   server role = standalone server
   netbios name = MSGRECV
   workgroup = LAB
   interfaces = $address
   bind interfaces only = yes
   smb ports = $port
   server min protocol = NT1
   dos charset = CP950
   lock directory = $base/lock
   state directory = $base/state
   cache directory = $base/cache
   pid directory = $base/pid
   private dir = $base/private
   ncalrpc dir = $base/ncalrpc
   log file = $base/log/log.%m
   load printers = no
   printcap name = /dev/null
   disable spoolss = yes
   guest account = nobody
   message command = /bin/sh -c 'cat %s > $base/inbox/.%d.tmp && mv $base/inbox/.%d.tmp $base/inbox/msg-%f-%d.txt; rm -f %s' &
EOF
# smbd makes a session of its own (so its SIGTERM handler, which ends its whole process group,
# stays inside it); it refuses to start as a session leader already.
exec smbd -F -s "$base/smb.conf" --debug-stdout -d 1

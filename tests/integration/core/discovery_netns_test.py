#!/usr/bin/env python3
"""Broadcast discovery inside network namespaces this test creates.

A switch namespace holds a bridge; a station and five hosts hang on it by veth pairs:
two simulated agents (vrnsim) in the station's third-number subnet, one agent in another
third-number subnet (the filter must drop it), a host that answers every identify twice
(one record), and one whose answer is 129 bytes long (ignored). The station's host name
resolves, through /etc/netns/STATION/hosts, to its bridge address, which the filter uses.

Nothing touches the machine's own interfaces: every link lives in the namespaces, which are
removed afterwards. Skips (exit 77) where namespaces cannot be made.
"""
import os
import shutil
import socket
import subprocess
import sys
import time

SKIP = 77
build = os.environ.get("VRN_BUILD_DIR") or sys.argv[1]
vrnsim = os.path.join(build, "sim", "vrnsim")
probe = os.path.join(build, "tests", "integration", "core", "core_discovery_probe")

tag = "vc%d" % (os.getpid() % 100000)
names = {"sw": tag + "sw", "st": tag + "st", "a1": tag + "a1", "a2": tag + "a2",
         "a3": tag + "a3", "dup": tag + "du", "long": tag + "lo"}
addresses = {"st": "10.213.5.1", "a1": "10.213.5.11", "a2": "10.213.5.12",
             "a3": "10.213.6.13", "dup": "10.213.5.14", "long": "10.213.5.15"}
procs = []


def run(*cmd, check=True):
    return subprocess.run(cmd, check=check, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True)


def ns(name, *cmd):
    return ["ip", "netns", "exec", names[name]] + list(cmd)


def cleanup():
    for p in procs:
        if p.poll() is None:
            p.terminate()
            try:
                p.wait(timeout=3)
            except subprocess.TimeoutExpired:
                p.kill()
    for n in names.values():
        run("ip", "netns", "del", n, check=False)
    shutil.rmtree("/etc/netns/" + names["st"], ignore_errors=True)


def skip(reason):
    print("SKIPPED: broadcast discovery needs network namespaces: " + reason)
    sys.exit(SKIP)


# A host that answers each identify with the datagrams it is given, and refuses anything else
# at once, as a controller refuses what it lacks.
RESPONDER = r'''
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("", 7890))
print("ready", flush=True)
replies = [bytes.fromhex(h) for h in sys.argv[1:]]
refusal = bytes([0x5E, 0x01, 0x61, 0x01, 0x00, 0x4D, 0x4E])
while True:
    data, peer = s.recvfrom(2048)
    if len(data) == 7 and data[5] == 0x13:
        for r in replies:
            s.sendto(r, peer)
    elif len(data) >= 7:
        s.sendto(refusal, peer)
'''


def frame(payload):
    f = bytes([0x5E, 0x01, 0x61, len(payload) & 255, len(payload) >> 8]) + payload
    return f + bytes([sum(f[3:]) & 255])


def main():
    if os.geteuid() != 0:
        skip("not root")
    if shutil.which("ip") is None:
        skip("no ip command")
    if run("ip", "netns", "add", names["sw"], check=False).returncode != 0:
        skip("ip netns add failed")
    try:
        run(*ns("sw", "ip", "link", "add", "br0", "type", "bridge"))
        run(*ns("sw", "ip", "link", "set", "br0", "up"))
        for key in ("st", "a1", "a2", "a3", "dup", "long"):
            run("ip", "netns", "add", names[key])
            inside, outside = tag + key[:2] + "i", tag + key[:2] + "o"
            run("ip", "link", "add", inside, "netns", names[key], "type", "veth", "peer", "name",
                outside, "netns", names["sw"])
            run(*ns("sw", "ip", "link", "set", outside, "master", "br0"))
            run(*ns("sw", "ip", "link", "set", outside, "up"))
            run(*ns(key, "ip", "addr", "add", addresses[key] + "/16", "dev", inside))
            run(*ns(key, "ip", "link", "set", inside, "up"))
            run(*ns(key, "ip", "link", "set", "lo", "up"))
            # A broadcast to 255.255.255.255 needs a route, as any station has one.
            run(*ns(key, "ip", "route", "add", "default", "dev", inside))
        os.makedirs("/etc/netns/" + names["st"], exist_ok=True)
        with open("/etc/netns/%s/hosts" % names["st"], "w") as f:
            f.write("127.0.0.1 localhost\n%s %s\n" % (addresses["st"], socket.gethostname()))

        for key in ("a1", "a2", "a3"):
            # Bound to every address of its host, as an agent is: a socket bound to one unicast
            # address never sees a broadcast.
            p = subprocess.Popen(ns(key, vrnsim, "--udp", "0.0.0.0:7890"),
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            procs.append(p)
            for line in p.stdout:
                if line.strip() == "ready":
                    break
        reply = frame(b"Varno RAID Subsystem V1.1")
        for key, replies in (("dup", [reply, reply]), ("long", [frame(bytes(123))])):
            p = subprocess.Popen(ns(key, sys.executable, "-c", RESPONDER) +
                                 [r.hex() for r in replies], stdout=subprocess.PIPE, text=True)
            procs.append(p)
            p.stdout.readline()

        result = run(*ns("st", probe, "--broadcast"))
        lines = result.stdout.split("\n")
        found = [l.split()[1] for l in lines if l.startswith("agent ")]
        elapsed = [l.split()[1] for l in lines if l.startswith("elapsed_ms ")]
        print(result.stdout, end="")
        want = sorted([addresses["a1"], addresses["a2"], addresses["dup"]])
        if sorted(found) != want or len(found) != len(set(found)):
            print("FAIL: found %s, want %s" % (found, want))
            return 1
        print("broadcast discovery of %d agents took %s ms" % (len(found), elapsed[0]))
        return 0
    finally:
        cleanup()


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""How long QuillHT --headless takes to find an address list of agents, all on loopback.

A fleet of N simulated agents (vrnsim --fleet, at a random 127.X.0.0 block so another run may
use its own) is given to QuillHT --headless --no-broadcast with one --agent per agent and the
default poll settings. Printed, from QuillHT's own trace as it arrives:

  discovery      the identify requests sent to the end of discovery (500 ms quiet window)
  first rescan   program start to the agent list built ("N agent(s) watched")
  all polled     program start to the first event-index poll of every agent
  resident       QuillHT's resident memory once every agent is polled
  exit           SIGTERM to the end of the process (status 0 expected)

Bounded: gives up after 180 s. Nothing is checked; the numbers are for the reader.

usage: bench/headless_discovery.py [N] [BUILD_DIR]     (default 200, build/default)
"""

import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

count = int(sys.argv[1]) if len(sys.argv) > 1 else 200
build = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "build", "default")
vrnsim = os.path.join(build, "sim", "vrnsim")
quillht = os.path.join(build, "monitor", "app", "QuillHT")
LIMIT = 180


def addresses(first, n):
    """The fleet's addresses: host numbers 1 to 254 of each block, from `first` on."""
    a, b, c, d = (int(x) for x in first.split("."))
    out = []
    while len(out) < n:
        out.append("%d.%d.%d.%d" % (a, b, c, d))
        d += 1
        if d == 255:
            d, c = 1, c + 1
    return out


def main():
    folder = tempfile.mkdtemp(prefix="quillht-discovery-")
    procs = []
    start = time.monotonic()
    try:
        for _ in range(10):
            base = "127.%d.0.0" % random.randint(2, 250)
            fleet = subprocess.Popen([vrnsim, "--fleet", str(count), "--fleet-base", base,
                                      "--ctl", os.path.join(folder, "fleet.ctl")],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            procs.append(fleet)
            first = None
            for line in fleet.stdout:
                if line.startswith("fleet "):
                    first = line.split()[2]
                if line.strip() == "ready":
                    break
            if fleet.poll() is None and first:
                break
        else:
            sys.exit("no free loopback block for the fleet")

        ini = os.path.join(folder, "QuillHT.ini")
        open(ini, "w").close()
        args = [quillht, "--headless", "--config", ini, "--workdir", folder, "--no-broadcast"]
        for address in addresses(first, count):
            args += ["--agent", address]
        started = time.monotonic()
        q = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                             env=dict(os.environ, QUILLHT_TRACE="1"))
        procs.append(q)
        marks = {}
        polled = set()
        done = threading.Event()

        def read():
            poll = re.compile(r"Agent (\S+) Event Index")
            for line in q.stderr:
                now = time.monotonic()
                if "UpdateAgentList()" in line and "discovery" not in marks:
                    marks["discovery"] = now
                elif line.startswith("CQuillHTDlg==>Total AgentList Count"):
                    marks.setdefault("discovered", now)
                elif "agent(s) watched" in line:
                    marks.setdefault("watched", now)
                else:
                    m = poll.search(line)
                    if m and m.group(1) not in polled:
                        polled.add(m.group(1))
                        if len(polled) == count:
                            marks["polled"] = now
                            done.set()

        threading.Thread(target=read, daemon=True).start()
        if not done.wait(LIMIT - (time.monotonic() - start)):
            sys.exit("only %d of %d agents polled within %d s" % (len(polled), count, LIMIT))
        with open("/proc/%d/status" % q.pid) as f:
            rss = [l.split()[1] for l in f if l.startswith("VmRSS:")][0]
        t = time.monotonic()
        q.send_signal(signal.SIGTERM)
        status = q.wait(timeout=150)
        stopped = time.monotonic() - t

        print("agents:        %d (address list, no broadcast, default poll settings)" % count)
        print("discovery:     %.0f ms" % ((marks["discovered"] - marks["discovery"]) * 1000))
        print("first rescan:  %.2f s" % (marks["watched"] - started))
        print("all polled:    %.2f s" % (marks["polled"] - started))
        print("resident:      %d MB" % (int(rss) // 1024))
        print("exit:          %.2f s after SIGTERM, status %d" % (stopped, status))
    finally:
        for p in procs:
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    p.kill()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()

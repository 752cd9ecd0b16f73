#!/usr/bin/python3
"""QuillHT --headless --metrics scraped with curl and checked with promtool, on loopback.

A simulated agent host (vrnsim on UDP 7890 of a random loopback address) is watched by QuillHT
with the metrics endpoint on a free port. The page must pass `promtool check metrics` (skipped
with a message when promtool is missing), show the agent by address with its poll counted and
its state normal; once the agent is killed, its state turns to down, its last poll to failed
and an error-level alarm is counted. Other paths get 404; SIGTERM still ends QuillHT with 0.

usage: metrics_test.py BUILD_DIR
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

build = sys.argv[1]
quillht = os.path.join(build, "monitor", "app", "QuillHT")
vrnsim = os.path.join(build, "sim", "vrnsim")
procs = []

SMALL_CONTROLLER = """{"system": {"ideChannels": 1, "maxRaidSet": 1, "maxVolumeSet": 1},
 "drives": [{"model": "HDS722516VLSA80", "serial": "VNS0100001", "capacity": 312581808}],
 "raidSets": [{"name": "Raid Set # 00", "members": [0]}],
 "volumeSets": [{"name": "Volume Set # 00", "raidSet": 0, "capacityGB": 100, "raidLevel": 0,
                 "scsi": [0, 0, 0, 1, 1, 4]}]}
"""


def fail(message):
    print("FAIL: " + message)
    for p in procs:
        if p.poll() is None:
            p.kill()
    sys.exit(1)


def start_agent(folder):
    scenario = os.path.join(folder, "small.json")
    with open(scenario, "w") as f:
        f.write(SMALL_CONTROLLER)
    for _ in range(20):
        address = "127.%d.%d.%d" % tuple(random.randint(1, 254) for _ in range(3))
        p = subprocess.Popen([vrnsim, "--udp", address + ":7890", "--scenario", scenario],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        procs.append(p)
        for line in p.stdout:
            if line.strip() == "ready":
                return p, address
        p.wait()  # the address was taken: try another
    fail("vrnsim did not start")


def curl(url, *extra):
    r = subprocess.run(["curl", "-sS", "--noproxy", "*", "--max-time", "5", *extra, url],
                       capture_output=True, text=True, timeout=10)
    return r.returncode, r.stdout


def sample(page, name, labels):
    """The value of the series `name` whose labels include `labels` (a dict), or None."""
    for line in page.splitlines():
        m = re.match(r"^(\w+)\{(.*)\} (\S+)$", line)
        if not m or m.group(1) != name:
            continue
        have = dict(re.findall(r'(\w+)="((?:[^"\\]|\\.)*)"', m.group(2)))
        if all(have.get(k) == v for k, v in labels.items()):
            return float(m.group(3))
    return None


def wait_for(url, check, seconds):
    """Scrapes until check(page) is true; the last page, or None when it never was."""
    end = time.time() + seconds
    page = ""
    while time.time() < end:
        rc, page = curl(url)
        if rc == 0 and check(page):
            return page
        time.sleep(0.2)
    print("last page:\n" + page)
    return None


def main():
    folder = tempfile.mkdtemp(prefix="quillht-metrics-")
    work = os.path.join(folder, "work")
    os.mkdir(work)
    agent, address = start_agent(folder)
    ini = os.path.join(folder, "QuillHT.ini")
    with open(ini, "w") as f:
        f.write("[Network]\nPollInterval=1\nPollRetries=0\nPollTimeout=1\n"
                "[EVENT]\nEnableNotify=N\nEnableSysLog=N\n")
    q = subprocess.Popen([quillht, "--headless", "--config", ini, "--workdir", work,
                          "--no-broadcast", "--agent", address, "--metrics", "127.0.0.1:0"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    procs.append(q)
    url = None
    for line in q.stderr:
        m = re.search(r"metrics at (http://127\.0\.0\.1:\d+/metrics)", line)
        if m:
            url = m.group(1)
            break
    if url is None:
        fail("QuillHT did not say where its metrics are")
    threading.Thread(target=lambda: q.stderr.read(), daemon=True).start()

    me = {"address": address}
    page = wait_for(url, lambda p: (sample(p, "quillht_agent_polls_total", me) or 0) >= 1 and
                    sample(p, "quillht_agent_last_poll_success", me) == 1, 20)
    if page is None:
        fail("the agent's first poll never showed")
    if sample(page, "quillht_agent_state", me) != 1:
        fail("the agent is not shown normal")
    if not re.search(r'quillht_agent_state\{address="%s",serial="[^"]*",model="[^"]*"\} 1'
                     % re.escape(address), page):
        fail("the agent's series lack the serial and model labels")
    if not re.search(r"^quillht_last_discovery_duration_seconds \d+\.\d+$", page, re.M):
        fail("no discovery duration")

    checked = []
    promtool = shutil.which("promtool")
    if promtool is None:
        print("SKIP promtool check: promtool is not installed (Debian package prometheus)")
    else:
        r = subprocess.run([promtool, "check", "metrics"], input=page, capture_output=True,
                           text=True, timeout=30)
        if r.returncode != 0:
            fail("promtool check metrics: %s%s" % (r.stdout, r.stderr))
        checked.append("promtool")

    code = subprocess.run(["curl", "-s", "--noproxy", "*", "--max-time", "5", "-o", "/dev/null",
                           "-w", "%{http_code}", url.replace("/metrics", "/config")],
                          capture_output=True, text=True, timeout=10).stdout
    if code != "404":
        fail("another path answered %s, not 404" % code)

    agent.kill()
    agent.wait()
    page = wait_for(url, lambda p: sample(p, "quillht_agent_state", me) == 4 and
                    sample(p, "quillht_agent_last_poll_success", me) == 0 and
                    (sample(p, "quillht_alarms_total", {"level": "error"}) or 0) >= 1, 20)
    if page is None:
        fail("the killed agent is not shown down with its alarm counted")
    if promtool is not None:
        r = subprocess.run([promtool, "check", "metrics"], input=page, capture_output=True,
                           text=True, timeout=30)
        if r.returncode != 0:
            fail("promtool check metrics (agent down): %s%s" % (r.stdout, r.stderr))

    q.send_signal(signal.SIGTERM)
    try:
        status = q.wait(timeout=20)
    except subprocess.TimeoutExpired:
        fail("QuillHT did not end after SIGTERM")
    if status != 0:
        fail("QuillHT ended with %d" % status)
    shutil.rmtree(folder, ignore_errors=True)
    print("ok: scraped, agent up then down, 404 elsewhere" +
          (", promtool clean" if checked else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""QuillHT --headless watching a fleet of simulated agents, measured from outside.

    bench/fleet/fleet_bench.py [--agents N] [--seconds S] [--build DIR] [--keep]

Starts `vrnsim --fleet N` (agents at 127.1.0.1 upwards, port 7890), a mail server (aiosmtpd,
scripts/lab.d/mailsink.py) on a loopback address and port of its own, and QuillHT --headless at
its default network settings (the file names no PollInterval, PollRetries or PollTimeout, so
the program's own 5, 1, 5 apply) with notification by mail on and every agent given by address
(--no-broadcast --agent ...). Then, within S seconds (default 180):

- discovery: from QuillHT's start until every agent was asked to identify (the fleet's
  record), until the agent list was complete ("N agent(s) watched" on standard error: the end
  of the first rescan, whose quiet window and fixed pause are part of it) and until every
  agent's event index was polled (the monitor runs for all of them); agents never polled are
  missed;
- poll-cycle lateness: the fleet time-stamps every event-index poll each agent receives; the
  gaps between one agent's successive polls, over all agents, after a warm-up. Lateness is a
  gap minus the shortest gap of the run (a cycle nothing held up: PollInterval plus the
  exchange's own fixed wait); the gaps themselves are printed too;
- station CPU as % of one core (utime + stime over the measured span) and resident memory;
- a volume failed on one agent: delay from the control command to its event line on
  QuillHT's standard output and to the alarm mail accepted by the server;
- exit: from SIGTERM to the end of the process.

Everything stays on loopback. The run is bounded: every wait has its own limit and the
whole run ends after S seconds plus the exit.
"""

import argparse
import os
import random
import re
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", ".."))
MAILSINK = os.path.join(SOURCE, "scripts", "lab.d", "mailsink.py")
PYTHON = "/usr/bin/python3"
POLL_INTERVAL = 5.0
REPLY_TIMEOUT = 5.0
FAILURES = 5
# What one station must manage with 1,000 agents: (name, unit, limit).
TARGETS = [
    ("p99 poll-cycle lateness", "s", 1.0),
    ("station CPU", "% of one core", 5.0),
    ("station RSS", "MB", 200.0),
    ("discovery (agent list complete)", "s", 3.0),
    ("agents missed", "", 0),
    ("failed volume to mail (worst)", "s", POLL_INTERVAL + 1.5),
    ("exit", "s", 2.0 + REPLY_TIMEOUT),
]


def fleet_address(k):
    return "127.1.%d.%d" % (k // 254, k % 254 + 1)


class Proc:
    """A child whose standard output lines are kept with the monotonic time they arrived."""

    def __init__(self, args, cwd=None, env=None):
        self.p = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  stdin=subprocess.DEVNULL, cwd=cwd, env=env)
        self.lines = []
        self.errors = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, args=(self.p.stdout, self.lines), daemon=True).start()
        threading.Thread(target=self._read, args=(self.p.stderr, self.errors), daemon=True).start()

    def _read(self, stream, into):
        for raw in iter(stream.readline, b""):
            with self.lock:
                into.append((time.monotonic(), raw.decode("latin-1").rstrip("\r\n")))

    def wait_line(self, pattern, seconds, since=0.0, stderr=False):
        deadline = time.monotonic() + seconds
        rx = re.compile(pattern)
        while time.monotonic() < deadline:
            with self.lock:
                for t, line in (self.errors if stderr else self.lines):
                    if t >= since and rx.search(line):
                        return t, line
            if self.p.poll() is not None:
                return None
            time.sleep(0.01)
        return None

    def stop(self, seconds=10.0):
        if self.p.poll() is None:
            self.p.send_signal(signal.SIGTERM)
            try:
                self.p.wait(seconds)
            except subprocess.TimeoutExpired:
                self.p.kill()
                self.p.wait()


def ctl(build, sock, *words):
    r = subprocess.run([os.path.join(build, "sim", "vrnsim"), "ctl", sock] + list(words),
                       capture_output=True, text=True, timeout=10)
    return r.stdout.strip()


def fields(reply):
    return dict(w.split("=", 1) for w in reply.split()[1:] if "=" in w)


def proc_cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        parts = f.read().rsplit(")", 1)[1].split()
    return (int(parts[11]) + int(parts[12])) / os.sysconf("SC_CLK_TCK")


def proc_status(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return -1


def open_descriptors(pid):
    try:
        return len(os.listdir("/proc/%d/fd" % pid))
    except OSError:
        return -1


def write_settings(workdir, mail_host):
    """Mail notification on; everything else (the network page above all) as the program has it.
    The mailer logs in before it sends: the sink takes any account."""
    ini = os.path.join(workdir, "QuillHT.ini")
    with open(ini, "w") as f:
        f.write("[EVENT]\nEnableNotify=Y\nNotifyType=1\n"
                "[SMTP]\nServer=%s\nAccount=fleet\nPassword=ZmxlZXQ=\n"
                "SenderAddr=raid-monitor@fleet.test\n" % mail_host)
    # One mail receiver: Enabled, Name[28], Address[64].
    with open(os.path.join(workdir, "Mail.dat"), "wb") as f:
        f.write(struct.pack("<i28s64s", 1, b"Operator", b"ops@fleet.test"))
    return ini


def start_mail_server(workdir):
    """aiosmtpd on a loopback address of its own, at a free port (QUILLHT_SMTP_PORT)."""
    host = "127.%d.%d.%d" % (random.randint(2, 250), random.randint(0, 255),
                             random.randint(1, 254))
    folder = os.path.join(workdir, "mail")
    p = Proc([PYTHON, MAILSINK, "--dir", folder, "--host", host, "--port", "0"])
    if not p.wait_line(r"^ready$", 15):
        p.stop()
        raise SystemExit("fleet_bench: the mail server did not start: %s" % p.errors[-3:])
    port = int(p.wait_line(r"^port \d+$", 1)[1].split()[1])
    return p, host, port, os.path.join(folder, "log")


def mail_after(log, since, text, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with open(log, encoding="utf-8") as f:
                for line in f:
                    mono, _, _, _, subject = (line.rstrip("\n").split(" ", 4) + [""])[:5]
                    if float(mono) >= since and text in subject:
                        return float(mono), subject
        except FileNotFoundError:
            pass
        time.sleep(0.02)
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--agents", type=int, default=1000)
    ap.add_argument("--seconds", type=int, default=180)
    ap.add_argument("--build", default=os.path.join(SOURCE, "build", "default"))
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    a = ap.parse_args()
    n = max(1, min(a.agents, 20000))
    budget = max(60, min(a.seconds, 1800))
    quillht = os.path.join(a.build, "monitor", "app", "QuillHT")
    vrnsim = os.path.join(a.build, "sim", "vrnsim")
    for prog in (quillht, vrnsim):
        if not os.access(prog, os.X_OK):
            raise SystemExit("fleet_bench: build first: " + prog)
    work = tempfile.mkdtemp(prefix="fleet-bench-")
    sock = os.path.join(work, "fleet.ctl")
    began = time.monotonic()
    fleet = Proc([vrnsim, "--fleet", str(n), "--ctl", sock])
    station = mail = None
    result = {}
    missed = len(TARGETS)
    try:
        if not fleet.wait_line(r"^ready$", 30):
            raise SystemExit("fleet_bench: the fleet did not start: %s" % fleet.errors)
        mail, mail_host, mail_port, mail_log = start_mail_server(work)
        ini = write_settings(work, mail_host)
        addresses = [fleet_address(k) for k in range(n)]
        args = [quillht, "--headless", "--config", ini, "--workdir", work, "--no-broadcast"]
        for addr in addresses:
            args += ["--agent", addr]
        print("fleet_bench: %d agents (127.1.0.1 .. %s), QuillHT --headless at default "
              "settings, mail server %s:%d, %d s" % (n, addresses[-1], mail_host, mail_port,
                                                     budget))
        env = dict(os.environ, QUILLHT_SMTP_PORT=str(mail_port))
        ctl(a.build, sock, "seen", "reset")
        ctl(a.build, sock, "polls", "reset")
        t_start = time.monotonic()
        station = Proc(args, cwd=work, env=env)
        pid = station.p.pid

        # Discovery: every agent identified, the list complete, then every agent polled.
        listed = station.wait_line(r"agent\(s\) watched$", 60, stderr=True)
        seen = {}
        deadline = t_start + 60
        while time.monotonic() < deadline and station.p.poll() is None:
            seen = fields(ctl(a.build, sock, "seen"))
            if int(seen.get("polled", 0)) == n:
                break
            time.sleep(0.05)
        identified = int(seen.get("identified", 0))
        polled = int(seen.get("polled", 0))
        last_identify = float(seen.get("last-identify", "nan")) / 1000 - t_start
        last_first_poll = float(seen.get("last-poll", "nan")) / 1000 - t_start
        print("discovery: %d of %d asked to identify, the last %.2f s after start; agent list "
              "complete at %s; %d polled, all by %.2f s; missed %d"
              % (identified, n, last_identify,
                 "%.2f s (%s)" % (listed[0] - t_start, listed[1].split(": ", 1)[-1])
                 if listed else "never", polled, last_first_poll, n - polled))
        result["discovery (agent list complete)"] = listed[0] - t_start if listed else None
        result["agents missed"] = n - polled
        if station.p.poll() is not None:
            raise SystemExit("fleet_bench: QuillHT ended: %s" % station.errors[-5:])

        # Steady state: lateness, CPU, memory.
        time.sleep(2 * POLL_INTERVAL)
        ctl(a.build, sock, "polls", "reset")
        measure_for = max(30.0, budget - (time.monotonic() - began) - 12 * FAILURES)
        cpu0, t0 = proc_cpu_seconds(pid), time.monotonic()
        rss_peak = 0
        while time.monotonic() - t0 < measure_for and station.p.poll() is None:
            rss_peak = max(rss_peak, proc_status(pid, "VmRSS"))
            time.sleep(1)
        cpu = (proc_cpu_seconds(pid) - cpu0) / (time.monotonic() - t0) * 100
        polls = fields(ctl(a.build, sock, "polls"))
        threads = proc_status(pid, "Threads")
        fds = open_descriptors(pid)
        gap = {k: float(polls[k]) / 1000 for k in ("min", "p50", "p90", "p99", "max") if k in polls}
        base = gap.get("min", float("nan"))
        print("poll gaps over %.0f s: %s cycles, min %.3f s, p50 %.3f, p90 %.3f, p99 %.3f, "
              "max %.3f (fewest polls of one agent %s, most %s)"
              % (measure_for, polls.get("gaps"), base, gap.get("p50", 0), gap.get("p90", 0),
                 gap.get("p99", 0), gap.get("max", 0), polls.get("fewest"), polls.get("most")))
        print("poll-cycle lateness (gap - shortest gap): p50 %.3f s, p99 %.3f s, max %.3f s"
              % (gap.get("p50", 0) - base, gap.get("p99", 0) - base, gap.get("max", 0) - base))
        result["p99 poll-cycle lateness"] = gap.get("p99", base) - base if polls else None
        result["station CPU"] = cpu
        result["station RSS"] = rss_peak / 1024
        print("station: CPU %.2f %% of one core, RSS peak %.1f MB, %d threads, %d descriptors"
              % (cpu, rss_peak / 1024, threads, fds))

        # Failed volumes, one agent after another: event line and mail. Where a failure falls
        # in its agent's poll cycle decides most of the delay, so a few are taken, each after a
        # pause of its own (one right after a poll is the worst case).
        line_delays, mail_delays = [], []
        for i in range(FAILURES):
            k = (n // 2 + i * max(1, n // FAILURES)) % n
            addr = addresses[k]
            time.sleep(random.uniform(0, POLL_INTERVAL))
            t_fail = time.monotonic()
            ctl(a.build, sock, "agent", str(k), "volume", "0", "fail")
            line = station.wait_line(re.escape(addr) + r" .*Volume Failed", 30, since=t_fail)
            got = mail_after(mail_log, t_fail, addr + " ", 30)
            if line:
                line_delays.append(line[0] - t_fail)
            if got:
                mail_delays.append(got[0] - t_fail)
            print("failed volume on %s: event line after %s, mail accepted after %s" % (
                addr, "%.2f s" % (line[0] - t_fail) if line else "none within 30 s",
                "%.2f s" % (got[0] - t_fail) if got else "none within 30 s"))
            if i == 0 and line:
                print("  line: " + line[1])
            if i == 0 and got:
                print("  mail subject: " + got[1])
        result["failed volume to mail (worst)"] = (
            max(mail_delays) if len(mail_delays) == FAILURES else None)
        for what, delays in (("event line", line_delays), ("mail", mail_delays)):
            if delays:
                print("failed volume to %s: %d of %d, max %.2f s, mean %.2f s"
                      % (what, len(delays), FAILURES, max(delays), sum(delays) / len(delays)))

        # Exit.
        t_term = time.monotonic()
        station.p.send_signal(signal.SIGTERM)
        try:
            status = station.p.wait(60)
            result["exit"] = time.monotonic() - t_term if status == 0 else None
            print("exit: %.2f s after SIGTERM, status %d" % (time.monotonic() - t_term, status))
        except subprocess.TimeoutExpired:
            print("exit: still running 60 s after SIGTERM")
        missed = 0
        for name, unit, limit in TARGETS:
            value = result.get(name)
            if value is None:
                verdict = "not measured (failed)"
                missed += 1
            elif value <= limit:
                verdict = "met"
            else:
                verdict = "MISSED by %.2f %s" % (value - limit, unit)
                missed += 1
            print("target %-34s %s %s: %s" % (
                name, "<=" if limit else "=", "%g %s" % (limit, unit) if unit else limit, verdict))
        print("machine: %d cores, load average %s at the end (shared with other work)"
              % (os.cpu_count(), " ".join(open("/proc/loadavg").read().split()[:3])))
        for t, text in station.errors[-10:]:
            print("  QuillHT stderr: " + text)
    finally:
        for p in (station, mail, fleet):
            if p:
                p.stop()
        if not a.keep:
            subprocess.run(["rm", "-rf", work])
        else:
            print("work folder kept: " + work)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())

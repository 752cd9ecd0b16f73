#!/usr/bin/python3
"""QuillHT --headless end to end, everything on loopback addresses of this machine.

Agent A is the real agent (vrnhttp) cabled to a simulated controller on a pseudo-terminal;
agent B is a simulated agent host (vrnsim answering on UDP). Each answers on port 7890 of a
loopback address of its own. A mail server (aiosmtpd, tests/integration/notify/alarm_smtpd.py)
and a system-log socket bound here receive what QuillHT sends; QuillHT runs headless with
--no-broadcast and both addresses.

- Agent B is killed: exactly one "Device Down" follows, for B only, however many polls fail.
- A volume fails behind agent A (vrnsim ctl): its line appears on standard output and in the
  log file, its system-log record arrives and the alarm mail reaches the server.
- SIGHUP rescans and drops the dead agent; SIGTERM logs the exit line, saves the settings and
  ends with status 0.

An exchange takes a few hundred milliseconds (the protocol's own waits, and the serial line
behind the real agent), so both controllers are small ones (one channel, one raid set, one
volume): their checks at start are over in a few exchanges.

Prints two measurements (not checked): controller event to mail accepted, and the discovery
of the address list (request sent to the end of the quiet window).

usage: headless_e2e_test.py BUILD_DIR SOURCE_DIR
"""

import base64
import os
import random
import re
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

build, source = sys.argv[1], sys.argv[2]
quillht = os.path.join(build, "monitor", "app", "QuillHT")
vrnsim = os.path.join(build, "sim", "vrnsim")
vrnhttp = os.path.join(build, "agent", "vrnhttp")
smtpd = os.path.join(source, "tests", "integration", "notify", "alarm_smtpd.py")
ACCOUNT, PASSWORD = "alarm", "s3cret"
procs = []


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def loopback():
    return "127.%d.%d.%d" % (random.randint(1, 254), random.randint(1, 254),
                             random.randint(1, 254))


def banner(p, key):
    """Reads a vrnsim banner up to "ready"; the value of `key`, or None when it ended."""
    value = None
    for line in p.stdout:
        words = line.split()
        if len(words) == 2 and words[0] == key:
            value = words[1]
        if line.strip() == "ready":
            return value or ""
    return None


SMALL_CONTROLLER = """{"system": {"ideChannels": 1, "maxRaidSet": 1, "maxVolumeSet": 1},
 "drives": [{"model": "HDS722516VLSA80", "serial": "VNS0100001", "capacity": 312581808}],
 "raidSets": [{"name": "Raid Set # 00", "members": [0]}],
 "volumeSets": [{"name": "Volume Set # 00", "raidSet": 0, "capacityGB": 100, "raidLevel": 0,
                 "scsi": [0, 0, 0, 1, 1, 4]}]}
"""


def small_controller(folder):
    path = os.path.join(folder, "small.json")
    with open(path, "w") as f:
        f.write(SMALL_CONTROLLER)
    return path


def start_sim_agent(folder):
    """vrnsim as an agent host at a random 127.x.y.z:7890 (another run may hold one)."""
    scenario = small_controller(folder)
    for attempt in range(20):
        address = loopback()
        ctl = os.path.join(folder, "b%d.ctl" % attempt)
        p = subprocess.Popen([vrnsim, "--udp", address + ":7890", "--scenario", scenario,
                              "--ctl", ctl],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        procs.append(p)
        if banner(p, "udp") is not None:
            return address, ctl
    fail("no free loopback address for the simulated agent")


def free_port(address):
    s = socket.socket()
    s.bind((address, 0))
    port = s.getsockname()[1]
    s.close()
    return port


def start_real_agent(folder):
    """A controller on a pseudo-terminal and vrnhttp relaying it at a random 127.x.y.z:7890."""
    ctl = os.path.join(folder, "a.ctl")
    scenario = small_controller(folder)
    sim = subprocess.Popen([vrnsim, "--pty", "--scenario", scenario, "--ctl", ctl],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    procs.append(sim)
    pty = banner(sim, "pty")
    if not pty:
        fail("the simulated controller did not start")
    for _ in range(20):
        address = loopback()
        port = free_port(address)
        agent = subprocess.Popen([vrnhttp, "-f", "-d", pty, "-b", address, str(port), "1",
                                  "115200"], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        procs.append(agent)
        # Both sockets are bound before the proxy listens: once it takes a connection, the
        # relay is there too. An address in use ends the agent instead.
        deadline = time.monotonic() + 5
        while agent.poll() is None and time.monotonic() < deadline:
            try:
                socket.create_connection((address, port), timeout=1).close()
                return address, ctl, agent
            except OSError:
                time.sleep(0.02)
        agent.kill()
        agent.wait()
    fail("no free loopback address for the agent")


class Collector:
    """Reads a pipe on a thread of its own (a full pipe must never hold QuillHT up) and keeps
    each line with the time it arrived."""

    def __init__(self, stream):
        self.lines = []
        self.times = []
        self.cond = threading.Condition()
        threading.Thread(target=self._read, args=(stream,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            with self.cond:
                self.lines.append(line)
                self.times.append(time.monotonic())
                self.cond.notify_all()

    def find(self, pattern, timeout, start=0):
        """Index of the first line from `start` on that matches, or None after the time-out."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for i in range(start, len(self.lines)):
                    if re.search(pattern, self.lines[i]):
                        return i
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)

    def wait(self, pattern, timeout, start=0):
        i = self.find(pattern, timeout, start)
        return None if i is None else self.lines[i]

    def matching(self, pattern):
        with self.cond:
            return [l for l in self.lines if re.search(pattern, l)]


class SyslogSink:
    """The system-log socket QuillHT is pointed at (QUILLHT_SYSLOG_SOCKET)."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(path)
        self.records = []
        self.cond = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            data = self.sock.recv(65536)
            with self.cond:
                self.records.append(data.decode("latin-1"))
                self.cond.notify_all()

    def wait(self, pattern, timeout):
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for r in self.records:
                    if re.search(pattern, r):
                        return r
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self.cond.wait(left)


def wait_for_mail(folder, address, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for name in sorted(os.listdir(folder)):
            if name.endswith(".eml"):
                with open(os.path.join(folder, name), "rb") as f:
                    body = f.read().decode("latin-1")
                if "Volume Failed" in body and address in body:
                    return name, body
        time.sleep(0.01)
    return None, None


def main():
    folder = tempfile.mkdtemp(prefix="quillht-e2e-")
    work = os.path.join(folder, "work")
    mail = os.path.join(folder, "mail")
    os.makedirs(work)
    os.makedirs(mail)
    try:
        addr_a, ctl_a, _ = start_real_agent(folder)
        addr_b, _ = start_sim_agent(folder)
        agent_b = procs[-1]
        server = subprocess.Popen([sys.executable, smtpd, mail, ACCOUNT, PASSWORD],
                                  stdout=subprocess.PIPE, text=True)
        procs.append(server)
        first = server.stdout.readline().split()
        if len(first) != 2 or first[0] != "ready":
            fail("the mail server did not start: %r" % first)
        syslog_path = os.path.join(folder, "log.sock")
        syslog = SyslogSink(syslog_path)

        ini = os.path.join(folder, "QuillHT.ini")
        with open(ini, "w") as f:
            f.write("[Network]\nPollInterval=1\nPollRetries=0\nPollTimeout=1\n"
                    "[EVENT]\nEnableNotify=Y\nNotifyType=1\nLevel=3\nEnableSysLog=Y\n"
                    "[SMTP]\nServer=127.0.0.1\nAccount=%s\nPassword=%s\nSenderAddr=raid@site.test\n"
                    % (ACCOUNT, base64.b64encode(PASSWORD.encode() + b"\0").decode()))
        # One enabled mail receiver: Enabled, Name[28], Address[64].
        with open(os.path.join(work, "Mail.dat"), "wb") as f:
            f.write(struct.pack("<i28s64s", 1, b"Ops", b"ops@site.test"))

        # The trace tells when discovery runs and when each agent's first poll is over.
        env = dict(os.environ, QUILLHT_SMTP_PORT=first[1], QUILLHT_SYSLOG_SOCKET=syslog_path,
                   QUILLHT_TRACE="1")
        q = subprocess.Popen([quillht, "--headless", "--config", ini, "--workdir", work,
                              "--no-broadcast", "--agent", addr_a, "--agent", addr_b],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        procs.append(q)
        errors = Collector(q.stderr)
        output = Collector(q.stdout)
        if errors.wait(r"^QuillHT: 2 agent\(s\) watched", 20) is None:
            fail("QuillHT did not find both agents; stderr: %s" % "".join(errors.lines))
        begin = errors.find(r"UpdateAgentList\(\)", 0)
        end = errors.find(r"Total AgentList Count = 2", 0)
        print("discovery of 2 listed agents: %.0f ms (quiet window 500 ms)"
              % ((errors.times[end] - errors.times[begin]) * 1000))
        # 1,000 agents need about 2,000 descriptors: the soft limit was raised to the hard one.
        with open("/proc/%d/limits" % q.pid) as f:
            limits = [l for l in f if l.startswith("Max open files")][0].split()
        if limits[3] != limits[4]:
            fail("the descriptor limit was not raised: %r" % limits)

        # Agent B goes away once it is polled: its polls fail one after another, and one
        # outage is one alarm. Agent A's checks at start go on meanwhile.
        polled = "Agent %s Event Index"
        if errors.wait(polled % re.escape(addr_b), 10) is None:
            fail("agent B is not polled; stderr: %s" % "".join(errors.lines[-40:]))
        agent_b.kill()
        agent_b.wait()

        if errors.wait(polled % re.escape(addr_a), 15) is None:
            fail("agent A is not polled; stderr: %s" % "".join(errors.lines[-40:]))
        t0 = time.monotonic()
        out = subprocess.run([vrnsim, "ctl", ctl_a, "volume", "0", "fail"], capture_output=True,
                             text=True)
        if out.returncode != 0:
            fail("vrnsim ctl: " + out.stdout + out.stderr)
        event = re.escape(addr_a) + r" Volume Set # 00 Volume Failed"
        line = output.wait(event, 10)
        if line is None:
            fail("no event line on standard output; got %r" % output.lines)
        if not re.match(r"^\d{4}/\d{1,2}/\d{1,2}  \d{1,2}:\d{1,2}:\d{1,2} ", line):
            fail("the line is not in the log file's form: %r" % line)
        name, body = wait_for_mail(mail, addr_a, 10)
        if body is None:
            fail("no alarm mail arrived")
        print("controller event to mail accepted: %.2f s (PollInterval 1 s, through the agent)"
              % (time.monotonic() - t0))
        with open(os.path.join(mail, name[:-4] + ".env")) as f:
            envelope = f.read()
        if "[SYSTEM ALARM]" not in body or "ops@site.test" not in envelope:
            fail("the mail is not the alarm mail: %r %r" % (body, envelope))
        record = syslog.wait(event, 5)
        if record is None:
            fail("no system-log record: %r" % syslog.records)
        if not re.match(r"^<11>\w{3} [ \d]\d \d\d:\d\d:\d\d QuillHT\[%d\]: \[0xC0000030\] " % q.pid,
                        record):
            fail("the system-log record is not an error record of QuillHT: %r" % record)

        if output.find(re.escape(addr_b) + r" Device Down", 10) is None:
            fail("no Device Down after agent B was killed; got %r" % output.lines)
        # A later failed poll of agent B must not report the outage again.
        failed = r"Agent %s PollEvent\(\.\.\.\) failed" % re.escape(addr_b)
        first_failure = errors.find(failed, 5)
        if first_failure is None or errors.find(failed, 5, first_failure + 1) is None:
            fail("agent B's polls do not fail again")
        downs = output.matching(r"Device Down")
        if len(downs) != 1:
            fail("one outage must give exactly one Device Down: %r" % downs)

        # SIGHUP rescans: the dead agent is dropped from the list.
        mark = len(errors.lines)
        q.send_signal(signal.SIGHUP)
        if errors.wait(r"Agent \[%s\] removed\." % re.escape(addr_b), 10, mark) is None:
            fail("SIGHUP did not rescan and drop the dead agent")
        if errors.wait(r"^QuillHT: 1 agent\(s\) watched", 10, mark) is None:
            fail("the rescan did not end with one agent")

        q.send_signal(signal.SIGTERM)
        try:
            status = q.wait(timeout=10)
        except subprocess.TimeoutExpired:
            fail("QuillHT did not end within 10 s of SIGTERM")
        if status != 0:
            fail("exit status %d after SIGTERM" % status)

        with open(os.path.join(work, "Log.log"), "rb") as f:
            log_lines = f.read().decode("utf-8").split("\r\n")
        if not log_lines[0].endswith(" Application started successfully!!"):
            fail("first log line: %r" % log_lines[0])
        if not any(re.search(event + "$", l) for l in log_lines):
            fail("the event is not in the log file")
        if sum(1 for l in log_lines if l.endswith(" Device Down")) != 1:
            fail("the log file has not exactly one Device Down: %r" % log_lines)
        if log_lines[-2].split(" ", 3)[-1] != "Application exit" or log_lines[-1] != "":
            fail("the log does not end with the exit line: %r" % log_lines[-3:])
        saved = open(ini).read()
        for section in ("[General]", "[Network]", "[Security]", "[EVENT]", "[SMTP]"):
            if section not in saved:
                fail("the settings were not saved (%s missing)" % section)
        print("headless end to end: ok")
        return 0
    finally:
        for p in procs:
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    p.kill()
        subprocess.run(["rm", "-rf", folder])


if __name__ == "__main__":
    sys.exit(main())

"""QuillHT --headless as a station of the network lab: its files, its run, what it printed."""

import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import threading
import time

from lab import BUILD

QUILLHT = os.path.join(BUILD, "monitor", "app", "QuillHT")
# Event lines and log lines: "Y/M/D  h:m:s TEXT" without zero padding.
STAMP = re.compile(r"^\d{4}/\d{1,2}/\d{1,2}  \d{1,2}:\d{1,2}:\d{1,2} (.*)$")


def write_books(folder, mail=(), computers=()):
    """Mail.dat (Enabled, Name[28], Address[64]) and Msg.dat (Enabled, Computer[124])."""
    with open(os.path.join(folder, "Mail.dat"), "wb") as f:
        for name, address in mail:
            f.write(struct.pack("<i28s64s", 1, name.encode(), address.encode()))
    with open(os.path.join(folder, "Msg.dat"), "wb") as f:
        for computer in computers:
            f.write(struct.pack("<i124s", 1, computer.encode()))


def write_settings(path, poll_interval, poll_timeout, mail_server):
    """Every channel on: mail and pop-up (NotifyType 3) for every level, the system log."""
    with open(path, "w") as f:
        f.write("[General]\nLanguage=1\nLogfile=1\nLogfilepath=Log.log\n"
                "[Network]\nAgentPort=7890\nPollInterval=%d\nPollRetries=1\nPollTimeout=%d\n"
                "[EVENT]\nEnableNotify=Y\nNotifyType=3\nLevel=3\nEnableSysLog=Y\n"
                "[SMTP]\nServer=%s\nAccount=station\nPassword=c3RhdGlvbg==\n"
                "SenderAddr=raid-monitor@lab.test\n"
                % (poll_interval, poll_timeout, mail_server))


class SyslogReceiver:
    """A system-log socket of the test's own (QUILLHT_SYSLOG_SOCKET): the records it got."""

    def __init__(self, path):
        self.path = path
        self.records = []
        self.lock = threading.Lock()
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(path)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            try:
                data = self.sock.recv(65536)
            except OSError:
                return
            with self.lock:
                self.records.append(data.decode("latin-1"))

    def received(self):
        with self.lock:
            return list(self.records)

    def close(self):
        self.sock.close()


class Station:
    """One run of QuillHT --headless in the lab's station namespace."""

    def __init__(self, lab, name, args, poll_interval=1, poll_timeout=1):
        self.lab = lab
        self.dir = os.path.join(lab.dir, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.ini = os.path.join(self.dir, "QuillHT.ini")
        write_settings(self.ini, poll_interval, poll_timeout, "mail")
        write_books(self.dir, mail=[("Operator", "ops@lab.test")], computers=["MSGRECV"])
        self.syslog = SyslogReceiver(os.path.join(self.dir, "syslog.sock"))
        self.env = dict(os.environ, QUILLHT_SYSLOG_SOCKET=self.syslog.path, QUILLHT_TRACE="1")
        self.args = [QUILLHT, "--headless", "--config", self.ini, "--workdir", self.dir] + args
        self.out = []
        self.err = []
        self.lock = threading.Lock()
        self.started = None
        self.proc = None

    def start(self):
        self.started = time.monotonic()
        self.proc = self.lab.spawn("station", self.args, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                   cwd=self.dir, env=self.env)
        for stream, into in ((self.proc.stdout, self.out), (self.proc.stderr, self.err)):
            threading.Thread(target=self._read, args=(stream, into), daemon=True).start()
        return self

    def _read(self, stream, into):
        for raw in iter(stream.readline, b""):
            with self.lock:
                into.append((time.monotonic(), raw.decode("latin-1").rstrip("\r\n")))

    def texts(self, since=0.0):
        """Event lines printed since `since`, without their time stamps."""
        with self.lock:
            lines = [line for t, line in self.out if t >= since]
        return [m.group(1) for m in map(STAMP.match, lines) if m]

    def errors(self, since=0.0):
        """Standard error (message boxes, the agent count, the trace) since `since`."""
        with self.lock:
            return [line for t, line in self.err if t >= since]

    def watched(self, since=0.0):
        """The agent count of the latest completed rescan since `since`, None before one."""
        counts = [int(m.group(1)) for m in
                  (re.search(r"QuillHT: (\d+) agent\(s\) watched$", e) for e in self.errors(since))
                  if m]
        return counts[-1] if counts else None

    def added(self):
        """Addresses the trace names as added to the agent list, in order."""
        return [m.group(1) for m in
                (re.search(r"Agent \[([0-9.]+)\] Added", e) for e in self.errors()) if m]

    def polled(self, address):
        """True once the monitor of `address` has read its event index in its poll loop (its
        first checks, one exchange per device through the relay, come before)."""
        mark = "Agent %s Event Index = " % address
        return any(mark in e for e in self.errors())

    def log_texts(self):
        try:
            with open(os.path.join(self.dir, "Log.log"), "rb") as f:
                data = f.read().decode("latin-1")
        except FileNotFoundError:
            return []
        return [m.group(1) for m in map(STAMP.match, data.split("\r\n")) if m]

    def signal(self, sig):
        self.proc.send_signal(sig)

    def stop(self, seconds=20):
        """SIGTERM and the exit status (None when it had to be killed)."""
        try:
            if self.proc is None or self.proc.poll() is not None:
                return self.proc.returncode if self.proc else None
            self.proc.send_signal(signal.SIGTERM)
            try:
                return self.proc.wait(seconds)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                return None
        finally:
            self.syslog.close()

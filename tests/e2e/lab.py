"""The network lab (scripts/lab) as the whole-system tests use it.

A test module imports this, calls `Lab.require()` (which ends the test as skipped, exit 77,
when the lab cannot be up on this machine) and runs its cases with `run_cases`.
"""

import os
import subprocess
import sys
import time
import traceback

SOURCE = os.environ.get("VRN_SOURCE_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("VRN_BUILD_DIR") or os.path.join(SOURCE, "build", "default")
LAB = os.path.join(SOURCE, "scripts", "lab")
SKIP = 77


class Lab:
    def __init__(self, env):
        self.env = env
        self.size = int(env["LAB_SIZE"])
        self.agents = env["LAB_AGENTS"].split()
        self.far = env["LAB_FAR"]
        self.station = env["LAB_STATION"]
        self.services = env["LAB_SERVICES"]
        self.dir = env["LAB_DIR"]
        self.mail_log = env["LAB_MAIL_LOG"]
        self.inbox = env["LAB_INBOX"]
        self.http_port = int(env["LAB_HTTP_PORT"])

    @staticmethod
    def require():
        """The running lab, or a skip with the reason when there is none."""
        check = subprocess.run([LAB, "check"], capture_output=True, text=True)
        status = subprocess.run([LAB, "status"], capture_output=True, text=True)
        if check.returncode != 0 or status.returncode != 0:
            reason = check.stdout.strip() if check.returncode else "it is not up (scripts/lab up)"
            print("SKIP: whole-system tests need the network lab: " + reason)
            sys.exit(SKIP)
        env = {}
        for line in subprocess.run([LAB, "env"], capture_output=True, text=True,
                                   check=True).stdout.splitlines():
            key, _, value = line.partition("=")
            env[key] = value.strip('"')
        return Lab(env)

    @staticmethod
    def host_of(address):
        """Lab host name of an agent address (10.213.1.11 -> agent1)."""
        if address == "10.213.2.10":
            return "far"
        return "agent%d" % (int(address.rsplit(".", 1)[1]) - 10)

    def run(self, host, args, timeout=30, **kw):
        return subprocess.run([LAB, "exec", host, "--"] + list(args), capture_output=True,
                              text=True, timeout=timeout, **kw)

    def spawn(self, host, args, **kw):
        return subprocess.Popen([LAB, "exec", host, "--"] + list(args), **kw)

    def sim(self, host, *words):
        r = subprocess.run([LAB, "sim", host] + list(words), capture_output=True, text=True,
                           timeout=10)
        return r.stdout.strip()

    def agent(self, host, what):
        subprocess.run([LAB, "agent", host, what], check=True, timeout=30)

    def mails(self):
        """Accepted messages so far: (monotonic, wall, sender, [recipients], subject)."""
        try:
            with open(self.mail_log, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return []
        out = []
        for line in lines:
            mono, wall, sender, rcpts, subject = (line.split(" ", 4) + [""])[:5]
            out.append((float(mono), float(wall), sender, rcpts.split(","), subject))
        return out

    def popups(self):
        """Texts delivered to the pop-up receiver so far, oldest first."""
        if not os.path.isdir(self.inbox):
            return []
        names = [n for n in os.listdir(self.inbox) if n.startswith("msg-")]
        paths = sorted((os.path.join(self.inbox, n) for n in names), key=os.path.getmtime)
        texts = []
        for p in paths:
            with open(p, "rb") as f:
                texts.append(f.read().decode("latin-1"))
        return texts

    def popup_files(self):
        """Every delivered pop-up by its file name (one name per delivery)."""
        if not os.path.isdir(self.inbox):
            return {}
        files = {}
        for name in os.listdir(self.inbox):
            if name.startswith("msg-"):
                with open(os.path.join(self.inbox, name), "rb") as f:
                    files[name] = f.read().decode("latin-1")
        return files


def wait_until(what, predicate, seconds=10.0, step=0.05):
    """Polls predicate until it returns something true; fails after `seconds`."""
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("%s: not within %.1f s" % (what, seconds))
        time.sleep(step)


def run_cases(cases):
    """Runs (name, function) cases in order; every failure is reported, exit 1 if any."""
    failed = 0
    for name, case in cases:
        started = time.monotonic()
        try:
            case()
            print("ok    %-60s %.2f s" % (name, time.monotonic() - started))
        except Exception:  # a failed case must not hide the next ones
            failed += 1
            print("FAIL  %s" % name)
            traceback.print_exc(file=sys.stdout)
    sys.stdout.flush()
    return 1 if failed else 0

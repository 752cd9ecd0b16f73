#!/usr/bin/python3
"""The network lab itself: what the whole-system tests take for granted about it.

Every agent host answers a broadcast from the station (the far one too: ignoring it is the
station's business), its HTTP proxy and relay reach its own controller, the mail server and
the pop-up receiver take deliveries from the station, an agent program can be stopped and
started, and the machine's own network namespace holds none of the lab's interfaces.
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lab import BUILD, Lab, run_cases, wait_until  # noqa: E402

lab = Lab.require()
VRNCLI = os.path.join(BUILD, "tools", "vrncli", "vrncli")
VRNMAIL = os.path.join(BUILD, "tools", "vrnmail", "vrnmail")

# Sends the identify frame to 255.255.255.255:7890 and prints every sender that answers
# within a second, as "ADDRESS LENGTH".
BROADCAST = r"""
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.sendto(bytes([0x5E, 0x01, 0x61, 0x01, 0x00, 0x13, 0x14]), ("255.255.255.255", 7890))
end = time.monotonic() + 1.0
while True:
    s.settimeout(max(0.01, end - time.monotonic()))
    try:
        data, sender = s.recvfrom(2048)
    except socket.timeout:
        break
    print(sender[0], len(data))
"""


def serial_of(address):
    r = lab.run("station", [VRNCLI, "--udp", address, "--timeout", "2", "--json", "sysinfo"])
    assert r.returncode == 0, "sysinfo from %s: %s %s" % (address, r.stdout, r.stderr)
    return r.stdout


def broadcast_reaches_every_agent_host():
    r = lab.run("station", ["/usr/bin/python3", "-c", BROADCAST])
    assert r.returncode == 0, r.stderr
    senders = sorted(line.split()[0] for line in r.stdout.splitlines())
    assert senders == sorted(lab.agents + [lab.far]), senders


def relay_and_proxy_reach_the_hosts_own_controller():
    for address in lab.agents:
        host = Lab.host_of(address)
        before = int(lab.sim(host, "frames").split()[1])
        serial_of(address)
        after = int(lab.sim(host, "frames").split()[1])
        assert after == before + 1, "%s: frames %d -> %d" % (host, before, after)
        page = lab.run("station", ["curl", "-s", "--max-time", "20",
                                   "http://%s:%d/status.html" % (host, lab.http_port)])
        assert page.returncode == 0, page.stderr
        assert "<h2>Raid Set Hierarchy</h2>" in page.stdout, "%s: %r" % (host, page.stdout)


def mail_server_accepts_from_the_station():
    subject = "lab check %d" % os.getpid()
    r = lab.run("station", [VRNMAIL, "--server", "mail", "--from", "raid@lab.test",
                            "--to", "ops@lab.test,oncall@lab.test", "--subject", subject,
                            "--body", "lab"])
    assert r.returncode == 0, r.stderr
    mail = wait_until("the mail in the log",
                      lambda: [m for m in lab.mails() if m[4] == subject], seconds=5)
    assert mail[0][3] == ["ops@lab.test", "oncall@lab.test"], mail


def popup_receiver_takes_a_message_by_name():
    text = "lab pop-up %d" % os.getpid()
    r = lab.run("station", ["timeout", "30", "smbclient", "-M", "MSGRECV", "-I",
                            lab.services, "-U", "ALARM%", "-E"], input=text + "\n")
    assert r.returncode == 0 and "cli_message returned" not in r.stderr, r.stderr
    wait_until("the pop-up in the inbox", lambda: text + "\n" in lab.popups(), seconds=5)


def stopped_agent_program_is_silent_until_started():
    address = lab.agents[-1]
    host = Lab.host_of(address)
    lab.agent(host, "stop")
    try:
        r = lab.run("station", [VRNCLI, "--udp", address, "--timeout", "1", "poll-event"])
        assert r.returncode != 0, "a stopped agent answered"
    finally:
        lab.agent(host, "start")
    serial_of(address)


def machine_namespace_holds_no_lab_interface():
    links = subprocess.run(["ip", "-o", "link", "show"], capture_output=True, text=True,
                           check=True).stdout
    names = {line.split(":")[1].strip().split("@")[0] for line in links.splitlines()}
    hosts = ["station", "services", "far"] + [Lab.host_of(a) for a in lab.agents]
    ours = names & {"p-" + h for h in hosts}
    assert not ours, ours
    # Each agent host sees only its loopback and its one cable.
    r = lab.run("agent1", ["ip", "-o", "link", "show"])
    names = sorted(line.split(":")[1].strip().split("@")[0] for line in r.stdout.splitlines())
    assert names == ["eth0", "lo"], names


sys.exit(run_cases([
    ("a broadcast reaches every agent host", broadcast_reaches_every_agent_host),
    ("relay and proxy reach the host's own controller",
     relay_and_proxy_reach_the_hosts_own_controller),
    ("the mail server accepts from the station", mail_server_accepts_from_the_station),
    ("the pop-up receiver takes a message by name", popup_receiver_takes_a_message_by_name),
    ("a stopped agent program is silent until started",
     stopped_agent_program_is_silent_until_started),
    ("the machine's namespace holds no lab interface", machine_namespace_holds_no_lab_interface),
]))

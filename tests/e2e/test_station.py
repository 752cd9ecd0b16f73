#!/usr/bin/python3
"""QuillHT --headless as the lab's monitoring station, end to end.

Which agent hosts a station finds (broadcast, by address, the far subnet), what one outage of
an agent program gives on every channel (standard output, the log file, the system log, the
mail server, the pop-up receiver), its revival, a rescan while an agent is down, and a failed
volume's way from the controller to the mail server.
"""

import os
import re
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lab import Lab, run_cases, wait_until  # noqa: E402
from station import Station  # noqa: E402

lab = Lab.require()
POLL_INTERVAL = 1
# One failed poll is noticed within a poll interval, the reply time-out and the retry; a
# loaded machine gets generous room on top.
NOTICE = 20


def start_station(name, args):
    return Station(lab, name, args, poll_interval=POLL_INTERVAL, poll_timeout=1).start()


def first_rescan(station):
    wait_until("%s: its first rescan" % station.dir, lambda: station.watched() is not None,
               seconds=15)


def discovery_finds_the_hosts_its_rules_accept():
    a = lab.agents
    cases = [
        # (name, command line, agents expected)
        ("broadcast", [], a),
        ("one by address", ["--no-broadcast", "--agent", a[1]], [a[1]]),
        ("by address beside the broadcast", ["--agent", a[0]], a),
        ("the far subnet by address", ["--no-broadcast", "--agent", a[0], "--agent", lab.far],
         [a[0]]),
    ]
    # Side by side: each station has its own discovery socket and working folder.
    stations = [start_station("discovery-%d" % i, args) for i, (_, args, _) in enumerate(cases)]
    try:
        for station in stations:
            first_rescan(station)
    finally:
        statuses = [station.stop() for station in stations]
    for (name, _, expected), station, status in zip(cases, stations, statuses):
        assert station.watched() == len(expected), "%s: %s" % (name, station.errors()[-3:])
        assert sorted(station.added()) == sorted(expected), "%s: %s" % (name, station.added())
        assert status == 0, "%s: exit status %s" % (name, status)


# One station for the alarm cases: its first checks of every agent take seconds through the
# relays, and the cases would otherwise each wait for them.
watching = None


def station_watching_every_agent():
    global watching
    if watching is None:
        watching = start_station("watching", [])
        first_rescan(watching)
        assert watching.watched() == len(lab.agents), watching.errors()[-3:]
        wait_until("every agent polled", lambda: all(watching.polled(a) for a in lab.agents),
                   seconds=40)
    return watching


def stopped_cleanly(station):
    status = station.stop()
    assert status == 0, "exit status %s; stderr: %s" % (status, station.errors()[-5:])
    assert station.log_texts()[-1:] == ["Application exit"], station.log_texts()[-3:]


def lines_with(texts, text):
    return [t for t in texts if t == text]


def new_popups(before):
    """Pop-up texts delivered since the inbox held `before` (lab.popup_files())."""
    return [t.rstrip("\n") for name, t in lab.popup_files().items() if name not in before]


def channels(station, text, since, popups_before):
    """How often `text` went out on each channel since `since` (monotonic)."""
    return {
        "stdout": len(lines_with(station.texts(since), text)),
        "log file": len(lines_with(station.log_texts(), text)),
        "system log": len([r for r in station.syslog.received() if r.endswith("] " + text)]),
        "mail": len([m for m in lab.mails() if m[0] >= since and m[4] == text]),
        "pop-up": len(lines_with(new_popups(popups_before), text)),
    }


def everywhere_once(station, text, since, popups_before):
    wait_until("%r on every channel" % text,
               lambda: all(n >= 1 for n in channels(station, text, since, popups_before).values()),
               seconds=NOTICE)
    # Several more poll cycles of the same outage must not repeat it.
    time.sleep(3 * POLL_INTERVAL + 1)
    counts = channels(station, text, since, popups_before)
    assert set(counts.values()) == {1}, "%r: %s" % (text, counts)


def outage_is_told_once_everywhere_then_revival_then_rescan_drops_it():
    address = lab.agents[-1]
    host = Lab.host_of(address)
    down, revived = address + " Device Down", address + " Device Revived"
    station = station_watching_every_agent()
    try:
        # The inbox is the lab's: what earlier runs left there does not count.
        popups = set(lab.popup_files())
        began = time.monotonic()
        lab.agent(host, "stop")
        everywhere_once(station, down, began, popups)
        records = [r for r in station.syslog.received() if r.endswith("] " + down)]
        assert re.match(r"^<11>\w{3} [ \d]\d \d\d:\d\d:\d\d \S+\[\d+\]: \[0x[0-9A-F]{8}\] ",
                        records[0]), records[0]

        lab.agent(host, "start")
        wait_until("the revival on standard output",
                   lambda: lines_with(station.texts(began), revived), seconds=NOTICE)
        everywhere_once(station, revived, began, popups)
        assert channels(station, down, began, popups)["stdout"] == 1

        # Down again, and a rescan while it is: the rescan takes it off the list for good.
        again = time.monotonic()
        lab.agent(host, "stop")
        wait_until("the second outage", lambda: lines_with(station.texts(again), down),
                   seconds=NOTICE)
        rescanned = time.monotonic()
        station.signal(signal.SIGHUP)
        wait_until("the rescan", lambda: station.watched(rescanned) is not None, seconds=15)
        assert station.watched(rescanned) == len(lab.agents) - 1, station.errors()[-3:]
        lab.agent(host, "start")
        time.sleep(3 * POLL_INTERVAL + 1)
        assert not [t for t in station.texts(rescanned) if t.startswith(address + " ")], \
            station.texts(rescanned)
    finally:
        lab.agent(host, "start")


def failed_volume_reaches_mail_and_popup():
    address = lab.agents[0]
    host = Lab.host_of(address)
    text = address + " Volume Set # 00 Volume Failed"
    station = station_watching_every_agent()
    try:
        popups = set(lab.popup_files())
        began = time.monotonic()
        reply = lab.sim(host, "volume", "0", "fail")
        assert reply.startswith("ok"), reply
        mail = wait_until("the alarm mail",
                          lambda: [m for m in lab.mails() if m[0] >= began and m[4] == text],
                          seconds=NOTICE)
        assert mail[0][3] == ["ops@lab.test"], mail
        wait_until("the pop-up", lambda: text in new_popups(popups), seconds=NOTICE)
        # The pop-ups go out first: the mail waits for smbclient.
        print("      failed volume to mail accepted: %.2f s (PollInterval %d s, pop-up first)"
              % (mail[0][0] - began, POLL_INTERVAL))
        assert lines_with(station.texts(began), text), station.texts(began)
    finally:
        lab.sim(host, "volume", "0", "ok")


def sigterm_ends_the_station():
    stopped_cleanly(station_watching_every_agent())


try:
    status = run_cases([
        ("discovery finds the hosts its rules accept", discovery_finds_the_hosts_its_rules_accept),
        ("a failed volume reaches the mail server and the pop-up receiver",
         failed_volume_reaches_mail_and_popup),
        ("an outage is told once everywhere, then its revival; a rescan drops a down agent",
         outage_is_told_once_everywhere_then_revival_then_rescan_drops_it),
        ("SIGTERM ends the station: exit line logged, status 0", sigterm_ends_the_station),
    ])
finally:
    if watching is not None:
        watching.stop()
sys.exit(status)

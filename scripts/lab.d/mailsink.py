#!/usr/bin/python3
"""The lab's mail server: aiosmtpd accepting every message for anyone.

Each accepted message is kept as DIR/NNNN.eml, and one line is appended to DIR/log at the
moment the server accepts it (before its 250 reply goes out):

    MONOTONIC_SECONDS WALL_SECONDS FROM TO[,TO...] SUBJECT

It offers LOGIN (prompting "Username:" and "Password:") and PLAIN without TLS and takes any
account: the alarm mailer sends nothing to a server none of whose methods let it in, and a
sink has nothing to guard. Mail without a login is taken too.
The monotonic clock is the machine's, so a test in another network namespace can subtract
its own readings. Prints "port N" and "ready" once it listens; SIGTERM or SIGINT end it.

usage: mailsink.py --dir DIR [--host ADDR] [--port N]   (port 0: a free one)
"""

import argparse
import email.header
import email.parser
import os
import signal
import socket
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult


class ConventionalLogin(SMTP):
    AuthLoginUsernameChallenge = "Username:"
    AuthLoginPasswordChallenge = "Password:"


class SinkController(Controller):
    def factory(self):
        return ConventionalLogin(self.handler, **self.SMTP_kwargs)


def anyone(server, session, envelope, mechanism, auth_data):
    return AuthResult(success=True, handled=False)


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        accepted = (time.monotonic(), time.time())
        head = email.parser.BytesHeaderParser().parsebytes(envelope.content)
        subject = ""
        for part, charset in email.header.decode_header(head.get("Subject", "")):
            subject += part.decode(charset or "latin-1", "replace") if isinstance(part, bytes) else part
        subject = " ".join(subject.split())
        with self.lock:
            self.count += 1
            name = os.path.join(self.folder, "%04d.eml" % self.count)
        with open(name + ".tmp", "wb") as f:
            f.write(envelope.content)
        os.rename(name + ".tmp", name)
        line = "%.6f %.6f %s %s %s\n" % (accepted[0], accepted[1], envelope.mail_from or "-",
                                         ",".join(envelope.rcpt_tos) or "-", subject)
        # One write with O_APPEND: readers never see half a line.
        fd = os.open(os.path.join(self.folder, "log"), os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
        try:
            os.write(fd, line.encode("utf-8", "replace"))
        finally:
            os.close(fd)
        return "250 2.0.0 stored"


def free_port(host):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--dir", required=True)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=25)
    a = p.parse_args()
    os.makedirs(a.dir, exist_ok=True)
    last = None
    for _ in range(5):
        port = a.port or free_port(a.host)
        # server_hostname keeps aiosmtpd from asking a resolver for this machine's name.
        controller = SinkController(Sink(a.dir), hostname=a.host, port=port,
                                    server_hostname="mail.lab", auth_require_tls=False,
                                    authenticator=anyone, ready_timeout=10)
        try:
            controller.start()
            break
        except OSError as error:
            last = error
            if a.port:
                break
    else:
        controller = None
    if controller is None or not getattr(controller, "server", None):
        print("mailsink: cannot listen on %s:%s: %s" % (a.host, a.port, last), file=sys.stderr)
        return 1
    print("port %d" % port)
    print("ready", flush=True)
    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    while not stop.wait(1):
        pass
    controller.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())

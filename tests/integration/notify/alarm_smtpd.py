#!/usr/bin/python3
"""A mail server for the alarm-mail tests: aiosmtpd on 127.0.0.1 at a free port.

usage: alarm_smtpd.py DIR ACCOUNT PASSWORD

Offers LOGIN (with the prompts "Username:" and "Password:") and PLAIN without TLS and knows
one account. Prints "ready PORT" once it listens, then runs until SIGTERM. What happens is
appended to DIR/events, one line each, in order: "ehlo", "auth MECHANISM", "refused" (wrong
credentials) and "mail N" for the N-th accepted message, whose envelope goes to DIR/N.env (the
sender, then one recipient a line) and whose content, as received, to DIR/N.eml.
"""

import logging
import os
import signal
import socket
import sys
import threading
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0
        self.lock = threading.Lock()

    def event(self, line):
        with self.lock:
            with open(os.path.join(self.folder, "events"), "a") as f:
                f.write(line + "\n")

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        self.event("ehlo")
        return responses

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        base = os.path.join(self.folder, str(n))
        with open(base + ".env", "w") as f:
            f.write("\n".join([envelope.mail_from] + list(envelope.rcpt_tos)) + "\n")
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        self.event(f"mail {n}")
        return "250 2.0.0 stored"


class ConventionalLogin(SMTP):
    AuthLoginUsernameChallenge = "Username:"
    AuthLoginPasswordChallenge = "Password:"


def main():
    folder, account, password = sys.argv[1], sys.argv[2].encode(), sys.argv[3].encode()
    warnings.filterwarnings("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    recorder = Recorder(folder)

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == account
              and auth_data.password == password)
        recorder.event(f"auth {mechanism}" if ok else "refused")
        return AuthResult(success=ok, handled=False)

    class ServerController(Controller):
        def factory(self):
            return ConventionalLogin(self.handler, **self.SMTP_kwargs)

    # aiosmtpd needs its port before it listens: take a free one, again if it was taken
    # in between. server_hostname keeps it from asking the resolver for this machine's name.
    for attempt in range(5):
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        controller = ServerController(recorder, hostname="127.0.0.1", port=port,
                                      server_hostname="mail.test", auth_require_tls=False,
                                      authenticator=authenticate, ready_timeout=10)
        try:
            controller.start()
            break
        except OSError:
            if attempt == 4:
                raise
    stopped = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stopped.set())
    print(f"ready {port}", flush=True)
    stopped.wait()
    controller.stop()


if __name__ == "__main__":
    main()

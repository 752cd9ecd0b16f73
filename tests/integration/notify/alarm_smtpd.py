#!/usr/bin/python3
"""A mail server for the alarm-mail tests: aiosmtpd on 127.0.0.1 at a free port.

usage: alarm_smtpd.py DIR ACCOUNT PASSWORD [starttls|tls]

Offers LOGIN (with the prompts "Username:" and "Password:") and PLAIN without TLS and knows
one account. Prints "ready PORT" once it listens, then runs until SIGTERM. What happens is
appended to DIR/events, one line each, in order: "ehlo", "auth MECHANISM", "refused" (wrong
credentials) and "mail N" for the N-th accepted message, whose envelope goes to DIR/N.env (the
sender, then one recipient a line) and whose content, as received, to DIR/N.eml.

With "starttls" it offers STARTTLS (and AUTH only after it), with "tls" it speaks TLS from the
first byte; its certificate names 127.0.0.1 and localhost and is signed by a CA made for the
run, written to DIR/ca.pem. Steps that ran encrypted get " tls" after their event line.
"""

import logging
import os
import signal
import socket
import sys
import threading
import ssl
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def encrypted(server, session):
    return session.ssl is not None or server.transport.get_extra_info("ssl_object") is not None


def tls_context(folder):
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from test_pki import Authority
    ca = Authority(folder, "alarm test CA")
    os.rename(ca.pem, os.path.join(folder, "ca.pem"))
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(*ca.server("server", ["localhost"], ["127.0.0.1"]))
    return context


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
        self.event("ehlo" + (" tls" if encrypted(server, session) else ""))
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
        self.event(f"mail {n}" + (" tls" if encrypted(server, session) else ""))
        return "250 2.0.0 stored"


class ConventionalLogin(SMTP):
    AuthLoginUsernameChallenge = "Username:"
    AuthLoginPasswordChallenge = "Password:"


def main():
    folder, account, password = sys.argv[1], sys.argv[2].encode(), sys.argv[3].encode()
    mode = sys.argv[4] if len(sys.argv) > 4 else "plain"
    tls = {}
    if mode == "starttls":
        tls = dict(tls_context=tls_context(folder), require_starttls=True, auth_require_tls=True)
    elif mode == "tls":
        tls = dict(ssl_context=tls_context(folder), auth_require_tls=False)
    warnings.filterwarnings("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    recorder = Recorder(folder)

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == account
              and auth_data.password == password)
        recorder.event((f"auth {mechanism}" if ok else "refused") +
                       (" tls" if encrypted(server, session) else ""))
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
                                      server_hostname="mail.test", authenticator=authenticate,
                                      ready_timeout=10, **({"auth_require_tls": False} | tls))
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

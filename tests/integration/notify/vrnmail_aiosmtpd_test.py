#!/usr/bin/python3
"""vrnmail against a real SMTP server (aiosmtpd) on 127.0.0.1.

Each case starts a server on a free loopback port, with AUTH offered without TLS, an
authenticator that knows one account, and a handler that stores what it receives; runs vrnmail
through the real path; and checks the stored message or the refusal.

usage: vrnmail_aiosmtpd_test.py PATH_TO_VRNMAIL
"""

import email.utils
import hashlib
import hmac
import logging
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

ACCOUNT = "alarm"
PASSWORD = "s3cret-Pw"
SENDER = "raid-monitor@site.test"
RECIPIENTS = ["ops@site.test", "oncall@site.test"]
REFUSED = "nobody@site.test"
CRAM_CHALLENGE = b"<4711.1733560000@mail.test>"


class Store:
    """Keeps every accepted message and refuses one recipient."""

    def __init__(self):
        self.messages = []
        self.mechanisms = []

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address == REFUSED:
            return "550 5.1.1 mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.content))
        return "250 2.0.0 stored"


def authenticator_for(store):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == ACCOUNT.encode()
              and auth_data.password == PASSWORD.encode())
        if ok:
            store.mechanisms.append(mechanism)
        return AuthResult(success=ok, handled=False)
    return authenticate


class ConventionalLogin(SMTP):
    """LOGIN with the prompts most servers send, which the client insists on."""
    AuthLoginUsernameChallenge = "Username:"
    AuthLoginPasswordChallenge = "Password:"


class WithCramMd5(ConventionalLogin):
    """Adds CRAM-MD5 (RFC 2195) to the mechanisms."""

    async def auth_CRAM__MD5(self, _, args):
        answer = await self.challenge_auth(CRAM_CHALLENGE)
        if not isinstance(answer, bytes):
            return AuthResult(success=False, handled=True)
        user, _, digest = answer.partition(b" ")
        expected = hmac.new(PASSWORD.encode(), CRAM_CHALLENGE, hashlib.md5).hexdigest()
        ok = user == ACCOUNT.encode() and digest == expected.encode()
        if ok:
            self.event_handler.mechanisms.append("CRAM-MD5")
        return AuthResult(success=ok, handled=False)


class ServerController(Controller):
    def __init__(self, handler, smtp_class, **kwargs):
        self.smtp_class = smtp_class
        super().__init__(handler, **kwargs)

    def factory(self):
        return self.smtp_class(self.handler, **self.SMTP_kwargs)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_server(smtp_class, store):
    last = None
    for _ in range(5):
        port = free_port()
        # server_hostname keeps aiosmtpd from asking the resolver for this machine's name.
        controller = ServerController(store, smtp_class, hostname="127.0.0.1", port=port,
                                      server_hostname="mail.test", auth_require_tls=False,
                                      authenticator=authenticator_for(store), ready_timeout=10)
        try:
            controller.start()
            return controller, port
        except OSError as error:  # the port was taken in between
            last = error
    raise last


def run_vrnmail(vrnmail, port, args, tz="IST-5:30"):
    env = dict(os.environ, TZ=tz)
    cmd = [vrnmail, "--server", "127.0.0.1", "--port", str(port), "--from", SENDER] + args
    return subprocess.run(cmd, capture_output=True, text=True, timeout=30, env=env)


HEADER_ORDER = ["From", "To", "Subject", "Date", "X-Mailer", "MIME-Version", "Content-type"]


def check_message(stored, subject, body_expected, zone, to_list):
    errors = []
    mail_from, rcpt_tos, content = stored
    if mail_from != SENDER:
        errors.append(f"MAIL FROM {mail_from!r}")
    if rcpt_tos != to_list:
        errors.append(f"RCPT TO {rcpt_tos!r}")
    head, sep, body = content.partition(b"\r\n\r\n")
    if not sep:
        errors.append("no empty line after the header")
    lines = head.decode("latin-1").split("\r\n")
    names = [line.split(":", 1)[0] for line in lines]
    if names != HEADER_ORDER:
        errors.append(f"header order {names!r}")
    values = dict(line.split(": ", 1) for line in lines if ": " in line)
    if values.get("From") != SENDER:
        errors.append(f"From {values.get('From')!r}")
    if values.get("To") != ",".join(to_list):
        errors.append(f"To {values.get('To')!r}")
    if values.get("Subject") != subject:
        errors.append(f"Subject {values.get('Subject')!r}")
    if values.get("X-Mailer") != "CSMTPConnection v1.3":
        errors.append(f"X-Mailer {values.get('X-Mailer')!r}")
    if values.get("Content-type") != "text/plain; charset=US-ASCII":
        errors.append(f"Content-type {values.get('Content-type')!r}")
    date = values.get("Date", "")
    if not re.fullmatch(r"[A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4}", date):
        errors.append(f"Date {date!r}")
    elif not date.endswith(" " + zone):
        errors.append(f"Date zone {date!r}, expected {zone}")
    else:
        sent = email.utils.parsedate_to_datetime(date).timestamp()
        if abs(sent - time.time()) > 120:
            errors.append(f"Date {date!r} is not the time of sending")
    if body != body_expected:
        errors.append(f"body {body!r}, expected {body_expected!r}")
    return errors


def main():
    vrnmail = sys.argv[1]
    # aiosmtpd's own chatter (its deprecation notes, its log of an abandoned AUTH) is not ours.
    warnings.filterwarnings("ignore", message="Session.login_data")
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    workdir = tempfile.mkdtemp(prefix="vrnmail-test-")
    body_file = os.path.join(workdir, "body.txt")
    # LF line ends, a line of its own dot and lines that begin with dots: the wire needs CR LF
    # and dot-stuffing, and the server must give back exactly this text.
    body_text = "[SYSTEM ALARM]\nVolume Failed\n.\n..two dots\n.leading\nend"
    with open(body_file, "w", newline="") as f:
        f.write(body_text)
    # The CR LF of the end-of-data marker ends the last line, so the server stores one more.
    body_wire = body_text.replace("\n", "\r\n").encode() + b"\r\n"

    creds = ["--account", ACCOUNT, "--password", PASSWORD]
    mail = ["--to", ",".join(RECIPIENTS), "--subject", "Volume Failed on 127.0.0.1",
            "--body-file", body_file]
    # name, server class, vrnmail arguments, exit status, mechanism, TZ, zone text
    cases = [
        ("auto takes CRAM-MD5, the first offered in the mailer's order", WithCramMd5,
         creds + mail, 0, "CRAM-MD5", "XST-8", "+0800"),
        ("LOGIN with conventional prompts", ConventionalLogin,
         creds + ["--auth", "login"] + mail, 0, "LOGIN", "EST5", "-0500"),
        ("PLAIN", SMTP, creds + ["--auth", "plain"] + mail, 0, "PLAIN", "UTC0", "+0000"),
        ("CRAM-MD5 chosen", WithCramMd5, creds + ["--auth", "cram-md5"] + mail, 0, "CRAM-MD5",
         "NST3:30", "-0330"),
        ("aiosmtpd's own LOGIN prompts are refused", SMTP, creds + ["--auth", "login"] + mail, 1,
         None, "UTC0", None),
        ("auto on stock aiosmtpd: LOGIN refused, PLAIN after the abandoned exchange", SMTP,
         creds + mail, 0, "PLAIN", "IST-5:30", "+0530"),
        ("wrong password fails every method", WithCramMd5,
         ["--account", ACCOUNT, "--password", "wrong"] + mail, 1, None, "UTC0", None),
        ("NTLM is not offered", WithCramMd5, creds + ["--auth", "ntlm"] + mail, 1, None, "UTC0",
         None),
        ("no authentication asked", SMTP, mail, 0, None, "IST-5:30", "+0530"),
        ("a refused recipient stops the mail", ConventionalLogin,
         ["--to", RECIPIENTS[0] + "," + REFUSED, "--subject", "s", "--body", "x"], 1, None,
         "UTC0", None),
    ]
    passed = failed = 0
    for name, smtp_class, args, status, mechanism, tz, zone in cases:
        store = Store()
        controller, port = start_server(smtp_class, store)
        try:
            result = run_vrnmail(vrnmail, port, args, tz)
        finally:
            controller.stop()
        errors = []
        if result.returncode != status:
            errors.append(f"exit status {result.returncode}, expected {status}")
        if status == 0:
            if result.stderr:
                errors.append(f"stderr {result.stderr!r}")
            if len(store.messages) != 1:
                errors.append(f"{len(store.messages)} messages stored")
            else:
                to_list = [a for a in args[args.index("--to") + 1].split(",")]
                errors += check_message(store.messages[0], args[args.index("--subject") + 1],
                                        body_wire if "--body-file" in args else b"x\r\n", zone,
                                        to_list)
        else:
            if store.messages:
                errors.append("a message was stored")
            lines = result.stderr.splitlines()
            if len(lines) != 1 or not lines[0].startswith("vrnmail: "):
                errors.append(f"expected a one-line reason, got {result.stderr!r}")
        if store.mechanisms != ([mechanism] if mechanism else []):
            errors.append(f"mechanisms {store.mechanisms!r}, expected {mechanism!r}")
        if errors:
            failed += 1
            print(f"FAIL {name}:")
            for e in errors:
                print(f"    {e}")
            print(f"    stderr: {result.stderr.strip()}")
        else:
            passed += 1
            print(f"ok   {name}" + (f"  ({result.stderr.strip()})" if result.stderr else ""))

    # Nobody listening: the port of a server that was started and stopped again.
    store = Store()
    controller, port = start_server(SMTP, store)
    controller.stop()
    result = run_vrnmail(vrnmail, port, mail)
    if result.returncode == 1 and "Failed to connect SMTP server" in result.stderr:
        passed += 1
        print(f"ok   nobody listening  ({result.stderr.strip()})")
    else:
        failed += 1
        print(f"FAIL nobody listening: {result.returncode} {result.stderr!r}")

    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

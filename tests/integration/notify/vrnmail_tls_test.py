#!/usr/bin/python3
"""vrnmail's encrypted mail against a real SMTP server (aiosmtpd) on 127.0.0.1.

The test makes its own certificate authority and server certificates, then starts, per case,
a server offering STARTTLS, one speaking TLS from the first byte, or a plain one, and runs
vrnmail with a security mode. It checks that the mail arrives (and over TLS, with EHLO repeated
and the authentication inside the encrypted channel) or that nothing arrives and the reason
names the fault: a wrong host name, an untrusted certificate, no STARTTLS where it is required.

usage: vrnmail_tls_test.py PATH_TO_VRNMAIL
"""

import logging
import os
import socket
import ssl
import subprocess
import sys
import tempfile
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_pki import Authority  # noqa: E402

ACCOUNT = "alarm"
PASSWORD = "s3cret-Pw"
SENDER = "raid-monitor@site.test"
RECIPIENT = "ops@site.test"


def encrypted(server, session):
    # aiosmtpd marks a session encrypted only after STARTTLS; with TLS from the first byte the
    # transport itself is the TLS one.
    return session.ssl is not None or server.transport.get_extra_info("ssl_object") is not None


class Store:
    """Keeps what it accepted, and whether each step ran encrypted."""

    def __init__(self):
        self.messages = []
        self.ehlo_encrypted = []
        self.auth_encrypted = []

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        self.ehlo_encrypted.append(encrypted(server, session))
        return responses

    async def handle_DATA(self, server, session, envelope):
        self.messages.append((envelope.content, encrypted(server, session)))
        return "250 2.0.0 stored"


def authenticator_for(store):
    def authenticate(server, session, envelope, mechanism, auth_data):
        store.auth_encrypted.append(encrypted(server, session))
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == ACCOUNT.encode()
              and auth_data.password == PASSWORD.encode())
        return AuthResult(success=ok, handled=False)
    return authenticate


def server_context(cert):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(*cert)
    return context


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_server(kind, cert, store):
    """kind: "starttls" (offers it, AUTH only after it), "implicit" or "plain"."""
    kwargs = dict(hostname="127.0.0.1", server_hostname="mail.test", ready_timeout=10,
                  authenticator=authenticator_for(store))
    if kind == "starttls":
        kwargs.update(tls_context=server_context(cert), require_starttls=True,
                      auth_require_tls=True)
    elif kind == "implicit":
        # aiosmtpd would refuse AUTH here (it sees TLS only after STARTTLS); the handler checks
        # the transport instead.
        kwargs.update(ssl_context=server_context(cert), auth_require_tls=False)
    else:
        kwargs.update(auth_require_tls=False)
    last = None
    for _ in range(5):
        controller = Controller(store, port=free_port(), **kwargs)
        try:
            controller.start()
            return controller
        except OSError as error:  # the port was taken in between
            last = error
    raise last


def main():
    vrnmail = sys.argv[1]
    warnings.filterwarnings("ignore", message="Session.login_data")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    folder = tempfile.mkdtemp(prefix="vrnmail-tls-")
    ca = Authority(folder, "vrn test CA")
    stranger = Authority(folder, "stranger CA")
    good = ca.server("localhost", ["localhost"], ["127.0.0.1"])
    other_name = ca.server("mail-test", ["mail.test"])
    untrusted = stranger.server("untrusted", ["localhost"], ["127.0.0.1"])
    not_pem = os.path.join(folder, "not-a-ca.pem")
    with open(not_pem, "w") as f:
        f.write("this is no certificate\n")

    trust = ["--ca-file", ca.pem]
    creds = ["--account", ACCOUNT, "--password", PASSWORD, "--auth", "plain"]
    # name, server kind, certificate, server name given to vrnmail, vrnmail arguments,
    # encrypted (None: the mail must not arrive), what the reason must say when it fails
    cases = [
        ("STARTTLS required: EHLO again, AUTH and mail inside TLS", "starttls", good,
         "localhost", ["--security", "starttls-required"] + trust + creds, True, None),
        ("STARTTLS when offered, offered", "starttls", good, "localhost",
         ["--security", "starttls"] + trust + creds, True, None),
        ("STARTTLS when offered, not offered: plain as before", "plain", None, "localhost",
         ["--security", "starttls"] + trust + creds, False, None),
        ("STARTTLS required, not offered", "plain", None, "localhost",
         ["--security", "starttls-required"] + trust + creds, None, "does not offer STARTTLS"),
        ("TLS from the first byte", "implicit", good, "localhost",
         ["--security", "tls"] + trust + creds, True, None),
        ("TLS to a server given by its address", "implicit", good, "127.0.0.1",
         ["--security", "3"] + trust, True, None),
        ("STARTTLS to a certificate for another host name", "starttls", other_name, "localhost",
         ["--security", "starttls"] + trust + creds, None, "hostname mismatch"),
        ("TLS to an address the certificate does not hold", "implicit", other_name, "127.0.0.1",
         ["--security", "tls"] + trust, None, "IP address mismatch"),
        ("STARTTLS without the test CA: untrusted", "starttls", good, "localhost",
         ["--security", "starttls-required"] + creds, None, "is not accepted"),
        ("TLS to a certificate of a CA nobody trusts", "implicit", untrusted, "localhost",
         ["--security", "tls"] + trust, None, "is not accepted"),
        ("a CA file that holds no certificate", "implicit", good, "localhost",
         ["--security", "tls", "--ca-file", not_pem], None, "cannot use the CA file"),
        ("plain mode unchanged next to a STARTTLS server", "plain", None, "localhost",
         ["--security", "none"], False, None),
    ]
    passed = failed = 0
    for name, kind, cert, host, args, encrypted, reason in cases:
        store = Store()
        controller = start_server(kind, cert, store)
        try:
            cmd = [vrnmail, "--server", host, "--port", str(controller.port), "--from", SENDER,
                   "--to", RECIPIENT, "--subject", "Volume Failed", "--body", "x"] + args
            result = subprocess.run(cmd, capture_output=True, text=True, timeout=60)
        finally:
            controller.stop()
        errors = []
        if encrypted is None:
            if result.returncode != 1:
                errors.append(f"exit status {result.returncode}, expected 1")
            if store.messages:
                errors.append("a message arrived")
            if reason not in result.stderr or len(result.stderr.splitlines()) != 1:
                errors.append(f"reason {result.stderr!r} does not say {reason!r} on one line")
            if True in store.auth_encrypted or False in store.auth_encrypted:
                errors.append("credentials were sent")
        else:
            if result.returncode != 0:
                errors.append(f"exit status {result.returncode}: {result.stderr.strip()}")
            if [m[1] for m in store.messages] != [encrypted]:
                errors.append(f"messages (encrypted?) {[m[1] for m in store.messages]}")
            # Over STARTTLS the session starts again: a second EHLO, inside TLS.
            want_ehlo = {"starttls": [False, True], "implicit": [True], "plain": [False]}[kind]
            if kind == "starttls" and not encrypted:
                want_ehlo = [False]
            if store.ehlo_encrypted != want_ehlo:
                errors.append(f"EHLO encrypted {store.ehlo_encrypted}, expected {want_ehlo}")
            if "--account" in args and store.auth_encrypted != [encrypted]:
                errors.append(f"AUTH encrypted {store.auth_encrypted}, expected [{encrypted}]")
        if errors:
            failed += 1
            print(f"FAIL {name}:")
            for e in errors:
                print(f"    {e}")
        else:
            passed += 1
            print(f"ok   {name}" + (f"  ({result.stderr.strip()})" if result.stderr else ""))

    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

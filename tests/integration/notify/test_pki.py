"""A throw-away certificate authority for the mail tests: a CA, server certificates it signs for
given names and addresses, and a second CA that nobody trusts. Everything lives in one
temporary folder and is valid for a day."""

import datetime
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID


def _name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def _write(path, key, cert):
    with open(path + ".key", "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM,
                                  serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))
    with open(path + ".pem", "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    return path + ".pem", path + ".key"


class Authority:
    def __init__(self, folder, common_name):
        self.folder = folder
        self.key = ec.generate_private_key(ec.SECP256R1())
        now = datetime.datetime.now(datetime.timezone.utc)
        self.cert = (x509.CertificateBuilder()
                     .subject_name(_name(common_name))
                     .issuer_name(_name(common_name))
                     .public_key(self.key.public_key())
                     .serial_number(x509.random_serial_number())
                     .not_valid_before(now - datetime.timedelta(hours=1))
                     .not_valid_after(now + datetime.timedelta(days=1))
                     .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
                     .add_extension(x509.KeyUsage(digital_signature=True, key_cert_sign=True,
                                                  crl_sign=True, content_commitment=False,
                                                  key_encipherment=False, data_encipherment=False,
                                                  key_agreement=False, encipher_only=False,
                                                  decipher_only=False), critical=True)
                     .sign(self.key, hashes.SHA256()))
        self.pem, _ = _write(os.path.join(folder, common_name.replace(" ", "-")), self.key,
                             self.cert)

    def server(self, file_name, dns_names=(), addresses=()):
        """A server certificate for the names and addresses; returns (cert file, key file)."""
        key = ec.generate_private_key(ec.SECP256R1())
        now = datetime.datetime.now(datetime.timezone.utc)
        names = [x509.DNSName(n) for n in dns_names]
        names += [x509.IPAddress(ipaddress.ip_address(a)) for a in addresses]
        cert = (x509.CertificateBuilder()
                .subject_name(_name((list(dns_names) + list(addresses))[0]))
                .issuer_name(self.cert.subject)
                .public_key(key.public_key())
                .serial_number(x509.random_serial_number())
                .not_valid_before(now - datetime.timedelta(hours=1))
                .not_valid_after(now + datetime.timedelta(days=1))
                .add_extension(x509.SubjectAlternativeName(names), critical=False)
                .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]),
                               critical=False)
                .sign(self.key, hashes.SHA256()))
        return _write(os.path.join(self.folder, file_name), key, cert)

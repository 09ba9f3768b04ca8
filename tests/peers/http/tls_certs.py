"""Certificates for the HTTP peer's TLS mode, made at test time (python3-cryptography).

make(kind, folder) answers the paths of a certificate and its key for 127.0.0.1:

    good        from the authority folder/ca.der, for 127.0.0.1 and localhost
    other-host  the same authority, for other.invalid only
    expired     the same authority, ended a day ago
    untrusted   signed by itself: an authority that nobody trusts

The authority is made once per folder (its DER form, ca.der, is what a test
trusts); only the tests' own Wine prefix is told to trust it.
"""

import datetime
import fcntl
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID


def _certificate(subject, key, issuer, issuer_key, names, days, ca=False):
    now = datetime.datetime.now(datetime.timezone.utc)
    builder = (
        x509.CertificateBuilder()
        .subject_name(x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, subject)]))
        .issuer_name(x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, issuer)]))
        .public_key(key.public_key())
        .serial_number(x509.random_serial_number())
        .not_valid_before(now - datetime.timedelta(days=30))
        .not_valid_after(now + datetime.timedelta(days=days))
        .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True)
    )
    if names:
        builder = builder.add_extension(x509.SubjectAlternativeName(names), critical=False)
        builder = builder.add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def _write(path, data):
    with open(path + ".partial", "wb") as file:
        file.write(data)
    os.replace(path + ".partial", path)


def _authority(folder):
    """The authority's key and certificate, made on first use."""
    key_path, cert_path = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.der")
    with open(os.path.join(folder, "ca.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(cert_path):
            key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
            cert = _certificate("Nimbrel test authority", key, "Nimbrel test authority", key, None, 2, ca=True)
            _write(key_path, key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                               serialization.NoEncryption()))
            _write(cert_path, cert.public_bytes(serialization.Encoding.DER))
    with open(key_path, "rb") as file:
        return serialization.load_pem_private_key(file.read(), None)


def make(kind, folder):
    os.makedirs(folder, exist_ok=True)
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    # Wine's host-name check reads only DNS names, so the address is one as well.
    loopback = [x509.IPAddress(ipaddress.ip_address("127.0.0.1")), x509.DNSName("127.0.0.1"), x509.DNSName("localhost")]
    subject, names, days = "127.0.0.1", loopback, 2
    if kind == "other-host":
        subject, names = "other.invalid", [x509.DNSName("other.invalid")]
    elif kind == "expired":
        days = -1
    if kind == "untrusted":
        issuer, issuer_key = subject, key
    elif kind in ("good", "other-host", "expired"):
        issuer, issuer_key = "Nimbrel test authority", _authority(folder)
    else:
        raise ValueError("no certificate kind %r" % kind)
    cert = _certificate(subject, key, issuer, issuer_key, names, days)
    cert_path, key_path = os.path.join(folder, kind + ".pem"), os.path.join(folder, kind + ".key")
    _write(cert_path, cert.public_bytes(serialization.Encoding.PEM))
    _write(key_path, key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                       serialization.NoEncryption()))
    return cert_path, key_path

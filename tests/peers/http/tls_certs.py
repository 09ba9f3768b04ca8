"""Certificates for the HTTP peer's TLS mode, made at test time (python3-cryptography).

make(kind, folder) answers the paths of a certificate and its key for 127.0.0.1:

    good        from the authority folder/ca.der, for 127.0.0.1 and localhost
    localhost   the same authority, for localhost only: the other name of the machine
    other-host  the same authority, for other.invalid only
    expired     the same authority, ended a day ago
    untrusted   signed by itself: an authority that nobody trusts

The first peer to ask makes the authority (run_with_peers starts peers one after
another); ca.der is what a test trusts, in its own Wine prefix only.
"""

import datetime
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

_AUTHORITY = "Nimbrel test authority"


def _name(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])


def _certificate(subject, key, issuer, issuer_key, names, days):
    now = datetime.datetime.now(datetime.timezone.utc)
    builder = (
        x509.CertificateBuilder().subject_name(_name(subject)).issuer_name(_name(issuer))
        .public_key(key.public_key()).serial_number(x509.random_serial_number())
        .not_valid_before(now - datetime.timedelta(days=30)).not_valid_after(now + datetime.timedelta(days=days))
        .add_extension(x509.BasicConstraints(ca=names is None, path_length=None), critical=True)
    )
    if names is not None:
        builder = builder.add_extension(x509.SubjectAlternativeName(names), critical=False)
        builder = builder.add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def _save(path, key):
    with open(path, "wb") as file:
        file.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                     serialization.NoEncryption()))


def _authority_key(folder):
    path = os.path.join(folder, "ca.key")
    if not os.path.exists(path):
        key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        with open(os.path.join(folder, "ca.der"), "wb") as file:
            file.write(_certificate(_AUTHORITY, key, _AUTHORITY, key, None, 2).public_bytes(serialization.Encoding.DER))
        _save(path, key)
    with open(path, "rb") as file:
        return serialization.load_pem_private_key(file.read(), None)


def make(kind, folder):
    if kind not in ("good", "localhost", "other-host", "expired", "untrusted"):
        raise ValueError("no certificate kind %r" % kind)
    os.makedirs(folder, exist_ok=True)
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    # Wine's host-name check reads only DNS names, so the address is one as well.
    names = [x509.IPAddress(ipaddress.ip_address("127.0.0.1")), x509.DNSName("127.0.0.1"), x509.DNSName("localhost")]
    subject = "127.0.0.1"
    if kind == "other-host":
        subject, names = "other.invalid", [x509.DNSName("other.invalid")]
    if kind == "localhost":
        subject, names = "localhost", [x509.DNSName("localhost")]
    issuer, issuer_key = (subject, key) if kind == "untrusted" else (_AUTHORITY, _authority_key(folder))
    cert = _certificate(subject, key, issuer, issuer_key, names, -1 if kind == "expired" else 2)
    cert_path, key_path = os.path.join(folder, kind + ".pem"), os.path.join(folder, kind + ".key")
    with open(cert_path, "wb") as file:
        file.write(cert.public_bytes(serialization.Encoding.PEM))
    _save(key_path, key)
    return cert_path, key_path

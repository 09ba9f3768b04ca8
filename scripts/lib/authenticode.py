"""The maker's Authenticode signature on the release's nimbrel.exe, through osslsigncode
and openssl. Only options that osslsigncode 2.5 (Debian 12) already has are used, so
that a newer osslsigncode signs and checks alike.

    signer = Signer.pkcs12("maker.p12", password)       # or Signer.pkcs11(module, cert, key, pin)
    signer.sign("plain.exe", "signed.exe", "Nimbrel", epoch=..., timestamp=None, url=None)
    verified = signer.verify("signed.exe", extra_ca="root.pem", timestamped=False)
    verified.signer, verified.root, verified.source, verified.warning

A password or PIN reaches each program through a pipe (osslsigncode's -readpass,
openssl's -passin fd:N), never through a command line; an empty one is not passed.
Every failure raises SigningError with a message for the maker.
"""

import collections
import contextlib
import os
import re
import subprocess
import tempfile

SYSTEM_ROOTS = "/etc/ssl/certs/ca-certificates.crt"
_PEM = re.compile(r"-----BEGIN CERTIFICATE-----.+?-----END CERTIFICATE-----", re.S)


class SigningError(Exception):
    pass


# What a signature was verified against: the signer's name, the root certificate's,
# where that root came from, and a warning for the maker (None when there is none).
Verified = collections.namedtuple("Verified", "signer root source warning")


def _certificates(text):
    """The PEM certificates in text, each ending with a line end."""
    return [pem + "\n" for pem in _PEM.findall(text)]


@contextlib.contextmanager
def _secret_pipe(secret):
    """The read end of a pipe holding the secret, for a child to inherit."""
    read_end, write_end = os.pipe()
    try:
        os.write(write_end, secret.encode())  # far below a pipe's buffer
        os.close(write_end)
        yield read_end
    finally:
        os.close(read_end)


def _run(command, secret=None, option=None):
    """Runs command, handing the secret (when not empty) over in the option formed
    by option(fd); answers the completed process, output and errors merged."""
    with contextlib.ExitStack() as stack:
        fds = ()
        if secret:
            fd = stack.enter_context(_secret_pipe(secret))
            command, fds = command + option(fd), (fd,)
        return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, pass_fds=fds)


def _same_certificate(pem, others):
    """Whether the PEM certificate is among the PEM certificates others."""
    body = "".join(pem.split())
    return any("".join(other.split()) == body for other in others)


def _names(pem):
    """(subject, issuer) of one PEM certificate, as RFC 2253 names."""
    done = subprocess.run(["openssl", "x509", "-noout", "-subject", "-issuer", "-nameopt", "RFC2253"],
                          input=pem, capture_output=True, text=True, check=True)
    fields = dict(line.split("=", 1) for line in done.stdout.splitlines())
    return fields["subject"], fields["issuer"]


class Signer:
    def __init__(self, options, secret, certificate, authorities, source):
        self.options = options  # osslsigncode's options naming the key and certificates
        self.secret = secret
        self.certificate = certificate  # the signing certificate, PEM
        self.authorities = authorities  # the CA certificates the signing material carries, PEM
        self.source = source  # where those come from, for messages

    @classmethod
    def pkcs12(cls, path, password):
        def certificates(kind):
            command = ["openssl", "pkcs12", "-in", path, "-nokeys", kind] + ([] if password else ["-passin", "pass:"])
            done = _run(command, password, lambda fd: ["-passin", "fd:%d" % fd])
            if done.returncode != 0:
                raise SigningError("cannot read %s (is NIMBREL_SIGN_PASSWORD its password?):\n%s" % (path, done.stdout))
            return _certificates(done.stdout)

        signing = certificates("-clcerts")
        if not signing:
            raise SigningError("%s holds no signing certificate" % path)
        return cls(["-pkcs12", path], password, signing[0], certificates("-cacerts"), path)

    @classmethod
    def pkcs11(cls, module, cert, key, pin):
        with open(cert) as stream:
            chain = _certificates(stream.read())
        if not chain:
            raise SigningError("%s holds no PEM certificate" % cert)
        engines = subprocess.run(["openssl", "version", "-e"], capture_output=True, text=True, check=True).stdout
        folder = re.search(r'"(.*)"', engines)
        if not folder:
            raise SigningError("openssl names no folder of engines (\"openssl version -e\" says %r)" % engines.strip())
        engine = os.path.join(folder.group(1), "pkcs11.so")
        if not os.path.exists(engine):
            raise SigningError("no PKCS#11 engine at %s (Debian's libengine-pkcs11-openssl)" % engine)
        options = ["-pkcs11engine", engine, "-pkcs11module", module, "-certs", cert, "-key", key]
        return cls(options, pin, chain[0], chain[1:], cert)

    def sign(self, plain, signed, name, epoch, timestamp=None, url=None):
        """Authenticode with SHA-256. Without a time stamp the signing time is epoch,
        so that the same input and RSA key give the same bytes."""
        command = ["osslsigncode", "sign"] + self.options + ["-h", "sha256", "-n", name]
        command += ["-i", url] if url else []
        command += ["-ts", timestamp] if timestamp else ["-time", str(epoch)]
        done = _run(command + ["-in", plain, "-out", signed], self.secret, lambda fd: ["-readpass", "/dev/fd/%d" % fd])
        if done.returncode != 0:
            raise SigningError("osslsigncode could not sign nimbrel.exe:\n" + done.stdout)

    def verify(self, signed, extra_ca=None, timestamped=False):
        """Checks the signature at the present time against the authorities the signing
        material carries and those of extra_ca; answers a Verified. A root that only the
        signing material itself carries proves nothing about who issued the certificate:
        that is said in the warning."""
        extra = []
        if extra_ca:
            with open(extra_ca) as stream:
                extra = _certificates(stream.read())
        authorities = list(self.authorities) + extra
        signer, root = self._reach_root(authorities)
        system_roots = open(SYSTEM_ROOTS).read() if os.path.exists(SYSTEM_ROOTS) else ""
        with tempfile.TemporaryDirectory() as folder:
            def bundle(name, text):
                path = os.path.join(folder, name)
                with open(path, "w") as stream:
                    stream.write(text)
                return path

            command = ["osslsigncode", "verify", "-in", signed, "-CAfile", bundle("ca.pem", "".join(authorities))]
            if timestamped:
                # A time stamp authority's root is a public one, or the maker's own.
                command += ["-TSA-CAfile", bundle("tsa.pem", system_roots + "".join(authorities))]
            done = _run(command)
        if done.returncode != 0:
            raise SigningError("the signed nimbrel.exe does not verify:\n" + done.stdout)
        subject = _names(root)[0]
        if _same_certificate(root, extra):
            return Verified(signer, subject, "--ca %s" % extra_ca, None)
        if _same_certificate(root, _certificates(system_roots)):
            return Verified(signer, subject, "%s, and the system's roots hold it" % self.source, None)
        warning = ("the only root certificate, \"%s\", came from %s itself: the signature is consistent with the "
                   "signing material, but nothing shows that an authority Windows trusts issued its certificate; give "
                   "that authority's root with --ca FILE" % (subject, self.source))
        return Verified(signer, subject, "%s itself" % self.source, warning)

    def _reach_root(self, authorities):
        """Follows the issuers from the signing certificate up to a self-signed one, so
        that a missing one is named; answers the signer's name and the root (PEM). Of
        two certificates of one name, the later in authorities counts."""
        signer, issuer = _names(self.certificate)
        issuers, certificates = {}, {signer: self.certificate}
        for pem in authorities:
            subject, its_issuer = _names(pem)
            issuers[subject], certificates[subject] = its_issuer, pem
        subject, seen = signer, set()
        while subject != issuer:
            if issuer not in issuers or issuer in seen:
                raise SigningError("the signing certificate reaches no root certificate: \"%s\" is issued by \"%s\", "
                                   "whose certificate neither %s nor --ca holds; give it with --ca FILE"
                                   % (subject, issuer, self.source))
            seen.add(issuer)
            subject, issuer = issuer, issuers[issuer]
        return signer, certificates[subject]
